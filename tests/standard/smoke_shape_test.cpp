/// @file smoke_shape_test.cpp
/// @brief The Smoke shape: the wisp sum cut out by the soft disk, the exponent, the phase that
///        drifts the octaves, and the row call.
#include "framework/shape_rows.h"
#include "plugins/standard/smoke_shape.h"
#include "host/noise.h"
#include "sprite_pixels.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

using namespace standardtest;

namespace {

constexpr TimeValue kFrame = 1600;

class Smoke : public ShapeTest<SmokeShape> {};

/// What a pixel's density comes to, written out from the shape's description with the
/// host's noise2: -1 where it is not covered; `sum` gets the wisp sum.
int ExpectedDensity(const SoftDisk &disk, int r, int x, int y, float size, float phase,
                    float exponent, int samples, std::uint16_t scale, float &sum) {
    const float d = 2.0f * r;
    const std::uint16_t f =
        disk.At(int(float(y + r) / d * 255.0f), int(float(x + r) / d * 255.0f));
    if (f == 0) return -1;
    float a = (float(x + r) / d - 0.5f) * size, b = (float(y + r) / d - 0.5f) * size;
    const SmokeShape::Offsets &o = SmokeShape::OctaveOffsets();
    sum = 0.0f;
    float divisor = 1.0f, k = 1.0f;
    for (int i = 0; i < samples; ++i) {
        const float dk = k * phase;
        sum += std::fabs(noise2(Point2(o.x[i] * dk + a, o.y[i] * dk + b))) / divisor;
        divisor *= 2.0f;
        k *= 2.4f;
        a *= 2.0f;
        b *= 2.0f;
    }
    const double v = sum > 1.0f ? 1.0 : std::pow(double(sum), double(exponent));
    const auto n = static_cast<std::uint32_t>(v * 65535.0);
    return int((std::min<std::uint32_t>(n, f) * scale) >> 16);
}

}  // namespace

TEST_F(Smoke, CoverageIsTheWispSumRaisedToTheExponentInsideTheDisk) {
    SoftDisk disk;
    disk.Build();
    const struct {
        int samples;
        float exponent, phase;
        int index, r;
    } cases[] = {
        {5, 1.5f, 0.0f, 0, 40},     // no drift at all: plain octaves of noise2
        {1, 2.0f, 0.3f, 3, 25},     // one octave: |noise2| squared
        {6, 1.0f, 2.5f, 58, 33},    // the plain sum
        {6, 0.25f, 7.0f, 99, 30},   // a low exponent lifts the thin wisps, and saturates
        {40, 3.0f, 1.0f, 123, 31},  // more octaves than offsets: 20
    };
    int compared = 0, saturated = 0;
    for (const auto &c : cases) {
        SCOPED_TRACE(testing::Message() << "samples " << c.samples << ", exponent "
                                        << c.exponent << ", index " << c.index);
        SetBoth(SmokeShape::kBirthSize, 3.0f);
        SetBoth(SmokeShape::kBirthPhase, c.phase);
        SetBoth(SmokeShape::kBirthExponent, c.exponent);
        shape->ParamBlock()->SetValue(SmokeShape::kSamples, 0, c.samples);
        shape->__BeginFrame__(kFrame, nullptr, nullptr, nullptr);
        const std::vector<int> got = ParticlePixels(*shape, c.r, AgedParticle(c.index), 0.8f);
        // The phase moves on by 10 × frac (index × 0.01).
        const double cycle = c.index * 0.01 - std::floor(c.index * 0.01);
        const auto phase = float(c.phase + 10.0 * cycle);
        const int samples = std::min(c.samples, 20);
        for (int y = -c.r; y <= c.r; ++y)
            for (int x = -c.r; x <= c.r; ++x) {
                float sum = 0.0f;
                const int want = ExpectedDensity(disk, c.r, x, y, 3.0f, phase, c.exponent,
                                                 samples, shape->CoverageScale(), sum);
                const int at = (y + c.r) * (2 * c.r + 1) + x + c.r;
                // The row evaluation of noise agrees with noise2 to float rounding.
                if (want < 0)
                    ASSERT_EQ(got[at], -1) << x << ", " << y;
                else
                    ASSERT_NEAR(got[at], want, 2) << x << ", " << y;
                saturated += want >= 0 && sum > 1.0f;
                ++compared;
            }
    }
    EXPECT_GT(compared, 5000);
    EXPECT_GT(saturated, 0) << "no case reached a wisp sum above 1";
}

