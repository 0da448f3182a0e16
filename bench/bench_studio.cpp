/// @file bench_studio.cpp
/// @brief The studio over HTTP on the demo scene: from a parameter change to the finished
///        314 × 199 preview as PNG, and from Stop to the render's end.
#include "app_context.h"
#include "scene_json.h"
#include "studio_server.h"

#include "host/interface.h"

#include <benchmark/benchmark.h>
#include <httplib.h>

#include <chrono>
#include <thread>

namespace {

using json = nlohmann::json;
using Clock = std::chrono::steady_clock;

/// One studio for every benchmark of the run.
struct Studio {
    Studio() {
        GlobalOptions global;
        global.pluginDirs = {NIMBRA_PLUGIN_DIR};
        context = std::make_unique<AppContext>(global);
        context->LoadModules();
        server = std::make_unique<StudioServer>(
            ReadSceneJsonFile(std::string(NIMBRA_SOURCE_DIR) + "/examples/demo.json"),
            StudioOptions{});
        server->Bind();
        thread = std::thread([this] { server->Run(); });
        while (!Client().Get("/api/scene"))
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    ~Studio() {
        server->Stop();
        thread.join();
    }
    httplib::Client Client() const {
        httplib::Client client("127.0.0.1", server->Port());
        client.set_default_headers({{"X-Nimbra-Token", server->Token()}});
        return client;
    }
    bool Busy(httplib::Client &client) {
        auto res = client.Get("/api/preview");
        return res && json::parse(res->body)["busy"] == true;
    }

    std::unique_ptr<AppContext> context;
    std::unique_ptr<StudioServer> server;
    std::thread thread;
};

Studio &TheStudio() {
    static Studio studio;
    return studio;
}

void Post(httplib::Client &client, const char *path, const json &body) {
    client.Post(path, body.dump(), "application/json");
}

/// What the page does on a change: set the parameter, start the preview, poll every 10 ms,
/// fetch the image.
void BM_ChangeToPreview(benchmark::State &state) {
    Studio &studio = TheStudio();
    httplib::Client client = studio.Client();
    const bool half = state.range(0) != 0;
    double size = 18;
    for (auto _ : state) {
        size = size == 18 ? 20 : 18;
        Post(client, "/api/helpers/Flames/param", {{"name", "Birth Size"}, {"value", size}});
        Post(client, "/api/preview/start", {{"halfSize", half}});
        while (studio.Busy(client)) std::this_thread::sleep_for(std::chrono::milliseconds(10));
        auto png = client.Get("/api/preview.png");
        benchmark::DoNotOptimize(png);
    }
}
BENCHMARK(BM_ChangeToPreview)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();

/// From Stop, sent 100 ms into a render, to the status that says the render has ended.
void BM_StopLatency(benchmark::State &state) {
    Studio &studio = TheStudio();
    httplib::Client client = studio.Client();
    for (auto _ : state) {
        Post(client, "/api/preview/start", json::object());
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        const Clock::time_point start = Clock::now();
        Post(client, "/api/preview/stop", json::object());
        while (studio.Busy(client)) std::this_thread::sleep_for(std::chrono::milliseconds(1));
        state.SetIterationTime(std::chrono::duration<double>(Clock::now() - start).count());
    }
}
BENCHMARK(BM_StopLatency)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(10);

}  // namespace

BENCHMARK_MAIN();
