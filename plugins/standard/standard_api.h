/// @file standard_api.h
/// @brief The export mark of what the module `standard` offers beyond its entry points.
#pragma once

/// Marks a class or function of `standard` that code outside the module uses directly: its
/// tests and benchmarks. Owners in other modules never do; they create the module's classes
/// through the host's `CreateInstance` and reach them through the plug-in contract.
#define STANDARD_API __attribute__((visibility("default")))
