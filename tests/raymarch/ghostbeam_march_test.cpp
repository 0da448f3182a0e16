/// @file ghostbeam_march_test.cpp
/// @brief The lit volume march over stand-in plug-ins: what a segment keeps when it misses,
///        front-to-back compositing, opaque volumes, shadows through volumes, cartoon bands.
#include "plugins/raymarch/ghostbeam_march.h"

#include "ray_context.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace {

/// Uniform density everywhere in its volumes; a fixed diffuse colour; full shadow strength.
class UniformVolume final : public NimbraPlugIn {
public:
    float density = 0.5f;
    Color diffuse{0.2f, 0.8f, 0.4f};
    void __Density_Function__(SampleInfo *s) override {
        s->noise = density > 0.0f ? 1.0f : 0.0f;
        s->density = density;
    }
    float __GetShadowStrength__(SampleInfo *) override { return 1.0f; }
    Color __GetColorDiffuse__(SampleInfo *s) override {
        sunbeams.push_back(s->sunbeam);
        return diffuse;
    }
    Class_ID ClassID() override { return Class_ID(0x52415931, 1); }
    std::vector<float> sunbeams;  ///< the sunbeam value of every sample asked for colour
};

/// Records where along z it was asked for density.
class RecordingVolume final : public NimbraPlugIn {
public:
    std::vector<float> z;
    void __Density_Function__(SampleInfo *s) override {
        z.push_back(s->worldPoint.z);
        s->noise = 1.0f;
        s->density = 1e-6f;
    }
    Class_ID ClassID() override { return Class_ID(0x52415934, 1); }
};

/// A point light (camera space) of colour white whose dot product is `strength` wherever it
/// reaches.
class PointLight final : public LightDesc {
public:
    Point3 position;
    float strength = 1.0f;
    BOOL Illuminate(ShadeContext &sc, Point3 &normal, Color &color, Point3 &dir, float &dot_nl,
                    float &diffuseCoef) override {
        dir = Normalize(position - sc.P());
        color = Color(1, 1, 1);
        dot_nl = strength * DotProd(normal, dir);
        diffuseCoef = dot_nl;
        return TRUE;
    }
    Point3 LightPosition() override { return position; }
};

class MarchTest : public ::testing::Test {
protected:
    /// Adds a volume of `shape` and size `size` at `center` owned by plug-in set `set`.
    void AddVolume(const Point3 &center, float size, int shape = kVolumeSphere, int set = 0) {
        MarchVolume v;
        ASSERT_TRUE(PlaceVolume(v, shape, center, Matrix3(), Point3(1, 1, 1), size));
        v.record.pluginSet = set;
        v.record.lit = 1;
        frame.volumes.push_back(v);
    }
    void Ready() {
        frame.plugIns = {{&plugIn, &plugIn, &plugIn}, {&blocker, &blocker, &blocker}};
        frame.bvh.Build(frame.volumes);
    }
    /// Shades the segment from z = +20 to z = −20 along x = `x`, over a background colour.
    std::pair<Color, Color> Shade(float x = 0.0f) {
        Color color(0.1f, 0.3f, 0.5f), trans(1, 1, 1);
        ShadeSegment(frame, sc, Point3(x, 0, 20), Point3(x, 0, -20), color, trans, scratch);
        return {color, trans};
    }

    MarchFrame frame;
    UniformVolume plugIn, blocker;
    raymarchtest::RayContext sc;
    MarchScratch scratch;
};

TEST_F(MarchTest, SegmentThatMissesEveryVolumeIsUntouched) {
    AddVolume(Point3(0, 0, 0), 2.0f);
    AddVolume(Point3(0, 0, -30), 5.0f);  // beyond the segment's end
    Ready();
    const auto [color, trans] = Shade(3.0f);
    EXPECT_EQ(color, Color(0.1f, 0.3f, 0.5f));
    EXPECT_EQ(trans, Color(1, 1, 1));
}

