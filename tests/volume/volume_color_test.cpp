/// @file volume_color_test.cpp
/// @brief Volume Color: the per-particle colours, the per-sample answers and its library
///        record.
#include "common/library_record.h"
#include "framework/library_block.h"
#include "framework/plugin_records.h"
#include "host/little_endian.h"
#include "plugins/volume/volume_color.h"
#include "volume_fixture.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace volumetest;
using testfiles::Bytes;
using testfiles::LibraryRecordOf;
using testfiles::LoadLibraryRecord;

namespace {

// Channels that 16 bits cannot hold exactly, so that the round trip shows.
const Color kOne(0.123457f, 0.5f, 0.999999f);
const Color kTwo(0.7f, 0.0333f, 0.251f);

/// A channel after its trip through 16 bits: truncated to a multiple of 1/65535.
double Through16(float c) {
    return std::floor(double(c) * 65535.0) / 65535.0;
}

class VolumeColorTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_NE(shader, nullptr);
        IParamBlock *pb = shader->ParamBlock();
        // Birth and death alike: whatever curve the controllers follow, the colour holds.
        pb->SetValue(VolumeColor::kBirthColor1, 0, kOne);
        pb->SetValue(VolumeColor::kDeathColor1, 0, kOne);
        pb->SetValue(VolumeColor::kBirthColor2, 0, kTwo);
        pb->SetValue(VolumeColor::kDeathColor2, 0, kTwo);
        volume.lifeEnd = 4800;
        volume.age = 1200;
        volume.phase = 3.0f;
    }

    /// The diffuse colour of a sample at normalised distance `r` with noise value `noise`.
    Color Diffuse(float r, float noise) {
        shader->__UpdateAtmos_(0);
        shader->__CreateCache__(0, &volume);
        SampleInfo s;
        s.volume = &volume;
        s.radius = r;
        s.noise = noise;
        const Color c = shader->__GetColorDiffuse__(&s);
        EXPECT_EQ(shader->__GetColorAmbient__(&s), c * VolumeColor::kAmbientShare);
        shader->__DestroyCache__(0, &volume);
        EXPECT_EQ(volume.cache[kColorCache], nullptr);
        return c;
    }

    Owned<VolumeColor> shader = New<VolumeColor>();
    ParticleVolume volume;
};

void ExpectMix(const Color &got, double t) {
    for (int ch = 0; ch < 3; ++ch)
        EXPECT_NEAR(got[ch], Through16(kOne[ch]) * t + Through16(kTwo[ch]) * (1.0 - t), 1e-6)
            << "channel " << ch << " at t = " << t;
}

TEST_F(VolumeColorTest, DistanceMixesColorTwoAtTheCentreToColorOneAtTheRim) {
    for (float r : {0.0f, 0.3f, 1.0f}) ExpectMix(Diffuse(r, 0.9f), r);
}

TEST_F(VolumeColorTest, CombustionStyleMixesByTheNoiseValue) {
    shader->ParamBlock()->SetValue(VolumeColor::kCombustionStyle, 0, 1);
    for (float noise : {0.0f, 0.6f, 1.0f}) ExpectMix(Diffuse(0.2f, noise), noise);
}

TEST_F(VolumeColorTest, WireFrameIsTheDiffuseColourAndLeavesTheVolumeAsItWas) {
    int marker = 0;
    volume.cache[kColorCache] = &marker;  // whatever the renderer hung there stays
    SampleInfo s;
    s.volume = &volume;
    s.radius = 0.25f;
    ExpectMix(shader->__GetWireFrame__(0, &s), 0.25);
    EXPECT_EQ(volume.cache[kColorCache], &marker);
}

TEST(VolumeColorRecord, RoundTripsAndRefusesOtherVersionsUnchanged) {
    Owned<VolumeColor> source = New<VolumeColor>(), loaded = New<VolumeColor>();
    ASSERT_TRUE(source && loaded);
    const Bytes defaults = LibraryRecordOf(*loaded);
    IParamBlock *pb = source->ParamBlock();
    pb->SetValue(VolumeColor::kDeathColor2, 0, kOne);
    pb->SetValue(VolumeColor::kCombustionStyle, 0, 1);
    const Bytes bytes = LibraryRecordOf(*source);
    ASSERT_EQ(bytes.size(), 8u + 52u);
    EXPECT_EQ(GetLE16(bytes.data()), kLibraryBlockVersion);
    EXPECT_EQ(GetLEFloat(bytes.data() + 8 + 36), kOne.r);  // colour 3 starts at 36
    EXPECT_EQ(GetLEInt(bytes.data() + 8 + 48), 1);

    Bytes version = bytes, style = bytes;
    version[1] = 0x02;
    PutLEInt(style.data() + 8 + 48, 2);  // a check box holds 0 or 1
    for (const Bytes &bad : {version, Bytes(bytes.begin(), bytes.end() - 1), style})
        EXPECT_EQ(LoadLibraryRecord(*loaded, bad), 0);
    EXPECT_EQ(LibraryRecordOf(*loaded), defaults);

    ASSERT_EQ(LoadLibraryRecord(*loaded, bytes), 1);
    EXPECT_EQ(LibraryRecordOf(*loaded), bytes);
}

}  // namespace
