/// @file sprite_shape_bench.h
/// @brief What the sprite-shape benchmarks share: this thread's CPU time, the cost of noise3
///        measured beside the subject, the modules loaded once, and the pixels of a particle
///        drawn through the row call or pixel by pixel.
#pragma once

#include "framework/plugin_interface.h"
#include "framework/shape_rows.h"
#include "host/interface.h"
#include "host/module_loader.h"
#include "host/noise.h"

#include <benchmark/benchmark.h>

#include <cstdint>
#include <ctime>
#include <filesystem>
#include <string>
#include <unistd.h>

namespace shapebench {

/// CPU time of this thread in seconds: the machine may be shared, so both sides of the
/// comparison are measured in the thread's own time.
inline double ThreadSeconds() {
    timespec ts;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + 1e-9 * static_cast<double>(ts.tv_nsec);
}

/// The cost of noise3, measured between the runs of the subject so that both see the same
/// load on a shared machine: noise3 over points spread like a sprite's.
class Noise3Clock {
public:
    /// Times `rounds` × 4096 noise3 calls.
    void Measure(int rounds) {
        constexpr int kSide = 64;
        float sum = 0.0f;
        const double start = ThreadSeconds();
        for (int r = 0; r < rounds; ++r, ++round_)
            for (int y = 0; y < kSide; ++y)
                for (int x = 0; x < kSide; ++x)
                    sum += noise3(Point3(x * 0.0625f, y * 0.0625f, 3.7f + round_ * 0.01f));
        seconds_ += ThreadSeconds() - start;
        calls_ += double(rounds) * kSide * kSide;
        benchmark::DoNotOptimize(sum);
    }
    /// Seconds per call so far.
    double PerCall() const { return calls_ > 0 ? seconds_ / calls_ : 0.0; }

private:
    double seconds_ = 0.0;
    double calls_ = 0.0;
    int round_ = 0;
};

/// The modules, loaded once, registering into a configuration folder of their own (named
/// after `program`): shapes make their controllers through the host, helpers their plug-ins.
inline void LoadModules(const char *program) {
    static ModuleLoader *loader = [program] {
        const std::filesystem::path config =
            std::filesystem::temp_directory_path() /
            (std::string(program) + "_" + std::to_string(getpid()));
        std::filesystem::create_directories(config);
        GetCOREInterface()->SetDir(APP_PLUGCFG_DIR, config.c_str());
        auto *l = new ModuleLoader;
        l->LoadAll({NIMBRA_PLUGIN_DIR});
        return l;
    }();
    benchmark::DoNotOptimize(loader);
}

/// Pixels a shape was asked about and covered, and the thread time it took.
struct PixelWork {
    std::int64_t covered = 0;
    std::int64_t asked = 0;
    double seconds = 0.0;
};

/// The largest particle `DrawParticle` draws.
constexpr int kMaxRadius = 64;

/// Particle `index` (its age spread over a life of 4800 ticks) of radius r ≤ kMaxRadius:
/// `__BeginParticle__`, then every pixel of its square, row by row through the row call as
/// the engine asks for them, or pixel by pixel through the plug-in contract. Counts the pixels
/// into `work` (not the time: a clock read costs about as much as a small particle).
inline void DrawParticle(NimbraPlugIn &shape, int r, int index, bool rows, PixelWork &work) {
    ParticleInfo p;
    p.lifeEnd = 4800;
    p.age = (index * 613) % 4800;
    p.particleIndex = index;
    const IShapeRows *rowCall = GetShapeRows(&shape);
    shape.__BeginParticle__(1.0f, r, &p);
    std::uint32_t sum = 0;
    for (int y = -r; y <= r; ++y) {
        if (rows) {
            unsigned short d[2 * kMaxRadius + 1];
            unsigned char hit[2 * kMaxRadius + 1];
            rowCall->ParticleShapeRow(d, hit, r, -r, y, -r, y, 2 * r + 1);
            for (int i = 0; i <= 2 * r; ++i)
                if (hit[i]) {
                    sum += d[i];
                    ++work.covered;
                }
            continue;
        }
        for (int x = -r; x <= r; ++x) {
            unsigned short d;
            if (shape.__ParticleShape__(&d, r, x, y, x, y)) {
                sum += d;
                ++work.covered;
            }
        }
    }
    benchmark::DoNotOptimize(sum);
    work.asked += std::int64_t(2 * r + 1) * (2 * r + 1);
}

/// Particles of radius `state.range(0)` drawn with `shape` (its frame begun) for as long as
/// the benchmark runs, `afterEach()` called after each. They are timed in batches of 16,
/// noise3's cost measured between the batches.
template <typename AfterEach>
PixelWork DrawParticles(benchmark::State &state, NimbraPlugIn &shape, bool rows,
                        Noise3Clock &noise, AfterEach afterEach) {
    constexpr int kBatch = 16;
    const int r = static_cast<int>(state.range(0));
    PixelWork work;
    int index = 0;
    double batchStart = -1.0;
    for (auto _ : state) {
        if (index % kBatch == 0) {
            if (batchStart >= 0.0) work.seconds += ThreadSeconds() - batchStart;
            noise.Measure(1);
            batchStart = ThreadSeconds();
        }
        DrawParticle(shape, r, index++, rows, work);
        afterEach();
    }
    if (batchStart >= 0.0) work.seconds += ThreadSeconds() - batchStart;
    return work;
}

inline PixelWork DrawParticles(benchmark::State &state, NimbraPlugIn &shape, bool rows,
                               Noise3Clock &noise) {
    return DrawParticles(state, shape, rows, noise, [] {});
}

}  // namespace shapebench
