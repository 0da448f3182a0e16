/// @file render_command_test.cpp
/// @brief Runs `nimbra render` on plate scenes: frames and outputs written, the frame-range,
///        output, threads and progress options, progress line formats, exit codes, depth
///        composited from plates, and Ctrl-C.
#include "common/test_paths.h"
#include "program_run.h"

#include "host/bitmap.h"
#include "host/image_file.h"
#include "common/temp_folder.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <chrono>
#include <csignal>
#include <thread>

namespace fs = std::filesystem;
using apptest::Contains;
using apptest::ProgramRun;
using apptest::RunNimbra;

namespace {

constexpr int kWidth = 8, kHeight = 6;

/// Lines of a text.
std::vector<std::string> Lines(const std::string &text) {
    std::vector<std::string> lines;
    std::stringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

/// TRUE when `line` is "PROGRESS P% frame=F done=D/T" with P given to one decimal.
bool IsPlainProgress(const std::string &line) {
    double percent = 0;
    int frame = 0, done = 0, total = 0;
    char end = 0;
    const std::size_t dot = line.find('.');
    return std::sscanf(line.c_str(), "PROGRESS %lf%% frame=%d done=%d/%d%c", &percent, &frame,
                       &done, &total, &end) == 4 &&
           dot != std::string::npos && line[dot + 2] == '%' && percent >= 0 && percent <= 100;
}

/// TRUE when `line` is "openjd_progress: P" with P given to one decimal.
bool IsOpenJDProgress(const std::string &line) {
    double percent = 0;
    char end = 0;
    const std::size_t dot = line.find('.');
    return std::sscanf(line.c_str(), "openjd_progress: %lf%c", &percent, &end) == 1 &&
           dot == line.size() - 2 && percent >= 0 && percent <= 100;
}

/// A plate of `width` × `height`: colour varying with the frame, depth −(10 + x).
BitmapPtr MakePlate(int frame, int width = kWidth, int height = kHeight) {
    BitmapPtr bm(TheManager->Create(BitmapInfo(BMM_TRUE_64, MAP_HAS_ALPHA, width, height)));
    bm->CreateChannels(BMM_CHAN_Z);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            bm->PutPixel(
                x, y, BMM_Color_64{UWORD(1000 * frame), UWORD(300 * x), UWORD(500 * y), 65535});
            bm->DepthChannel()[y * width + x] = -(10.0f + x);
        }
    return bm;
}

/// A folder with plates p.0001.exr … p.0003.exr and scenes that read them.
class RenderCommandTest : public ::testing::Test {
protected:
    void SetUp() override {
        fs::create_directories(folder.Path("plates"));
        for (int f = 1; f <= 3; ++f)
            WriteImageFile(ExpandFramePattern(folder.Path("plates/p.####.exr"), f),
                           *MakePlate(f));
        WriteScene("plate.json",
                   R"("queue": [{"event": "plate", "image": "plates/p.####.exr"}])");
    }

    /// Writes a scene with render settings `render`, `nodes` (by default one camera) and
    /// `body` as its further members.
    std::string WriteScene(
        const std::string &name, const std::string &body,
        const std::string &render = R"({"width": 8, "height": 6})",
        const std::string &nodes = R"([{"name": "Cam", "object": {"class": "Free Camera"}}])") {
        const std::string path = folder.Path(name);
        std::ofstream(path) << R"({"version": 1, "render": )" << render
                            << ", \"nodes\": " << nodes << (body.empty() ? "" : ", ") << body
                            << "}";
        return path;
    }

    ProgramRun Render(std::vector<std::string> args) {
        args.insert(args.begin(), "render");
        return RunNimbra(args, {}, folder.Path(""));
    }

    testfiles::TempFolder folder;
};

}  // namespace

TEST_F(RenderCommandTest, WritesEveryFrameIntoNewFolders) {
    const ProgramRun run =
        Render({"plate.json", "-o", "out/deep/f.####.png", "--frames", "1-3"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    for (int f = 1; f <= 3; ++f) {
        const std::string path = ExpandFramePattern(folder.Path("out/deep/f.####.png"), f);
        ASSERT_TRUE(fs::exists(path)) << path;
        const BitmapPtr written = ReadImageFile(path);
        // The plate's colour went through half floats in linear light.
        EXPECT_NEAR(written->Pixel(3, 2).r, 1000 * f, 20);
        EXPECT_NEAR(written->Pixel(3, 2).g, 900, 20);
        EXPECT_NEAR(written->Pixel(3, 2).b, 1000, 20);
    }
    // %04d patterns and descending ranges.
    const ProgramRun down = Render({"plate.json", "-o", "d.%04d.png", "--frames", "3-2"});
    EXPECT_EQ(down.exitCode, 0) << down.err;
    EXPECT_TRUE(fs::exists(folder.Path("d.0003.png")));
    EXPECT_TRUE(fs::exists(folder.Path("d.0002.png")));
    EXPECT_FALSE(fs::exists(folder.Path("d.0001.png")));
}

TEST_F(RenderCommandTest, FrameRangesUniteAndBadOnesAreUsageErrors) {
    const ProgramRun run = Render({"plate.json", "-o", "u.####.png", "--frames", "3,1",
                                   "--frames", "1-2", "--progress", "plain"});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    const std::vector<std::string> lines = Lines(run.out);
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.back(), "PROGRESS 100.0% frame=2 done=3/3");  // 3, 1, then 2
    for (const char *bad : {"1-", "x", "1-10x0", "1,,2", "5x2"}) {
        const ProgramRun refused = Render({"plate.json", "-o", "b.####.png", "--frames", bad});
        EXPECT_EQ(refused.exitCode, 2) << bad;
        EXPECT_TRUE(
            Contains(refused.err, "--frames: bad frame range \"" + std::string(bad) + "\""))
            << refused.err;
    }
    EXPECT_FALSE(fs::exists(folder.Path("b.0001.png")));
}

TEST_F(RenderCommandTest, OutputPatternProblemsAreUsageErrors) {
    ProgramRun run = Render({"plate.json", "-o", "f.####.xyz", "--frames", "1"});
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_TRUE(Contains(run.err, "-o f.####.xyz: no image format writes '.xyz' files"))
        << run.err;
    run = Render({"plate.json", "-o", "same.png", "--frames", "1-2"});
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_TRUE(Contains(run.err, "no frame number in the file name")) << run.err;
    EXPECT_FALSE(fs::exists(folder.Path("same.png")));
    // One frame may go to a plain file name.
    run = Render({"plate.json", "-o", "still.tif", "--frames", "2"});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_TRUE(fs::exists(folder.Path("still.tif")));
    // Without any output there is nothing to do.
    run = Render({"plate.json", "--frames", "1"});
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_TRUE(Contains(run.err, "nothing would be written: give an output with -o PATTERN"));
}

TEST_F(RenderCommandTest, ThreadsOption) {
    for (const char *n : {"1", "0", "-1", "-64"}) {
        const ProgramRun run =
            Render({"plate.json", "-o", "t.####.png", "--frames", "1", "-t", n});
        EXPECT_EQ(run.exitCode, 0) << n << ": " << run.err;
    }
    const ProgramRun run = Render({"plate.json", "-o", "t.####.png", "--threads", "many"});
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_TRUE(Contains(run.err, "--threads")) << run.err;
}

TEST_F(RenderCommandTest, PlainProgressLines) {
    const ProgramRun run =
        Render({"plate.json", "-o", "p.####.png", "--frames", "1-3", "--progress", "plain"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const std::vector<std::string> lines = Lines(run.out);
    ASSERT_GE(lines.size(), 3u);
    for (const std::string &l : lines) EXPECT_TRUE(IsPlainProgress(l)) << l;
    EXPECT_EQ(lines.back(), "PROGRESS 100.0% frame=3 done=3/3");
}

TEST_F(RenderCommandTest, OpenJDProgressLines) {
    const ProgramRun run =
        Render({"plate.json", "-o", "p.####.png", "--frames", "1-2", "--progress", "openjd"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    bool sawStatus = false, sawFinal = false;
    for (const std::string &l : Lines(run.out)) {
        if (l.rfind("openjd_status: ", 0) == 0) {
            sawStatus = true;
            sawFinal |= l == "openjd_status: Finished, 2 of 2 frames, 0 failed";
        } else {
            EXPECT_TRUE(IsOpenJDProgress(l)) << l;
        }
    }
    EXPECT_TRUE(sawStatus) << run.out;
    EXPECT_TRUE(sawFinal) << run.out;
    EXPECT_TRUE(Contains(run.out, "openjd_progress: 100.0\n")) << run.out;
}

TEST_F(RenderCommandTest, JsonProgressLines) {
    const ProgramRun run =
        Render({"plate.json", "-o", "p.####.png", "--frames", "1-2", "--progress", "json"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    std::vector<int> framesDone;
    nlohmann::json last;
    for (const std::string &l : Lines(run.out)) {
        const nlohmann::json j = nlohmann::json::parse(l);  // every line one object
        ASSERT_TRUE(j.is_object()) << l;
        ASSERT_TRUE(j.contains("event")) << l;
        if (j["event"] == "frame") {
            EXPECT_EQ(j["ok"], true) << l;
            framesDone.push_back(j["frame"].get<int>());
        }
        last = j;
    }
    EXPECT_EQ(framesDone, (std::vector<int>{1, 2}));
    EXPECT_EQ(last, nlohmann::json({{"event", "done"},
                                    {"frames", 2},
                                    {"total", 2},
                                    {"failed", 0},
                                    {"aborted", false}}));
    const ProgramRun bad = Render({"plate.json", "-o", "p.####.png", "--progress", "fancy"});
    EXPECT_EQ(bad.exitCode, 2);
    EXPECT_TRUE(Contains(bad.err, "--progress")) << bad.err;
}

TEST_F(RenderCommandTest, AFailedFrameExitsWithOneAfterTheOthers) {
    // Frame 4 has no plate.
    const ProgramRun run =
        Render({"plate.json", "-o", "f.####.png", "--frames", "2-4", "--progress", "json"});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(fs::exists(folder.Path("f.0002.png")));
    EXPECT_TRUE(fs::exists(folder.Path("f.0003.png")));
    EXPECT_FALSE(fs::exists(folder.Path("f.0004.png")));
    EXPECT_TRUE(Contains(run.err, "nimbra render: frame 4 failed: ")) << run.err;
    EXPECT_TRUE(Contains(run.err, "p.0004.exr")) << run.err;
    EXPECT_TRUE(Contains(run.err, "1 of 3 frames failed")) << run.err;
    EXPECT_TRUE(Contains(run.out, R"("failed":1)")) << run.out;
}

TEST_F(RenderCommandTest, SceneProblemsExitWithOneNamingTheFileAndPlace) {
    const std::string bad = WriteScene("bad.json", R"("queue": [{"event": "plate"}])");
    ProgramRun run = Render({"bad.json", "-o", "x.####.png"});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(Contains(run.err, "bad.json: queue[0]: missing \"image\"")) << run.err;

    std::ofstream(folder.Path("syntax.json")) << "{\"version\": 1,\n \"nodes\": [}";
    run = Render({"syntax.json", "-o", "x.####.png"});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(Contains(run.err, "syntax.json:2:12: JSON syntax error")) << run.err;

    run = Render({"absent.json", "-o", "x.####.png"});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(Contains(run.err, "absent.json: no such file")) << run.err;

    // Unread keys are warnings; the render goes on.
    WriteScene("typo.json", R"("queue": [{"event": "plate", "image": "plates/p.####.exr",
                                          "cmaera": "Cam"}])");
    run = Render({"typo.json", "-o", "x.####.png", "--frames", "1"});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_TRUE(Contains(run.err, "warning: "));
    EXPECT_TRUE(Contains(run.err, "typo.json: queue[0].cmaera: unknown key, not read"))
        << run.err;
}

TEST_F(RenderCommandTest, PlateDepthIsCompositedIntoTheFrame) {
    const ProgramRun run = Render({"plate.json", "-o", "z.####.exr", "--frames", "2"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    ImageFileContents found;
    const BitmapPtr written = ReadImageFile(folder.Path("z.0002.exr"), &found);
    EXPECT_EQ(found.depthName, "Z");
    ASSERT_NE(written->DepthChannel(), nullptr);
    EXPECT_FLOAT_EQ(written->DepthChannel()[2 * kWidth + 5], -15.0f);

    // Depth from separate files: colour from a PNG without depth, Z from the plate EXRs.
    WriteImageFile(folder.Path("plates/c.0001.png"), *MakePlate(1));
    WriteScene("split.json", R"("queue": [{"event": "plate", "image": "plates/c.####.png",
                                           "depth": "plates/p.####.exr", "camera": "Cam"},
                                          {"event": "output", "file": "s.####.exr"}])");
    const ProgramRun split = Render({"split.json", "--frames", "1"});
    ASSERT_EQ(split.exitCode, 0) << split.err;
    const BitmapPtr composited = ReadImageFile(folder.Path("s.0001.exr"));
    ASSERT_NE(composited->DepthChannel(), nullptr);
    EXPECT_FLOAT_EQ(composited->DepthChannel()[kWidth + 7], -17.0f);
    EXPECT_NEAR(composited->Pixel(7, 1).r, 1000, 20);  // through half-float linear light
}

TEST_F(RenderCommandTest, CtrlCStopsAfterTheCurrentStep) {
    // Large plates and many frames, so that the run is still going when Ctrl-C comes.
    WriteImageFile(folder.Path("big.exr"), *MakePlate(1, 1024, 1024));
    WriteScene("big.json", R"("queue": [{"event": "plate", "image": "big.exr"}])",
               R"({"width": 1024, "height": 1024})");

    std::vector<std::string> args{testpaths::NimbraProgram(), "render", "big.json",   "-o",   "c.####.png",
                                  "--frames", "1-500",  "--progress", "plain"};
    std::vector<char *> argv;
    for (std::string &a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, folder.Path("err.txt").c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addchdir_np(&actions, folder.Path("").c_str());
    pid_t pid = 0;
    ASSERT_EQ(posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ), 0);
    posix_spawn_file_actions_destroy(&actions);
    // Wait for the first frame, then interrupt.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(120);
    while (!fs::exists(folder.Path("c.0001.png")) &&
           std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    kill(pid, SIGINT);
    int status = 0;
    waitpid(pid, &status, 0);
    ASSERT_TRUE(WIFEXITED(status)) << "ended by a signal instead of stopping cleanly";
    EXPECT_EQ(WEXITSTATUS(status), 1);
    const std::string err = apptest::ReadText(folder.Path("err.txt"));
    EXPECT_TRUE(Contains(err, "nimbra render: interrupted after ")) << err;
    EXPECT_FALSE(fs::exists(folder.Path("c.0500.png")));
    // No partial file is left behind.
    for (const auto &entry : fs::directory_iterator(folder.Path("")))
        EXPECT_EQ(entry.path().filename().string().find(".tmp"), std::string::npos)
            << entry.path();
}

// Scene renders
// ---------------------------------------------------------------------------------------------

namespace {

/// The images differ nowhere in colour, alpha or depth.
::testing::AssertionResult SameImage(const std::string &a, const std::string &b) {
    const BitmapPtr x = ReadImageFile(a), y = ReadImageFile(b);
    if (x->Width() != y->Width() || x->Height() != y->Height())
        return ::testing::AssertionFailure() << "sizes differ";
    for (int j = 0; j < x->Height(); ++j)
        for (int i = 0; i < x->Width(); ++i) {
            const BMM_Color_64 p = x->Pixel(i, j), q = y->Pixel(i, j);
            if (p.r != q.r || p.g != q.g || p.b != q.b || p.a != q.a)
                return ::testing::AssertionFailure()
                       << "pixel (" << i << ", " << j << ") differs";
        }
    if (!x->DepthChannel() != !y->DepthChannel())
        return ::testing::AssertionFailure() << "one has depth, the other not";
    if (x->DepthChannel() &&
        !std::equal(x->DepthChannel(), x->DepthChannel() + x->Width() * x->Height(),
                    y->DepthChannel()))
        return ::testing::AssertionFailure() << "depth differs";
    return ::testing::AssertionSuccess();
}

std::string Example(const char *name) {
    return (fs::path(testpaths::SourceDir()) / "examples" / name).string();
}

/// Pixels of the image at `path` that only fire reaches: yellow-white (red near full, green
/// high), which the dim set of the campfire scenes alone never reaches.
int FirePixels(const std::string &path) {
    const BitmapPtr frame = ReadImageFile(path);
    int fire = 0;
    for (int y = 0; y < frame->Height(); ++y)
        for (int x = 0; x < frame->Width(); ++x) {
            const BMM_Color_64 p = frame->Pixel(x, y);
            fire += p.r > 64000 && p.g > 40000;
        }
    return fire;
}

}  // namespace

TEST_F(RenderCommandTest, TheExamplesRenderWithoutWarnings) {
    ProgramRun run = Render({Example("lit-scene.json"), "-o", "lit.####.exr", "--frames", "30",
                             "--size", "160x90"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.err, "");
    ImageFileContents found;
    const BitmapPtr lit = ReadImageFile(folder.Path("lit.0030.exr"), &found);
    EXPECT_EQ(found.depthName, "Z");
    EXPECT_FALSE(found.materialName.empty());

    // The plate scene passes its committed plate through, depth and all.
    run = Render({Example("plate-scene.json"), "-o", "plate.####.exr", "--frames", "30"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.err, "");
    EXPECT_TRUE(SameImage(folder.Path("plate.0030.exr"), Example("plates/lit.0030.exr")));
}

TEST_F(RenderCommandTest, TheDemoSceneIsBuiltIn) {
    const ProgramRun demo =
        Render({"-o", "demo.####.png", "--frames", "20", "--size", "96x54"});
    ASSERT_EQ(demo.exitCode, 0) << demo.err;
    EXPECT_EQ(demo.err, "");
    const ProgramRun lit = Render(
        {Example("demo.json"), "-o", "file.####.png", "--frames", "20", "--size", "96x54"});
    ASSERT_EQ(lit.exitCode, 0) << lit.err;
    EXPECT_TRUE(SameImage(folder.Path("demo.0020.png"), folder.Path("file.0020.png")));

    EXPECT_GT(FirePixels(folder.Path("demo.0020.png")), 20);
}

TEST_F(RenderCommandTest, TheParticleCacheExampleDrawsItsFireFromTheFile) {
    // The scene has no emitters: every flame comes from examples/particles/campfire.csv,
    // found relative to the scene file.
    const ProgramRun run = Render({Example("particle-cache.json"), "-o", "cache.####.png",
                                   "--frames", "30", "--size", "96x54"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.err, "");
    EXPECT_GT(FirePixels(folder.Path("cache.0030.png")), 20);
}

TEST_F(RenderCommandTest, TheEnergyFieldExampleDrawsItsBarrierOfNoiseParticles) {
    const ProgramRun run = Render({Example("energy-field.json"), "-o", "field.####.png",
                                   "--frames", "30", "--size", "160x90"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.err, "");
    // Bright blue light that only the glowing barrier reaches; the set is dim grey-blue.
    const BitmapPtr frame = ReadImageFile(folder.Path("field.0030.png"));
    int glowing = 0;
    for (int y = 0; y < frame->Height(); ++y)
        for (int x = 0; x < frame->Width(); ++x) {
            const BMM_Color_64 p = frame->Pixel(x, y);
            glowing += p.b > 30000 && p.b > 2 * p.r;
        }
    EXPECT_GT(glowing, 1500);
}

TEST_F(RenderCommandTest, ABinarySceneRendersAsItsJson) {
    // Objects, materials, lights with shadows, a keyed transform and a look-at target.
    WriteScene("shot.json", "", R"({"width": 120, "height": 80, "camera": "Cam"})", R"([
        {"name": "Ground", "object": {"class": "Plane", "params": {"Length": 300, "Width": 300}},
         "material": {"class": "Standard", "params": {"Diffuse": [0.6, 0.6, 0.5], "Material ID": 1}}},
        {"name": "Ball", "object": {"class": "Sphere", "params": {"Radius": 15}},
         "material": {"class": "Standard", "params": {"Diffuse": [0.9, 0.2, 0.1],
                                                      "Specular Level": 0.7}},
         "transform": {"position": {"keys": [[0, [-40, 0, 15]], [10, [40, 0, 15]]]}}},
        {"name": "Aim", "transform": {"position": [0, 0, 10]}},
        {"name": "Key", "target": "Aim", "object": {"class": "Target Spot",
            "params": {"Hotspot": 40, "Falloff": 60, "Map Size": 256},
            "properties": {"Cast Shadows": true}}, "transform": {"position": [60, -80, 150]}},
        {"name": "Cam", "target": "Aim", "object": {"class": "Target Camera", "params": {"FOV": 55}},
         "transform": {"position": [0, -200, 90]}}])");
    ProgramRun run = Render({"shot.json", "--save-scene", "saved/shot.bin"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    ASSERT_TRUE(fs::exists(folder.Path("saved/shot.bin")));
    EXPECT_FALSE(fs::exists(folder.Path("json.0004.exr")));  // saving renders nothing

    run = Render({"shot.json", "-o", "json.####.exr", "--frames", "4"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    // The binary file keeps no render settings: size and frames from the command line; its
    // one camera is the view.
    run = Render({"saved/shot.bin", "-o", "bin.####.exr", "--frames", "4", "--size", "120x80"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_TRUE(SameImage(folder.Path("json.0004.exr"), folder.Path("bin.0004.exr")));

    // A broken binary file is refused with its name.
    std::ofstream(folder.Path("broken.bin")) << "NIMBRASC garbage";
    run = Render({"broken.bin", "-o", "x.####.png"});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(Contains(run.err, "broken.bin")) << run.err;
}

TEST_F(RenderCommandTest, CameraOptionsAndMissingCameras) {
    std::ofstream(folder.Path("nocam.json"))
        << R"({"version": 1, "nodes": [{"name": "Thing"}], "queue": [{"event": "scene"}]})";
    ProgramRun run = Render({"nocam.json", "-o", "n.####.png", "--frames", "1"});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(Contains(run.err, "the scene has no camera")) << run.err;
    run = Render({"plate.json", "-o", "n.####.png", "--camera", "Nobody"});
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_TRUE(Contains(run.err, "--camera: the scene has no node named 'Nobody'")) << run.err;
}
