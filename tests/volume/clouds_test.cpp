/// @file clouds_test.cpp
/// @brief The cloud volumes' per-sample density and shadow calls and FractalClouds' record.
#include "host/noise.h"
#include "plugins/volume/clouds.h"
#include "volume_fixture.h"

#include <gtest/gtest.h>

#include <cmath>
#include <tuple>

using namespace volumetest;

namespace {

constexpr int kLifeEnd = 4800;
const Point3 kPoint(3.7f, -1.2f, 5.3f);

/// Fractional Brownian motion of noise3 in double: eight octaves at q, 2q, 4q … weighted
/// 1, 2^−H, 2^−2H …
double FractalSum(const Point3 &q, double H) {
    double sum = 0.0;
    for (int i = 0; i < 8; ++i) sum += noise3(q * std::ldexp(1.0f, i)) * std::pow(2.0, -H * i);
    return sum;
}

template <typename T>
class CloudTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_NE(clouds, nullptr);
        volume.phase = 7.25f;
        volume.lifeEnd = kLifeEnd;
    }
    void Set(int param, float value) { clouds->ParamBlock()->SetValue(param, 0, value); }
    SampleInfo Sample(const Point3 &point, float r, bool shadow = false) {
        return SampleOf(*clouds, volume, point, r, shadow);
    }

    Owned<T> clouds = New<T>();
    ParticleVolume volume;
};

}  // namespace

// A normalised radius, and the sum's factor and offset there for regularity 0.4 (f = 1 at 0.4,
// 1.5 at 0.1, 0.5 at 0.7, 0 at the rim).
class PuffyRim : public CloudTest<PuffyClouds>,
                 public ::testing::WithParamInterface<std::tuple<float, double, double>> {};

TEST_P(PuffyRim, BlendsFromTheSumAtTheRegularityToFourTimesItLessOneAtTheRim) {
    const auto [r, factor, offset] = GetParam();
    Set(PuffyClouds::kBirthRegularity, 0.401f);  // less the bias of 0.001
    Set(PuffyClouds::kBirthNoiseSize, 2.0f);     // a sum large enough to stay above 0 at 0.7
    for (const Point3 &point :
         {kPoint, Point3(-8.1f, 0.4f, 2.2f), Point3(0.9f, 12.5f, -3.3f)}) {
        const SampleInfo s = Sample(point, r);
        const double sum = NoiseSum(point * 0.2f, volume.phase, 3.0);
        const double expected = std::max(factor * sum + offset, 0.0);
        EXPECT_NEAR(s.noise, expected, 1e-5) << "sum " << sum;
        EXPECT_NEAR(s.density, expected * 0.0008, 1e-7);
    }
}

INSTANTIATE_TEST_SUITE_P(PuffyClouds, PuffyRim,
                         ::testing::Values(std::make_tuple(0.4f, 1.0, 0.0),  // unchanged
                                           std::make_tuple(0.1f, -0.5, 0.5),
                                           std::make_tuple(0.7f, 1.25, -0.5),
                                           std::make_tuple(1.0f, 0.0, -1.0)));  // clamped

using PuffyTest = CloudTest<PuffyClouds>;

TEST_F(PuffyTest, ARegularityOfOneLeavesTheSumUnchangedInsteadOfWritingNan) {
    Set(PuffyClouds::kBirthRegularity, 1.001f);  // less the bias of 0.001: exactly 1
    const double sum = NoiseSum(kPoint * 0.05f, volume.phase, 3.0);
    for (const float r : {0.5f, 1.0f}) EXPECT_NEAR(Sample(kPoint, r).noise, sum, 1e-5) << r;
}

// Smoothness, a point and a normalised radius.
class FractalPinned : public CloudTest<FractalClouds>,
                      public ::testing::WithParamInterface<std::tuple<float, Point3, float>> {};

