/// @file volume_module.cpp
/// @brief Entry points of the module `zephravolume`: its classes, registered with the host and
///        in the plug-in registry. The class list holds only the classes this build carries, so
///        that nothing is registered that cannot be created.
#include "framework/effect_module.h"
#include "plugins/volume/clouds.h"
#include "plugins/volume/combustion.h"
#include "plugins/volume/gizmos.h"
#include "plugins/volume/inter_rotation.h"
#include "plugins/volume/volume_color.h"

HOST_MODULE_ENTRY_POINTS("Nimbra Volume FX Plug-Ins", GetCombustionDesc(), GetPuffyCloudsDesc(),
                         GetFractalCloudsDesc(), GetVolumeColorDesc(), GetInterRotationDesc(),
                         GetSphereGizmoDesc(), GetCylinderGizmoDesc(), GetBoxGizmoDesc())

namespace {
EffectModule module({"Nimbra developers", "Part of Nimbra, the particle-effects renderer."},
                    LibNumberClasses, LibClassDesc);
}  // namespace

HOST_EXPORT BOOL DllMain(HINSTANCE instance, DWORD reason, void *) {
    return module.DllMain(instance, reason);
}