class ShapeMarchTest : public MarchTest, public ::testing::WithParamInterface<int> {};

TEST_P(ShapeMarchTest, OpaqueVolumeHidesWhatLiesBehind) {
    plugIn.density = 1.0f;
    AddVolume(Point3(0, 0, 0), 2.0f, GetParam());
    Ready();
    const auto [color, trans] = Shade();
    EXPECT_EQ(trans, Color(0, 0, 0));
    EXPECT_EQ(color, plugIn.diffuse);
}

// Equal samples composite front to back: n samples of opacity o leave (1 − o)^n.
TEST_P(ShapeMarchTest, UniformVolumeCompositesItsSamples) {
    plugIn.density = 0.0002f;
    AddVolume(Point3(0, 0, 0), 1.0f, GetParam());
    frame.step = 0.3f;
    Ready();
    const auto [color, trans] = Shade();
    // The chord is 2 long: trunc(2 / 0.3) = 6 samples, all inside.
    const double o = 1.0 - std::pow(1.0 - 0.0002, 2000.0);
    const double left = std::pow(1.0 - o, 6.0);
    EXPECT_NEAR(trans.r, left, 1e-4);
    EXPECT_NEAR(color.g, 0.3 * left + 0.8 * (1.0 - left), 1e-4);
}

INSTANTIATE_TEST_SUITE_P(Shapes, ShapeMarchTest,
                         ::testing::Values(kVolumeSphere, kVolumeCylinder, kVolumeBox));

TEST(SampleOpacity, FollowsDensityWithinItsRange) {
    EXPECT_NEAR(SampleOpacity(0.001f), 1.0 - std::pow(0.999, 2000.0), 1e-4);
    EXPECT_EQ(SampleOpacity(0.0f), 0.0f);
    EXPECT_EQ(SampleOpacity(1.0f), 1.0f);
    EXPECT_EQ(SampleOpacity(3.0f), 1.0f) << "density above 1 is opaque, not negative";
    EXPECT_EQ(SampleOpacity(-1.0f), 0.0f);
}

TEST_F(MarchTest, DenseVolumeBetweenLightAndSampleDarkensIt) {
    PointLight light;
    light.position = Point3(0, 40, 0);
    scratch.lights = {&light};
    frame.lighting = kShadows;
    frame.shadowDetail = 1.0f;
    frame.step = 0.25f;
    plugIn.density = 0.00005f;
    AddVolume(Point3(0, 0, 0), 2.0f);
    AddVolume(Point3(0, 20, 0), 3.0f, kVolumeSphere, 1);
    blocker.density = 0.0f;
    Ready();
    const Color open = Shade().first;
    blocker.density = 0.01f;
    const Color shadowed = Shade().first;
    EXPECT_GT(open.g, 0.1f) << "the light reaches the volume";
    EXPECT_LT(shadowed.g, 0.5f * open.g);
}

struct SunbeamCase {
    float density, depthLimit, expected;
};

class SunbeamTest : public MarchTest, public ::testing::WithParamInterface<SunbeamCase> {};

// A sphere of radius 2 lit from +y, stepped by 0.25: coming from the light, the first dense
// point lies at y = 1.75, so the sample at the centre is 1.75 deep.
TEST_P(SunbeamTest, MeasuresDepthBelowTheLitSurface) {
    const SunbeamCase c = GetParam();
    plugIn.density = c.density;
    frame.step = 0.25f;
    frame.depthLimit = c.depthLimit;
    AddVolume(Point3(0, 0, 0), 2.0f);
    Ready();
    SampleInfo sample;
    sample.worldPoint = Point3(0, 0, 0);
    EXPECT_NEAR(SunbeamValue(frame, frame.volumes[0], sample, Point3(0, 1, 0), scratch),
                c.expected, 1e-5);
}

