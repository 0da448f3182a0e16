/// @file bench_noise.cpp
/// @brief Host noise against libnoise in the same run, on coherent inputs, with the speed
///        ratios printed at the end.
///
/// Each benchmark evaluates kRowLength precomputed points close together, the way a renderer
/// walks a sprite row (x steps, y and z fixed) or a ray (all three step). Items are
/// evaluations: one noise value, or one 6-octave sum for fBm1 and libnoise's Perlin module. Run
/// with
/// --benchmark_repetitions=N to get the ratios from medians.
#include "host/noise.h"

#include <benchmark/benchmark.h>
#include <libnoise/noise.h>

#include <cstdint>
#include <cstdio>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace {

constexpr int kRowLength = 1024;
constexpr float kStep = 1.0f / 64.0f;  // 64 samples per lattice cell along x
constexpr float kRowX = 11.3f, kRowY = 3.7f, kRowZ = 1.3f, kPhase = 0.45f;

// kRowLength sample points from (kRowX, kRowY, kRowZ), kStep apart times `direction`.
std::vector<Point3> SamplePoints(Point3 direction) {
    std::vector<Point3> points(kRowLength);
    for (int i = 0; i < kRowLength; ++i) {
        points[i] = Point3(kRowX, kRowY, kRowZ) + direction * (kStep * static_cast<float>(i));
    }
    return points;
}

// A sprite row (x steps, y and z fixed) and a slanted ray.
const std::vector<Point3> &RowPoints() {
    static const std::vector<Point3> points = SamplePoints(Point3(1.0f, 0.0f, 0.0f));
    return points;
}

const std::vector<Point3> &RayPoints() {
    static const std::vector<Point3> points = SamplePoints(Point3(1.0f, 0.31f, 0.17f));
    return points;
}

template <typename Sample>
void RunRow(benchmark::State &state, const std::vector<Point3> &points, Sample sample) {
    for (auto _ : state) {
        float sum = 0.0f;
        for (const Point3 &p : points) sum += sample(p);
        benchmark::DoNotOptimize(sum);
    }
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(points.size()));
}

float LibnoiseGradient(const Point3 &p) {
    return static_cast<float>(noise::GradientCoherentNoise3D(p.x, p.y, p.z));
}

void BM_Noise3(benchmark::State &state) {
    RunRow(state, RowPoints(), [](const Point3 &p) { return noise3(p); });
}

void BM_Noise3_libnoise(benchmark::State &state) {
    RunRow(state, RowPoints(), [](const Point3 &p) { return LibnoiseGradient(p); });
}

void BM_Noise3Ray(benchmark::State &state) {
    RunRow(state, RayPoints(), [](const Point3 &p) { return noise3(p); });
}

void BM_Noise3Ray_libnoise(benchmark::State &state) {
    RunRow(state, RayPoints(), [](const Point3 &p) { return LibnoiseGradient(p); });
}

// The sprite row again through noise3Row, in runs of 64 points as a sprite shape asks for them.
void BM_Noise3Row(benchmark::State &state) {
    constexpr int kRun = 64;
    std::vector<float> xs, out(kRowLength);
    for (const Point3 &p : RowPoints()) xs.push_back(p.x);
    for (auto _ : state) {
        for (int at = 0; at < kRowLength; at += kRun) {
            noise3Row(xs.data() + at, kRun, kRowY, kRowZ, out.data() + at);
        }
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(kRowLength));
}

void BM_Noise4(benchmark::State &state) {
    RunRow(state, RowPoints(), [](const Point3 &p) { return noise4(p, kPhase); });
}

void BM_FBm1_6(benchmark::State &state) {
    RunRow(state, RowPoints(), [](const Point3 &p) { return fBm1(p, 1.0f, 2.0f, 6.0f); });
}

void BM_FBm1_6_libnoise(benchmark::State &state) {
    // The same sum: frequency 1, lacunarity 2, weight halving per octave, 6 octaves.
    noise::module::Perlin perlin;
    perlin.SetFrequency(1.0);
    perlin.SetLacunarity(2.0);
    perlin.SetPersistence(0.5);
    perlin.SetOctaveCount(6);
    RunRow(state, RowPoints(), [&perlin](const Point3 &p) {
        return static_cast<float>(perlin.GetValue(p.x, p.y, p.z));
    });
}

void BM_Noise1(benchmark::State &state) {
    RunRow(state, RowPoints(), [](const Point3 &p) { return noise1(p.x); });
}

void BM_Noise2(benchmark::State &state) {
    RunRow(state, RowPoints(), [](const Point3 &p) { return noise2(Point2(p.x, p.y)); });
}

void BM_Turbulence8(benchmark::State &state) {
    RunRow(state, RowPoints(), [](const Point3 &p) { return turbulence(p, 8.0f); });
}

BENCHMARK(BM_Noise3);
BENCHMARK(BM_Noise3_libnoise);
BENCHMARK(BM_Noise3Ray);
BENCHMARK(BM_Noise3Ray_libnoise);
BENCHMARK(BM_Noise3Row);
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
