/// @file volume_scene_errors_test.cpp
/// @brief What a ray-marched scene that asks for the impossible gets: a message naming the
///        place in the file, and no render.
#include "common/temp_folder.h"
#include "example_scenes.h"
#include "program_run.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <fstream>
#include <functional>

using apptest::ProgramRun;
using apptest::RunNimbra;

namespace {

struct BrokenScene {
    const char *name;
    std::function<void(nlohmann::json &)> breakIt;
    const char *message;
};

class VolumeSceneErrors : public ::testing::TestWithParam<BrokenScene> {};

TEST_P(VolumeSceneErrors, NameThePlace) {
    testfiles::TempFolder folder;
    MirrorExamples(folder.Root());
    nlohmann::json scene =
        nlohmann::json::parse(std::ifstream(ExamplesFolder() / "explosion.json"));
    GetParam().breakIt(scene);
    std::ofstream(folder.Path("broken.json")) << scene.dump(2);
    const ProgramRun run =
        RunNimbra({"--config-dir", folder.Path(""), "render", folder.Path("broken.json"),
                   "--frames", "1", "--size", "32x18", "-o", folder.Path("f.####.png")});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.err.find(GetParam().message), std::string::npos) << run.err;
}

nlohmann::json &Helper(nlohmann::json &scene) {
    for (nlohmann::json &node : scene["nodes"])
        if (node["name"] == "Fireball") return node["object"];
    throw std::logic_error("the example has no Fireball helper");
}

INSTANTIATE_TEST_SUITE_P(
    Cases, VolumeSceneErrors,
    ::testing::Values(
        BrokenScene{"MissingLight",
                    [](nlohmann::json &s) { s["atmospherics"][0]["gizmos"][1] = "Moon"; },
                    "atmospherics[0].gizmos[1]"},
        BrokenScene{"SpriteShapeHelper",
                    [](nlohmann::json &s) {
                        Helper(s)["subs"]["Particle Shape"] = {{"class", "FireBall"}};
                    },
                    "atmospherics[0].gizmos[0]: the atmospheric does not take node "
                    "\"Fireball\" as a gizmo"},
        BrokenScene{"UnknownSetting",
                    [](nlohmann::json &s) { s["atmospherics"][0]["params"]["Step"] = 2; },
                    "atmospherics[0].params.Step: unknown parameter \"Step\" of Nimbra - "
                    "GhostBeam"}),
    [](const auto &info) { return std::string(info.param.name); });

}  // namespace
