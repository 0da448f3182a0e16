/// @file combustion_march_test.cpp
/// @brief The self-luminous march over stand-in plug-ins: samples per volume, optical depth
///        and its conversion, composited stopping, where shadows apply, the frame's sample
///        count.
#include "plugins/raymarch/combustion_march.h"

#include "ray_context.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

namespace {

/// Uniform density; records where along z it was asked for density.
class FireVolume final : public NimbraPlugIn {
public:
    float density = 0.0f;
    float shadowStrength = 1.0f;
    Color diffuse{0.5f, 0.0f, 1.0f};
    Color ambient{0.1f, 0.1f, 0.1f};
    std::vector<float> z;
    void __Density_Function__(SampleInfo *s) override {
        z.push_back(s->worldPoint.z);
        s->noise = 1.0f;
        s->density = density;
    }
    float __GetShadowStrength__(SampleInfo *) override { return shadowStrength; }
    Color __GetColorDiffuse__(SampleInfo *) override { return diffuse; }
    Color __GetColorAmbient__(SampleInfo *) override { return ambient; }
    Class_ID ClassID() override { return Class_ID(0x52415936, 1); }
};

/// A white light at a camera-space position, reaching every point head on.
class WhiteLight final : public LightDesc {
public:
    Point3 position;
    BOOL Illuminate(ShadeContext &sc, Point3 &normal, Color &color, Point3 &dir, float &dot_nl,
                    float &diffuseCoef) override {
        dir = Normalize(position - sc.P());
        color = Color(1, 1, 1);
        dot_nl = diffuseCoef = DotProd(normal, dir);
        return TRUE;
    }
    Point3 LightPosition() override { return position; }
};

const Color kBackground(0.1f, 0.3f, 0.5f);

class CombustionTest : public ::testing::Test {
protected:
    /// A sphere of radius `size` at `center`, owned by plug-in set `set` (0 fire, 1 other).
    void AddVolume(const Point3 &center, float size, int set = 0) {
        MarchVolume v;
        ASSERT_TRUE(PlaceVolume(v, kVolumeSphere, center, Matrix3(), Point3(1, 1, 1), size));
        v.record.pluginSet = set;
        v.record.lit = 1;
        frame.volumes.push_back(v);
    }
    /// Shades the segment from z = +20 to z = −20 along x = `x` over the background.
    std::pair<Color, Color> Shade(float x = 0.0f) {
        frame.plugIns = {{&fire, &fire, &fire}, {&other, &other, &other}};
        frame.bvh.Build(frame.volumes);
        Color color = kBackground, trans(1, 1, 1);
        ShadeCombustionSegment(frame, style, sc, Point3(x, 0, 20), Point3(x, 0, -20), color,
                               trans, scratch);
        return {color, trans};
    }

