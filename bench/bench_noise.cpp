/// @file bench_noise.cpp
/// @brief Host noise against libnoise in the same run, single and batched, on coherent and
///        random inputs, with the speed ratios, the CPU model and the instruction set the
///        batches chose printed at the end.
///
/// Each benchmark evaluates kRowLength precomputed points: close together, the way a renderer
/// walks a sprite row (x steps, y and z fixed) or a ray (all three step), or scattered at
/// random over many lattice cells. Items are evaluations: one noise value, or one 6-octave
/// sum for fBm1 and libnoise's Perlin module. Batched kernels take the points in runs of
/// kBatch, as a shape asks for them. Run with --benchmark_repetitions=N to get the ratios from
/// medians; NIMBRA_NOISE_TARGET picks another instruction set for the batches.
#include "host/noise.h"

#include <benchmark/benchmark.h>
#include <libnoise/noise.h>

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <map>
#include <random>
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

// Points scattered uniformly over 200 cells a side: every point in a cell of its own.
const std::vector<Point3> &RandomPoints() {
    static const std::vector<Point3> points = [] {
        std::mt19937 rng(19);
        std::uniform_real_distribution<float> coordinate(-100.0f, 100.0f);
        std::vector<Point3> p(kRowLength);
        for (Point3 &q : p) q = Point3(coordinate(rng), coordinate(rng), coordinate(rng));
        return p;
    }();
    return points;
}

// Points axis by axis, as the batched kernels take them.
struct PointArrays {
    std::vector<float> x, y, z;
    explicit PointArrays(const std::vector<Point3> &points) {
        for (const Point3 &p : points) {
            x.push_back(p.x);
            y.push_back(p.y);
            z.push_back(p.z);
        }
    }
};

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

constexpr int kBatch = 64;

// `batch(x, y, z, count, out)` over the points in runs of kBatch.
template <typename Batch>
void RunBatches(benchmark::State &state, const std::vector<Point3> &points, Batch batch) {
    const PointArrays a(points);
    std::vector<float> out(points.size());
    for (auto _ : state) {
        for (std::size_t at = 0; at < points.size(); at += kBatch) {
            batch(a.x.data() + at, a.y.data() + at, a.z.data() + at, kBatch, out.data() + at);
        }
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(points.size()));
}

const std::vector<Point3> &Points(int kind) {
    return kind == 0 ? RowPoints() : RandomPoints();
}

// Arguments: 0 the sprite row, 1 random points.
void BM_Noise3Batch(benchmark::State &state) {
    RunBatches(state, Points(state.range(0)), noise3Batch);
}

void BM_Noise4Batch(benchmark::State &state) {
    RunBatches(state, Points(state.range(0)),
               [](const float *x, const float *y, const float *z, int n, float *out) {
                   noise4Batch(x, y, z, kPhase, n, out);
               });
}

void BM_FBm1_6Batch(benchmark::State &state) {
    RunBatches(state, Points(state.range(0)),
               [](const float *x, const float *y, const float *z, int n, float *out) {
                   fBm1Batch(x, y, z, n, 1.0f, 2.0f, 6.0f, out);
               });
}

void BM_Turbulence8Batch(benchmark::State &state) {
    RunBatches(state, Points(state.range(0)),
               [](const float *x, const float *y, const float *z, int n, float *out) {
                   turbulenceBatch(x, y, z, n, 8.0f, out);
               });
}

void BM_Noise3Random(benchmark::State &state) {
    RunRow(state, RandomPoints(), [](const Point3 &p) { return noise3(p); });
}

