/// @file plain_library.cpp
/// @brief Test library that is not a module: it exports a function but no entry points.
#include "host/module_entry.h"

HOST_EXPORT int PlainLibraryAnswer() {
    return 42;
}
