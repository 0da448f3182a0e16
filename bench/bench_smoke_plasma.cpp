/// @file bench_smoke_plasma.cpp
/// @brief The Smoke and Plasma shapes' cost per pixel, measured against the noise they
///        evaluate: Smoke one noise2 per octave (Samples, 5 by default), Plasma five noise3
///        layers.
///
/// Each benchmark draws every pixel of the squares of particles of one radius (the
/// argument), row by row through the row call as the engine asks for them, or pixel by pixel
/// through the plug-in contract (`_pixels`). Counters:
///  - `noise_ratio`: the cost of one pixel of the square divided by (noise evaluations per
///    pixel × the cost of one noise3 call measured in the same run); goal: at most 1.5;
///  - `ns_per_pixel`, `noise3_ns`: the two costs themselves;
///  - `disk_pct`: the share of the square inside the soft disk, the pixels that need noise.
#include "plugins/standard/plasma_shape.h"
#include "plugins/standard/smoke_shape.h"
#include "sprite_shape_bench.h"
#include "host/class_desc.h"

#include <benchmark/benchmark.h>

#include <cstdint>

namespace {

using namespace shapebench;

/// Draws particles of radius `state.range(0)` with a shape of class `id` (set up by `setup`)
/// and reports the counters for `evaluations` noise evaluations per pixel.
template <typename Shape, typename Setup>
void MeasureShape(benchmark::State &state, Class_ID id, bool rows, int evaluations,
                  Setup setup) {
    LoadModules("nimbra_bench_smoke_plasma");
    auto *shape = dynamic_cast<Shape *>(
        static_cast<Animatable *>(CreateInstance(REF_MAKER_CLASS_ID, id)));
    if (!shape) {
        state.SkipWithError("the module standard did not load");
        return;
    }
    setup(*shape);
    shape->__BeginFrame__(0, nullptr, nullptr, nullptr);

    Noise3Clock noise;
    const PixelWork work = DrawParticles(state, *shape, rows, noise);
    shape->__EndFrame__(0);
    shape->DeleteThis();

    state.SetItemsProcessed(work.asked);
    if (work.asked == 0 || noise.PerCall() <= 0.0) {
        state.SkipWithError("nothing was measured");
        return;
    }
    const double perPixel = work.seconds / double(work.asked);
    state.counters["noise_ratio"] = perPixel / (evaluations * noise.PerCall());
    state.counters["ns_per_pixel"] = 1e9 * perPixel;
    state.counters["noise3_ns"] = 1e9 * noise.PerCall();
    state.counters["disk_pct"] = 100.0 * double(work.covered) / double(work.asked);
}

void BM_SmokeShape(benchmark::State &state, int samples, bool rows) {
    MeasureShape<SmokeShape>(state, SmokeShape::kClassID, rows, samples, [&](SmokeShape &s) {
        s.ParamBlock()->SetValue(SmokeShape::kSamples, 0, samples);
        // The phase moves over the life, so every particle drifts its octaves.
        s.ParamBlock()->SetValue(SmokeShape::kDeathPhase, 0, 3.0f);
    });
}

void BM_PlasmaShape(benchmark::State &state, int core, bool rows) {
    MeasureShape<PlasmaShape>(
        state, PlasmaShape::kClassID, rows, PlasmaShape::kLayers,
        [&](PlasmaShape &s) { s.ParamBlock()->SetValue(PlasmaShape::kCore, 0, core); });
}

}  // namespace

BENCHMARK_CAPTURE(BM_SmokeShape, samples5, 5, true)->Arg(8)->Arg(40);
BENCHMARK_CAPTURE(BM_SmokeShape, samples1, 1, true)->Arg(40);
BENCHMARK_CAPTURE(BM_SmokeShape, samples5_pixels, 5, false)->Arg(40);
BENCHMARK_CAPTURE(BM_PlasmaShape, cold, PlasmaShape::kCold, true)->Arg(8)->Arg(40);
BENCHMARK_CAPTURE(BM_PlasmaShape, hot, PlasmaShape::kHot, true)->Arg(40);
BENCHMARK_CAPTURE(BM_PlasmaShape, cold_pixels, PlasmaShape::kCold, false)->Arg(40);

BENCHMARK_MAIN();
