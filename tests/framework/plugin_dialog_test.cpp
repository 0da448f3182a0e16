/// @file plugin_dialog_test.cpp
/// @brief The plug-in selection dialog's model: categories, order, images, selection, result.
#include "framework/plugin_dialog.h"
#include "framework_fixture.h"

#include <gtest/gtest.h>

using namespace frameworktest;

namespace {

class PlugInDialogTest : public ConfigDirTest {
protected:
    void SetUp() override {
        ConfigDirTest::SetUp();
        // Categories interleaved, to see that each keeps table order.
        WriteRegistry({MakeRecord(kColorShaderKey, 1, "Gradient", "Nimbra Color"),
                       MakeRecord(kParticleShapeKey, 2, "FireBall", "Nimbra Shape"),
                       MakeRecord(kCompositeKey, 3, "Default Composite", "Nimbra Composite"),
                       MakeRecord(kControllerKey, 4, "Default", "Nimbra Controller"),
                       MakeRecord(kParticleShapeKey, 5, "Smoke", "Nimbra Shape"),
                       MakeRecord(kHiddenCategoryKey, 6, "Hidden", "Nimbra Hidden"),
                       MakeRecord(kColorShaderKey, 7, "Default Color", "Nimbra Color")});
    }

    static std::vector<std::string> Names(const PlugInDialog &dialog) {
        std::vector<std::string> names;
        for (const PlugInDialog::Item &item : dialog.Items()) names.push_back(item.type);
        return names;
    }

    using Names_ = std::vector<std::string>;
};

}  // namespace

TEST_F(PlugInDialogTest, OpeningReadsTheRegistryAgain) {
    PlugInRegistry registry;
    registry.Load();
    WriteRegistry({MakeRecord(kParticleShapeKey, 9, "Spark")});
    PlugInDialog dialog(registry, PlugInDialog::kShowParticleShape);
    dialog.Open();
    EXPECT_EQ(Names(dialog), Names_{"Spark"});
    EXPECT_EQ(registry.Count(), 1);
    EXPECT_TRUE(ui.Messages().empty()) << "the table was emptied first: no duplicates";
}

TEST_F(PlugInDialogTest, EachCategoryListsItsRecordsInTableOrder) {
    PlugInDialog dialog(ThePlugInRegistry(), PlugInDialog::kShowParticleShape);
    dialog.Open();
    EXPECT_EQ(Names(dialog), (Names_{"FireBall", "Smoke"}));
    EXPECT_EQ(dialog.Items()[0].description, "Nimbra Shape");
    EXPECT_EQ(dialog.Items()[0].image, 1);
    EXPECT_EQ(dialog.Items()[1].pluginId, 5u);

    dialog.SetShow(PlugInDialog::kShowColorShader);
    EXPECT_EQ(Names(dialog), (Names_{"Gradient", "Default Color"}));
    EXPECT_EQ(dialog.Items()[1].image, 0);

    dialog.SetShow(PlugInDialog::kShowComposite);
    EXPECT_EQ(Names(dialog), Names_{"Default Composite"});
    EXPECT_EQ(dialog.Items()[0].image, 2);

    dialog.SetShow(PlugInDialog::kShowHidden);
    EXPECT_EQ(Names(dialog), Names_{"Hidden"});
    EXPECT_EQ(dialog.Items()[0].image, 0);
}

TEST_F(PlugInDialogTest, AllListsShapesHiddenColorsAndCompositesButNoControllers) {
    PlugInDialog dialog(ThePlugInRegistry(), PlugInDialog::kShowAll);
    dialog.Open();
    EXPECT_EQ(Names(dialog), (Names_{"FireBall", "Smoke", "Hidden", "Gradient", "Default Color",
                                     "Default Composite"}));
    std::vector<int> images;
    for (const PlugInDialog::Item &item : dialog.Items()) images.push_back(item.image);
    EXPECT_EQ(images, (std::vector<int>{1, 1, 0, 0, 0, 2}));
}

TEST_F(PlugInDialogTest, ExactlyOneSelectedItemIsTheResult) {
    PlugInDialog dialog(ThePlugInRegistry(), PlugInDialog::kShowParticleShape);
    dialog.Open();
    EXPECT_FALSE(dialog.OkEnabled());
    EXPECT_EQ(dialog.Result(), 0u);

    dialog.SetSelection({1});
    EXPECT_TRUE(dialog.OkEnabled());
    EXPECT_TRUE(dialog.AboutEnabled());
    EXPECT_EQ(dialog.CurrentSelection(), "Smoke");
    EXPECT_EQ(dialog.Result(), 5u);

    for (const std::vector<int> &none : {std::vector<int>{}, {0, 1}, {7}}) {
        dialog.SetSelection(none);
        EXPECT_FALSE(dialog.OkEnabled());
        EXPECT_FALSE(dialog.AboutEnabled());
        EXPECT_EQ(dialog.CurrentSelection(), "");
        EXPECT_EQ(dialog.Result(), 0u);
        EXPECT_FALSE(dialog.About().has_value());
    }

    // A radio click fills a new list, which has no selection.
    dialog.SetSelection({0});
    dialog.SetShow(PlugInDialog::kShowComposite);
    EXPECT_EQ(dialog.Result(), 0u);
    EXPECT_EQ(dialog.GetShow(), PlugInDialog::kShowComposite);

    dialog.SetSelection({0});
    EXPECT_EQ(dialog.Result(), 3u);
    dialog.Cancel();
    EXPECT_EQ(dialog.Result(), 0u);
}

TEST_F(PlugInDialogTest, AboutShowsTheSelectedRecord) {
    PlugInDialog dialog(ThePlugInRegistry(), PlugInDialog::kShowColorShader);
    dialog.Open();
    dialog.SetSelection({0});
    const std::optional<PlugInDialog::AboutText> about = dialog.About();
    ASSERT_TRUE(about.has_value());
    EXPECT_EQ(about->title, "About - Gradient");
    EXPECT_EQ(about->author, "Author of Gradient");
    EXPECT_EQ(about->notice, "Notice of Gradient");
    EXPECT_EQ(about->description, "Nimbra Color");
}
