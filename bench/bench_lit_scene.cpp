/// @file bench_lit_scene.cpp
/// @brief Scene renderer throughput in pixels per second at 1280 × 720 on the example scene
///        as `nimbra render` reads it (examples/lit-scene.json: ground, three lit objects, a
///        shadow-casting spot, a fill light, a spray): the scene reader's objects, materials
///        and keyed transforms, rendered through the post-production queue's scene event.
#include "scene_json.h"

#include "host/interface.h"
#include "host/post_queue.h"

#include <benchmark/benchmark.h>

#include <filesystem>

namespace {

constexpr int kWidth = 1280;
constexpr int kHeight = 720;

/// One frame per iteration with `state.range(0)` threads (0: all cores); the frame number
/// moves on each time, as a render of a sequence does.
void BM_LitSceneFrame(benchmark::State &state) {
    const SceneDescription desc =
        ReadSceneJsonFile(std::filesystem::path(NIMBRA_SOURCE_DIR) / "examples/lit-scene.json");
    PostQueue queue;
    queue.Params().width = kWidth;
    queue.Params().height = kHeight;
    queue.Params().threads = static_cast<int>(state.range(0));
    SceneEventSettings scene;
    scene.viewNode = desc.render.camera;
    scene.frame.ambient = desc.ambient;
    scene.frame.background = desc.background;
    queue.AddSceneEvent(scene);
    ProgressWindow window;
    int frame = 0;
    for (auto _ : state) {
        const QueueFrameResult result = queue.RunFrame(frame, window, FrameRange(0, 60, frame));
        if (!result.ok()) state.SkipWithError(result.error.c_str());
        frame = (frame + 1) % 61;
    }
    state.SetItemsProcessed(state.iterations() * kWidth * kHeight);
    state.counters["pixels/s"] =
        benchmark::Counter(static_cast<double>(state.iterations()) * kWidth * kHeight,
                           benchmark::Counter::kIsRate);
    GetCOREInterface()->ResetScene();
}
BENCHMARK(BM_LitSceneFrame)
    ->ArgNames({"threads"})
    ->Arg(1)
    ->Arg(0)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
