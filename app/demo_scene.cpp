/// @file demo_scene.cpp
/// @brief The embedded demo scene: its bytes come from a source generated at build time.
#include "demo_scene.h"

#include <cstddef>

extern const char kDemoSceneJson[];
extern const std::size_t kDemoSceneJson_size;

std::string_view DemoSceneJson() {
    return {kDemoSceneJson, kDemoSceneJson_size};
}
