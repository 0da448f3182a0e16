/// @file bench_shadows.cpp
/// @brief What particle shadows cost: examples/smoke-shadows.json rendered through the queue
///        with and without "Nimbra Shadow" in one run, frame by frame in turn, one render
///        thread, its ZephraLight's map as many texels as the frame has pixels.
///
/// Counters:
///  - `frame_ms`, `shadowed_frame_ms`: the whole frame without and with particle shadows;
///    `shadowed_ratio` is their quotient;
///  - `map_ns_per_texel`: the shadow filter's time over the map's texels (renderer set-up,
///    clearing and the engine's shadow pass);
///  - `particles_ns_per_px`: "Nimbra Shader"'s time over the frame's pixels;
///  - `map_vs_particles`: the shadow filter's time over the particles' own pass at the same
///    pixel count (the goal is at most 1);
///  - `map_covered_pct`, `frame_covered_pct`: the share of the map's texels that particles
///    cover and of the frame's pixels that the particles change, and `map_ns_per_covered`,
///    `particles_ns_per_covered`: each pass's time over those pixels. The light sees the
///    particles from nearer than the camera, so its map holds more covered texels.
#include "renderer/shadow_filter.h"
#include "scene_json.h"
#include "sprite_shape_bench.h"

#include "host/class_desc.h"
#include "host/inode.h"
#include "host/interface.h"
#include "host/light.h"
#include "host/post_queue.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kWidth = 640;
constexpr int kHeight = 360;
/// 480 × 480 texels: the frame's pixel count.
constexpr int kMapSize = 480;
constexpr int kFrame = 45;

// Classes of the main module's two filters.
constexpr Class_ID kShaderFilterID(0x7D614FE7, 0x13B50E59);
constexpr Class_ID kShadowFilterID(0x1DCA72D4, 0x757004A0);

double Seconds(Clock::duration d) {
    return std::chrono::duration<double>(d).count();
}

/// A filter of the module that keeps the time its renders take.
class TimedFilter : public ImageFilter {
public:
    explicit TimedFilter(Class_ID id)
        : inner_(static_cast<ImageFilter *>(CreateInstance(FLT_CLASS_ID, id))) {}
    ~TimedFilter() override {
        if (inner_) inner_->DeleteThis();
    }
    bool Loaded() const { return inner_ != nullptr; }
    const TCHAR *Description() override { return inner_->Description(); }
    DWORD ChannelsRequired() override { return inner_->ChannelsRequired(); }
    BOOL Render(HWND hWnd) override {
        inner_->SetSourceMap(srcmap);
        inner_->SetFilterInfo(ifi);
        const std::vector<BMM_Color_64> before = Pixels(srcmap);
        const auto start = Clock::now();
        const BOOL ok = inner_->Render(hWnd);
        seconds += Seconds(Clock::now() - start);
        if (auto *shadow = dynamic_cast<NimbraShadowFilter *>(inner_)) {
            for (const BMM_Color_64 &p : Pixels(shadow->map)) covered += p.a != 0;
        } else {
            const std::vector<BMM_Color_64> after = Pixels(srcmap);
            for (std::size_t i = 0; i < after.size(); ++i)
                covered += after[i].r != before[i].r || after[i].g != before[i].g ||
                           after[i].b != before[i].b || after[i].a != before[i].a;
        }
        return ok;
    }
    double seconds = 0.0;
    std::int64_t covered = 0;  ///< pixels the particles drew into, over every render

private:
    static std::vector<BMM_Color_64> Pixels(const Bitmap *bm) {
        std::vector<BMM_Color_64> pixels(bm ? std::size_t(bm->Width()) * bm->Height() : 0);
        for (int y = 0; bm && y < bm->Height(); ++y)
            bm->GetPixels(0, y, bm->Width(), pixels.data() + std::size_t(y) * bm->Width());
        return pixels;
    }

    ImageFilter *inner_;
};

void BM_SmokeShadowsFrame(benchmark::State &state) {
    shapebench::LoadModules("nimbra_bench_shadows");
    SceneDescription desc;
    try {
        desc = ReadSceneJsonFile(std::filesystem::path(NIMBRA_SOURCE_DIR) /
                                 "examples/smoke-shadows.json");
    } catch (const std::exception &e) {
        state.SkipWithError(e.what());
        return;
    }
    INode *lightNode = GetCOREInterface()->GetINodeByName("Shadow Light");
    auto *light = lightNode ? dynamic_cast<GenLight *>(lightNode->GetObjectRef()) : nullptr;
    if (!light) {
        state.SkipWithError("the example has no light \"Shadow Light\"");
        return;
    }
    light->SetMapSize(0, kMapSize);

    SceneEventSettings scene;
    scene.viewNode = desc.render.camera;
    scene.frame.ambient = desc.ambient;
    scene.frame.background = desc.background;
    PostQueue plain, shadowed;
    auto *particles = new TimedFilter(kShaderFilterID);
    auto *shadows = new TimedFilter(kShadowFilterID);
    for (PostQueue *q : {&plain, &shadowed}) {
        q->Params().width = kWidth;
        q->Params().height = kHeight;
        q->Params().threads = 1;
    }
    shadowed.AddFilterEvent(shadows);
    plain.AddSceneEvent(scene);
    shadowed.AddSceneEvent(scene);
    plain.AddFilterEvent(particles);
    shadowed.AddFilterEvent(kShaderFilterID);
    if (!particles->Loaded() || !shadows->Loaded()) {
        state.SkipWithError("the main module did not load");
        return;
    }

    ProgressWindow window;
    const FrameRange range(0, 90, kFrame);
    double plainSeconds = 0.0, shadowedSeconds = 0.0;
    for (auto _ : state) {
        const auto start = Clock::now();
        const QueueFrameResult a = plain.RunFrame(kFrame, window, range);
        const auto middle = Clock::now();
        const QueueFrameResult b = shadowed.RunFrame(kFrame, window, range);
        shadowedSeconds += Seconds(Clock::now() - middle);
        plainSeconds += Seconds(middle - start);
        if (!a.ok() || !b.ok()) {
            state.SkipWithError((a.error + b.error).c_str());
            break;
        }
    }
    const double n = static_cast<double>(state.iterations());
    state.counters["frame_ms"] = 1e3 * plainSeconds / n;
    state.counters["shadowed_frame_ms"] = 1e3 * shadowedSeconds / n;
    state.counters["shadowed_ratio"] = shadowedSeconds / plainSeconds;
    state.counters["map_ns_per_texel"] = 1e9 * shadows->seconds / n / (kMapSize * kMapSize);
    state.counters["particles_ns_per_px"] = 1e9 * particles->seconds / n / (kWidth * kHeight);
    state.counters["map_vs_particles"] = shadows->seconds / particles->seconds;
    state.counters["map_covered_pct"] = 100.0 * shadows->covered / n / (kMapSize * kMapSize);
    state.counters["frame_covered_pct"] = 100.0 * particles->covered / n / (kWidth * kHeight);
    state.counters["map_ns_per_covered"] = 1e9 * shadows->seconds / shadows->covered;
    state.counters["particles_ns_per_covered"] = 1e9 * particles->seconds / particles->covered;
    GetCOREInterface()->ResetScene();
}
BENCHMARK(BM_SmokeShadowsFrame)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
