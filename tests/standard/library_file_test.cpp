/// @file library_file_test.cpp
/// @brief Effect library files with the real standard plug-ins: a FireBall set-up with four
///        colours and Glow survives a round trip, the shipped example presets load, and the
///        damaged files the fuzzer found leave a whole helper behind.
#include "common/test_paths.h"
#include "standard_fixture.h"

#include "common/scripted_user_interface.h"
#include "common/temp_folder.h"
#include "plugins/standard/default_color.h"
#include "plugins/standard/default_composite.h"
#include "plugins/standard/fireball_shape.h"
#include "framework/table_plugin.h"
#include "setup/helper.h"
#include "setup/library_dlg.h"
#include "host/inode.h"

#include <gtest/gtest.h>

namespace standardtest {
namespace {

using Bytes = std::vector<std::uint8_t>;

/// Entry name field of the entry record (after the 260-byte header).
constexpr std::size_t kEntryNameAt = 260 + 10, kEntryNameField = 20;

/// Files of `dir` with extension `ext`, sorted (empty when the folder does not exist).
std::vector<fs::path> FilesIn(const fs::path &dir, const std::string &ext) {
    std::vector<fs::path> files;
    std::error_code error;
    for (const auto &e : fs::directory_iterator(dir, error))
        if (e.path().extension() == ext) files.push_back(e.path());
    std::sort(files.begin(), files.end());
    return files;
}

class StandardLibraryTest : public ::testing::Test {
protected:
    void SetUp() override { GetCOREInterface()->ResetScene(); }
    void TearDown() override { GetCOREInterface()->ResetScene(); }

    NimbraHelper *NewHelperNode(const char *name) {
        auto *helper = dynamic_cast<NimbraHelper *>(
            static_cast<Animatable *>(CreateInstance(HELPER_CLASS_ID, kNimbraHelperClassID)));
        EXPECT_NE(helper, nullptr);
        GetCOREInterface()->CreateObjectNode(helper)->SetName(name);
        return helper;
    }

