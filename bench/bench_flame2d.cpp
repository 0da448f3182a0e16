/// @file bench_flame2d.cpp
/// @brief The Flame 2D shape's per-pixel cost, measured in noise3 calls: a pixel inside the
///        flame's width needs one noise evaluation (the others none), so the cost of the
///        sprite's square should stay close to one noise3 call per such pixel.
///
/// `BM_Flame2DShape`: every pixel of particles of one radius, upright (the noise of a row
/// evaluated a run at a time) or turned by the particle rotation (pixel by pixel), with the
/// default Threshold 0.5 (a square root per pixel), Threshold 1 (the noise as it is) or
/// another Threshold (a power per pixel).
///
/// Counters: `noise3_ratio` (the cost of one pixel of the square divided by the noise
/// evaluations per pixel × the cost of one noise3 call measured in the same run; goal ≤ 1.5),
/// `covered_pct` (the share of the square inside the flame's width: the pixels that evaluate
/// noise), `px_per_s` (pixels of the square per second) and `noise3_ns`.
#include "sprite_shape_bench.h"
#include "plugins/standard/flame_shape.h"
#include "host/class_desc.h"

#include <benchmark/benchmark.h>

#include <numbers>

namespace {

using namespace shapebench;

void BM_Flame2DShape(benchmark::State &state, double degrees, float threshold, bool rows) {
    LoadModules("nimbra_bench_flame2d");
    auto *shape = static_cast<FlameShape *>(
        static_cast<Animatable *>(CreateInstance(REF_MAKER_CLASS_ID, FlameShape::kClassID)));
    if (!shape) {
        state.SkipWithError("the module standard did not load");
        return;
    }
    for (int i : {FlameShape::kBirthThreshold, FlameShape::kDeathThreshold})
        shape->ParamBlock()->SetValue(i, 0, threshold);
    for (int i : {ParticleRotation::kBirthRotate, ParticleRotation::kDeathRotate})
        shape->Rotation().ParamBlock()->SetValue(i, 0, float(degrees * std::numbers::pi / 180));
    shape->__BeginFrame__(0, nullptr, nullptr, nullptr);

    Noise3Clock noise;
    const PixelWork run = DrawParticles(state, *shape, rows, noise);
    if (run.covered == 0) {
        state.SkipWithError("no pixel was covered");
    } else {
        const double perPixel = run.seconds / double(run.asked);
        const double noisePerPixel = double(run.covered) / double(run.asked);
        state.SetItemsProcessed(run.asked);
        state.counters["noise3_ratio"] = perPixel / (noisePerPixel * noise.PerCall());
        state.counters["covered_pct"] = 100.0 * noisePerPixel;
        state.counters["px_per_s"] = 1.0 / perPixel;
        state.counters["noise3_ns"] = 1e9 * noise.PerCall();
    }
    shape->__EndFrame__(0);
    shape->DeleteThis();
}

}  // namespace

BENCHMARK_CAPTURE(BM_Flame2DShape, upright_rows, 0.0, 0.5f, true)->Arg(8)->Arg(40);
BENCHMARK_CAPTURE(BM_Flame2DShape, upright_rows_threshold1, 0.0, 1.0f, true)->Arg(40);
BENCHMARK_CAPTURE(BM_Flame2DShape, upright_rows_threshold075, 0.0, 0.75f, true)->Arg(40);
BENCHMARK_CAPTURE(BM_Flame2DShape, upright_pixels, 0.0, 0.5f, false)->Arg(40);
BENCHMARK_CAPTURE(BM_Flame2DShape, turned_rows, 30.0, 0.5f, true)->Arg(8)->Arg(40);

BENCHMARK_MAIN();
