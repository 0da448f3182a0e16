/// @file built_in_class.h
/// @brief Class descriptor of the host's own classes (nodes, parameter blocks), which registers
///        itself in the class directory when the host library loads so scene files can
///        recreate them (private to the host library).
#pragma once

#include "host/animatable.h"
#include "host/class_desc.h"

/// Not public (no create panel lists it) unless a category is given. `Create` makes a default
/// `T`, or what `make` returns when given (one to be loaded has its data replaced by the
/// file's).
template <typename T>
class BuiltInClassDesc final : public ClassDesc {
public:
    using Factory = Animatable *(*)();
    /// Construct only as a namespace-scope object: registers itself under the module "host".
    BuiltInClassDesc(const TCHAR *name, SClass_ID super, Class_ID id,
                     const TCHAR *category = "", Factory make = nullptr)
        : name_(name), super_(super), id_(id), category_(category), make_(make) {
        ClassDirectory::Instance().Add(this, "host");
    }
    int IsPublic() override { return *category_ ? 1 : 0; }
    void *Create(BOOL) override { return make_ ? make_() : static_cast<Animatable *>(new T()); }
    const TCHAR *ClassName() override { return name_; }
    SClass_ID SuperClassID() override { return super_; }
    Class_ID ClassID() override { return id_; }
    const TCHAR *Category() override { return category_; }

private:
    const TCHAR *name_;
    SClass_ID super_;
    Class_ID id_;
    const TCHAR *category_;
    Factory make_;
};
