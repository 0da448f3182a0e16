/// @file noise_shape_test.cpp
/// @brief The Noise shape's coverage: each noise kind and the threshold window against the
///        pixel formula written out with the host's noise, the row call against the pixel
///        call, and the quantities its controllers give.
#include "common/shape_rows_check.h"
#include "host/noise.h"
#include "noise_fixture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdint>
#include <limits>
#include <vector>

using namespace noisetest;

namespace {

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();

/// Values of the seven quantities, the same at birth and at death.
struct Settings {
    int type;
    float high, low, turbulence, phase, size, horz, vert;
    const char *name = "";
};

/// The turbulence sum: whole octaves at frequencies 1, 2, 4 …, then what is left of the level
/// count as the weight of one more.
float TurbulenceSum(Point3 p, float levels) {
    float sum = 0.0f, frequency = 1.0f;
    for (; levels >= 1.0f; levels -= 1.0f, frequency *= 2.0f)
        sum += std::fabs(noise3(p * frequency)) / frequency;
    if (levels > 0.0f) sum += std::fabs(noise3(p * frequency)) * levels / frequency;
    return sum;
}

/// The coverage of pixel (x, y) of particle `index` of radius r, written out step by step.
int ExpectedCoverage(const Settings &s, int index, int r, int x, int y, std::uint32_t scale,
                     const SoftDisk &disk) {
    const float d = 2.0f * float(r);
    const float u = float(x + r) / d, w = float(y + r) / d;
    const std::uint16_t falloff = disk.At(int(w * 255.0f), int(u * 255.0f));
    const float noiseScale = 100.0f - s.size;
    const Point3 p((u - 0.5f) * noiseScale * ((100.0f - s.horz) * 0.01f),
                   (w - 0.5f) * noiseScale * ((100.0f - s.vert) * 0.01f),
                   s.phase + float(index));
    const float n = s.type == NoiseShape::kRegularNoise   ? noise3(p)
                    : s.type == NoiseShape::kFractalNoise ? fBm1(p, 1.0f, 2.0f, 6.0f)
                                                          : TurbulenceSum(p, s.turbulence);
    float v = (n + 1.0f) * 0.5f;
    if (s.low < s.high) v = threshold(v, s.low, s.high);
    const auto level = std::uint32_t(std::clamp(v, 0.0f, 1.0f) * 65535.0f);
    return int((std::min<std::uint32_t>(level, falloff) * scale) >> 16);
}

class NoiseShapeTest : public ::testing::Test {
protected:
    void SetUp() override {
        shape = NewNoiseShape();
        ASSERT_NE(shape, nullptr);
        shape->__BeginFrame__(1600, nullptr, nullptr, nullptr);
    }
    void TearDown() override {
        if (shape) shape->__EndFrame__(1600);
    }

    void Apply(const Settings &s) {
        shape->ParamBlock()->SetValue(NoiseShape::kNoiseType, 0, s.type);
        const float values[] = {s.high, s.low, s.turbulence, s.phase, s.size, s.horz, s.vert};
        for (int c = 0; c < NoiseShape::kControllers; ++c) {
            shape->ParamBlock()->SetValue(1 + 2 * c, 0, values[c]);
            shape->ParamBlock()->SetValue(2 + 2 * c, 0, values[c]);
        }
    }

    /// Every pixel of particle `index` through the per-pixel call, which covers each of them.
    std::vector<int> Pixels(int r, int index, float transparency = 1.0f, float age = 0.5f) {
        ParticleInfo p;
        p.lifeEnd = 4800;
        p.age = int(4800 * age);
        p.particleIndex = index;
        shape->__BeginParticle__(transparency, r, &p);
        std::vector<int> out;
        for (int y = -r; y <= r; ++y)
            for (int x = -r; x <= r; ++x) {
                unsigned short d = 0;
                EXPECT_EQ(shape->__ParticleShape__(&d, r, x, y, x, y), 1) << x << ", " << y;
                out.push_back(d);
            }
        return out;
    }

