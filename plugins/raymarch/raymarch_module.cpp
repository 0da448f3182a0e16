/// @file raymarch_module.cpp
/// @brief Entry points of the module `zephraray`: the ray-march atmospheric in its three modes,
///        each a class of its own, registered with the host and in the plug-in registry.
#include "framework/effect_module.h"
#include "plugins/raymarch/raymarch_atmospheric.h"

namespace {

/// The descriptor of one mode: creates the atmospheric with that mode.
class RayMarchClassDesc final : public ClassDesc {
public:
    explicit RayMarchClassDesc(int mode) : mode_(mode) {}
    int IsPublic() override { return TRUE; }
    void *Create(BOOL loading) override {
        return static_cast<Atmospheric *>(new RayMarchAtmospheric(mode_, loading != FALSE));
    }
    const TCHAR *ClassName() override { return RayMarchAtmospheric::ModeName(mode_); }
    SClass_ID SuperClassID() override { return ATMOSPHERIC_CLASS_ID; }
    Class_ID ClassID() override { return RayMarchAtmospheric::ModeClassID(mode_); }
    const TCHAR *Category() override { return "ZephraRayTracer"; }

private:
    int mode_;
};

RayMarchClassDesc ghostBeamDesc(RayMarchAtmospheric::kGhostBeam);
RayMarchClassDesc combustionDesc(RayMarchAtmospheric::kCombustion);
RayMarchClassDesc inkToonDesc(RayMarchAtmospheric::kInkToon);

}  // namespace

HOST_MODULE_ENTRY_POINTS("Nimbra RayTracing PlugIns", &ghostBeamDesc, &combustionDesc,
                         &inkToonDesc)

namespace {
EffectModule module({"Nimbra developers", "Part of Nimbra, the particle-effects renderer."},
                    LibNumberClasses, LibClassDesc);
}  // namespace

HOST_EXPORT BOOL DllMain(HINSTANCE instance, DWORD reason, void *) {
    return module.DllMain(instance, reason);
}
