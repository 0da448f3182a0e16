/// @file bench_fireball.cpp
/// @brief The FireBall shape's per-pixel cost, measured in noise3 calls: a covered pixel does
///        one noise evaluation, a table read, a colour and a composite, so its cost should
///        stay close to that of one noise3 call.
///
/// Two subjects:
///  - `BM_FireBallFrame`: "Nimbra Shader" draws a 1280 × 720 frame of a wall of fire (five
///    spray emitters, about 3000 FireBall particles of radius 10 … 45 pixels, four colours,
///    Glow) through the sprite engine, as `nimbra render` does after the scene event. Only
///    the filter's own time counts.
///  - `BM_FireBallShape`: the shape alone, every pixel of particles of one radius.
///
/// The frame is drawn twice: with noise batches on the best instruction set of this CPU, and on
/// the portable one (one point at a time); the gain between the two is printed at the end.
///
/// Counters: `covered_per_s` (covered pixels per second: pixels the shape covers, each
/// coloured and composited), `noise3_calls` (the cost of one covered pixel divided by the cost
/// of one noise3 call measured in the same run), `covered_pct` (covered share of the pixels
/// the shape is asked about, the particles' squares) and `noise3_per_asked` (the cost per
/// asked pixel in noise3 calls). Every asked pixel needs its noise to know whether it is
/// covered, so `noise3_calls` is at least `noise3_per_asked` × 100 / `covered_pct`.
#include "plugins/standard/default_composite.h"
#include "plugins/standard/fireball_shape.h"
#include "renderer/render_engine.h"
#include "renderer/shader_filter.h"
#include "scene_json.h"
#include "sprite_shape_bench.h"
#include "setup/helper.h"
#include "host/class_desc.h"
#include "host/inode.h"
#include "host/interface.h"
#include "host/noise.h"
#include "host/post_queue.h"
#include "host/render_info.h"

#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

