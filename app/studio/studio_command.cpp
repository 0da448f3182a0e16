/// @file studio_command.cpp
/// @brief `nimbra studio [SCENE]`: loads the modules and the scene, serves the studio on the
///        loopback address and stops on Ctrl-C or SIGTERM.
#include "studio_command.h"

#include "demo_scene.h"
#include "studio_server.h"

#include <csignal>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <pthread.h>
#include <thread>

namespace {

struct StudioRequest {
    std::string scene;
    int port = 0;
    std::string camera;
};

int RunStudio(const StudioRequest &request, const GlobalOptions &global) {
    // SIGINT and SIGTERM go to one watcher thread (every thread started from here on inherits
    // the mask), which stops the server; the server's threads then end in order.
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);

    AppContext context(global);
    context.LoadModules();
    StudioOptions options;
    options.port = request.port;
    options.camera = request.camera;
    SceneDescription desc;
    try {
        if (request.scene.empty()) {
            options.sceneName = "(built-in demo scene)";
            desc = ReadSceneJson(std::string(DemoSceneJson()), options.sceneName,
                                 std::filesystem::current_path());
        } else {
            options.sceneName = request.scene;
            desc = ReadSceneJsonFile(request.scene);
        }
    } catch (const SceneJsonError &e) {
        std::fprintf(stderr, "nimbra studio: %s\n", e.what());
        return kExitFailure;
    }
    for (const std::string &w : desc.warnings)
        std::fprintf(stderr, "nimbra studio: %s\n", w.c_str());

    StudioServer server(std::move(desc), options);
    if (!server.Bind()) {
        std::fprintf(stderr, "nimbra studio: cannot listen on 127.0.0.1:%d\n", request.port);
        return kExitFailure;
    }
    std::thread watcher([&server, signals] {
        int received = 0;
        sigwait(&signals, &received);
        server.Stop();
    });
    std::printf("Nimbra studio on %s\nOpen %s\nCtrl-C stops it.\n", options.sceneName.c_str(),
                server.Url().c_str());
    std::fflush(stdout);
    server.Run();
    // Stopped by a signal, the watcher has ended; stopped otherwise, wake it.
    pthread_kill(watcher.native_handle(), SIGTERM);
    watcher.join();
    std::printf("Nimbra studio stopped.\n");
    return kExitSuccess;
}

}  // namespace

Command AddStudioCommand(CLI::App &app) {
    auto request = std::make_shared<StudioRequest>();
    CLI::App *studio = app.add_subcommand(
        "studio", "Set up effects and watch previews in a browser (a server on 127.0.0.1)");
    studio->add_option("SCENE", request->scene,
                       "JSON scene file; without one, the built-in demo scene");
    studio->add_option("--port", request->port, "Port to listen on; default: any free port")
        ->check(CLI::Range(0, 65535));
    studio->add_option("--camera", request->camera, "Preview through this node")
        ->type_name("NODE");
    studio->footer(
        "Prints the address to open, with a token that every request must carry; only this\n"
        "machine can connect. Ctrl-C stops the server.\n\n"
        "Example:\n"
        "  nimbra studio examples/demo.json");
    return {studio,
            [request](const GlobalOptions &global) { return RunStudio(*request, global); }};
}
