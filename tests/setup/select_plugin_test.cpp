/// @file select_plugin_test.cpp
/// @brief Choosing plug-ins: replacement by registry look-up, the fall-back to the category
///        default when a class is not available, and the volume-shape rule.
#include "setup_fixture.h"

#include "framework/plugin_registry.h"

#include <gtest/gtest.h>

namespace {

using namespace setuptest;

TEST_F(HelperTest, RegistryListsTheTestClasses) {
    // The tests below rely on the module having registered its classes at start-up.
    for (Class_ID id : {kTestCircleClassID, kTestSpriteShapeClassID, kTestVolumeShapeClassID,
                        kTestBrokenShapeClassID, kTestInterRotationClassID}) {
        const PlugInRecord *record = ThePlugInRegistry().FindById(id.PartB());
        ASSERT_NE(record, nullptr);
        EXPECT_EQ(record->ClassID(), id);
    }
}

TEST_F(HelperTest, SelectPlugInReplacesThePlugInOfItsCategory) {
    NimbraHelper *helper = NewHelperNode();
    NimbraPlugIn *color = helper->ColorShader();
    NimbraPlugIn *composite = helper->Composite();
    const int live = TestPlugIn::live;

    EXPECT_EQ(helper->SelectPlugIn(kTestSpriteShapeClassID.PartB(), 1), 1);
    EXPECT_EQ(helper->Shape()->ClassID(), kTestSpriteShapeClassID);
    EXPECT_EQ(helper->ShapeId(), kTestSpriteShapeClassID.PartB());
    EXPECT_EQ(helper->GetReference(NimbraHelper::kRefShape), helper->Shape());
    EXPECT_EQ(TestPlugIn::live, live) << "the old shape is deleted";
    EXPECT_EQ(helper->ColorShader(), color);
    EXPECT_EQ(helper->Composite(), composite);

    EXPECT_EQ(helper->SelectPlugIn(kTestFlatColorClassID.PartB(), 0), 1);
    EXPECT_EQ(helper->ColorShader()->ClassID(), kTestFlatColorClassID);
    EXPECT_EQ(helper->ColorId(), kTestFlatColorClassID.PartB());
    EXPECT_EQ(TestPlugIn::live, live) << "replace = 0 must not leak the old colour shader";
    EXPECT_TRUE(ui.Messages().empty());
}

TEST_F(HelperTest, ClassThatCannotBeCreatedFallsBackToTheCategoryDefault) {
    NimbraHelper *helper = NewHelperNode();
    helper->SelectPlugIn(kTestSpriteShapeClassID.PartB(), 1);
    ui.Clear();

    // Registered, but its module creates nothing.
    EXPECT_EQ(helper->SelectPlugIn(kTestBrokenShapeClassID.PartB(), 1), 0);
    auto messages = ui.MessagesTitled("Error");
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].text,
              "You have selected a plug-in, but the DLL could not be located.");
    ASSERT_NE(helper->Shape(), nullptr);
    EXPECT_EQ(helper->Shape()->ClassID(), kCircleShapeClassID);
    EXPECT_EQ(helper->ShapeId(), kCircleShapeClassID.PartB());
}

TEST_F(HelperTest, IdTheRegistryLacksCountsAsNotAvailable) {
    NimbraHelper *helper = NewHelperNode();
    helper->SelectPlugIn(kTestFlatColorClassID.PartB(), 1);
    ui.Clear();
    constexpr ULONG kUnknownId = 0x0BADC0DE;
    ASSERT_EQ(ThePlugInRegistry().FindById(kUnknownId), nullptr);

    // With its category (as the panels and library files know it): the default is used.
    EXPECT_EQ(helper->SelectPlugIn(kUnknownId, 1, kColorShaderKey), 0);
    EXPECT_EQ(ui.MessagesTitled("Error").size(), 1u);
    EXPECT_EQ(helper->ColorShader()->ClassID(), kDefaultColorClassID);
    EXPECT_EQ(helper->ColorId(), kDefaultColorClassID.PartB());

    // Without one nothing can be chosen: the user is told and nothing changes.
    NimbraPlugIn *shape = helper->Shape();
    NimbraPlugIn *color = helper->ColorShader();
    NimbraPlugIn *composite = helper->Composite();
    EXPECT_EQ(helper->SelectPlugIn(kUnknownId, 1), 0);
    EXPECT_EQ(ui.MessagesTitled("Error").size(), 2u);
    EXPECT_EQ(helper->Shape(), shape);
    EXPECT_EQ(helper->ColorShader(), color);
    EXPECT_EQ(helper->Composite(), composite);
}

