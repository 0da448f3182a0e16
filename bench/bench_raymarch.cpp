/// @file bench_raymarch.cpp
/// @brief The lit and the self-luminous volume marches: samples per second over a cloud of
///        particle volumes lit by one light, with density from the Combustion effect, asked
///        for a run of samples at a time or one by one, and, to show what the march itself
///        costs, from a constant; one and two threads, each with its own buffers.
#include "plugins/raymarch/combustion_march.h"
#include "plugins/volume/combustion.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <random>

namespace {

thread_local long long samples = 0;

/// Counts the density samples of `effect` (Combustion), or answers a constant without noise;
/// with or without the run call.
class BenchVolume final : public NimbraPlugIn, public IDensityRun {
public:
    BenchVolume(NimbraPlugIn *effect, bool runs)
        : effect_(effect), effectRuns_(GetDensityRun(effect)), runs_(runs) {}
    Class_ID ClassID() override { return Class_ID(0x52415935, 1); }
    void *GetInterface(ULONG id) override {
        return id == I_DENSITYRUN && runs_ ? static_cast<IDensityRun *>(this) : nullptr;
    }
    void __Density_Function__(SampleInfo *s) override {
        ++samples;
        if (effect_) return effect_->__Density_Function__(s);
        s->noise = 0.5f;
        s->density = 0.5f * 0.00004f * (1.0f - s->radius);
    }
    void DensityRun(SampleInfo *run, int count) override {
        samples += count;
        if (effectRuns_) return effectRuns_->DensityRun(run, count);
        for (int i = 0; i < count; ++i) {
            run[i].noise = 0.5f;
            run[i].density = 0.5f * 0.00004f * (1.0f - run[i].radius);
        }
    }
    void LightShadowRun(SampleInfo *, int) override {}
    float __GetShadowStrength__(SampleInfo *) override { return 1.0f; }
    Color __GetColorDiffuse__(SampleInfo *) override { return {0.9f, 0.6f, 0.3f}; }

private:
    NimbraPlugIn *effect_;
    IDensityRun *effectRuns_;
    bool runs_;
};

class Light final : public LightDesc {
public:
    BOOL Illuminate(ShadeContext &sc, Point3 &normal, Color &color, Point3 &dir, float &dot_nl,
                    float &diffuseCoef) override {
        dir = Normalize(LightPosition() - sc.P());
        color = Color(1, 1, 1);
        dot_nl = diffuseCoef = DotProd(normal, dir);
        return TRUE;
    }
    Point3 LightPosition() override { return {0, 80, 0}; }
};

class Ray final : public ShadeContext {
public:
    IPoint2 ScreenCoord() override { return {}; }
    Point3 P() override { return {}; }
    Point3 Normal() override { return {0, 0, 1}; }
    Point3 V() override { return {0, 0, -1}; }
};

/// 300 spheres of radius 3 … 6 in a cube 40 wide around the origin, each with its own
/// Combustion record (default parameters, phase and motion at random).
MarchFrame MakeFrame(NimbraPlugIn *plugIn) {
    MarchFrame f;
    std::mt19937 rng(3);
    std::uniform_real_distribution<float> at(-20.0f, 20.0f), size(3.0f, 6.0f), unit(-1, 1);
    for (int i = 0; i < 300; ++i) {
        MarchVolume v;
        PlaceVolume(v, kVolumeSphere, Point3(at(rng), at(rng), at(rng)), Matrix3(),
                    Point3(1, 1, 1), size(rng));
        v.record.lit = 1;
        v.record.phase = 10.0f * unit(rng);
        v.record.motion = Point3(unit(rng), unit(rng), unit(rng));
        f.volumes.push_back(v);
    }
    f.plugIns = {{plugIn, plugIn, plugIn, GetDensityRun(plugIn)}};
    f.step = 0.5f;
    f.lighting = kShadows;
    f.shadowDetail = 5.0f;
    return f;
}

enum Density { kConstant, kNoise, kNoiseRuns, kConstantRuns };

/// The frame of density source `density`.
const MarchFrame &Frame(int density) {
    static Combustion &effect = *new Combustion;  // never freed: outlives the host
    static BenchVolume volumes[] = {
        {nullptr, false}, {&effect, false}, {&effect, true}, {nullptr, true}};
    static MarchFrame frames[] = {MakeFrame(&volumes[0]), MakeFrame(&volumes[1]),
                                  MakeFrame(&volumes[2]), MakeFrame(&volumes[3])};
    static const bool built = [] {
        effect.__UpdateAtmos_(0);
        for (MarchFrame &f : frames) {
            f.bvh.Build(f.volumes);
            for (MarchVolume &v : f.volumes) effect.__CreateCache__(0, &v.record);
        }
        return true;
    }();
    (void)built;
    return frames[density];
}

/// Shades parallel rays through a 32 × 32 grid over the cloud with `shade`, each thread its
/// own rows, and reports density samples per second.
template <class ShadeFn>
void MarchRays(benchmark::State &state, ShadeFn shade) {
    Light light;
    MarchScratch scratch;
    scratch.lights = {&light};
    Ray sc;
    samples = 0;
    int ray = state.thread_index();
    for (auto _ : state) {
        const float x = -24.0f + 1.5f * static_cast<float>(ray % 32);
        const float y = -24.0f + 1.5f * static_cast<float>((ray / 32) % 32);
        Color color, trans(1, 1, 1);
        shade(sc, Point3(x, y, 40), Point3(x, y, -40), color, trans, scratch);
        benchmark::DoNotOptimize(color);
        ray += state.threads();
    }
    state.counters["samples"] =
        benchmark::Counter(static_cast<double>(samples), benchmark::Counter::kIsRate);
}

void BM_GhostBeamMarch(benchmark::State &state) {
    const MarchFrame &frame = Frame(static_cast<int>(state.range(0)));
    MarchRays(state, [&](auto &&...args) { ShadeSegment(frame, args...); });
}

/// The self-luminous march at its default 15 samples: summed optical depth, or composited
/// (a fifth of the samples) with shadows towards the light.
void BM_CombustionMarch(benchmark::State &state) {
    const MarchFrame &frame = Frame(static_cast<int>(state.range(0)));
    CombustionStyle style;
    style.summed = state.range(1) != 0;
    style.samples = CombustionSamples(15.0f, style.summed, 0);
    MarchRays(state, [&](auto &&...args) { ShadeCombustionSegment(frame, style, args...); });
}

}  // namespace

// First argument: the density (see `Density`): 0 constant, 1 Combustion one sample at a time,
// 2 Combustion in runs, 3 constant in runs. Second: 1 summed, 0 composited style.
BENCHMARK(BM_GhostBeamMarch)->DenseRange(0, 3)->Threads(1)->Threads(2)->UseRealTime();
BENCHMARK(BM_CombustionMarch)
    ->ArgsProduct({{2, 1, 0}, {1, 0}})
    ->Threads(1)
    ->Threads(2)
    ->UseRealTime();
BENCHMARK_MAIN();
