/// @file noise_fixture.h
/// @brief What the tests of the module `zephranoise` share: the modules loaded through the
///        host's loader once per test program, and Noise shapes made through the host.
#pragma once

#include "common/module_environment.h"
#include "plugins/noise/noise_shape.h"
#include "host/class_desc.h"

#include <memory>

namespace noisetest {

/// `nimbra`, `standard` (the default controller) and `zephranoise`, loaded for the whole test
/// program from a folder of links to them.
inline ModuleFolderEnvironment *const modules = static_cast<ModuleFolderEnvironment *>(
    ::testing::AddGlobalTestEnvironment(new ModuleFolderEnvironment("noise", 3)));

struct DeleteThisDeleter {
    void operator()(Animatable *object) const { object->DeleteThis(); }
};
using OwnedShape = std::unique_ptr<NoiseShape, DeleteThisDeleter>;

/// A new Noise shape made through the host, as helpers make them (null if it is not one).
inline OwnedShape NewNoiseShape() {
    auto *object =
        static_cast<Animatable *>(CreateInstance(REF_MAKER_CLASS_ID, NoiseShape::kClassID));
    return OwnedShape(dynamic_cast<NoiseShape *>(object));
}

}  // namespace noisetest
