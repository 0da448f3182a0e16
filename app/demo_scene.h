/// @file demo_scene.h
/// @brief The demo scene built into the program (examples/demo.json), rendered by
///        `nimbra render` without a scene file.
#pragma once

#include <string_view>

/// The JSON text of the demo scene.
std::string_view DemoSceneJson();
