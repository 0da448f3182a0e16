/// @file volume_fixture.h
/// @brief What the tests of the module `zephravolume` share: the modules loaded through the
///        host's loader once per test program, and objects of the module made through the host.
#pragma once

#include "common/module_environment.h"
#include "host/class_desc.h"

#include <memory>

namespace volumetest {

/// `nimbra`, `standard` (the default controller) and `zephravolume`, loaded for the whole test
/// program from a folder of links to them.
inline ModuleFolderEnvironment *const modules = static_cast<ModuleFolderEnvironment *>(
    ::testing::AddGlobalTestEnvironment(new ModuleFolderEnvironment("volume", 3)));

struct DeleteThisDeleter {
    void operator()(Animatable *object) const { object->DeleteThis(); }
};
template <typename T>
using Owned = std::unique_ptr<T, DeleteThisDeleter>;

/// A new `T` made through the host by its class identifier (null if it is not one).
template <typename T>
Owned<T> New(SClass_ID super = REF_MAKER_CLASS_ID) {
    auto *object = static_cast<Animatable *>(CreateInstance(super, T::kClassID));
    return Owned<T>(dynamic_cast<T *>(object));
}

}  // namespace volumetest