void BM_Noise3Random_libnoise(benchmark::State &state) {
    RunRow(state, RandomPoints(), [](const Point3 &p) { return LibnoiseGradient(p); });
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

// Argument as for the batches: 0 the sprite row, 1 random points.
void BM_FBm1_6_libnoise(benchmark::State &state) {
    // The same sum: frequency 1, lacunarity 2, weight halving per octave, 6 octaves.
    noise::module::Perlin perlin;
    perlin.SetFrequency(1.0);
    perlin.SetLacunarity(2.0);
    perlin.SetPersistence(0.5);
    perlin.SetOctaveCount(6);
    RunRow(state, Points(state.range(0)), [&perlin](const Point3 &p) {
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
BENCHMARK(BM_FBm1_6_libnoise)->Arg(0)->Arg(1);
BENCHMARK(BM_Noise3Random);
BENCHMARK(BM_Noise3Random_libnoise);
BENCHMARK(BM_Noise3Batch)->Arg(0)->Arg(1);
BENCHMARK(BM_Noise4Batch)->Arg(0)->Arg(1);
BENCHMARK(BM_FBm1_6Batch)->Arg(0)->Arg(1);
BENCHMARK(BM_Turbulence8Batch)->Arg(0)->Arg(1);
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
            const std::string &args = run.run_name.args;
            const std::string name =
                run.run_name.function_name + (args.empty() ? "" : "/" + args);
            if (single && medians_.count(name)) continue;
            if (!single) medians_.insert(name);
            rates[name] = rate->second;
        }
        ConsoleReporter::ReportRuns(runs);
    }

private:
    std::set<std::string> medians_;
};

// A pair of benchmarks whose rates are divided: numerator, denominator.
struct Ratio {
    const char *numerator = nullptr, *denominator = nullptr;
};

// One line: the ratio on the sprite row and on random points ("-" where not measured).
void PrintRatios(const RateReporter &reporter, const char *label, Ratio row, Ratio random,
                 const char *goal) {
    const auto value = [&reporter](Ratio r) {
        if (r.numerator == nullptr) return std::string("    -");
        const auto n = reporter.rates.find(r.numerator), d = reporter.rates.find(r.denominator);
        if (n == reporter.rates.end() || d == reporter.rates.end() || d->second <= 0.0) {
            return std::string("    -");
        }
        char text[16];
        std::snprintf(text, sizeof text, "%5.2f", n->second / d->second);
        return std::string(text);
    };
    std::printf("%-52s %s | %s   %s\n", label, value(row).c_str(), value(random).c_str(), goal);
}

// The processor's model name as the kernel reports it.
std::string CpuModel() {
    std::ifstream cpuinfo("/proc/cpuinfo");
    for (std::string line; std::getline(cpuinfo, line);) {
        if (line.rfind("model name", 0) == 0) return line.substr(line.find(':') + 2);
    }
    return "unknown";
}

}  // namespace

int main(int argc, char **argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::AddCustomContext("CPU model", CpuModel());
    benchmark::AddCustomContext("noise batches on", noiseTarget());
    RateReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();

    std::printf("\nCPU %s; batches on %s\n", CpuModel().c_str(), noiseTarget().c_str());
    std::printf("Ratios of evaluations per second (sprite row | random points):\n");
    PrintRatios(reporter, "batched noise3 / libnoise GradientCoherentNoise3D",
                {"BM_Noise3Batch/0", "BM_Noise3_libnoise"},
                {"BM_Noise3Batch/1", "BM_Noise3Random_libnoise"}, "(goal >= 10)");
    PrintRatios(reporter, "batched noise3 / noise3", {"BM_Noise3Batch/0", "BM_Noise3"},
                {"BM_Noise3Batch/1", "BM_Noise3Random"}, "");
    PrintRatios(reporter, "noise3Row / libnoise GradientCoherentNoise3D",
                {"BM_Noise3Row", "BM_Noise3_libnoise"}, {}, "");
    PrintRatios(reporter, "noise3 / libnoise GradientCoherentNoise3D",
                {"BM_Noise3", "BM_Noise3_libnoise"},
                {"BM_Noise3Random", "BM_Noise3Random_libnoise"}, "");
    PrintRatios(reporter, "batched fBm1 6 octaves / libnoise Perlin 6",
                {"BM_FBm1_6Batch/0", "BM_FBm1_6_libnoise/0"},
                {"BM_FBm1_6Batch/1", "BM_FBm1_6_libnoise/1"}, "(goal >= 10)");
    PrintRatios(reporter, "fBm1 6 octaves / libnoise Perlin 6",
                {"BM_FBm1_6", "BM_FBm1_6_libnoise/0"}, {}, "");
    PrintRatios(reporter, "cost of batched noise4 / batched noise3",
                {"BM_Noise3Batch/0", "BM_Noise4Batch/0"},
                {"BM_Noise3Batch/1", "BM_Noise4Batch/1"}, "(goal <= 2.5)");
    PrintRatios(reporter, "cost of noise4 / noise3", {"BM_Noise3", "BM_Noise4"}, {}, "");
    return 0;
}