    MarchFrame frame;
    CombustionStyle style;
    FireVolume fire, other;
    raymarchtest::RayContext sc;
    MarchScratch scratch;
};

struct SamplesCase {
    float setting;
    bool summed;
    float previewAmount;
    int intervals;
};

class SamplesTest : public CombustionTest, public ::testing::WithParamInterface<SamplesCase> {};

// Every volume, small or large, is cut into the same number of equal intervals, from the
// setting, the preview's divisor and the style; density is asked for between them.
TEST_P(SamplesTest, EveryVolumeGetsTheSameIntervals) {
    const SamplesCase c = GetParam();
    style = {CombustionSamples(c.setting, c.summed, c.previewAmount), c.summed, false};
    AddVolume(Point3(0, 0, 10), 1.0f);
    AddVolume(Point3(0, 0, -5), 6.0f);
    Shade();
    std::vector<float> expected;
    for (const auto &[top, length] : {std::pair{11.0, 2.0}, std::pair{1.0, 12.0}})
        for (int j = 1; j < c.intervals; ++j)
            expected.push_back(static_cast<float>(top - length * j / c.intervals));
    ASSERT_EQ(fire.z.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) EXPECT_NEAR(fire.z[i], expected[i], 1e-4f);
}

INSTANTIATE_TEST_SUITE_P(
    Counts, SamplesTest,
    ::testing::Values(SamplesCase{1, true, 0, 3}, SamplesCase{4.9f, true, 0, 3},
                      SamplesCase{5, true, 0, 4}, SamplesCase{15, true, 0, 14},
                      SamplesCase{15, false, 0, 3}, SamplesCase{25, false, 0, 4},
                      SamplesCase{40, true, 2, 19}, SamplesCase{40, true, 20.9f, 3},
                      SamplesCase{40, true, 1e20f, 3}, SamplesCase{1e9f, true, 0, 499},
                      SamplesCase{std::numeric_limits<float>::quiet_NaN(), true, 0, 3}));

struct DepthCase {
    float density;
    bool lit;
};

class OpticalDepthTest : public CombustionTest,
                         public ::testing::WithParamInterface<DepthCase> {};

// One volume of density d over a chord L sums x = d·L·1000·(k − 1)/k; each colour channel c
// sums c·x, and with a white light also the light sum's share (k − 1)/k of it. The segment
// keeps e^(−x) of what it arrived with.
TEST_P(OpticalDepthTest, OneVolumeBecomesOneMinusExpOfItsDepth) {
    const DepthCase c = GetParam();
    WhiteLight light;
    light.position = Point3(0, 0, 40);
    if (c.lit) scratch.lights = {&light};
    fire.density = c.density;
    AddVolume(Point3(0, 0, 0), 2.0f);
    const auto [color, trans] = Shade();

    const double k = 14.0, length = 4.0;
    const double x = static_cast<double>(c.density) * length * 1000.0 * (k - 1.0) / k;
    const double keep = std::exp(-x);
    const double lightGain = c.lit ? 1.0 + (k - 1.0) / k : 1.0;
    auto expect = [&](float in, float diffuse, float out) {
        const double depth = diffuse > 0.0f ? diffuse * lightGain * x : 0.0;
        EXPECT_NEAR(out, in * keep + 1.0 - std::exp(-depth), 1e-5);
    };
    expect(kBackground.r, fire.diffuse.r, color.r);
    expect(kBackground.g, fire.diffuse.g, color.g);  // diffuse 0: never NaN
    expect(kBackground.b, fire.diffuse.b, color.b);
    EXPECT_NEAR(trans.r, keep, 1e-6);
}

INSTANTIATE_TEST_SUITE_P(Densities, OpticalDepthTest,
                         ::testing::Values(DepthCase{0.0f, false}, DepthCase{2e-5f, false},
                                           DepthCase{2e-5f, true}, DepthCase{1e6f, false},
                                           DepthCase{std::numeric_limits<float>::infinity(),
                                                     true}));

class StyleTest : public CombustionTest, public ::testing::WithParamInterface<bool> {};

TEST_P(StyleTest, SegmentThatMissesEveryVolumeIsUntouched) {
    style.summed = GetParam();
    fire.density = 1.0f;
    AddVolume(Point3(0, 0, 0), 2.0f);
    AddVolume(Point3(0, 0, -30), 5.0f);  // beyond the segment's end
    const auto [color, trans] = Shade(3.0f);
    EXPECT_EQ(color, kBackground);
    EXPECT_EQ(trans, Color(1, 1, 1));
    EXPECT_TRUE(fire.z.empty());
}

// Assume Solid Color ends the summed march behind an opaque volume; without it the volumes
// behind are still sampled.
TEST_P(StyleTest, AssumeSolidColorEndsTheMarchBehindAnOpaqueVolume) {
    style.assumeSolid = GetParam();
    fire.density = 1.0f;  // optical depth ~3700: e^(−x) is 0
    AddVolume(Point3(0, 0, 5), 2.0f);
    AddVolume(Point3(0, 0, -5), 2.0f, 1);
    const auto [color, trans] = Shade();
    EXPECT_EQ(other.z.empty(), style.assumeSolid);
    EXPECT_EQ(trans, Color(0, 0, 0));
}

INSTANTIATE_TEST_SUITE_P(Flags, StyleTest, ::testing::Bool());

// Composited: each sample adds o = d·dt·10 of what is left; the march stops once the opacity
// reaches 1, never sampling what lies behind.
TEST_F(CombustionTest, CompositedStyleStopsAtFullOpacity) {
    style.summed = false;
    style.samples = 5;  // 4 intervals of 1 over a chord of 4
    fire.density = 0.02f;
    AddVolume(Point3(0, 0, 8), 2.0f);
    const double kept = std::pow(1.0 - 0.02 * 1.0 * 10.0, 3.0);
    EXPECT_NEAR(Shade().second.r, kept, 1e-6);

    fire.density = 0.1f;  // o = 1 at the first sample
    AddVolume(Point3(0, 0, -5), 2.0f, 1);
    const auto [color, trans] = Shade();
    EXPECT_EQ(fire.z.size(), 3u + 1u);
    EXPECT_TRUE(other.z.empty());
    EXPECT_EQ(trans, Color(0, 0, 0));
    EXPECT_EQ(color, fire.diffuse);
}

struct ShadowCase {
    bool summed, assumeSolid;
};

class ShadowTest : public CombustionTest, public ::testing::WithParamInterface<ShadowCase> {};

// A lit volume between the light and the fire takes away, in one go, 0.1 × its shadow
// strength × (1 − the normalised distance of its chord's middle), only in the composited
// style without Assume Solid Color. The samples then blend from ambient towards diffuse by
// what light is left.
TEST_P(ShadowTest, ShadowsOnlyWhenBothFlagsAreOff) {
    style = {1, GetParam().summed, GetParam().assumeSolid};  // 2 samples, at z = ±2/3
    WhiteLight light;
    light.position = Point3(0, 40, 0);
    scratch.lights = {&light};
    fire.density = 0.001f;
    fire.shadowStrength = 0.0f;
    AddVolume(Point3(0, 0, 0), 2.0f);
    AddVolume(Point3(0, 20, 0), 3.0f, 1);
    other.shadowStrength = 0.0f;
    const Color open = Shade().first;
    other.shadowStrength = 1.0f;
    const Color shadowed = Shade().first;
    if (style.summed || style.assumeSolid) {
        EXPECT_EQ(shadowed, open);
        return;
    }
    // Squared distance of the blocker's centre from the shadow ray of a sample at z = 2/3.
    const double z = 2.0 / 3.0, toCentre = 20.0 * 20.0 + z * z;
    const double along = (20.0 * 40.0 + z * z) / std::sqrt(40.0 * 40.0 + z * z);
    const double lightLeft = 1.0 - 0.1 * (1.0 - (toCentre - along * along) / 9.0);
    const double o = 0.001 * (4.0 / 3.0) * 10.0;
    const double sample = fire.ambient.b + (fire.diffuse.b - fire.ambient.b) * lightLeft;
    EXPECT_NEAR(shadowed.b, kBackground.b * (1 - o) * (1 - o) + sample * (o + (1 - o) * o),
                1e-6);
}

INSTANTIATE_TEST_SUITE_P(Flags, ShadowTest,
                         ::testing::Values(ShadowCase{false, false}, ShadowCase{false, true},
                                           ShadowCase{true, false}, ShadowCase{true, true}));

}  // namespace
