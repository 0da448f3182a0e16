/// @file scene_save_test.cpp
/// @brief Writing a scene back as a JSON scene file: every example scene, read and written,
///        renders the same frame as the original in every channel, and writing the written
///        file again gives the same text.
#include "common/temp_folder.h"
#include "example_scenes.h"
#include "program_run.h"
#include "same_frames.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

namespace fs = std::filesystem;
using apptest::ProgramRun;
using apptest::RunNimbra;

namespace {

std::string FileText(const std::string &path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

class SceneSave : public ::testing::TestWithParam<std::string> {
protected:
    void SetUp() override {
        MirrorExamples(folder.Root());
        fs::create_directories(folder.Path("config"));
    }

    ProgramRun Nimbra(std::vector<std::string> args) {
        args.insert(args.begin(), {"--config-dir", folder.Path("config"), "render"});
        const ProgramRun run = RunNimbra(args);
        EXPECT_EQ(run.exitCode, 0) << run.err;
        return run;
    }

    /// Frame 17 at 80 x 45; a scene composited onto plates, which exist every 30 frames at
    /// the scene's size, renders frame 60 at that size.
    void Render(const std::string &scene, const std::string &stem) {
        const bool plates = GetParam() == "plate-scene.json";
        std::vector<std::string> args = {folder.Path(scene),
                                         "-o",
                                         folder.Path(stem + ".####.exr"),
                                         "--frames",
                                         plates ? "60" : "17",
                                         "--progress",
                                         "plain"};
        if (!plates) args.insert(args.end(), {"--size", "80x45"});
        Nimbra(args);
    }

    testfiles::TempFolder folder;
};

TEST_P(SceneSave, WrittenSceneRendersTheSameFrameAndWritesItselfAgain) {
    Nimbra({folder.Path(GetParam()), "--save-scene", folder.Path("saved.json")});
    Nimbra({folder.Path("saved.json"), "--save-scene", folder.Path("again.json")});
    EXPECT_EQ(FileText(folder.Path("saved.json")), FileText(folder.Path("again.json")));

    Render(GetParam(), "original");
    Render("saved.json", "saved");
    const std::string frame = GetParam() == "plate-scene.json" ? "0060" : "0017";
    EXPECT_TRUE(SameFrames(folder.Path("original." + frame + ".exr"),
                           folder.Path("saved." + frame + ".exr")));
}

INSTANTIATE_TEST_SUITE_P(EveryExample, SceneSave, ::testing::ValuesIn(ExampleScenes()),
                         ExampleTestName);

}  // namespace
