/// @file studio_fixture.h
/// @brief One studio on the demo scene, served on the loopback address for a whole test
///        suite, and the calls the studio's tests make to it.
#pragma once

#include "studio_server.h"

#include "../app/program_run.h"
#include "../app/same_frames.h"
#include "app_context.h"
#include "common/temp_folder.h"
#include "common/test_paths.h"

#include "host/interface.h"

#include <gtest/gtest.h>
#include <httplib.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

namespace studiotest {

namespace fs = std::filesystem;
using json = nlohmann::json;

constexpr char kHelper[] = "Flames";
constexpr char kShapeSlot[] = "Particle Shape";

/// One studio on the demo scene for the whole suite: loading modules and scene is slow.
class StudioTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { StartStudio("demo.json"); }
    /// Serves the example scene `example` (a file of examples/).
    static void StartStudio(const std::string &example) {
        GlobalOptions global;
        global.pluginDirs = {(fs::path(testpaths::BinaryDir()) / "plugins").string()};
        context = new AppContext(global);
        context->LoadModules();
        const fs::path scene = fs::path(testpaths::SourceDir()) / "examples" / example;
        StudioOptions options;
        options.sceneName = scene.string();
        server = new StudioServer(ReadSceneJsonFile(scene), options);
        ASSERT_TRUE(server->Bind());
        thread = new std::thread([] { server->Run(); });
    }
    static void TearDownTestSuite() {
        server->Stop();
        thread->join();
        delete thread;
        delete server;
        delete context;
        GetCOREInterface()->ResetScene();
    }

    httplib::Client Client() const {
        httplib::Client client("127.0.0.1", server->Port());
        client.set_default_headers({{"X-Nimbra-Token", server->Token()}});
        return client;
    }
    /// The answer's JSON; fails the test on a status other than `status`.
    json Call(const std::string &path, const std::string &body, int status) {
        httplib::Client client = Client();
        auto res = body.empty() ? client.Get(path.c_str())
                                : client.Post(path.c_str(), body, "application/json");
        EXPECT_TRUE(res) << path;
        if (!res) return {};
        EXPECT_EQ(res->status, status) << path << " " << body << ": " << res->body;
        return json::parse(res->body, nullptr, false);
    }
    json Get(const std::string &path) { return Call(path, "", 200); }
    json Post(const std::string &path, const json &body) {
        return Call(path, body.dump(), 200);
    }

    json Helper() { return Get(std::string("/api/helpers/") + kHelper); }
    /// The parameter row `name` of `slot` ("" for the helper's own) in a helper answer.
    static json Param(const json &helper, const std::string &slot, const std::string &name) {
        const json *params = &helper["params"];
        for (const json &s : helper["slots"])
            if (s["name"] == slot) params = &s["params"];
        for (const json &row : *params)
            if (row["name"] == name) return row;
        return nullptr;
    }

    /// Starts a preview and waits for its end; the preview's PNG written to `png`.
    void RenderPreview(const fs::path &png) {
        Post("/api/preview/start", json::object());
        WaitIdle();
        auto res = Client().Get("/api/preview.png");
        ASSERT_TRUE(res);
        ASSERT_EQ(res->status, 200) << res->body;
        std::ofstream(png, std::ios::binary) << res->body;
    }
    void WaitIdle() {
        while (Get("/api/preview")["busy"] == true)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }

    static inline AppContext *context = nullptr;
    static inline StudioServer *server = nullptr;
    static inline std::thread *thread = nullptr;
};

}  // namespace studiotest
