/// @file bench_fireball.cpp
/// @brief The FireBall shape's per-pixel work, measured in noise3 calls: a covered pixel does
///        one noise evaluation and one table read, so its cost should stay close to that of
///        one noise3 call.
///
/// Each benchmark reports `covered_per_s` (covered pixels per second) and `noise3_calls` (the
/// cost of one covered pixel divided by the cost of one noise3 call measured in the same run).
/// Items are covered pixels.
#include "plugins/standard/fireball_shape.h"
#include "host/class_desc.h"
#include "host/interface.h"
#include "host/module_loader.h"
#include "host/noise.h"

#include <benchmark/benchmark.h>

#include <cstdint>
#include <ctime>
#include <vector>

namespace {

/// CPU time of this thread in seconds: the machine may be shared, so both sides of the
/// comparison are measured in the thread's own time.
double ThreadSeconds() {
    timespec ts;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + 1e-9 * static_cast<double>(ts.tv_nsec);
}

/// Seconds per noise3 call, measured once in this run over points spread like a sprite's.
double Noise3Seconds() {
    static const double seconds = [] {
        constexpr int kSide = 64, kRounds = 400;
        float sum = 0.0f;
        const double start = ThreadSeconds();
        for (int r = 0; r < kRounds; ++r)
            for (int y = 0; y < kSide; ++y)
                for (int x = 0; x < kSide; ++x)
                    sum += noise3(Point3(x * 0.0625f, y * 0.0625f, 3.7f + r * 0.01f));
        const double elapsed = ThreadSeconds() - start;
        benchmark::DoNotOptimize(sum);
        return elapsed / (double(kRounds) * kSide * kSide);
    }();
    return seconds;
}

void Report(benchmark::State &state, std::int64_t covered, std::int64_t asked, double seconds) {
    state.SetItemsProcessed(covered);
    if (covered == 0) return;
    const double perPixel = seconds / static_cast<double>(covered);
    state.counters["covered_per_s"] = 1.0 / perPixel;
    state.counters["noise3_calls"] = perPixel / Noise3Seconds();
    state.counters["covered_pct"] = 100.0 * double(covered) / double(asked);
    state.counters["noise3_per_asked"] = seconds / double(asked) / Noise3Seconds();
}

/// The modules, loaded once: the shape makes its controllers through the host.
void LoadModules() {
    static ModuleLoader *loader = [] {
        auto *l = new ModuleLoader;
        l->LoadAll({NIMBRA_PLUGIN_DIR});
        return l;
    }();
    benchmark::DoNotOptimize(loader);
}

/// The shape alone: every pixel of particles of radius `state.range(0)`, as the engine asks
/// for them (covered or not); the time is divided among the covered ones.
void BM_FireBallShape(benchmark::State &state, int noiseType) {
    LoadModules();
    auto *shape = static_cast<FireBallShape *>(
        static_cast<Animatable *>(CreateInstance(REF_MAKER_CLASS_ID, FireBallShape::kClassID)));
    if (!shape) {
        state.SkipWithError("the module standard did not load");
        return;
    }
    shape->ParamBlock()->SetValue(FireBallShape::kNoiseType, 0, noiseType);
    shape->__BeginFrame__(0, nullptr, nullptr, nullptr);
    Noise3Seconds();

    const int r = static_cast<int>(state.range(0));
    std::int64_t covered = 0, asked = 0;
    int index = 0;
    const double start = ThreadSeconds();
    for (auto _ : state) {
        ParticleInfo p;
        p.lifeEnd = 4800;
        p.age = (index * 613) % 4800;
        p.particleIndex = index++;
        shape->__BeginParticle__(1.0f, r, &p);
        std::uint32_t sum = 0;
        for (int y = -r; y <= r; ++y)
            for (int x = -r; x <= r; ++x) {
                unsigned short d;
                if (shape->__ParticleShape__(&d, r, x, y, x, y)) {
                    sum += d;
                    ++covered;
                }
            }
        benchmark::DoNotOptimize(sum);
        asked += std::int64_t(2 * r + 1) * (2 * r + 1);
    }
    Report(state, covered, asked, ThreadSeconds() - start);
    shape->__EndFrame__(0);
    shape->DeleteThis();
}

}  // namespace

BENCHMARK_CAPTURE(BM_FireBallShape, regular, FireBallShape::kRegularNoise)->Arg(8)->Arg(40);
BENCHMARK_CAPTURE(BM_FireBallShape, fractal, FireBallShape::kFractalNoise)->Arg(40);

BENCHMARK_MAIN();
