/// @file combustion_test.cpp
/// @brief Combustion's per-particle record and its per-sample density and shadow calls.
#include "framework/nimbra_interface.h"
#include "framework/plugin_records.h"
#include "host/noise.h"
#include "plugins/volume/combustion.h"
#include "volume_fixture.h"

#include <gtest/gtest.h>

#include <cmath>
#include <tuple>

using namespace volumetest;

namespace {

constexpr int kLifeEnd = 4800;

class CombustionTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_NE(combustion, nullptr);
        volume.phase = 7.25f;
        volume.lifeEnd = kLifeEnd;
    }
    void TearDown() override {
        NimbraInterface *iface = GetNimbraInterface();
        iface->SetPreviewRendering(0);
        iface->SetDisableDensity(0);
        iface->SetDisableRegularity(0);
    }

    void Set(int param, float value) { combustion->ParamBlock()->SetValue(param, 0, value); }
    void Set(int param, int value) { combustion->ParamBlock()->SetValue(param, 0, value); }

    /// The record Combustion makes for the volume at `age`.
    CombustionCache Cache(int age = 0) {
        volume.age = age;
        combustion->__UpdateAtmos_(0);
        combustion->__CreateCache__(0, &volume);
        const CombustionCache *cache = Combustion::CacheOf(&volume);
        const CombustionCache copy = cache ? *cache : CombustionCache{};
        combustion->__DestroyCache__(0, &volume);
        EXPECT_EQ(volume.cache[kShapeCache], nullptr);
        return copy;
    }

    SampleInfo Sample(const Point3 &point, float r, bool shadow = false) {
        return SampleOf(*combustion, volume, point, r, shadow);
    }
    float Density(const Point3 &point, float r = 0.0f) { return Sample(point, r).density; }

    Owned<Combustion> combustion = New<Combustion>();
    ParticleVolume volume;
};

const Point3 kPoint(3.7f, -1.2f, 5.3f);

}  // namespace

// Noise levels, a point, a normalised radius and the falloff.
class CombustionPinned
    : public CombustionTest,
      public ::testing::WithParamInterface<std::tuple<float, Point3, float, int>> {};

TEST_P(CombustionPinned, DensityFollowsTheOctaveSumRegularityAndFalloff) {
    const auto [levels, point, r, falloff] = GetParam();
    Set(Combustion::kNoiseLevels, levels);
    Set(Combustion::kDensityFalloff, falloff);
    const SampleInfo s = Sample(point, r);

    // Defaults: noise size 0.1 × 0.5, phase 0, regularity 0.02 − 0.001, density 0.08 × 0.01.
    double sum = NoiseSum(point * 0.05f, volume.phase, levels);
    if (r > 0.019) sum -= r - 0.019;
    sum = std::max(sum, 0.0);
    const double factor[] = {1.0, 1.0 - r, std::pow(1.0 - r, 3.0)};
    EXPECT_NEAR(s.noise, sum, 1e-5);
    EXPECT_NEAR(s.density, sum * 0.0008 * factor[falloff], 1e-7);
}

INSTANTIATE_TEST_SUITE_P(
    Combustion, CombustionPinned,
    ::testing::Values(std::make_tuple(3.0f, kPoint, 0.0f, 0),  // three whole octaves
                      std::make_tuple(2.5f, kPoint, 0.0f, 0),  // the third at half strength
                      std::make_tuple(0.5f, kPoint, 0.0f, 0),  // one partial octave
                      std::make_tuple(3.0f, Point3(-8.1f, 0.4f, 2.2f), 0.3f, 1),
                      std::make_tuple(3.0f, Point3(-8.1f, 0.4f, 2.2f), 0.3f, 2),
                      std::make_tuple(3.0f, Point3(0.9f, 12.5f, -3.3f), 0.05f, 2)));

TEST_F(CombustionTest, DenseAtTheCentreAndEmptyAtAndBeyondTheRim) {
    Set(Combustion::kBirthRegularity, 0.5f);
    EXPECT_GT(Density(kPoint, 0.0f), 0.0f);
    // Three octaves never sum past 1.75: far enough out the regularity eats all of it.
    EXPECT_EQ(Sample(kPoint, 4.0f).density, 0.0f);
    EXPECT_EQ(Sample(kPoint, 4.0f).noise, 0.0f);
    Set(Combustion::kDensityFalloff, int(Combustion::kLinearFalloff));
    EXPECT_EQ(Density(kPoint, 1.0f), 0.0f);
}

class CombustionStretch : public CombustionTest, public ::testing::WithParamInterface<int> {};

