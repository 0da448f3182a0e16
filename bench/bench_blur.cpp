/// @file bench_blur.cpp
/// @brief What motion blur costs beyond drawing the particles: " Nimbra Motion Blur" renders
///        a frame of examples/sparks-blur.json (640 × 360, a FireBall spark fountain) with n
///        sub-frames, and "Nimbra Shader" draws the same particles n times, at the same
///        sub-frame times, each into its own copy of the scene frame. The fountain is drawn
///        as the example has it (6 sparks a frame, about 240 in view) and denser.
///
/// Both are timed in the same iteration on the same scene frame. Counters: `blur_ms` (one
/// blurred frame), `shader_x_n_ms` (the n plain frames) and `ratio`, their quotient: what the
/// sub-frame views, the scene copies and the accumulation add on top of the particles.
#include "renderer/blur_filter.h"
#include "renderer/blur_weights.h"
#include "renderer/shader_filter.h"
#include "scene_json.h"
#include "sprite_shape_bench.h"
#include "host/interface.h"
#include "host/post_queue.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace {

constexpr int kFrame = 30;

/// Keeps a copy of the frame it is run on: colour, channels and render information.
class KeepFrame : public ImageFilter {
public:
    const TCHAR *Description() override { return "Keep"; }
    DWORD ChannelsRequired() override { return BMM_CHAN_ALL; }
    BOOL Render(HWND) override {
        kept = Copy(*srcmap);
        return TRUE;
    }
    static BitmapPtr Copy(Bitmap &from) {
        const int w = from.Width(), h = from.Height();
        const std::size_t n = std::size_t(w) * h;
        BitmapPtr to(TheManager->Create(BitmapInfo(BMM_TRUE_64, MAP_HAS_ALPHA, w, h)));
        to->CopyImage(&from, COPY_IMAGE_CROP, {});
        to->CreateChannels(BMM_CHAN_ALL);
        std::copy_n(from.DepthChannel(), n, to->DepthChannel());
        std::copy_n(from.MaterialChannel(), n, to->MaterialChannel());
        *to->Storage()->AllocRenderInfo() = *from.Storage()->GetRenderInfo();
        return to;
    }
    BitmapPtr kept;
};

double Seconds(std::chrono::steady_clock::time_point since) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

/// The example with `birthRate` sparks a frame.
SceneDescription ReadFountain(int birthRate) {
    const std::filesystem::path file =
        std::filesystem::path(NIMBRA_SOURCE_DIR) / "examples/sparks-blur.json";
    std::ifstream in(file);
    std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    const std::string rate = "\"Birth Rate\": 6,";
    const std::size_t at = text.find(rate);
    if (at == std::string::npos) throw std::runtime_error("the example's birth rate moved");
    text.replace(at, rate.size(), "\"Birth Rate\": " + std::to_string(birthRate) + ",");
    return ReadSceneJson(text, file.string(), file.parent_path());
}

void BM_BlurVersusShader(benchmark::State &state) {
    const int subFrames = static_cast<int>(state.range(0));
    shapebench::LoadModules("nimbra_bench_blur");
    SceneDescription desc;
    try {
        desc = ReadFountain(static_cast<int>(state.range(1)));
    } catch (const std::exception &e) {
        state.SkipWithError(e.what());
        return;
    }
    PostQueue queue;
    queue.Params().width = desc.render.width.value_or(640);
    queue.Params().height = desc.render.height.value_or(360);
    queue.Params().threads = 1;
    SceneEventSettings scene;
    scene.viewNode = desc.render.camera;
    scene.frame.ambient = desc.ambient;
    scene.frame.background = desc.background;
    queue.AddSceneEvent(scene);
    auto *keep = new KeepFrame;
    queue.AddFilterEvent(keep);
    ProgressWindow window;
    if (!queue.RunFrame(kFrame, window, FrameRange(kFrame, kFrame, kFrame)).ok()) {
        state.SkipWithError("the scene frame did not render");
        return;
    }
    Bitmap &frame = *keep->kept;

    NimbraBlurFilter blur;
    blur.cameraName = desc.render.camera;
    blur.duration = 1.0f;
    blur.subFrames = subFrames;
    blur.dither = 30;
    const TimeValue start = frame.Storage()->GetRenderInfo()->renderTime[0];
    const BlurSchedule schedule = MakeBlurSchedule(GetTicksPerFrame(), 1.0f, subFrames);

    double blurSeconds = 0.0, shaderSeconds = 0.0;
    for (auto _ : state) {
        BitmapPtr target = KeepFrame::Copy(frame);
        blur.SetSourceMap(target.get());
        auto t0 = std::chrono::steady_clock::now();
        if (!blur.Render(nullptr)) state.SkipWithError("the blur failed");
        blurSeconds += Seconds(t0);

        for (int i = 0; i < schedule.count; ++i) {
            BitmapPtr plain = KeepFrame::Copy(frame);
            RenderInfo *ri = plain->Storage()->GetRenderInfo();
            ri->renderTime[0] = ri->renderTime[1] = schedule.Time(start, i);
            NimbraShaderFilter shader(plain.get());
            t0 = std::chrono::steady_clock::now();
            shader.Render(nullptr);
            shaderSeconds += Seconds(t0);
        }
    }
    const double runs = static_cast<double>(state.iterations());
    state.counters["blur_ms"] = 1e3 * blurSeconds / runs;
    state.counters["shader_x_n_ms"] = 1e3 * shaderSeconds / runs;
    state.counters["ratio"] = blurSeconds / shaderSeconds;
    GetCOREInterface()->ResetScene();
}
BENCHMARK(BM_BlurVersusShader)
    ->ArgNames({"subframes", "sparks_per_frame"})
    ->Args({4, 6})
    ->Args({10, 6})
    ->Args({10, 60})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
