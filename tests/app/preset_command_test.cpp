/// @file preset_command_test.cpp
/// @brief Runs `nimbra preset save` and `nimbra preset show` and scene files with a helper's
///        "preset": the shipped example presets are made again byte for byte, described and
///        applied; a scene's own settings win over its preset; errors and exit codes.
#include "common/test_paths.h"
#include "program_run.h"

#include "common/temp_folder.h"

#include <gtest/gtest.h>

#include <fstream>

namespace fs = std::filesystem;
using apptest::Contains;
using apptest::ProgramRun;
using apptest::RunNimbra;
using testfiles::ReadBytes;
using testfiles::WriteBytes;

namespace {

const fs::path kPresets = fs::path(testpaths::SourceDir()) / "examples" / "presets";

class PresetCommandTest : public ::testing::Test {
protected:
    /// Runs the program in the test's folder, with the registry kept there too.
    ProgramRun Run(const std::vector<std::string> &args) {
        return RunNimbra(args, {"NIMBRA_CONFIG_DIR=" + folder.Path("config")}, folder.Path(""));
    }

    /// A scene in the test's folder with one emitter and the nodes `nodes` (a JSON list's
    /// members).
    std::string WriteScene(const std::string &name, const std::string &nodes) {
        const std::string path = folder.Path(name);
        std::ofstream(path) << R"({"version": 1, "nodes": [)"
                            << R"({"name": "Emitter", "object": {"class": "Spray"}}, )" << nodes
                            << "]}";
        return path;
    }

    testfiles::TempFolder folder;
};

TEST_F(PresetCommandTest, ExamplePresetsAreMadeAgainByteForByte) {
    int checked = 0;
    for (const auto &entry : fs::directory_iterator(kPresets)) {
        const fs::path preset = entry.path();
        if (preset.extension() != ".nbr") continue;
        const fs::path scene = fs::path(preset).replace_extension(".json");
        SCOPED_TRACE(scene.string());
        ASSERT_TRUE(fs::exists(scene))
            << "each example preset comes with the scene it is made of";
        const ProgramRun run = Run({"preset", "save", scene.string(), "-o", "made"});
        ASSERT_EQ(run.exitCode, 0) << run.err;
        EXPECT_TRUE(Contains(run.err, "wrote made.nbr"));
        EXPECT_EQ(ReadBytes(folder.Path("made.nbr")), ReadBytes(preset));
        ++checked;
    }
    EXPECT_GE(checked, 2);
}

TEST_F(PresetCommandTest, ShowDescribesAnExample) {
    const ProgramRun run = Run({"preset", "show", (kPresets / "fireball-fire.nbr").string()});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_TRUE(Contains(run.out, "Nimbra library file, version 0x0120"));
    EXPECT_TRUE(Contains(run.out, "Entry:        \"Fire\""));
    EXPECT_TRUE(
        Contains(run.out, "shape      FireBall (0x364A42DD, 0x5DB61872), data at byte"));
    EXPECT_TRUE(Contains(run.out, "color      Default Color (0x41035834, 0x74874163)"));
    EXPECT_TRUE(Contains(run.out, "composite  Default Composite (0x7BD26B7E, 0x49120A27)"));
    EXPECT_TRUE(Contains(run.out, "Birth Size           6\n"));
    EXPECT_TRUE(Contains(run.out, "Life Ends At         5760 ticks (1.2 s)"));
    EXPECT_TRUE(Contains(run.out, "Cast Shadows         off"));

    // Without the modules the classes go unnamed, the rest is read all the same.
    const ProgramRun bare = Run({"--plugins", folder.Path(""), "preset", "show",
                                 (kPresets / "circle-smoke.nbr").string()});
    EXPECT_EQ(bare.exitCode, 0) << bare.err;
    EXPECT_TRUE(
        Contains(bare.out, "shape      (class not installed) (0x364A42DD, 0x282C0A37)"));
}

TEST_F(PresetCommandTest, ExampleSceneWithPresetsRenders) {
    const ProgramRun run = Run({"render", (kPresets / "campfire.json").string(), "-o",
                                "campfire.png", "--size", "16x12"});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_TRUE(fs::exists(folder.Path("campfire.png")));
}

TEST_F(PresetCommandTest, SceneSettingsApplyAfterThePreset) {
    fs::copy_file(kPresets / "fireball-fire.nbr", folder.Path("fire.nbr"));
    WriteScene("torch.json", R"({"name": "Torch", "object": {"class": "Nimbra",
        "preset": "fire.nbr", "params": {"Death Size": 30},
        "properties": {"Particle Systems": ["Emitter"]}}})");
    // The scene is read from another folder: the preset is found beside the scene.
    const ProgramRun save = RunNimbra(
        {"preset", "save", folder.Path("torch.json"), "-o", folder.Path("out/torch.nbr")},
        {"NIMBRA_CONFIG_DIR=" + folder.Path("config")}, fs::temp_directory_path().string());
    ASSERT_EQ(save.exitCode, 0) << save.err;
    const ProgramRun show = Run({"preset", "show", "out/torch.nbr"});
    ASSERT_EQ(show.exitCode, 0) << show.err;
    EXPECT_TRUE(Contains(show.out, "Entry:        \"Torch\""));
    EXPECT_TRUE(Contains(show.out, "shape      FireBall"));
    EXPECT_TRUE(Contains(show.out, "Birth Size           6\n"));   // from the preset
    EXPECT_TRUE(Contains(show.out, "Death Size           30\n"));  // from the scene
}