    ScriptedUserInterface ui;
    testfiles::TempFolder folder;
};

/// Every parameter of two table plug-ins at time 0 agrees.
void ExpectSameParameters(TablePlugIn *a, TablePlugIn *b) {
    ASSERT_EQ(a->ClassID(), b->ClassID());
    const auto &params = a->Layout().params;
    for (int i = 0; i < int(params.size()); ++i) {
        SCOPED_TRACE(params[i].name);
        if (params[i].type == TYPE_FLOAT) {
            float x = 0, y = 0;
            a->ParamBlock()->GetValue(i, 0, x);
            b->ParamBlock()->GetValue(i, 0, y);
            EXPECT_EQ(x, y);
        } else if (params[i].type == TYPE_RGBA || params[i].type == TYPE_POINT3) {
            Color x, y;
            a->ParamBlock()->GetValue(i, 0, x);
            b->ParamBlock()->GetValue(i, 0, y);
            EXPECT_EQ(x.r, y.r);
            EXPECT_EQ(x.g, y.g);
            EXPECT_EQ(x.b, y.b);
        } else {
            int x = 0, y = 0;
            a->ParamBlock()->GetValue(i, 0, x);
            b->ParamBlock()->GetValue(i, 0, y);
            EXPECT_EQ(x, y);
        }
    }
    ASSERT_EQ(a->NumControllers(), b->NumControllers());
    for (int i = 0; i < a->NumControllers(); ++i) {
        auto *ca = dynamic_cast<DefaultController *>(a->GetController(i));
        auto *cb = dynamic_cast<DefaultController *>(b->GetController(i));
        ASSERT_TRUE(ca && cb);
        EXPECT_EQ(EncodeControllerState(ca->State()), EncodeControllerState(cb->State()));
    }
}

TEST_F(StandardLibraryTest, FireBallWithFourColorsAndGlowRoundTrips) {
    NimbraHelper *source = NewHelperNode("Fire");
    ASSERT_TRUE(source->SelectPlugInClass(FireBallShape::kClassID));
    auto *shape = dynamic_cast<FireBallShape *>(source->Shape());
    auto *color = dynamic_cast<DefaultColorShader *>(source->ColorShader());
    auto *composite = dynamic_cast<DefaultComposite *>(source->Composite());
    ASSERT_TRUE(shape && color && composite);
    shape->ParamBlock()->SetValue(FireBallShape::kNoiseType, 0,
                                  int(FireBallShape::kFractalNoise));
    shape->ParamBlock()->SetValue(FireBallShape::kBirthNoiseSize, 0, 2.5f);
    shape->ParamBlock()->SetValue(FireBallShape::kDeathThreshold, 0, 35.0f);
    dynamic_cast<DefaultController *>(shape->GetController(FireBallShape::kPhaseController))
        ->SetInterpolation(kSmoothStep);
    color->ParamBlock()->SetValue(DefaultColorShader::kShadeType, 0,
                                  int(DefaultColorShader::kFourColors));
    color->ParamBlock()->SetValue(DefaultColorShader::kBirthColor1, 0, Color(1.0f, 0.8f, 0.3f));
    color->ParamBlock()->SetValue(DefaultColorShader::kDeathColor1, 0, Color(0.6f, 0.1f, 0.0f));
    color->ParamBlock()->SetValue(DefaultColorShader::kBirthColor2, 0, Color(1.0f, 1.0f, 0.8f));
    color->ParamBlock()->SetValue(DefaultColorShader::kDeathColor2, 0, Color(0.9f, 0.4f, 0.1f));
    composite->ParamBlock()->SetValue(DefaultComposite::kCompositeType, 0,
                                      int(DefaultComposite::kGlow));
    source->AgeBlock()->SetValue(NimbraHelper::kDeathSize, 0, 40.0f);

    const fs::path first = folder.Path("fire.nbr");
    ASSERT_EQ(WriteLibraryFile(*source, first), PresetOutcome::Done);
    NimbraHelper *target = NewHelperNode("Copy");
    ASSERT_EQ(ReadLibraryFile(*target, first), PresetOutcome::Done);
    EXPECT_TRUE(ui.Messages().empty());
    for (int role = 0; role < NimbraHelper::kRoles; ++role) {
        const auto r = static_cast<NimbraHelper::Role>(role);
        ExpectSameParameters(dynamic_cast<TablePlugIn *>(source->GetPlugIn(r)),
                             dynamic_cast<TablePlugIn *>(target->GetPlugIn(r)));
    }
    EXPECT_EQ(target->AgeFloat(NimbraHelper::kDeathSize, 0), 40.0f);

    // Saving what was loaded writes the same file (but for the entry's name).
    const fs::path second = folder.Path("copy.nbr");
    ASSERT_EQ(WriteLibraryFile(*target, second), PresetOutcome::Done);
    Bytes a = testfiles::ReadBytes(first), b = testfiles::ReadBytes(second);
    ASSERT_EQ(a.size(), b.size());
    std::fill_n(a.begin() + kEntryNameAt, kEntryNameField, 0);
    std::fill_n(b.begin() + kEntryNameAt, kEntryNameField, 0);
    EXPECT_EQ(a, b);
}

TEST_F(StandardLibraryTest, ExamplePresetsLoadWhole) {
    const std::vector<fs::path> presets =
        FilesIn(fs::path(testpaths::SourceDir()) / "examples" / "presets", ".nbr");
    ASSERT_GE(presets.size(), 2u);
    for (const fs::path &preset : presets) {
        SCOPED_TRACE(preset.string());
        ui.Clear();
        NimbraHelper *helper = NewHelperNode("Preset");
        EXPECT_EQ(ReadLibraryFile(*helper, preset), PresetOutcome::Done);
        EXPECT_TRUE(ui.Messages().empty());
    }
}

TEST_F(StandardLibraryTest, DamagedFilesLeaveAWholeHelper) {
    // Damaged files the library-file fuzzer made, one for each way a load can fail.
    const std::vector<fs::path> files =
        FilesIn(fs::path(testpaths::SourceDir()) / "tests" / "data" / "library", ".nbr");
    ASSERT_FALSE(files.empty());
    for (const fs::path &file : files) {
        SCOPED_TRACE(file.string());
        NimbraHelper *helper = NewHelperNode("Damaged");
        ui.Clear();
        EXPECT_NE(ReadLibraryFile(*helper, file), PresetOutcome::Done);
        EXPECT_FALSE(ui.Messages().empty()) << "a damaged file is told about";
        EXPECT_EQ(GetNimbraInterface()->file, nullptr);
        for (int role = 0; role < NimbraHelper::kRoles; ++role) {
            const auto r = static_cast<NimbraHelper::Role>(role);
            ASSERT_NE(helper->GetPlugIn(r), nullptr);
            EXPECT_EQ(helper->PlugInId(r), helper->GetPlugIn(r)->ClassID().PartB());
        }
        for (int i = 0; i < helper->ControllerCount(); ++i)
            EXPECT_NE(helper->GetHelperController(i), nullptr);
        // Whatever it holds now saves and loads again.
        ui.Clear();
        const fs::path again = folder.Path("again.nbr");
        EXPECT_EQ(WriteLibraryFile(*helper, again), PresetOutcome::Done);
        NimbraHelper *copy = NewHelperNode("Again");
        EXPECT_EQ(ReadLibraryFile(*copy, again), PresetOutcome::Done);
        EXPECT_TRUE(ui.Messages().empty());
        GetCOREInterface()->ResetScene();
    }
}

}  // namespace
}  // namespace standardtest
