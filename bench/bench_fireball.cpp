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
/// Counters: `covered_per_s` (covered pixels per second: pixels the shape covers, each
/// coloured and composited), `noise3_calls` (the cost of one covered pixel divided by the cost
/// of one noise3 call measured in the same run), `covered_pct` (covered share of the pixels
/// the shape is asked about, the particles' squares) and `noise3_per_asked` (the cost per
/// asked pixel in noise3 calls). Every asked pixel needs its noise to know whether it is
/// covered, so `noise3_calls` is at least `noise3_per_asked` × 100 / `covered_pct`.
#include "noise3_clock.h"
#include "plugins/standard/default_composite.h"
#include "plugins/standard/fireball_shape.h"
#include "renderer/render_engine.h"
#include "renderer/shader_filter.h"
#include "scene_json.h"
#include "setup/helper.h"
#include "host/class_desc.h"
#include "host/inode.h"
#include "host/interface.h"
#include "host/module_loader.h"
#include "host/noise.h"
#include "host/post_queue.h"
#include "host/render_info.h"

#include <benchmark/benchmark.h>

#include <cstdint>
#include <string>

namespace {

using benchclock::Noise3Clock;
using benchclock::ThreadSeconds;

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

void LoadModules() {
    benchclock::LoadModules(NIMBRA_PLUGIN_DIR, "nimbra_bench_fireball");
}

// ---------------------------------------------------------------------------------------------
// The shape alone

/// Every pixel of particles of radius `state.range(0)`, covered or not: row by row through
/// the row call, as the engine asks for them, or pixel by pixel through the plug-in contract.
constexpr int kMaxRadius = 40;  ///< the largest particle the shape benchmark draws

void BM_FireBallShape(benchmark::State &state, int noiseType, bool rows) {
    LoadModules();
    auto *shape = static_cast<FireBallShape *>(
        static_cast<Animatable *>(CreateInstance(REF_MAKER_CLASS_ID, FireBallShape::kClassID)));
    if (!shape) {
        state.SkipWithError("the module standard did not load");
        return;
    }
    shape->ParamBlock()->SetValue(FireBallShape::kNoiseType, 0, noiseType);
    shape->__BeginFrame__(0, nullptr, nullptr, nullptr);

    const int r = static_cast<int>(state.range(0));
    std::int64_t covered = 0, asked = 0;
    double seconds = 0.0;
    Noise3Clock noise;
    int index = 0;
    for (auto _ : state) {
        // noise3's cost, a little at a time between the particles.
        if (index % 16 == 0) noise.Measure(1);
        ParticleInfo p;
        p.lifeEnd = 4800;
        p.age = (index * 613) % 4800;
        p.particleIndex = index++;
        const double start = ThreadSeconds();
        shape->__BeginParticle__(1.0f, r, &p);
        std::uint32_t sum = 0;
        for (int y = -r; y <= r; ++y) {
            if (rows) {
                unsigned short d[2 * kMaxRadius + 1];
                unsigned char hit[2 * kMaxRadius + 1];
                shape->ParticleShapeRow(d, hit, r, -r, y, -r, y, 2 * r + 1);
                for (int i = 0; i <= 2 * r; ++i)
                    if (hit[i]) {
                        sum += d[i];
                        ++covered;
                    }
                continue;
            }
            for (int x = -r; x <= r; ++x) {
                unsigned short d;
                if (shape->__ParticleShape__(&d, r, x, y, x, y)) {
                    sum += d;
                    ++covered;
                }
            }
        }
        seconds += ThreadSeconds() - start;
        benchmark::DoNotOptimize(sum);
        asked += std::int64_t(2 * r + 1) * (2 * r + 1);
    }
    Report(state, covered, asked, seconds, noise);
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

void BM_FireBallFrame(benchmark::State &state, int noiseType) {
    LoadModules();
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
}

}  // namespace

BENCHMARK_CAPTURE(BM_FireBallFrame, regular, FireBallShape::kRegularNoise)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_FireBallFrame, fractal, FireBallShape::kFractalNoise)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_FireBallShape, regular, FireBallShape::kRegularNoise, false)
    ->Arg(8)
    ->Arg(40);
BENCHMARK_CAPTURE(BM_FireBallShape, regular_rows, FireBallShape::kRegularNoise, true)
    ->Arg(8)
    ->Arg(40);
BENCHMARK_CAPTURE(BM_FireBallShape, fractal, FireBallShape::kFractalNoise, false)->Arg(40);

BENCHMARK_MAIN();
