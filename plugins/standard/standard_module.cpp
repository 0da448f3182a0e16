/// @file standard_module.cpp
/// @brief Entry points of the module `standard`: the default age controller and the standard
///        effect plug-ins, registered with the host and in the plug-in registry.
#include "framework/effect_module.h"
#include "plugins/standard/circle_shape.h"
#include "plugins/standard/default_color.h"
#include "plugins/standard/default_composite.h"
#include "plugins/standard/default_controller.h"
#include "plugins/standard/fireball_shape.h"
#include "plugins/standard/flame_shape.h"
#include "plugins/standard/plasma_shape.h"
#include "plugins/standard/smoke_shape.h"
#include "plugins/standard/spark_shape.h"

// The module's classes in the order the host lists them; each new class is appended.
HOST_MODULE_ENTRY_POINTS("Nimbra Standard PlugIns", GetDefaultControllerDesc(),
                         GetFireBallShapeDesc(), GetCircleShapeDesc(), GetDefaultColorDesc(),
                         GetDefaultCompositeDesc(), GetFlameShapeDesc(), GetSmokeShapeDesc(),
                         GetPlasmaShapeDesc(), GetSparkShapeDesc())

namespace {
EffectModule module({"Nimbra developers", "Part of Nimbra, the particle-effects renderer."},
                    LibNumberClasses, LibClassDesc);
}  // namespace

HOST_EXPORT BOOL DllMain(HINSTANCE instance, DWORD reason, void *) {
    return module.DllMain(instance, reason);
}