TEST_F(HelperTest, ClassOfAnotherCategoryChangesNothing) {
    NimbraHelper *helper = NewHelperNode();
    NimbraPlugIn *shape = helper->Shape();
    const int live = TestPlugIn::live;
    EXPECT_EQ(helper->SelectPlugIn(kTestControllerLikeClassID.PartB(), 1), 0);
    EXPECT_EQ(helper->Shape(), shape);
    EXPECT_EQ(TestPlugIn::live, live);
    EXPECT_TRUE(ui.Messages().empty());
}

TEST_F(HelperTest, DefaultMissingTooKeepsTheCurrentPlugIn) {
    NimbraHelper *helper = NewHelperNode();
    helper->SelectPlugIn(kTestSpriteShapeClassID.PartB(), 1);
    NimbraPlugIn *shape = helper->Shape();
    {
        DefaultPlugInsMissing missing;
        EXPECT_EQ(helper->SelectPlugIn(kTestVolumeShapeClassID.PartB(), 1), 0);
    }
    EXPECT_EQ(helper->Shape(), shape);
    EXPECT_EQ(helper->ShapeId(), kTestSpriteShapeClassID.PartB());
}

// The volume-shape rule -----------------------------------------------------------------------

TEST_F(HelperTest, VolumeShapeSwapsCompositeAndDefaultColorOnce) {
    NimbraHelper *helper = NewHelperNode();
    EXPECT_EQ(helper->SelectPlugIn(kTestVolumeShapeClassID.PartB(), 1), 1);
    EXPECT_EQ(helper->Shape()->ClassID(), kTestVolumeShapeClassID);
    ASSERT_NE(helper->Composite(), nullptr);
    EXPECT_EQ(helper->Composite()->ClassID(), kInterRotationClassID);
    EXPECT_EQ(helper->CompositeId(), 0x54C33997u);
    ASSERT_NE(helper->ColorShader(), nullptr);
    EXPECT_EQ(helper->ColorShader()->ClassID(), kAtmosphereColorClassID);
    EXPECT_EQ(helper->ColorId(), 0x7B0A6290u);
    EXPECT_TRUE(helper->IsVolumeSetup());
    EXPECT_EQ(helper->NumSubs(), 8);

    // Choosing it again changes nothing further.
    NimbraPlugIn *composite = helper->Composite();
    NimbraPlugIn *color = helper->ColorShader();
    const int live = TestPlugIn::live;
    EXPECT_EQ(helper->SelectPlugIn(kTestVolumeShapeClassID.PartB(), 1), 1);
    EXPECT_EQ(helper->Composite(), composite);
    EXPECT_EQ(helper->ColorShader(), color);
    EXPECT_EQ(TestPlugIn::live, live);
    EXPECT_TRUE(ui.Messages().empty());
}

TEST_F(HelperTest, VolumeShapeKeepsAColorShaderTheUserChose) {
    NimbraHelper *helper = NewHelperNode();
    helper->SelectPlugIn(kTestFlatColorClassID.PartB(), 1);
    NimbraPlugIn *color = helper->ColorShader();
    // A shape that serves both renderers counts as a volume shape too.
    helper->SelectPlugIn(kTestBothShapeClassID.PartB(), 1);
    EXPECT_EQ(helper->Composite()->ClassID(), kInterRotationClassID);
    EXPECT_EQ(helper->ColorShader(), color);
    EXPECT_EQ(helper->ColorId(), kTestFlatColorClassID.PartB());
    EXPECT_EQ(helper->VolumePlugInCount(), 2);
    EXPECT_FALSE(helper->IsVolumeSetup());
}

TEST_F(HelperTest, SpriteShapeLeavesCompositeAndColorAlone) {
    NimbraHelper *helper = NewHelperNode();
    NimbraPlugIn *color = helper->ColorShader();
    NimbraPlugIn *composite = helper->Composite();
    helper->SelectPlugIn(kTestSpriteShapeClassID.PartB(), 1);
    EXPECT_EQ(helper->ColorShader(), color);
    EXPECT_EQ(helper->Composite(), composite);
}

TEST_F(HelperTest, VolumeRuleAppliesToShapesOnly) {
    NimbraHelper *helper = NewHelperNode();
    NimbraPlugIn *composite = helper->Composite();
    // A volume colour shader does not bring the rotation composite.
    helper->SelectPlugIn(kAtmosphereColorClassID.PartB(), 1);
    EXPECT_EQ(helper->Composite(), composite);
    EXPECT_EQ(helper->VolumePlugInCount(), 1);
}

}  // namespace
