/// @file test_effect_api.h
/// @brief What the test module test_effect exports, and its classes' identities.
#pragma once

#include "framework/class_ids.h"
#include "framework/nimbra_interface.h"
#include "framework/plugin_registry.h"
#include "host/module_entry.h"

// The module's classes.
constexpr Class_ID kTestBareShape(kParticleShapeKey, 0x7E5700B0);
constexpr Class_ID kTestColor(kColorShaderKey, 0x7E5700B1);
constexpr Class_ID kTestComposite(kCompositeKey, 0x7E5700B2);
constexpr Class_ID kTestController(kControllerKey, 0x7E5700B3);
constexpr int kTestEffectClasses = 4;
constexpr char kTestEffectAuthor[] = "Test Author";
constexpr char kTestEffectNotice[] = "Test notice";

/// The interface object and the registry as this module sees them.
HOST_EXPORT NimbraInterface *TestEffectInterface();
HOST_EXPORT PlugInRegistry *TestEffectRegistry();
