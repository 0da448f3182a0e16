/// @file helper_panels_test.cpp
/// @brief The window-free models of "Parameter Selection" and "Selected Particle Systems".
#include "setup_fixture.h"

#include "setup/helper_panels.h"

#include <gtest/gtest.h>

namespace {

using namespace setuptest;

bool AnyEnabled(const ParameterSelectionState &s) {
    bool any = s.selectParticleSystem || s.particleAge || s.scenePreview || s.load || s.save;
    for (int i = 0; i < 3; ++i) any = any || s.editCurrent[i] || s.choosePlugIn[i];
    return any;
}

TEST_F(HelperTest, ParameterSelectionFollowsSizeAndSystems) {
    NimbraHelper *helper = NewHelperNode();
    ParameterSelectionState s = ParameterSelection(*helper, false);
    EXPECT_FALSE(AnyEnabled(s)) << "the icon still has its creation size";
    EXPECT_EQ(s.captions[0], "Test Circle");
    EXPECT_EQ(s.captions[1], "Test Default Color");
    EXPECT_EQ(s.captions[2], "Test Default Composite");

    helper->SetIconSize(20.0f, 20.0f);
    s = ParameterSelection(*helper, false);
    EXPECT_TRUE(s.selectParticleSystem);
    EXPECT_FALSE(s.particleAge);
    EXPECT_FALSE(s.editCurrent[0]);
    EXPECT_FALSE(ParameterSelection(*helper, true).selectParticleSystem);

    helper->PanelState()[NimbraHelper::kPanelEditCurrentShape + 1] = 1;
    helper->AddParticleSystem(NewEmitterNode());
    s = ParameterSelection(*helper, false);
    EXPECT_TRUE(s.particleAge && s.scenePreview && s.load && s.save);
    for (int i = 0; i < 3; ++i) {
        EXPECT_TRUE(s.editCurrent[i]) << i;
        EXPECT_TRUE(s.choosePlugIn[i]) << i;
        EXPECT_EQ(s.editCurrentChecked[i], i == 1) << i;
    }
}

TEST_F(HelperTest, SelectedSystemsSteppingAndDeleting) {
    NimbraHelper *helper = NewHelperNode();
    INode *a = NewEmitterNode(), *b = NewEmitterNode();
    helper->AddParticleSystem(a);
    helper->AddParticleSystem(b);
    SelectedSystemsPanel panel(*helper);
    EXPECT_EQ(panel.NumText(), "2");
    EXPECT_EQ(panel.ParticleText(), b->GetName());
    EXPECT_TRUE(panel.PreviousEnabled());
    EXPECT_FALSE(panel.NextEnabled());
    panel.Previous();
    EXPECT_EQ(panel.NumText(), "1");
    EXPECT_EQ(panel.ParticleText(), a->GetName());
    EXPECT_FALSE(panel.PreviousEnabled());
    EXPECT_TRUE(panel.NextEnabled());

    panel.Delete();  // removes a; the last system becomes current
    EXPECT_EQ(helper->NumListedSystems(), 1);
    EXPECT_EQ(panel.NumText(), "1");
    EXPECT_EQ(panel.ParticleText(), b->GetName());

    panel.Delete();  // the only one
    EXPECT_EQ(panel.NumText(), "0");
    EXPECT_EQ(panel.ParticleText(), "<none>");
    EXPECT_FALSE(panel.PreviousEnabled());
    EXPECT_FALSE(panel.NextEnabled());
    EXPECT_FALSE(panel.DeleteEnabled());
}

TEST_F(HelperTest, PickNeedsAPlacedHelper) {
    NimbraHelper *loose = NewHelper();
    SelectedSystemsPanel panel(*loose);
    EXPECT_FALSE(panel.StartPick());
    const auto messages = ui.MessagesTitled("Nimbra");
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].text, "You have to create the helper object first.");
    EXPECT_FALSE(panel.Picking());
    EXPECT_FALSE(panel.IsOpen());
    loose->DeleteThis();

    NimbraHelper *helper = NewHelperNode();
    SelectedSystemsPanel placed(*helper);
    ASSERT_TRUE(placed.StartPick());
    EXPECT_FALSE(placed.DeleteEnabled());
    EXPECT_FALSE(placed.Pick(helper->FindNode()));
    INode *spray = NewEmitterNode();
    EXPECT_TRUE(placed.Pick(spray));
    EXPECT_FALSE(placed.Pick(spray));
    EXPECT_FALSE(placed.DeleteEnabled()) << "disabled while picking";
    placed.EndPick();
    EXPECT_TRUE(placed.DeleteEnabled());
    EXPECT_EQ(placed.NumText(), "1");
}

}  // namespace