    OwnedShape shape;
};

class NoiseKinds : public NoiseShapeTest, public ::testing::WithParamInterface<Settings> {};

TEST_P(NoiseKinds, EveryPixelIsTheThresholdedNoiseCutOutByTheSoftDisk) {
    const Settings s = GetParam();
    Apply(s);
    SoftDisk disk;
    disk.Build();
    const int r = 24;
    for (int index : {0, 7}) {
        const std::vector<int> got = Pixels(r, index, 0.8f);
        int differing = 0;
        for (int y = -r; y <= r; ++y)
            for (int x = -r; x <= r; ++x) {
                const int expected =
                    ExpectedCoverage(s, index, r, x, y, shape->CoverageScale(), disk);
                const int value = got[(y + r) * (2 * r + 1) + x + r];
                // The shape evaluates noise a row at a time, which agrees with noise3 to
                // float rounding: one step of the 16-bit level at most.
                ASSERT_NEAR(value, expected, 1)
                    << "particle " << index << ", " << x << ", " << y;
                differing += value != expected;
            }
        EXPECT_LT(differing, (2 * r + 1) * (2 * r + 1) / 50);
        EXPECT_EQ(got.front(), 0) << "a corner, outside the disk, is covered with 0";
    }
}

constexpr int kRegular = NoiseShape::kRegularNoise, kFractal = NoiseShape::kFractalNoise,
              kTurbulence = NoiseShape::kTurbulenceNoise;
INSTANTIATE_TEST_SUITE_P(
    Settings, NoiseKinds,
    ::testing::Values(Settings{kRegular, 1, 0, 3, 0, 90, 1, 1, "Defaults"},
                      Settings{kFractal, 1, 0, 3, 4.5f, 85, 1, 1, "Fractal"},
                      Settings{kTurbulence, 1, 0, 3, 2, 90, 1, 1, "ThreeTurbulenceOctaves"},
                      Settings{kTurbulence, 0.8f, 0.55f, 3.5f, 2, 90, 1, 1, "HalfOctaveAt8"},
                      Settings{kTurbulence, 1, 0, 0, 2, 90, 1, 1, "NoTurbulenceOctave"},
                      Settings{kTurbulence, 1, 0, kNaN, 2, 90, 1, 1, "NaNTurbulenceLevels"},
                      Settings{kRegular, 0.6f, 0.4f, 3, 1, 80, 1, 1, "NarrowWindow"},
                      // Both skip the window: the plain noise value, not a step
                      Settings{kRegular, 0.5f, 0.5f, 3, 1, 80, 1, 1, "LowEqualToHigh"},
                      Settings{kFractal, 0.3f, 0.7f, 3, 1, 80, 1, 1, "LowAboveHigh"},
                      Settings{kRegular, 1, 0, 3, 0.3f, 100, 1, 1, "OneLevelAtSize100"},
                      Settings{kTurbulence, 1, 0, 2, 0.3f, 70, 100, 40, "FlatAlongX"}),
    [](const ::testing::TestParamInfo<Settings> &info) { return info.param.name; });

TEST_F(NoiseShapeTest, RowCallGivesEachPixelWhatThePixelCallGives) {
    const IShapeRows *rows = GetShapeRows(shape.get());
    ASSERT_NE(rows, nullptr);
    for (int type : {kRegular, kFractal, kTurbulence}) {
        Apply({type, 0.9f, 0.2f, 2.5f, 3, 85, 1, 1});
        const int r = 70;  // rows longer than one evaluated run
        const std::vector<int> pixels = Pixels(r, 11);
        SCOPED_TRACE(testing::Message() << "noise type " << type);
        ExpectRowsGiveThePixels(*rows, r, pixels);
    }
}

TEST_F(NoiseShapeTest, ControllersBlendEachQuantityBetweenItsBirthAndDeathParameters) {
    // Quantity c: birth 10c + 1, death 10c + 5; a quarter through the life, 10c + 2.
    for (int c = 0; c < NoiseShape::kControllers; ++c) {
        shape->ParamBlock()->SetValue(1 + 2 * c, 0, 10.0f * c + 1.0f);
        shape->ParamBlock()->SetValue(2 + 2 * c, 0, 10.0f * c + 5.0f);
    }
    Pixels(1, 9, 1.0f, 0.25f);
    EXPECT_FLOAT_EQ(shape->HighThreshold(), 2.0f);
    EXPECT_FLOAT_EQ(shape->LowThreshold(), 12.0f);
    EXPECT_FLOAT_EQ(shape->TurbulenceLevels(), 22.0f);
    EXPECT_FLOAT_EQ(shape->Phase(), 32.0f + 9.0f);
    EXPECT_FLOAT_EQ(shape->NoiseScale(), 100.0f - 42.0f);
    EXPECT_FLOAT_EQ(shape->HorzFactor(), (100.0f - 52.0f) * 0.01f);
    EXPECT_FLOAT_EQ(shape->VertFactor(), (100.0f - 62.0f) * 0.01f);
}

TEST_F(NoiseShapeTest, OutOfRangeInputsStaySound) {
    // A level count too large to count down sums the 32 octaves the shape caps it at.
    Apply({kTurbulence, 1, 0, 32, 1, 90, 1, 1});
    const std::vector<int> capped = Pixels(12, 2);
    Apply({kTurbulence, 1, 0, 1e30f, 1, 90, 1, 1});
    EXPECT_EQ(Pixels(12, 2), capped);

    // Any offset is answered, far outside the square too; a particle without a radius covers
    // nothing, and nothing is covered outside a frame.
    unsigned short d = 1;
    EXPECT_EQ(shape->__ParticleShape__(&d, 12, INT_MAX, INT_MIN, 0, 0), 1);
    EXPECT_EQ(d, 0);
    shape->__BeginParticle__(1.0f, 0, nullptr);
    EXPECT_EQ(shape->__ParticleShape__(&d, 0, 0, 0, 0, 0), 0);
    shape->__EndFrame__(1600);
    shape->__BeginParticle__(1.0f, 1, nullptr);
    EXPECT_EQ(shape->__ParticleShape__(&d, 1, 0, 0, 0, 0), 0);
}

}  // namespace
