/// @file noise_module_test.cpp
/// @brief The module `zephranoise` as the host loads it, and the Noise shape's library record.
#include "common/library_record.h"
#include "common/registry_file.h"
#include "framework/library_block.h"
#include "framework/nimbra_interface.h"
#include "framework/plugin_registry.h"
#include "noise_fixture.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

using namespace noisetest;
using testfiles::Bytes;
using testfiles::LibraryRecordOf;
using testfiles::LoadLibraryRecord;

TEST(NoiseModule, OffersTheNoiseShapeToTheHostAndInTheRegistryAsAParticleShape) {
    const LoadedModule *module = modules->LoadedModules().FindModule("zephranoise");
    ASSERT_NE(module, nullptr);
    EXPECT_EQ(module->description, "Nimbra Noise PlugIn");
    ASSERT_EQ(module->classes.size(), 1u);
    EXPECT_EQ(std::string(module->classes[0]->ClassName()), "Noise");
    EXPECT_EQ(std::string(module->classes[0]->Category()), "Noise Shader");

    int found = 0;
    for (const PlugInRecord &r : testfiles::RecordsIn(modules->ConfigFolder() / "nimbra.reg"))
        found += r.ClassID() == NoiseShape::kClassID && r.className == "Noise";
    EXPECT_EQ(found, 1);
    const PlugInRecord *record = ThePlugInRegistry().FindById(NoiseShape::kClassID.PartB());
    ASSERT_NE(record, nullptr);
    EXPECT_EQ(record->categoryKey, kParticleShapeKey);

    // Made through the host, with its seven controllers made through the host too.
    OwnedShape shape = NewNoiseShape();
    ASSERT_NE(shape, nullptr);
    ASSERT_EQ(shape->NumControllers(), 7);
    for (int i = 0; i < 7; ++i) EXPECT_NE(shape->GetController(i), nullptr) << i;
}

TEST(NoiseModule, LibraryRecordIsTheVersionBlockThenFifteenFieldsAndRoundTrips) {
    OwnedShape shape = NewNoiseShape(), loaded = NewNoiseShape();
    ASSERT_TRUE(shape && loaded);
    const Bytes defaults = LibraryRecordOf(*loaded);
    shape->ParamBlock()->SetValue(NoiseShape::kNoiseType, 0, int(NoiseShape::kTurbulenceNoise));
    for (int i = 1; i < NoiseShape::kParams; ++i)
        shape->ParamBlock()->SetValue(i, 0, 0.75f * float(i) + 0.125f);
    const Bytes bytes = LibraryRecordOf(*shape);
    ASSERT_EQ(bytes.size(), 8u + 60u);
    EXPECT_EQ(GetLE16(bytes.data()), kLibraryBlockVersion);
    EXPECT_EQ(Bytes(bytes.begin() + 2, bytes.begin() + 8), Bytes(6, 0));
    EXPECT_EQ(GetLEInt(bytes.data() + 8), 2);
    for (int i = 1; i < NoiseShape::kParams; ++i)
        EXPECT_EQ(GetLEFloat(bytes.data() + 8 + 4 * i), 0.75f * float(i) + 0.125f) << i;

    // Another version word, or a short body, is refused and changes nothing.
    Bytes wrong = bytes;
    wrong[1] = 0x02;
    EXPECT_EQ(LoadLibraryRecord(*loaded, wrong), 0);
    EXPECT_EQ(LoadLibraryRecord(*loaded, Bytes(bytes.begin(), bytes.end() - 1)), 0);
    EXPECT_EQ(LibraryRecordOf(*loaded), defaults);

    ASSERT_EQ(LoadLibraryRecord(*loaded, bytes), 1);
    EXPECT_EQ(LibraryRecordOf(*loaded), bytes);
}
