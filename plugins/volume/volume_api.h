/// @file volume_api.h
/// @brief The export mark of what the module `zephravolume` offers beyond its entry points.
#pragma once

/// Marks a class or function of `zephravolume` that its tests and other modules' tests use
/// directly. Owners elsewhere create the module's classes through the host's `CreateInstance`.
#define ZEPHRAVOLUME_API __attribute__((visibility("default")))