TEST_F(PresetCommandTest, ScenePresetErrorsNameTheirPlace) {
    std::vector<std::uint8_t> newer = ReadBytes(kPresets / "circle-smoke.nbr");
    newer[256] = 0x30;  // version 0x0130
    WriteBytes(folder.Path("newer.nbr"), newer);
    struct Case {
        std::string object, expected;
    };
    for (const Case &c : {
             Case{R"({"class": "Nimbra", "preset": "newer.nbr"})",
                  "nodes[1].object.preset: preset file \"newer.nbr\" was not applied: File was "
                  "not created by this version of Nimbra, can not load."},
             Case{R"({"class": "Nimbra", "preset": "gone.nbr"})",
                  "nodes[1].object.preset: preset file \"gone.nbr\" was not applied: Unable to "
                  "open file"},
             Case{R"({"class": "Sphere", "preset": "newer.nbr"})",
                  "nodes[1].object.preset: class \"Sphere\" takes no preset file"},
         }) {
        WriteScene("bad.json", R"({"name": "Fx", "object": )" + c.object + "}");
        const ProgramRun run = Run({"render", "bad.json", "-o", "x.png", "--size", "8x6"});
        EXPECT_EQ(run.exitCode, 1);
        EXPECT_TRUE(Contains(run.err, "bad.json: " + c.expected)) << run.err;
    }
}

TEST_F(PresetCommandTest, ErrorsAndExitCodes) {
    WriteScene("two.json", R"({"name": "A", "object": {"class": "Nimbra"}},
                              {"name": "B", "object": {"class": "Nimbra"}})");
    const ProgramRun several = Run({"preset", "save", "two.json", "-o", "x.nbr"});
    EXPECT_EQ(several.exitCode, 1);
    EXPECT_TRUE(Contains(several.err, "several helpers (\"A\", \"B\"): name one with --helper"))
        << several.err;
    const ProgramRun unknown = Run({"preset", "save", "two.json", "--helper", "C", "-o", "x"});
    EXPECT_EQ(unknown.exitCode, 1);
    EXPECT_TRUE(Contains(unknown.err, "no node \"C\" (helpers: \"A\", \"B\")")) << unknown.err;
    const ProgramRun notHelper =
        Run({"preset", "save", "two.json", "--helper", "Emitter", "-o", "x"});
    EXPECT_EQ(notHelper.exitCode, 1);
    EXPECT_FALSE(fs::exists(folder.Path("x.nbr")));

    const ProgramRun missing = Run({"preset", "show", "none.nbr"});
    EXPECT_EQ(missing.exitCode, 1);
    EXPECT_TRUE(Contains(missing.err, "none.nbr: cannot be opened"));
    std::ofstream(folder.Path("text.nbr")) << std::string(400, 'x');
    const ProgramRun text = Run({"preset", "show", "text.nbr"});
    EXPECT_EQ(text.exitCode, 1);
    EXPECT_TRUE(Contains(text.err, "not a Nimbra library file"));

    for (const std::vector<std::string> &usage : {std::vector<std::string>{"preset"},
                                                  {"preset", "save", "two.json"},
                                                  {"preset", "show"},
                                                  {"preset", "load", "x.nbr"}}) {
        EXPECT_EQ(Run(usage).exitCode, 2) << usage.back();
    }
    const ProgramRun help = Run({"preset", "save", "--help"});
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_TRUE(Contains(help.out, "Exit codes"));
    EXPECT_TRUE(Contains(Run({"--help"}).out, "preset"));
}

}  // namespace
