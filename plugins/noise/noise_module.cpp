/// @file noise_module.cpp
/// @brief Entry points of the module `zephranoise`: the Noise shape, registered with the host
///        and in the plug-in registry.
#include "framework/effect_module.h"
#include "plugins/noise/noise_shape.h"

HOST_MODULE_ENTRY_POINTS("Nimbra Noise PlugIn", GetNoiseShapeDesc())

namespace {
EffectModule module({"Nimbra developers", "Part of Nimbra, the particle-effects renderer."},
                    LibNumberClasses, LibClassDesc);
}  // namespace

HOST_EXPORT BOOL DllMain(HINSTANCE instance, DWORD reason, void *) {
    return module.DllMain(instance, reason);
}