TEST_P(FractalPinned, DensityIsEightOctavesOfFbmCutBeyondTheRegularity) {
    const auto [smoothness, point, r] = GetParam();
    Set(FractalClouds::kBirthSmoothness, smoothness);
    Set(FractalClouds::kBirthMotion, 3.0f);
    volume.motion = Point3(0.5f, 0.0f, -1.0f);
    const SampleInfo s = Sample(point, r);

    // Defaults: noise size 0.1 × 0.5, regularity 0.02 − 0.001, density 0.08 × 0.01.
    const float offset = volume.phase * 34554.0f;
    const Point3 q = (point + Point3(offset, offset, offset) + volume.motion * 3.0f) * 0.05f;
    double v = FractalSum(q, smoothness);
    if (r > 0.019) v -= r - 0.019;
    v = std::max(v, 0.0);
    EXPECT_NEAR(s.noise, v, 1e-5);
    EXPECT_NEAR(s.density, v * 0.0008, 1e-7);
}

// Smoothness 0 weighs the eighth octave as much as the first, 1 halves each; fBm is signed,
// and a negative one is clamped like one cut beyond the regularity.
INSTANTIATE_TEST_SUITE_P(
    FractalClouds, FractalPinned,
    ::testing::Values(std::make_tuple(0.0f, Point3(-8.1f, 0.4f, 2.2f), 0.0f),
                      std::make_tuple(1.0f, Point3(0.9f, 12.5f, -3.3f), 0.0f),
                      std::make_tuple(0.5f, Point3(-8.1f, 0.4f, 2.2f), 0.3f),
                      std::make_tuple(0.0f, Point3(10.3f, 3.3f, -9.9f), 0.2f),
                      std::make_tuple(0.5f, kPoint, 0.0f),
                      std::make_tuple(0.5f, Point3(0.9f, 12.5f, -3.3f), 9.0f)));

using FractalTest = CloudTest<FractalClouds>;

TEST_F(FractalTest, EachParticleReadsItsOwnRegionOfTheNoise) {
    const float here = Sample(kPoint, 0.0f).noise;
    volume.phase = 2.0f;
    EXPECT_NE(Sample(kPoint, 0.0f).noise, here);
    // The phase offsets the position by phase × 34554 on every axis.
    const float shift = (7.25f - 2.0f) * 34554.0f;
    EXPECT_NEAR(Sample(kPoint + Point3(shift, shift, shift), 0.0f).noise, here, 1e-5);
}

TEST_F(FractalTest, ShadowScalesItsOwnDensityOrLeavesTheSampleAlone) {
    const float plain = Sample(kPoint, 0.0f).density;
    ASSERT_GT(plain, 0.0f);
    Set(FractalClouds::kBirthShadowDensity, 2.5f);
    EXPECT_FLOAT_EQ(Sample(kPoint, 0.0f, true).density, plain * 2.5f);
    Set(FractalClouds::kBirthShadowDensity, 0.0f);
    EXPECT_EQ(Sample(kPoint, 0.0f, true).density, -1.0f);
}

TEST_F(FractalTest, EveryQuantityBlendsFromItsOwnBirthToDeathParameter) {
    const Quantity<FractalCloudsCache> quantities[] = {
        {FractalClouds::kBirthNoiseSize, &FractalCloudsCache::noiseSize, 0.1f, 0.0f},
        {FractalClouds::kBirthSmoothness, &FractalCloudsCache::smoothness, 1.0f, 0.0f},
        {FractalClouds::kBirthRegularity, &FractalCloudsCache::regularity, 1.0f, -0.001f},
        {FractalClouds::kBirthDensity, &FractalCloudsCache::density, 0.01f, 0.0f},
        {FractalClouds::kBirthShadowDensity, &FractalCloudsCache::shadowDensity, 1.0f, 0.0f},
        {FractalClouds::kBirthStretch, &FractalCloudsCache::stretchFactor, 1.0f, 1.0f},
        {FractalClouds::kBirthMotion, &FractalCloudsCache::motion, 1.0f, 0.0f},
    };
    ExpectQuantitiesBlend<FractalClouds, FractalCloudsCache>(*clouds, volume, quantities);
    clouds->ParamBlock()->SetValue(FractalClouds::kStretchAxis, 0, 2);
    clouds->__CreateCache__(0, &volume);
    EXPECT_EQ(FractalClouds::CacheOf(&volume)->stretchAxis, 2);
    clouds->__DestroyCache__(0, &volume);
}