namespace {

using namespace shapebench;

/// Reports the counters of `seconds` spent on `covered` of `asked` pixels.
void Report(benchmark::State &state, std::int64_t covered, std::int64_t asked, double seconds,
            const Noise3Clock &noise) {
    state.SetItemsProcessed(covered);
    if (covered == 0 || asked == 0) {
        state.SkipWithError("no pixel was covered");
        return;
    }
    const double perPixel = seconds / static_cast<double>(covered);
    state.counters["covered_per_s"] = 1.0 / perPixel;
    state.counters["noise3_calls"] = perPixel / noise.PerCall();
    state.counters["covered_pct"] = 100.0 * double(covered) / double(asked);
    state.counters["noise3_per_asked"] = seconds / double(asked) / noise.PerCall();
    state.counters["noise3_ns"] = 1e9 * noise.PerCall();
}

// ---------------------------------------------------------------------------------------------
// The shape alone

/// Every pixel of particles of radius `state.range(0)`, covered or not: row by row through
/// the row call, as the engine asks for them, or pixel by pixel through the plug-in contract.
void BM_FireBallShape(benchmark::State &state, int noiseType, bool rows) {
    LoadModules("nimbra_bench_fireball");
    auto *shape = static_cast<FireBallShape *>(
        static_cast<Animatable *>(CreateInstance(REF_MAKER_CLASS_ID, FireBallShape::kClassID)));
    if (!shape) {
        state.SkipWithError("the module standard did not load");
        return;
    }
    shape->ParamBlock()->SetValue(FireBallShape::kNoiseType, 0, noiseType);
    shape->__BeginFrame__(0, nullptr, nullptr, nullptr);

    Noise3Clock noise;
    const PixelWork work = DrawParticles(state, *shape, rows, noise);
    Report(state, work.covered, work.asked, work.seconds, noise);
    shape->__EndFrame__(0);
    shape->DeleteThis();
}

// ---------------------------------------------------------------------------------------------
// A frame through the engine

constexpr int kWidth = 1280;
constexpr int kHeight = 720;
constexpr int kFrame = 30;

/// Five emitters in a row, 20 particles a frame each, living 30 frames: about 3000 particles
/// in view, rising and spreading; FireBall with four colours from a white-yellow core to a
/// dark red edge, drawn with Glow.
constexpr const char *kFireWall = R"({"version": 1,
  "scene": {"frameRate": 30},
  "nodes": [
    {"name": "E1", "object": {"class": "Spray", "params": {"Birth Rate": 20, "Speed": 3,
      "Spread": 20, "Life": 30, "Emit Start": 0, "Emit Stop": 60, "Emitter Width": 20,
      "Seed": 1}}, "transform": {"position": [-160, 0, -100]}},
    {"name": "E2", "object": {"class": "Spray", "params": {"Birth Rate": 20, "Speed": 3,
      "Spread": 20, "Life": 30, "Emit Start": 0, "Emit Stop": 60, "Emitter Width": 20,
      "Seed": 2}}, "transform": {"position": [-80, 0, -100]}},
    {"name": "E3", "object": {"class": "Spray", "params": {"Birth Rate": 20, "Speed": 3,
      "Spread": 20, "Life": 30, "Emit Start": 0, "Emit Stop": 60, "Emitter Width": 20,
      "Seed": 3}}, "transform": {"position": [0, 0, -100]}},
    {"name": "E4", "object": {"class": "Spray", "params": {"Birth Rate": 20, "Speed": 3,
      "Spread": 20, "Life": 30, "Emit Start": 0, "Emit Stop": 60, "Emitter Width": 20,
      "Seed": 4}}, "transform": {"position": [80, 0, -100]}},
    {"name": "E5", "object": {"class": "Spray", "params": {"Birth Rate": 20, "Speed": 3,
      "Spread": 20, "Life": 30, "Emit Start": 0, "Emit Stop": 60, "Emitter Width": 20,
      "Seed": 5}}, "transform": {"position": [160, 0, -100]}},
    {"name": "Fire", "object": {"class": "Nimbra",
      "params": {"Birth Size": 2, "Death Size": 9, "Birth Trans.": 1, "Death Trans.": 0.6,
                 "Life Ends At": 30},
      "properties": {"Particle Systems": ["E1", "E2", "E3", "E4", "E5"]},
      "subs": {
        "Particle Shape": {"class": "FireBall"},
        "Color Shader": {"class": "Default Color",
          "properties": {"Number Of Colors": "Four", "Blacken Color": true},
          "params": {"Birth Color 1": [1, 0.5, 0.1], "Death Color 1": [0.5, 0.08, 0.02],
                     "Birth Color 2": [1, 0.95, 0.7], "Death Color 2": [1, 0.5, 0.1]}},
        "Composite": {"properties": {"Composite Type": "Glow"}}}}},
    {"name": "Camera", "object": {"class": "Free Camera", "params": {"FOV": 50}},
     "transform": {"position": [0, -300, 0], "rotation": [90, 0, 0]}}
  ]})";

/// The default composite, counting the pixels it is given: the covered pixels that reach the
/// frame.
class CountingComposite : public DefaultComposite {
public:
    void __ImageComposite__(int x, int y, BMM_Color_64 *color, unsigned short d) override {
        ++composited;
        DefaultComposite::__ImageComposite__(x, y, color, d);
    }
    std::int64_t composited = 0;
};

/// "Nimbra Shader", timing its own renders in this thread's CPU time.
class TimedShaderFilter : public NimbraShaderFilter {
public:
    BOOL Render(HWND hWnd) override {
        if (asked == 0) asked = AskedPixels();
        const double start = ThreadSeconds();
        const BOOL ok = NimbraShaderFilter::Render(hWnd);
        seconds += ThreadSeconds() - start;
        return ok;
    }
    double seconds = 0.0;
    std::int64_t asked = 0;  ///< pixels of the visible particles' squares, one frame

private:
    /// What the engine asks the shape about: every pixel of every visible particle's square.
    std::int64_t AskedPixels() {
        ParticleRenderer engine;
        RenderInfo *ri = srcmap->Storage()->GetRenderInfo();
        engine.renderInfo = ri;
        engine.output = srcmap;
        engine.time = ri->renderTime[0];
        engine.Prepare();
        engine.Project();
        std::int64_t n = 0;
        for (const ParticleInfo &p : engine.particles) {
            const std::int64_t side = 2 * static_cast<std::int64_t>(p.size) + 1;
            if (p.visible) n += side * side;
        }
        return n;
    }
};

