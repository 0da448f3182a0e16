/// @file conduit_library.cpp
/// @brief Test library linked against test_base without entry points of its own: looking up
///        entry points in it must not find test_base's.
#include "base_api.h"

HOST_EXPORT const int *ConduitBaseState() {
    return TestBaseState();
}
