/// @file bench_noise_shape.cpp
/// @brief The Noise shape's per-pixel cost, measured in noise evaluations: a pixel of the
///        particle's square costs its noise (one evaluation for Regular, six octaves for
///        Fractal, one per turbulence level), the threshold, a table read and a few
///        multiplications, so it should stay close to that many noise3 calls.
///
/// `BM_NoiseShape`: every pixel of particles of one radius, as the engine asks for them (row
/// by row through the row call) or pixel by pixel through the plug-in contract.
///
/// Counters: `pixels_per_s`, `noise_evals` (noise evaluations per pixel), `noise3_ns` (one
/// noise3 call, measured in the same run) and `cost_ratio`: the cost of one pixel divided by
/// `noise_evals` × the cost of one noise3 call.
#include "sprite_shape_bench.h"
#include "plugins/noise/noise_shape.h"
#include "host/class_desc.h"

#include <benchmark/benchmark.h>

#include <cstdint>

namespace {

using namespace shapebench;

void BM_NoiseShape(benchmark::State &state, int noiseType, float levels, bool rows) {
    LoadModules("nimbra_bench_noise_shape");
    auto *shape = dynamic_cast<NoiseShape *>(
        static_cast<Animatable *>(CreateInstance(REF_MAKER_CLASS_ID, NoiseShape::kClassID)));
    if (!shape) {
        state.SkipWithError("the module zephranoise did not load");
        return;
    }
    IParamBlock *pb = shape->ParamBlock();
    pb->SetValue(NoiseShape::kNoiseType, 0, noiseType);
    pb->SetValue(NoiseShape::kBirthTurbulence, 0, levels);
    pb->SetValue(NoiseShape::kDeathTurbulence, 0, levels);
    pb->SetValue(NoiseShape::kBirthLowThreshold, 0, 0.3f);  // the window applied
    shape->__BeginFrame__(0, nullptr, nullptr, nullptr);

    const int r = static_cast<int>(state.range(0));
    const double square = double(2 * r + 1) * (2 * r + 1);
    double evaluations = 0.0;
    Noise3Clock noise;
    const PixelWork work = DrawParticles(state, *shape, rows, noise, [&] {
        evaluations += square * shape->NoiseEvaluations();
    });
    shape->__EndFrame__(0);
    shape->DeleteThis();

    state.SetItemsProcessed(work.asked);
    if (work.asked == 0) return;
    const double perPixel = work.seconds / double(work.asked);
    state.counters["pixels_per_s"] = 1.0 / perPixel;
    state.counters["noise_evals"] = evaluations / double(work.asked);
    state.counters["noise3_ns"] = 1e9 * noise.PerCall();
    state.counters["cost_ratio"] = work.seconds / evaluations / noise.PerCall();
}

}  // namespace

BENCHMARK_CAPTURE(BM_NoiseShape, regular, NoiseShape::kRegularNoise, 3.0f, true)
    ->Arg(8)
    ->Arg(40);
BENCHMARK_CAPTURE(BM_NoiseShape, fractal, NoiseShape::kFractalNoise, 3.0f, true)
    ->Arg(8)
    ->Arg(40);
BENCHMARK_CAPTURE(BM_NoiseShape, turbulence, NoiseShape::kTurbulenceNoise, 3.0f, true)
    ->Arg(8)
    ->Arg(40);
BENCHMARK_CAPTURE(BM_NoiseShape, turbulence_3_5, NoiseShape::kTurbulenceNoise, 3.5f, true)
    ->Arg(40);
BENCHMARK_CAPTURE(BM_NoiseShape, regular_pixels, NoiseShape::kRegularNoise, 3.0f, false)
    ->Arg(40);
BENCHMARK_CAPTURE(BM_NoiseShape, fractal_pixels, NoiseShape::kFractalNoise, 3.0f, false)
    ->Arg(40);

BENCHMARK_MAIN();
