/// @file nimbra_api.h
/// @brief The export mark of what the main module `nimbra` offers the effect modules.
#pragma once

/// Marks a class or function of `nimbra` that other modules link against. Modules are built
/// with hidden visibility, so only what carries this mark is visible outside `nimbra`. On ELF
/// the same mark serves the module that defines a symbol and the modules that use it.
#define NIMBRA_API __attribute__((visibility("default")))
