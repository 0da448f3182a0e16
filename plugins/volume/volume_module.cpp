/// @file volume_module.cpp
/// @brief Entry points of the module `zephravolume`: its classes, registered with the host and
///        in the plug-in registry. The class list holds only the classes this build carries, so
///        that nothing is registered that cannot be created.
#include "framework/effect_module.h"
#include "plugins/volume/clouds.h"
#include "plugins/volume/combustion.h"
#include "plugins/volume/gizmos.h"
#include "plugins/volume/gradient_color.h"
#include "plugins/volume/inter_rotation.h"
#include "plugins/volume/volume_color.h"

HOST_MODULE_ENTRY_POINTS("Nimbra Volume FX Plug-Ins", GetCombustionDesc(), GetPuffyCloudsDesc(),
                         GetFractalCloudsDesc(), GetVolumeColorDesc(), GetGradientColorDesc(),
                         GetInterRotationDesc(), GetSphereGizmoDesc(), GetCylinderGizmoDesc(),
                         GetBoxGizmoDesc(),
                         // The data classes of Gradient Color's gradients, after the others.
                         GetGradientDataDesc(0), GetGradientDataDesc(1), GetGradientDataDesc(2),
                         GetGradientDataDesc(3), GetGradientDataDesc(4), GetGradientDataDesc(5),
                         GetGradientDataDesc(6), GetGradientDataDesc(7), GetGradientDataDesc(8),
                         GetGradientDataDesc(9), GetGradientDataDesc(10))

namespace {
EffectModule module({"Nimbra developers", "Part of Nimbra, the particle-effects renderer."},
                    LibNumberClasses, LibClassDesc);
}  // namespace

HOST_EXPORT BOOL DllMain(HINSTANCE instance, DWORD reason, void *) {
    return module.DllMain(instance, reason);
}