TEST_F(Smoke, ParticlesWhoseIndicesDifferBy100DriftAlike) {
    shape->ParamBlock()->SetValue(SmokeShape::kBirthPhase, 0, 0.5f);
    shape->ParamBlock()->SetValue(SmokeShape::kDeathPhase, 0, 2.5f);
    shape->__BeginFrame__(kFrame, nullptr, nullptr, nullptr);
    const std::vector<int> seven = ParticlePixels(*shape, 20, AgedParticle(7));
    const float phase = shape->Phase();
    EXPECT_FLOAT_EQ(phase, 1.5f + 0.7f);
    for (int index : {107, 100007, -93}) {
        EXPECT_EQ(ParticlePixels(*shape, 20, AgedParticle(index)), seven) << index;
        EXPECT_EQ(shape->Phase(), phase) << index;
    }
    EXPECT_NE(ParticlePixels(*shape, 20, AgedParticle(8)), seven);
    EXPECT_NE(ParticlePixels(*shape, 20, AgedParticle(7, 0.9f)), seven)
        << "Phase moves over the life";
}

TEST_F(Smoke, ControllersGiveTheParticlesQuantitiesAtItsAge) {
    shape->ParamBlock()->SetValue(SmokeShape::kBirthSize, 0, 2.0f);
    shape->ParamBlock()->SetValue(SmokeShape::kDeathSize, 0, 6.0f);
    shape->ParamBlock()->SetValue(SmokeShape::kDeathPhase, 0, 4.0f);
    shape->ParamBlock()->SetValue(SmokeShape::kBirthExponent, 0, 1.0f);
    shape->ParamBlock()->SetValue(SmokeShape::kDeathExponent, 0, 3.0f);
    shape->__BeginFrame__(kFrame, nullptr, nullptr, nullptr);
    ParticleInfo p = AgedParticle(200, 0.25f);
    shape->__BeginParticle__(1.0f, 9, &p);
    EXPECT_FLOAT_EQ(shape->NoiseSize(), 3.0f);
    EXPECT_FLOAT_EQ(shape->Phase(), 1.0f);
    EXPECT_FLOAT_EQ(shape->Exponent(), 1.5f);
    EXPECT_EQ(shape->Samples(), 5);
    for (int samples : {-3, 0}) {
        shape->ParamBlock()->SetValue(SmokeShape::kSamples, 0, samples);
        shape->__BeginParticle__(1.0f, 9, &p);
        EXPECT_EQ(shape->Samples(), 1) << samples;
    }
}

TEST_F(Smoke, RowCallsGiveWhatThePixelCallGivesAndNothingOutsideAFrame) {
    unsigned short d = 0;
    ParticleInfo p = AgedParticle(11);
    shape->__BeginParticle__(1.0f, 10, &p);
    EXPECT_EQ(shape->__ParticleShape__(&d, 10, 0, 0, 0, 0), 0) << "no frame, no table";

    shape->__BeginFrame__(kFrame, nullptr, nullptr, nullptr);
    const IShapeRows *rows = GetShapeRows(shape.get());
    ASSERT_NE(rows, nullptr);
    const int r = 70;  // rows longer than one evaluated run
    ExpectRowsGiveThePixels(*rows, r, ParticlePixels(*shape, r, p));
}
