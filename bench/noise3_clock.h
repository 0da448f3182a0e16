/// @file noise3_clock.h
/// @brief What the benchmarks of noise-based sprite shapes share: the thread's CPU clock, the
///        cost of one noise3 call measured between the subject's runs, and the plug-in modules
///        loaded once.
#pragma once

#include "host/interface.h"
#include "host/module_loader.h"
#include "host/noise.h"

#include <benchmark/benchmark.h>

#include <ctime>
#include <filesystem>
#include <string>
#include <unistd.h>

namespace benchclock {

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

/// The modules of `pluginDir`, loaded once, registering into a configuration folder of their
/// own named after `label`: shapes make their controllers through the host, helpers their
/// plug-ins.
inline void LoadModules(const char *pluginDir, const char *label) {
    static ModuleLoader *loader = [&] {
        const std::filesystem::path config =
            std::filesystem::temp_directory_path() /
            (std::string(label) + "_" + std::to_string(getpid()));
        std::filesystem::create_directories(config);
        GetCOREInterface()->SetDir(APP_PLUGCFG_DIR, config.c_str());
        auto *l = new ModuleLoader;
        l->LoadAll({pluginDir});
        return l;
    }();
    benchmark::DoNotOptimize(loader);
}

}  // namespace benchclock