TEST_P(CombustionStretch, ScalesTheSamplePointAlongItsAxis) {
    const int axis = GetParam();
    Point3 stretched = kPoint;
    stretched[axis] *= 3.0f;
    const float plain = Density(stretched);
    Set(Combustion::kStretchAxis, axis);
    Set(Combustion::kBirthStretch, 2.0f);  // 200 %: three times as long
    const SampleInfo s = Sample(kPoint, 0.0f);
    EXPECT_FLOAT_EQ(s.density, plain);
    EXPECT_EQ(s.point, stretched);  // changed in place
}

INSTANTIATE_TEST_SUITE_P(Combustion, CombustionStretch, ::testing::Values(0, 1, 2));

TEST_F(CombustionTest, MotionMovesThePatternAlongTheVolumesMotionVector) {
    volume.motion = Point3(0.0f, 0.5f, -1.0f);
    const Point3 moved = kPoint + volume.motion * 6.0f;
    const float there = Density(moved), here = Density(kPoint);
    ASSERT_NE(there, here);  // so that the pattern's moving shows
    Set(Combustion::kBirthMotion, 6.0f);
    EXPECT_FLOAT_EQ(Density(kPoint), there);
}

TEST_F(CombustionTest, ShadowScalesTheDensityOrLeavesTheSampleAlone) {
    const float plain = Density(kPoint);
    Set(Combustion::kBirthShadowDensity, 2.5f);
    EXPECT_FLOAT_EQ(Sample(kPoint, 0.0f, true).density, plain * 2.5f);
    Set(Combustion::kBirthShadowDensity, 0.0f);
    const SampleInfo s = Sample(kPoint, 0.0f, true);
    EXPECT_EQ(s.density, -1.0f);
    EXPECT_EQ(s.noise, -1.0f);
}

TEST_F(CombustionTest, EveryQuantityBlendsFromBirthToDeathThroughItsController) {
    const Quantity<CombustionCache> quantities[] = {
        {Combustion::kBirthNoiseSize, &CombustionCache::noiseSize, 0.1f, 0.0f},
        {Combustion::kBirthNoisePhase, &CombustionCache::noisePhase, 1.0f, 0.0f},
        {Combustion::kBirthRegularity, &CombustionCache::regularity, 1.0f, -0.001f},
        {Combustion::kBirthDensity, &CombustionCache::density, 0.01f, 0.0f},
        {Combustion::kBirthShadowDensity, &CombustionCache::shadowDensity, 1.0f, 0.0f},
        {Combustion::kBirthStretch, &CombustionCache::stretchFactor, 1.0f, 1.0f},
        {Combustion::kBirthMotion, &CombustionCache::motion, 1.0f, 0.0f},
    };
    ExpectQuantitiesBlend<Combustion, CombustionCache>(*combustion, volume, quantities);
}

TEST_F(CombustionTest, PreviewSwitchesOverrideDensityShadowAndRegularity) {
    NimbraInterface *iface = GetNimbraInterface();
    iface->SetDisableDensity(1);
    iface->SetDisableRegularity(1);
    const CombustionCache normal = Cache();
    EXPECT_FLOAT_EQ(normal.density, 0.0008f);  // the switches count only in previews
    iface->SetPreviewRendering(1);
    const CombustionCache preview = Cache();
    EXPECT_FLOAT_EQ(preview.density, 0.01f);
    EXPECT_FLOAT_EQ(preview.shadowDensity, 1.0f);
    EXPECT_FLOAT_EQ(preview.regularity, 0.999f);
}

TEST_F(CombustionTest, DamagedSettingsNeitherCrashNorRunAway) {
    int volumetric = 0;
    combustion->__EnumParticle__(reinterpret_cast<ParticleInfo *>(&volumetric), nullptr, 16);
    EXPECT_EQ(volumetric, 1);

    // An axis outside X, Y, Z stretches X; an unknown falloff writes nothing; a huge level
    // count is capped.
    Set(Combustion::kStretchAxis, 9);
    EXPECT_EQ(Cache().stretchAxis, 0);
    Set(Combustion::kDensityFalloff, 5);
    EXPECT_EQ(Density(kPoint), -1.0f);
    Set(Combustion::kNoiseLevels, 1e30f);
    combustion->__UpdateAtmos_(0);
    EXPECT_EQ(combustion->NoiseLevels(), Combustion::kMaxNoiseLevels);

    // A sample of a volume without a record is left alone.
    SampleInfo s;
    s.volume = &volume;
    s.density = 0.5f;
    combustion->__Density_Function__(&s);
    combustion->__LightShadow_Function__(&s);
    EXPECT_EQ(s.density, 0.5f);
}
