/// @file plugin_class_desc.h
/// @brief The class descriptor of an effect plug-in or controller class, written once for
///        every module: a plug-in's descriptor is one line.
#pragma once

#include "host/animatable.h"
#include "host/class_desc.h"

#include <type_traits>

/// Describes plug-in class `T`, which names its identifier `T::kClassID`. Public (listed for
/// creation) under `category` unless made with `isPublic` false (created by code only). `Create
/// (loading)` makes a `T (loading)` where `T` takes that flag (an object about to be loaded
/// gets its blocks and controllers from the file instead of making defaults), else a default
/// `T`:
///
///     ClassDesc *GetCircleShapeDesc() { return PlugInClassDesc<CircleShape>::Get("Circle",
///     "Simple Smoke"); }
template <typename T>
class PlugInClassDesc final : public ClassDesc {
public:
    /// The one descriptor of `T`; the texts of the first call stay.
    static ClassDesc *Get(const TCHAR *name, const TCHAR *category,
                          SClass_ID super = REF_MAKER_CLASS_ID, bool isPublic = true) {
        static PlugInClassDesc desc(name, category, super, isPublic);
        return &desc;
    }

    int IsPublic() override { return public_ ? TRUE : FALSE; }
    void *Create(BOOL loading) override {
        if constexpr (std::is_constructible_v<T, bool>)
            return static_cast<Animatable *>(new T(loading != FALSE));
        else
            return static_cast<Animatable *>(new T());
    }
    const TCHAR *ClassName() override { return name_; }
    SClass_ID SuperClassID() override { return super_; }
    Class_ID ClassID() override { return T::kClassID; }
    const TCHAR *Category() override { return category_; }

private:
    PlugInClassDesc(const TCHAR *name, const TCHAR *category, SClass_ID super, bool isPublic)
        : name_(name), category_(category), super_(super), public_(isPublic) {}

    const TCHAR *name_;
    const TCHAR *category_;
    SClass_ID super_;
    bool public_;
};
