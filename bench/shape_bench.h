/// @file shape_bench.h
/// @brief What the benchmarks of the sprite shapes share: the modules loaded once, the CPU
///        time of this thread, the cost of one noise3 call measured in the same run, and a
///        loop that draws every pixel of particles through a shape.
#pragma once

#include "framework/sprite_shape.h"
#include "host/interface.h"
#include "host/module_loader.h"
#include "host/noise.h"

#include <benchmark/benchmark.h>

#include <cstdint>
#include <ctime>
#include <filesystem>
#include <string>
#include <unistd.h>

/// The modules, loaded once, registering into a configuration folder of their own (named
/// after `bench`): shapes make their controllers through the host, helpers their plug-ins.
inline void LoadModules(const char *bench) {
    static ModuleLoader *loader = [bench] {
        const std::filesystem::path config =
            std::filesystem::temp_directory_path() /
            ("nimbra_bench_" + std::string(bench) + "_" + std::to_string(getpid()));
        std::filesystem::create_directories(config);
        GetCOREInterface()->SetDir(APP_PLUGCFG_DIR, config.c_str());
        auto *l = new ModuleLoader;
        l->LoadAll({NIMBRA_PLUGIN_DIR});
        return l;
    }();
    benchmark::DoNotOptimize(loader);
}

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

/// Particles of one radius drawn through a shape, every pixel of each one's square, covered
/// or not: row by row through the row call, as the engine asks for them, or pixel by pixel
/// through the plug-in contract. The particles are timed in batches (a clock read costs
/// about as much as a small particle's pixels), noise3 between the batches.
struct ShapeRun {
    /// The largest radius a run draws.
    static constexpr int kMaxRadius = 128;
    /// Particles timed together.
    static constexpr int kBatch = 16;

    std::int64_t covered = 0;  ///< pixels the shape covered
    std::int64_t asked = 0;    ///< pixels of the particles' squares
    double seconds = 0.0;      ///< the shape's time, particle set-up included
    Noise3Clock noise;
    int index = 0;

    /// One particle of radius r (at most kMaxRadius), of a new index and age.
    void Particle(SpriteShape &shape, int r, bool rows) {
        if (index % kBatch == 0) {
            EndBatch();
            noise.Measure(1);
            batchStart_ = ThreadSeconds();
        }
        ParticleInfo p;
        p.lifeEnd = 4800;
        p.age = (index * 613) % 4800;
        p.particleIndex = index++;
        shape.__BeginParticle__(1.0f, r, &p);
        std::uint32_t sum = 0;
        for (int y = -r; y <= r; ++y) {
            if (rows) {
                unsigned short d[2 * kMaxRadius + 1];
                unsigned char hit[2 * kMaxRadius + 1];
                shape.ParticleShapeRow(d, hit, r, -r, y, -r, y, 2 * r + 1);
                for (int i = 0; i <= 2 * r; ++i)
                    if (hit[i]) {
                        sum += d[i];
                        ++covered;
                    }
                continue;
            }
            for (int x = -r; x <= r; ++x) {
                unsigned short d;
                if (shape.__ParticleShape__(&d, r, x, y, x, y)) {
                    sum += d;
                    ++covered;
                }
            }
        }
        benchmark::DoNotOptimize(sum);
        asked += std::int64_t(2 * r + 1) * (2 * r + 1);
    }
    /// Adds the time of the batch under way; call before reading `seconds`.
    void EndBatch() {
        if (batchStart_ < 0.0) return;
        seconds += ThreadSeconds() - batchStart_;
        batchStart_ = -1.0;
    }

private:
    double batchStart_ = -1.0;
};
