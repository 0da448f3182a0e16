/// @file density_run_test.cpp
/// @brief The volume effects' run call against their per-sample calls, and the marches giving
///        the same image whether they ask for densities in runs or one by one.
#include "plugins/raymarch/combustion_march.h"
#include "plugins/volume/clouds.h"
#include "plugins/volume/combustion.h"
#include "raymarch/ray_context.h"
#include "volume_fixture.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

using namespace volumetest;

namespace {

using Random = std::mt19937;

float Uniform(Random &rng, float lo, float hi) {
    return std::uniform_real_distribution<float>(lo, hi)(rng);
}

/// Where a class keeps the quantities the test varies.
struct Params {
    int noiseSize, second, regularity, density, shadowDensity, stretchAxis, stretch, motion;
    int levels = -1, falloff = -1;  ///< the octave volumes' only
};

constexpr Params kOctaveParams{
    OctaveNoiseVolume::kBirthNoiseSize,     OctaveNoiseVolume::kBirthNoisePhase,
    OctaveNoiseVolume::kBirthRegularity,    OctaveNoiseVolume::kBirthDensity,
    OctaveNoiseVolume::kBirthShadowDensity, OctaveNoiseVolume::kStretchAxis,
    OctaveNoiseVolume::kBirthStretch,       OctaveNoiseVolume::kBirthMotion,
    OctaveNoiseVolume::kNoiseLevels,        OctaveNoiseVolume::kDensityFalloff};
constexpr Params kFractalParams{
    FractalClouds::kBirthNoiseSize,     FractalClouds::kBirthSmoothness,
    FractalClouds::kBirthRegularity,    FractalClouds::kBirthDensity,
    FractalClouds::kBirthShadowDensity, FractalClouds::kStretchAxis,
    FractalClouds::kBirthStretch,       FractalClouds::kBirthMotion};

struct EffectCase {
    const char *name;
    Owned<TablePlugIn> (*make)();
    Params params;
};

void PrintTo(const EffectCase &c, std::ostream *os) {
    *os << c.name;
}

template <typename T>
Owned<TablePlugIn> Make() {
    return Owned<TablePlugIn>(New<T>().release());
}

const EffectCase kEffects[] = {{"Combustion", &Make<Combustion>, kOctaveParams},
                               {"PuffyClouds", &Make<PuffyClouds>, kOctaveParams},
                               {"FractalClouds", &Make<FractalClouds>, kFractalParams}};

/// Birth and death values of every varied quantity drawn at random; a shadow density of 0 now
/// and then, where the shadow call writes nothing.
void Randomise(IParamBlock &pb, const Params &p, Random &rng) {
    const auto pair = [&](int birth, float lo, float hi) {
        pb.SetValue(birth, 0, Uniform(rng, lo, hi));
        pb.SetValue(birth + 1, 0, Uniform(rng, lo, hi));
    };
    pair(p.noiseSize, 0.05f, 2.0f);
    pair(p.second, 0.0f, 1.0f);
    pair(p.regularity, 0.0f, 1.0f);
    pair(p.density, 0.0f, 2.0f);
    pair(p.shadowDensity, 0.0f, 3.0f);
    if (rng() % 4 == 0) {
        pb.SetValue(p.shadowDensity, 0, 0.0f);
        pb.SetValue(p.shadowDensity + 1, 0, 0.0f);
    }
    pair(p.stretch, -2.0f, 2.0f);
    pair(p.motion, -40.0f, 40.0f);
    pb.SetValue(p.stretchAxis, 0, int(rng() % 3));
    if (p.levels >= 0) pb.SetValue(p.levels, 0, Uniform(rng, 1.0f, 6.0f));
    if (p.falloff >= 0) pb.SetValue(p.falloff, 0, int(rng() % 3));
}

/// A volume of random phase, motion and age.
ParticleVolume RandomVolume(Random &rng) {
    ParticleVolume v;
    v.phase = Uniform(rng, 0.0f, 50.0f);
    v.motion = Point3(Uniform(rng, -1, 1), Uniform(rng, -1, 1), Uniform(rng, -1, 1));
    v.lifeEnd = 4800;
    v.age = int(rng() % 4800);
    return v;
}

class DensityRunTest : public ::testing::TestWithParam<EffectCase> {};

TEST_P(DensityRunTest, EveryRunGivesWhatThePerSampleCallsGive) {
    Owned<TablePlugIn> effect = GetParam().make();
    ASSERT_NE(effect, nullptr);
    IDensityRun *runs = GetDensityRun(effect.get());
    ASSERT_NE(runs, nullptr);
    Random rng(19);
    for (int count = 1; count <= 40; ++count) {
        Randomise(*effect->ParamBlock(), GetParam().params, rng);
        ParticleVolume volume = RandomVolume(rng);
        effect->__UpdateAtmos_(0);
        effect->__CreateCache__(0, &volume);
        const bool shadow = count % 2 == 0;
        std::vector<SampleInfo> run(count), single;
        for (SampleInfo &s : run) {
            s.volume = &volume;
            s.point = Point3(Uniform(rng, -9, 9), Uniform(rng, -9, 9), Uniform(rng, -9, 9));
            s.radius = Uniform(rng, 0.0f, 1.0f);
            s.noise = s.density = -1.0f;
        }
        single = run;
        for (SampleInfo &s : single)
            shadow ? effect->__LightShadow_Function__(&s) : effect->__Density_Function__(&s);
        shadow ? runs->LightShadowRun(run.data(), count) : runs->DensityRun(run.data(), count);
        effect->__DestroyCache__(0, &volume);
        for (int i = 0; i < count; ++i) {
            SCOPED_TRACE(testing::Message()
                         << "run " << count << " sample " << i << (shadow ? " shadow" : ""));
            const SampleInfo &a = run[i], &b = single[i];
            EXPECT_EQ(a.point, b.point);
            // Each octave of batched noise within 1e-6 of the single call's.
            const float tolerance = 1e-5f * std::max(1.0f, std::fabs(b.noise));
            EXPECT_NEAR(a.noise, b.noise, tolerance);
            EXPECT_NEAR(a.density, b.density, tolerance);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Effects, DensityRunTest, ::testing::ValuesIn(kEffects),
                         [](const auto &info) { return std::string(info.param.name); });

// ---------------------------------------------------------------------------------------------
// Marches

/// Colour and shadow strength that follow the sample, so that a sample handed to the wrong
/// step or read before its density shows.
class SampleColor final : public NimbraPlugIn {
public:
    Class_ID ClassID() override { return Class_ID(0x52415936, 1); }
    float __GetShadowStrength__(SampleInfo *s) override { return 1.0f - 0.5f * s->radius; }
    Color __GetColorDiffuse__(SampleInfo *s) override {
        return {0.6f + 0.4f * s->sunbeam, 0.5f + 0.4f * std::min(s->noise, 1.0f),
                0.2f + s->radius * 0.5f};
    }
    Color __GetColorAmbient__(SampleInfo *s) override { return {0.1f, 0.1f, s->noise * 0.1f}; }
};

/// The effect's densities one sample at a time, each through its run call. The batched noise
/// of a run and the single noise agree within 1e-6, which the opacity of a sample magnifies a
/// thousandfold; with the same noise on both sides, the marches differ only in how they use
/// runs.
class OneByOne final : public NimbraPlugIn {
public:
    explicit OneByOne(IDensityRun &runs) : runs_(runs) {}
    Class_ID ClassID() override { return Class_ID(0x52415937, 1); }
    void __Density_Function__(SampleInfo *s) override { runs_.DensityRun(s, 1); }

private:
    IDensityRun &runs_;
};

class OverheadLight final : public LightDesc {
public:
    BOOL Illuminate(ShadeContext &sc, Point3 &normal, Color &color, Point3 &dir, float &dot_nl,
                    float &diffuseCoef) override {
        dir = Normalize(LightPosition() - sc.P());
        color = Color(1, 0.9f, 0.8f);
        dot_nl = diffuseCoef = DotProd(normal, dir);
        return TRUE;
    }
    Point3 LightPosition() override { return {3, 40, 5}; }
};

class MarchRunTest : public ::testing::TestWithParam<EffectCase> {};

TEST_P(MarchRunTest, RunsAndSingleSamplesGiveTheSameImage) {
    Owned<TablePlugIn> effect = GetParam().make();
    IDensityRun *effectRuns = GetDensityRun(effect.get());
    ASSERT_NE(effectRuns, nullptr);
    OneByOne oneByOne(*effectRuns);
    SampleColor color;
    OverheadLight light;
    Random rng(7);
    Randomise(*effect->ParamBlock(), GetParam().params, rng);
    // Thin enough that shadow rays cross many samples before they are opaque.
    for (int birthDeath : {0, 1})
        effect->ParamBlock()->SetValue(GetParam().params.density + birthDeath, 0, 0.01f);
    MarchFrame frame;
    for (int i = 0; i < 12; ++i) {
        MarchVolume v;
        const Point3 at(Uniform(rng, -6, 6), Uniform(rng, -6, 6), Uniform(rng, -6, 6));
        ASSERT_TRUE(
            PlaceVolume(v, int(rng() % 3), at, Matrix3(), Point3(1, 1, 1), Uniform(rng, 2, 5)));
        const ParticleVolume random = RandomVolume(rng);
        v.record.phase = random.phase;
        v.record.motion = random.motion;
        v.record.age = random.age;
        v.record.lifeEnd = random.lifeEnd;
        v.record.lit = 1;
        frame.volumes.push_back(v);
    }
    frame.bvh.Build(frame.volumes);
    frame.step = 0.3f;
    frame.lighting = kShadows;
    frame.shadowDetail = 2.0f;
    frame.sunbeams = true;
    frame.depthLimit = 6.0f;
    effect->__UpdateAtmos_(0);
    for (MarchVolume &v : frame.volumes) effect->__CreateCache__(0, &v.record);

    raymarchtest::RayContext sc;
    MarchScratch scratch;
    scratch.lights = {&light};
    // Per ray: GhostBeam, then the self-luminous march summed and composited.
    const auto image = [&](bool runs) {
        frame.plugIns = {{&oneByOne, &color, &color, runs ? effectRuns : nullptr}};
        std::vector<Color> pixels;
        for (int ray = 0; ray < 64; ++ray) {
            const float x = -8.0f + 2.0f * float(ray % 8), y = -8.0f + 2.0f * float(ray / 8);
            for (int style = 0; style < 3; ++style) {
                Color c(0.1f, 0.2f, 0.3f), t(1, 1, 1);
                const Point3 p0(x, y, 20), p1(x, y, -20);
                if (style == 0) {
                    ShadeSegment(frame, sc, p0, p1, c, t, scratch);
                } else {
                    CombustionStyle cs;
                    cs.summed = style == 1;
                    cs.samples = cs.summed ? 100.0f : 20.0f;  // runs in both
                    ShadeCombustionSegment(frame, cs, sc, p0, p1, c, t, scratch);
                }
                pixels.insert(pixels.end(), {c, t});
            }
        }
        return pixels;
    };
    const std::vector<Color> single = image(false), runs = image(true);
    for (MarchVolume &v : frame.volumes) effect->__DestroyCache__(0, &v.record);
    int marked = 0;
    for (std::size_t i = 0; i < single.size(); ++i) {
        SCOPED_TRACE(testing::Message() << "ray " << i / 6 << " style " << i / 2 % 3
                                        << (i % 2 ? " transparency" : " colour"));
        EXPECT_NEAR(runs[i].r, single[i].r, 1e-6f);
        EXPECT_NEAR(runs[i].g, single[i].g, 1e-6f);
        EXPECT_NEAR(runs[i].b, single[i].b, 1e-6f);
        marked += i % 2 && single[i].g < 0.99f;
    }
    EXPECT_GT(marked, 20) << "too few rays met a volume to tell";
}

INSTANTIATE_TEST_SUITE_P(Effects, MarchRunTest, ::testing::ValuesIn(kEffects),
                         [](const auto &info) { return std::string(info.param.name); });

}  // namespace