void BM_FireBallFrame(benchmark::State &state, int noiseType, bool vectorNoise) {
    // The portable instruction set comes last.
    const std::string previous = noiseTarget();
    setNoiseTarget(vectorNoise ? noiseTargets().front() : noiseTargets().back());
    state.SetLabel(noiseTarget());
    LoadModules("nimbra_bench_fireball");
    try {
        ReadSceneJson(kFireWall, "fire-wall.json", ".");
    } catch (const std::exception &e) {
        state.SkipWithError(e.what());
        return;
    }
    auto *helper = dynamic_cast<NimbraHelper *>(
        GetCOREInterface()->GetINodeByName("Fire")->GetObjectRef());
    auto *shape = dynamic_cast<FireBallShape *>(helper->Shape());
    if (!shape) {
        state.SkipWithError("the helper has no FireBall");
        return;
    }
    shape->ParamBlock()->SetValue(FireBallShape::kNoiseType, 0, noiseType);
    auto *composite = new CountingComposite;
    composite->ParamBlock()->SetValue(DefaultComposite::kCompositeType, 0,
                                      int(DefaultComposite::kGlow));
    helper->ReplaceReference(NimbraHelper::kRefComposite, composite);

    PostQueue queue;
    queue.Params().width = kWidth;
    queue.Params().height = kHeight;
    queue.Params().threads = 1;
    SceneEventSettings scene;
    scene.viewNode = "Camera";
    queue.AddSceneEvent(scene);
    auto *filter = new TimedShaderFilter;
    queue.AddFilterEvent(filter);
    ProgressWindow window;
    Noise3Clock noise;
    for (auto _ : state) {
        const QueueFrameResult result =
            queue.RunFrame(kFrame, window, FrameRange(kFrame, kFrame, kFrame));
        if (!result.ok()) {
            state.SkipWithError(result.error.c_str());
            break;
        }
        noise.Measure(64);  // about a twentieth of the frame's time
    }
    Report(state, composite->composited, filter->asked * std::int64_t(state.iterations()),
           filter->seconds, noise);
    state.counters["particles_px_per_frame"] =
        double(composite->composited) / double(state.iterations());
    GetCOREInterface()->ResetScene();
    setNoiseTarget(previous);
}

// The usual console output, keeping each benchmark's real time per iteration.
class TimeReporter : public benchmark::ConsoleReporter {
public:
    std::map<std::string, double> times;

    void ReportRuns(const std::vector<Run> &runs) override {
        for (const Run &run : runs) {
            if (run.run_type == Run::RT_Iteration && run.iterations > 0) {
                const std::string &args = run.run_name.args;
                times[run.run_name.function_name + (args.empty() ? "" : "/" + args)] =
                    run.GetAdjustedRealTime();
            }
        }
        ConsoleReporter::ReportRuns(runs);
    }
};

}  // namespace

BENCHMARK_CAPTURE(BM_FireBallFrame, regular, FireBallShape::kRegularNoise, true)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_FireBallFrame, regular_portable, FireBallShape::kRegularNoise, false)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_FireBallFrame, fractal, FireBallShape::kFractalNoise, true)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_FireBallFrame, fractal_portable, FireBallShape::kFractalNoise, false)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_FireBallShape, regular, FireBallShape::kRegularNoise, false)
    ->Arg(8)
    ->Arg(40);
BENCHMARK_CAPTURE(BM_FireBallShape, regular_rows, FireBallShape::kRegularNoise, true)
    ->Arg(8)
    ->Arg(40);
BENCHMARK_CAPTURE(BM_FireBallShape, fractal, FireBallShape::kFractalNoise, false)->Arg(40);

int main(int argc, char **argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    TimeReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    for (const char *kind : {"regular", "fractal"}) {
        const auto vector = reporter.times.find(std::string("BM_FireBallFrame/") + kind);
        const auto portable =
            reporter.times.find(std::string("BM_FireBallFrame/") + kind + "_portable");
        if (vector == reporter.times.end() || portable == reporter.times.end()) continue;
        std::printf(
            "FireBall frame, %s noise: %.2fx faster with noise batches on %s than on %s\n",
            kind, portable->second / vector->second, noiseTargets().front().c_str(),
            noiseTargets().back().c_str());
    }
    return 0;
}
