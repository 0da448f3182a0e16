/// @file base_api.h
/// @brief What the test module test_base exports to the modules that link against it.
#pragma once

#include "host/module_entry.h"

/// Whether test_base's process attach has run (and its detach not yet).
HOST_EXPORT bool TestBaseAttached();
/// The address of a variable of test_base: the same in every user if it is mapped once.
HOST_EXPORT const int *TestBaseState();
