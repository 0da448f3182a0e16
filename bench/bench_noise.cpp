/// @file bench_noise.cpp
/// @brief Host noise against libnoise in the same run, on coherent inputs, with the speed
///        ratios printed at the end.
///
/// Each benchmark evaluates one row of kRowLength samples, the way a renderer walks a sprite
/// row (x steps, y and z fixed) or a ray (all three step). Items are evaluations: one noise
/// value, or one 6-octave sum for fBm1 and libnoise's Perlin module. Run with
/// --benchmark_repetitions=N to get the ratios from medians.
#include "host/noise.h"

#include <benchmark/benchmark.h>
#include <libnoise/noise.h>

#include <cstdio>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace {

constexpr int kRowLength = 1024;
constexpr float kStep = 1.0f / 64.0f;  // 64 samples per lattice cell along x
constexpr float kRowX = 11.3f, kRowY = 3.7f, kRowZ = 1.3f, kPhase = 0.45f;

// Position of sample i: along x at fixed y and z, or along a slanted ray.
Point3 RowPoint(int i) {
    return Point3(kRowX + kStep * static_cast<float>(i), kRowY, kRowZ);
}

Point3 RayPoint(int i) {
    const float t = kStep * static_cast<float>(i);
    return Point3(kRowX + t, kRowY + 0.31f * t, kRowZ + 0.17f * t);
}

template <typename Sample>
void RunRow(benchmark::State &state, Sample sample) {
    for (auto _ : state) {
        float sum = 0.0f;
        for (int i = 0; i < kRowLength; ++i) sum += sample(i);
        benchmark::DoNotOptimize(sum);
    }
    state.SetItemsProcessed(state.iterations() * kRowLength);
}

float LibnoiseGradient(const Point3 &p) {
    return static_cast<float>(noise::GradientCoherentNoise3D(p.x, p.y, p.z));
}

void BM_Noise3(benchmark::State &state) {
    RunRow(state, [](int i) { return noise3(RowPoint(i)); });
}

void BM_Noise3_libnoise(benchmark::State &state) {
    RunRow(state, [](int i) { return LibnoiseGradient(RowPoint(i)); });
}

void BM_Noise3Ray(benchmark::State &state) {
    RunRow(state, [](int i) { return noise3(RayPoint(i)); });
}

void BM_Noise3Ray_libnoise(benchmark::State &state) {
    RunRow(state, [](int i) { return LibnoiseGradient(RayPoint(i)); });
}

void BM_Noise4(benchmark::State &state) {
    RunRow(state, [](int i) { return noise4(RowPoint(i), kPhase); });
}

void BM_FBm1_6(benchmark::State &state) {
    RunRow(state, [](int i) { return fBm1(RowPoint(i), 1.0f, 2.0f, 6.0f); });
}

void BM_FBm1_6_libnoise(benchmark::State &state) {
    // The same sum: frequency 1, lacunarity 2, weight halving per octave, 6 octaves.
    noise::module::Perlin perlin;
    perlin.SetFrequency(1.0);
    perlin.SetLacunarity(2.0);
    perlin.SetPersistence(0.5);
    perlin.SetOctaveCount(6);
    RunRow(state, [&perlin](int i) {
        const Point3 p = RowPoint(i);
        return static_cast<float>(perlin.GetValue(p.x, p.y, p.z));
    });
}

void BM_Noise1(benchmark::State &state) {
    RunRow(state, [](int i) { return noise1(RowPoint(i).x); });
}

void BM_Noise2(benchmark::State &state) {
    RunRow(state, [](int i) {
        const Point3 p = RowPoint(i);
        return noise2(Point2(p.x, p.y));
    });
}

void BM_Turbulence8(benchmark::State &state) {
    RunRow(state, [](int i) { return turbulence(RowPoint(i), 8.0f); });
}

BENCHMARK(BM_Noise3);
BENCHMARK(BM_Noise3_libnoise);
BENCHMARK(BM_Noise3Ray);
BENCHMARK(BM_Noise3Ray_libnoise);
BENCHMARK(BM_Noise4);
BENCHMARK(BM_FBm1_6);
BENCHMARK(BM_FBm1_6_libnoise);
BENCHMARK(BM_Noise1);
BENCHMARK(BM_Noise2);
BENCHMARK(BM_Turbulence8);

// The usual console output, keeping each benchmark's items/second (the median when repeated).
class RateReporter : public benchmark::ConsoleReporter {
public:
    std::map<std::string, double> rates;

    void ReportRuns(const std::vector<Run> &runs) override {
        for (const Run &run : runs) {
            const bool single = run.run_type == Run::RT_Iteration;
            if (!single && run.aggregate_name != "median") continue;
            const auto rate = run.counters.find("items_per_second");
            if (rate == run.counters.end()) continue;
            // A repeated benchmark reports its median after its single runs: that one stays.
            const std::string name = run.run_name.function_name;
            if (single && medians_.count(name)) continue;
            if (!single) medians_.insert(name);
            rates[name] = rate->second;
        }
        ConsoleReporter::ReportRuns(runs);
    }

private:
    std::set<std::string> medians_;
};

void PrintRatio(const RateReporter &reporter, const char *label, const char *numerator,
                const char *denominator, const char *goal) {
    const auto n = reporter.rates.find(numerator), d = reporter.rates.find(denominator);
    if (n == reporter.rates.end() || d == reporter.rates.end() || d->second <= 0.0) return;
    std::printf("%-44s %5.2f   %s\n", label, n->second / d->second, goal);
}

}  // namespace

int main(int argc, char **argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    RateReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();

    std::printf("\nRatios of evaluations per second:\n");
    PrintRatio(reporter, "noise3 / libnoise GradientCoherentNoise3D", "BM_Noise3",
               "BM_Noise3_libnoise", "(goal >= 3)");
    PrintRatio(reporter, "  the same along a ray", "BM_Noise3Ray", "BM_Noise3Ray_libnoise", "");
    PrintRatio(reporter, "fBm1 6 octaves / libnoise Perlin 6 octaves", "BM_FBm1_6",
               "BM_FBm1_6_libnoise", "(goal >= 3)");
    PrintRatio(reporter, "cost of noise4 / cost of noise3", "BM_Noise3", "BM_Noise4",
               "(goal <= 2.5)");
    return 0;
}
