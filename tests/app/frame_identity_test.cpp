/// @file frame_identity_test.cpp
/// @brief A frame is the same however a shot is split: rendered alone, or after the frames
///        before it in one run, every example scene gives the same pixels in every channel.
///        (A farm renders chunks in separate processes; nothing a frame shows may depend on
///        what the process rendered before it.)
#include "common/temp_folder.h"
#include "example_scenes.h"
#include "program_run.h"
#include "same_frames.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace fs = std::filesystem;
using apptest::ProgramRun;
using apptest::RunNimbra;

namespace {

/// A run of frames, the one of them rendered again alone, and the frame size.
struct Split {
    std::string run;
    std::string alone;  ///< four digits, as the output pattern writes it
    std::string size;   ///< empty: the scene's
};

/// Frames 1-20 and frame 17 at 80 x 45; a scene composited onto plates, which exist every 30
/// frames at the scene's size, renders those.
Split SplitFor(const std::string &scene) {
    if (scene == "plate-scene.json") return {"0-60x30", "0060", ""};
    return {"1-20", "0017", "80x45"};
}

class FrameIdentity : public ::testing::TestWithParam<std::string> {};

TEST_P(FrameIdentity, FrameRenderedAloneEqualsItInARange) {
    const Split split = SplitFor(GetParam());
    testfiles::TempFolder folder;
    MirrorExamples(folder.Root());
    const std::string scene = folder.Path(GetParam());
    fs::create_directories(folder.Path("config"));
    const auto render = [&](const std::string &frames, const std::string &stem) {
        std::vector<std::string> args = {"--config-dir", folder.Path("config"),
                                         "render",       scene,
                                         "-o",           folder.Path(stem + ".####.exr"),
                                         "--frames",     frames,
                                         "--progress",   "plain"};
        if (!split.size.empty()) args.insert(args.end(), {"--size", split.size});
        const ProgramRun run = RunNimbra(args);
        EXPECT_EQ(run.exitCode, 0) << run.err;
    };
    render(split.run, "range");
    render(std::to_string(std::stoi(split.alone)), "alone");
    EXPECT_TRUE(SameFrames(folder.Path("range." + split.alone + ".exr"),
                           folder.Path("alone." + split.alone + ".exr")));
}

INSTANTIATE_TEST_SUITE_P(EveryExample, FrameIdentity, ::testing::ValuesIn(ExampleScenes()),
                         ExampleTestName);

}  // namespace
