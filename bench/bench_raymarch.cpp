/// @file bench_raymarch.cpp
/// @brief The lit and the self-luminous volume marches: samples per second over a cloud of
///        particle volumes lit by one light, with density from three octaves of noise and, to
///        show what the march itself costs, from a constant; one and two threads, each with
///        its own buffers.
#include "plugins/raymarch/combustion_march.h"

#include "host/noise.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <random>

namespace {

thread_local long long samples = 0;

/// Density from |noise4| octaves, as the turbulent volume effects compute it; or a constant.
class BenchVolume final : public NimbraPlugIn {
public:
    explicit BenchVolume(bool noisy) : noisy_(noisy) {}
    Class_ID ClassID() override { return Class_ID(0x52415935, 1); }
    void __Density_Function__(SampleInfo *s) override {
        ++samples;
        float sum = 0.5f;
        if (noisy_) {
            const Point3 q = s->point * 0.3f;
            sum = std::fabs(noise4(q, 0.5f)) + std::fabs(noise4(q * 2.0f, 0.5f)) * 0.5f +
                  std::fabs(noise4(q * 4.0f, 0.5f)) * 0.25f;
        }
        s->noise = sum;
        s->density = sum * 0.00004f * (1.0f - s->radius);
    }
    float __GetShadowStrength__(SampleInfo *) override { return 1.0f; }
    Color __GetColorDiffuse__(SampleInfo *) override { return {0.9f, 0.6f, 0.3f}; }

private:
    bool noisy_;
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

/// 300 spheres of radius 3 … 6 in a cube 40 wide around the origin.
MarchFrame MakeFrame(NimbraPlugIn *plugIn) {
    MarchFrame f;
    std::mt19937 rng(3);
    std::uniform_real_distribution<float> at(-20.0f, 20.0f), size(3.0f, 6.0f);
    for (int i = 0; i < 300; ++i) {
        MarchVolume v;
        PlaceVolume(v, kVolumeSphere, Point3(at(rng), at(rng), at(rng)), Matrix3(),
                    Point3(1, 1, 1), size(rng));
        v.record.lit = 1;
        f.volumes.push_back(v);
    }
    f.plugIns = {{plugIn, plugIn, plugIn}};
    f.step = 0.5f;
    f.lighting = kShadows;
    f.shadowDetail = 5.0f;
    return f;
}

const MarchFrame &Frame(bool noisy) {
    static BenchVolume noise(true), constant(false);
    static MarchFrame frames[2] = {MakeFrame(&constant), MakeFrame(&noise)};
    static const bool built = [] {
        for (MarchFrame &f : frames) f.bvh.Build(f.volumes);
        return true;
    }();
    (void)built;
    return frames[noisy];
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
    const MarchFrame &frame = Frame(state.range(0) != 0);
    MarchRays(state, [&](auto &&...args) { ShadeSegment(frame, args...); });
}

/// The self-luminous march at its default 15 samples: summed optical depth, or composited
/// (a fifth of the samples) with shadows towards the light.
void BM_CombustionMarch(benchmark::State &state) {
    const MarchFrame &frame = Frame(state.range(0) != 0);
    CombustionStyle style;
    style.summed = state.range(1) != 0;
    style.samples = CombustionSamples(15.0f, style.summed, 0);
    MarchRays(state, [&](auto &&...args) { ShadeCombustionSegment(frame, style, args...); });
}

}  // namespace

// First argument: 1 noise density, 0 constant density. Second: 1 summed, 0 composited style.
BENCHMARK(BM_GhostBeamMarch)->Arg(1)->Arg(0)->Threads(1)->Threads(2)->UseRealTime();
BENCHMARK(BM_CombustionMarch)
    ->ArgsProduct({{1, 0}, {1, 0}})
    ->Threads(1)
    ->Threads(2)
    ->UseRealTime();
BENCHMARK_MAIN();
