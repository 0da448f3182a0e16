/// @file noise_api.h
/// @brief The export mark of what the module `zephranoise` offers beyond its entry points.
#pragma once

/// Marks a class or function of `zephranoise` that its tests and benchmarks use directly.
/// Owners in other modules create the module's classes through the host's `CreateInstance`.
#define ZEPHRANOISE_API __attribute__((visibility("default")))
