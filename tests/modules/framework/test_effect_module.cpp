/// @file test_effect_module.cpp
/// @brief Test effect module: a shape, a colour shader, a composite and a controller that
///        override none of the contract's operations, registered through the shared start-up.
#include "framework/effect_module.h"
#include "framework/plugin_interface.h"
#include "test_effect_api.h"

namespace {

/// A plug-in or controller class that adds only its identity to its base.
template <typename Base, const Class_ID &kId>
class Bare : public Base {
public:
    Class_ID ClassID() override { return kId; }
    SClass_ID SuperClassID() override { return REF_MAKER_CLASS_ID; }
};

template <typename T>
class BareDesc : public ClassDesc {
public:
    BareDesc(const char *name, const char *category) : name_(name), category_(category) {}
    int IsPublic() override { return TRUE; }
    void *Create(BOOL) override { return static_cast<Animatable *>(new T()); }
    const TCHAR *ClassName() override { return name_; }
    SClass_ID SuperClassID() override { return REF_MAKER_CLASS_ID; }
    Class_ID ClassID() override { return T().ClassID(); }
    const TCHAR *Category() override { return category_; }

private:
    const char *name_;
    const char *category_;
};

BareDesc<Bare<NimbraPlugIn, kTestBareShape>> shapeDesc("Bare Shape", "Test Shapes");
BareDesc<Bare<NimbraPlugIn, kTestColor>> colorDesc("Bare Color", "Test Colors");
BareDesc<Bare<NimbraPlugIn, kTestComposite>> compositeDesc("Bare Composite", "Test Composites");
BareDesc<Bare<NimbraController, kTestController>> controllerDesc("Bare Controller",
                                                                 "Test Controllers");

}  // namespace

// The null stands for a class left out of this build: neither the host nor the registry sees
// it.
HOST_MODULE_ENTRY_POINTS("Test effect module", &shapeDesc, &colorDesc, nullptr, &compositeDesc,
                         &controllerDesc)

namespace {
EffectModule module({kTestEffectAuthor, kTestEffectNotice}, LibNumberClasses, LibClassDesc);
}  // namespace

HOST_EXPORT BOOL DllMain(HINSTANCE instance, DWORD reason, void *) {
    return module.DllMain(instance, reason);
}

HOST_EXPORT NimbraInterface *TestEffectInterface() {
    return GetNimbraInterface();
}

HOST_EXPORT PlugInRegistry *TestEffectRegistry() {
    return &ThePlugInRegistry();
}