INSTANTIATE_TEST_SUITE_P(Depths, SunbeamTest,
                         ::testing::Values(SunbeamCase{0.5f, 3.5f, 0.5f},
                                           SunbeamCase{0.5f, 1.75f, 0.0f},
                                           SunbeamCase{0.5f, 1.0f, 0.0f},
                                           SunbeamCase{0.5f, 0.0f, 0.0f},
                                           SunbeamCase{0.0f, 3.5f, 0.0f}));

TEST_F(MarchTest, LitSamplesCarryTheirSunbeamValueToTheColourShader) {
    PointLight light;
    light.position = Point3(0, 40, 0);
    scratch.lights = {&light};
    frame.lighting = kShadows;
    frame.step = 0.5f;
    frame.sunbeams = true;
    frame.depthLimit = 10.0f;
    plugIn.density = 0.0001f;
    AddVolume(Point3(0, 0, 0), 2.0f);
    Ready();
    Shade();
    ASSERT_FALSE(plugIn.sunbeams.empty());
    for (float value : plugIn.sunbeams) EXPECT_GT(value, 0.7f);
    plugIn.sunbeams.clear();
    frame.sunbeams = false;
    Shade();
    for (float value : plugIn.sunbeams) EXPECT_EQ(value, 0.0f);
}

// The first dense sample is approached with steps of s/2, s/4, s/8 and s/16; the march then
// goes on with s to the end of the volume.
TEST_F(MarchTest, ProgressiveSteppingRefinesOnlyTheFirstDenseSample) {
    RecordingVolume recorder;
    AddVolume(Point3(0, 0, 0), 2.0f);
    frame.step = 1.0f;
    frame.progressive = true;
    frame.refinements = 4;
    Ready();
    frame.plugIns[0] = {&recorder, &recorder, &recorder};
    Shade();
    // The volume is entered at z = 2: the first sample, one step in, is dense.
    std::vector<float> expected{1.0f};
    for (float step = 0.5f; step >= 0.0625f; step *= 0.5f) expected.push_back(2.0f - step);
    for (float z = expected.back() - 1.0f; z > -2.0f; z -= 1.0f) expected.push_back(z);
    EXPECT_EQ(recorder.z, expected);
}

struct BandCase {
    float intensity;
    bool useLow;
    float lowWeight, highWeight;  // the expected share of each band colour
};

class InkBandTest : public MarchTest, public ::testing::WithParamInterface<BandCase> {};

// Thresholds low 0.55, high 0.3, falloff 0.1: only the band colours reach the image.
TEST_P(InkBandTest, GivesOnlyItsBands) {
    const BandCase c = GetParam();
    PointLight light;
    light.position = Point3(0, 0, 40);
    light.strength = c.intensity;
    scratch.lights = {&light};
    frame.lighting = kShadows;
    frame.shadowDetail = 1e6f;  // no shadow steps: the first sample sees the light
    frame.ink.enabled = true;
    frame.ink.useLow = c.useLow;
    frame.ink.lowColor = Color(1, 0, 0);
    frame.ink.highColor = Color(0, 0, 1);
    plugIn.density = 1.0f;
    AddVolume(Point3(0, 0, 0), 2.0f);
    Ready();
    const Color color = Shade().first;
    EXPECT_NEAR(color.r, c.lowWeight, 1e-5f);
    EXPECT_EQ(color.g, 0.0f) << "the diffuse colour stays out";
    EXPECT_NEAR(color.b, c.highWeight, 1e-5f);
}

INSTANTIATE_TEST_SUITE_P(Intensities, InkBandTest,
                         ::testing::Values(BandCase{0.2f, true, 0, 0},
                                           BandCase{0.45f, true, 0, 0},  // above high only
                                           BandCase{0.45f, false, 0, 0.6f},
                                           BandCase{0.35f, false, 0, 0.3f},
                                           BandCase{0.6f, true, 0.15f, 0.6f},
                                           BandCase{0.9f, true, 0.3f, 0.6f}));

}  // namespace
