/// @file built_in_class.h
/// @brief Class descriptor of the host's own classes (nodes, parameter blocks), which registers
///        itself in the class directory when the host library loads so scene files can
///        recreate them (private to the host library).
#pragma once

#include "host/animatable.h"
#include "host/class_desc.h"

/// Not public (no create panel lists it); `Create` makes an empty object to be loaded.
template <typename T>
class BuiltInClassDesc final : public ClassDesc {
public:
    /// Construct only as a namespace-scope object: registers itself under the module "host".
    BuiltInClassDesc(const TCHAR *name, SClass_ID super, Class_ID id)
        : name_(name), super_(super), id_(id) {
        ClassDirectory::Instance().Add(this, "host");
    }
    int IsPublic() override { return 0; }
    void *Create(BOOL) override { return static_cast<Animatable *>(new T()); }
    const TCHAR *ClassName() override { return name_; }
    SClass_ID SuperClassID() override { return super_; }
    Class_ID ClassID() override { return id_; }
    const TCHAR *Category() override { return ""; }

private:
    const TCHAR *name_;
    SClass_ID super_;
    Class_ID id_;
};
