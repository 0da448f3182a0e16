/// @file reference_internal.h
/// @brief Host-private hooks of the object model (used by the scene loader).
#pragma once

#include "host/animatable.h"

#include <unordered_set>

namespace hostref {

/// While installed on a thread, every target destroyed on that thread is removed from `alive`,
/// so code that created a set of objects can tell which of them still exist after cascades of
/// automatic deletions.
struct DeletionWatch {
    std::unordered_set<const ReferenceTarget *> alive;
};

/// Installs `watch` (null removes it) and returns the previous one.
DeletionWatch *SetDeletionWatch(DeletionWatch *watch);

}  // namespace hostref
