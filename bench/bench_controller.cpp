/// @file bench_controller.cpp
/// @brief The default age controller's per-particle work (`__Reset__` and one float
///        `__Eval__`) with and without its variations, measured in noise3 calls.
///
/// A sprite pixel costs about one noise3 call, so a sprite of radius 20 (about 1250 pixels)
/// costs about 1250 calls; a particle's controller work must stay a small fraction of that.
/// Each benchmark reports per particle `ns_per_particle`, `noise3_calls` (its cost in noise3
/// calls measured in the same run) and `sprite_pct` (its percentage of a 20-pixel sprite's
/// work). Items are particles.
#include "plugins/standard/default_controller.h"
#include "host/noise.h"

#include <benchmark/benchmark.h>

#include <cstdint>
#include <ctime>
#include <vector>

namespace {

constexpr int kParticles = 1024;
constexpr int kLife = 4800;
/// Pixels of a sprite of radius 20: about π × 20².
constexpr double kSpritePixels = 1250.0;

struct Particle {
    int index;
    int age;
};

const std::vector<Particle> &Particles() {
    static const std::vector<Particle> particles = [] {
        std::vector<Particle> p(kParticles);
        for (int i = 0; i < kParticles; ++i) p[i] = {i, (i * 613) % kLife};
        return p;
    }();
    return particles;
}

/// A sprite row of noise3 sample points.
const std::vector<Point3> &NoisePoints() {
    static const std::vector<Point3> points = [] {
        std::vector<Point3> p(kParticles);
        for (int i = 0; i < kParticles; ++i) p[i] = Point3(11.3f + i / 64.0f, 3.7f, 1.3f);
        return p;
    }();
    return points;
}

/// CPU time of this thread in seconds: the machine may be shared, so both sides of the
/// comparison are measured in the thread's own time.
double ThreadSeconds() {
    timespec ts;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + 1e-9 * static_cast<double>(ts.tv_nsec);
}

/// Seconds per noise3 call, measured once in this run.
double Noise3Seconds() {
    static const double seconds = [] {
        constexpr int kRounds = 4000;
        float sum = 0.0f;
        const double start = ThreadSeconds();
        for (int r = 0; r < kRounds; ++r)
            for (const Point3 &p : NoisePoints()) sum += noise3(p);
        const double elapsed = ThreadSeconds() - start;
        benchmark::DoNotOptimize(sum);
        return elapsed / (double(kRounds) * kParticles);
    }();
    return seconds;
}

/// Per particle: its time in ns, in noise3 calls, and as a percentage of a 20-pixel sprite.
void ReportParticles(benchmark::State &state, std::int64_t items, double seconds) {
    state.SetItemsProcessed(items);
    if (items == 0) return;
    const double perParticle = seconds / static_cast<double>(items);
    const double calls = perParticle / Noise3Seconds();
    state.counters["ns_per_particle"] = perParticle * 1e9;
    state.counters["noise3_calls"] = calls;
    state.counters["sprite_pct"] = 100.0 * calls / kSpritePixels;
}

enum class Variation { kNone, kPerParticle, kByAge, kByAgeFractal, kAll };

void BM_ControllerResetEval(benchmark::State &state, Variation variation) {
    DefaultController *c = new DefaultController;
    c->__SetupFloat__(0.0f, 100.0f, 1.0f);
    IParamBlock *pb = c->VariationBlock();
    pb->SetValue(DefaultController::kBirthVariation, 0, 5.0f);
    pb->SetValue(DefaultController::kDeathVariation, 0, 10.0f);
    if (variation == Variation::kPerParticle || variation == Variation::kAll)
        c->SetUseVariation(true);
    if (variation != Variation::kNone && variation != Variation::kPerParticle)
        pb->SetValue(DefaultController::kNoiseSeed, 0, 7);
    if (variation == Variation::kByAgeFractal || variation == Variation::kAll)
        pb->SetValue(DefaultController::kFractalNoise, 0, 1);
    Noise3Seconds();

    const std::vector<Particle> &particles = Particles();
    const double start = ThreadSeconds();
    for (auto _ : state) {
        for (const Particle &p : particles) {
            float out;
            c->__Reset__(0, 0, kLife, p.index);
            c->__Eval__(&out, p.age, 1.0f, 3.0f);
            benchmark::DoNotOptimize(out);
        }
    }
    ReportParticles(state, state.iterations() * kParticles, ThreadSeconds() - start);
    c->DeleteThis();
}

void BM_Noise3(benchmark::State &state) {
    for (auto _ : state) {
        float sum = 0.0f;
        for (const Point3 &p : NoisePoints()) sum += noise3(p);
        benchmark::DoNotOptimize(sum);
    }
    state.SetItemsProcessed(state.iterations() * kParticles);
}

}  // namespace

BENCHMARK(BM_Noise3);
BENCHMARK_CAPTURE(BM_ControllerResetEval, plain, Variation::kNone);
BENCHMARK_CAPTURE(BM_ControllerResetEval, per_particle, Variation::kPerParticle);
BENCHMARK_CAPTURE(BM_ControllerResetEval, by_age, Variation::kByAge);
BENCHMARK_CAPTURE(BM_ControllerResetEval, by_age_fractal, Variation::kByAgeFractal);
BENCHMARK_CAPTURE(BM_ControllerResetEval, all, Variation::kAll);

BENCHMARK_MAIN();
