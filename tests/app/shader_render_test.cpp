/// @file shader_render_test.cpp
/// @brief `nimbra render` of a scene whose queue runs "Nimbra Shader" after the scene event:
///        a helper's particle is drawn into the rendered frame, with its depth and material
///        ID, through the trivial plug-ins of the test folder "renderer".
#include "common/test_paths.h"
#include "program_run.h"

#include "host/bitmap.h"
#include "host/image_file.h"
#include "common/temp_folder.h"

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>

namespace fs = std::filesystem;
using apptest::ProgramRun;
using apptest::RunNimbra;

namespace {

constexpr int kWidth = 64, kHeight = 48;

/// One particle at the world origin for frames 0 to 10, aged by the frame.
constexpr char kParticles[] =
    "frame,id,x,y,z,age\n"
    "0,1,0,0,0,0\n"
    "10,1,0,0,0,10\n";

/// A camera 100 units above the origin looking down, the particle system, and a helper that
/// draws it with material ID 9 and its depth; `queue` is the post-production queue.
std::string Scene(const std::string &queue) {
    return R"({"version": 1,
  "render": {"width": 64, "height": 48, "camera": "Cam", "frames": "2"},
  "nodes": [
    {"name": "Cam", "object": {"class": "Free Camera", "params": {"FOV": 45}},
     "transform": {"position": [0, 0, 100]}},
    {"name": "Sim", "object": {"class": "Particle File", "properties": {"File": "sim.csv"}}},
    {"name": "Fire", "object": {"class": "Nimbra",
      "params": {"Birth Size": 10, "Death Size": 10},
      "properties": {"Particle Systems": ["Sim"], "Material ID": 9, "Update Z-Buffer": true}}}
  ],
  "queue": )" +
           queue + "}";
}

class ShaderRenderTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::ofstream(folder.Path("sim.csv")) << kParticles;
        fs::create_directories(folder.Path("config"));
    }

    ProgramRun Render(const std::string &name, const std::string &queue) {
        std::ofstream(folder.Path(name)) << Scene(queue);
        return RunNimbra(
            {"--plugins", (fs::path(testpaths::TestModuleDir()) / "renderer").string(),
             "--config-dir", folder.Path("config"), "render", name},
            {}, folder.Path(""));
    }

    testfiles::TempFolder folder;
};

TEST_F(ShaderRenderTest, DrawsTheHelpersParticlesIntoTheSceneFrame) {
    const ProgramRun run = Render("fx.json", R"([{"event": "scene"},
        {"event": "filter", "class": "Nimbra Shader"},
        {"event": "output", "file": "fx.####.exr"}])");
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.err.find("Error"), std::string::npos) << run.err;

    const BitmapPtr frame = ReadImageFile(folder.Path("fx.0002.exr"));
    ASSERT_EQ(frame->Width(), kWidth);
    ASSERT_NE(frame->DepthChannel(), nullptr);
    ASSERT_NE(frame->MaterialChannel(), nullptr);
    // The test colour shader paints red; the sprite's radius is about 9 pixels.
    const BMM_Color_64 centre = frame->Pixel(kWidth / 2, kHeight / 2);
    EXPECT_EQ(centre.r, 65535);
    EXPECT_EQ(centre.g, 0);
    EXPECT_EQ(frame->Pixel(2, 2).r, 0) << "outside the sprite the scene stays";
    // Pixel index 24 × 64 + 32 = 1568 is written at full coverage (1568 mod 10 ≠ 0).
    const int p = kHeight / 2 * kWidth + kWidth / 2;
    EXPECT_EQ(frame->MaterialChannel()[p], 9);
    EXPECT_NEAR(frame->DepthChannel()[p], -100.0f, 0.01f);
    EXPECT_EQ(frame->MaterialChannel()[0], 0);
}

TEST_F(ShaderRenderTest, WithoutTheFilterTheFrameIsTheSceneAlone) {
    const ProgramRun run = Render("plain.json", R"([{"event": "scene"},
        {"event": "output", "file": "plain.####.exr"}])");
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const BitmapPtr frame = ReadImageFile(folder.Path("plain.0002.exr"));
    EXPECT_EQ(frame->Pixel(kWidth / 2, kHeight / 2).r, 0);
}

TEST_F(ShaderRenderTest, FilterBeforeTheSceneEventIsReported) {
    const ProgramRun run =
        Render("early.json", R"([{"event": "filter", "class": "Nimbra Shader"},
        {"event": "scene"}, {"event": "output", "file": "early.####.exr"}])");
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(apptest::Contains(
        run.err,
        "Nimbra Shader: Source image not found, make sure you have a scene input event before "
        "Nimbra filter."))
        << run.err;
}

TEST_F(ShaderRenderTest, MotionBlurSpreadsAMovingParticleOverItsSubFrames) {
    // 20 units a frame: about 15 pixels, so the four quarter-frame sprites overlap partly.
    std::ofstream(folder.Path("sim.csv")) << "frame,id,x,y,z,age\n0,1,-40,0,0,0\n"
                                             "10,1,160,0,0,10\n";
    const ProgramRun run = Render("blur.json", R"([{"event": "scene"},
        {"event": "filter", "class": " Nimbra Motion Blur", "properties":
          {"Camera": "Cam", "Duration": 1, "Sub-frames": 4, "Dither": 0}},
        {"event": "output", "file": "blur.####.exr"}])");
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const BitmapPtr frame = ReadImageFile(folder.Path("blur.0002.exr"));
    // The first sub-frame's sprite is centred; the last one's lies beyond its radius.
    const int red = frame->Pixel(kWidth / 2, kHeight / 2).r;
    EXPECT_GT(red, 65535 / 2);
    EXPECT_LT(red, 65535 * 9 / 10);
    EXPECT_EQ(frame->MaterialChannel()[kHeight / 2 * kWidth + kWidth / 2], 9);

    const ProgramRun wrong = Render("nocam.json", R"([{"event": "scene"},
        {"event": "filter", "class": " Nimbra Motion Blur", "properties": {"Camera": "Sim"}}])");
    EXPECT_NE(wrong.exitCode, 0);
    EXPECT_TRUE(apptest::Contains(wrong.err, "queue[1].properties.Camera"));
    EXPECT_TRUE(apptest::Contains(wrong.err, "no camera node is named \"Sim\"")) << wrong.err;
}

}  // namespace
