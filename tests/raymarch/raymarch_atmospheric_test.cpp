/// @file raymarch_atmospheric_test.cpp
/// @brief The ray-march atmospheric's handling of what it cannot render: a mode out of range,
///        a picked node that is no volume helper.
#include "plugins/raymarch/raymarch_atmospheric.h"

#include "host/inode.h"
#include "host/interface.h"

#include "ray_context.h"
#include "common/scripted_user_interface.h"

#include <gtest/gtest.h>

namespace {

/// Updates `atmos` and shades one segment; the segment must come back as it went in.
void ExpectSegmentUntouched(RayMarchAtmospheric &atmos) {
    Interval valid = FOREVER;
    atmos.Update(0, valid);
    raymarchtest::RayContext sc;
    Color color(0.2f, 0.4f, 0.6f), trans(1, 1, 1);
    atmos.Shade(sc, Point3(0, 0, 10), Point3(0, 0, -10), color, trans);
    EXPECT_EQ(color, Color(0.2f, 0.4f, 0.6f));
    EXPECT_EQ(trans, Color(1, 1, 1));
}

struct ModeCase {
    int mode;
    int used;
    const char *problem;  // a word the message must hold; empty: no message
};

class ModeTest : public ::testing::TestWithParam<ModeCase> {};

TEST_P(ModeTest, ModesOutsideTheBuildSayWhy) {
    const ModeCase c = GetParam();
    RayMarchAtmospheric atmos(c.mode);
    EXPECT_EQ(atmos.GetMode(), c.used);
    ExpectSegmentUntouched(atmos);
    if (*c.problem)
        EXPECT_NE(atmos.Problem().find(c.problem), std::string::npos) << atmos.Problem();
    else
        EXPECT_EQ(atmos.Problem(), "");
}

INSTANTIATE_TEST_SUITE_P(Modes, ModeTest,
                         ::testing::Values(ModeCase{1, 1, ""}, ModeCase{3, 3, ""},
                                           ModeCase{2, 2, ""}, ModeCase{0, 1, "mode 0"},
                                           ModeCase{7, 1, "mode 7"}));

TEST(RayMarchAtmospheric, PickedNodeThatIsNoVolumeHelperIsNamedAndSkipped) {
    ScriptedUserInterface ui;
    Interface *ip = GetCOREInterface();
    INode *node = ip->CreateObjectNode(nullptr);
    node->SetName("Teapot01");
    RayMarchAtmospheric atmos(1);
    EXPECT_FALSE(atmos.OKGizmo(node));
    atmos.AppendGizmo(node);
    ASSERT_EQ(atmos.NumGizmos(), 1);
    ExpectSegmentUntouched(atmos);
    EXPECT_NE(atmos.Problem().find("\"Teapot01\""), std::string::npos) << atmos.Problem();
    // Said once, not once per frame.
    ExpectSegmentUntouched(atmos);
    ASSERT_EQ(ui.MessagesTitled("Nimbra").size(), 1u);
    EXPECT_EQ(ui.MessagesTitled("Nimbra")[0].text, atmos.Problem());
    ip->DeleteNode(node);
    EXPECT_EQ(atmos.NumGizmos(), 0);
}

}  // namespace
