/// @file interface_test.cpp
/// @brief The scene through the host interface: time, nodes and their hierarchy, deletion,
///        lookup, selection, evaluation and the configuration directory.
#include "test_objects.h"

#include "common/temp_folder.h"
#include "host/interface.h"
#include "host/messages.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include <unistd.h>

namespace {

using hosttest::SceneTest;
using hosttest::TestHelper;
using hosttest::TestTarget;

namespace fs = std::filesystem;

TEST(Time, TicksFramesAndRates) {
    EXPECT_EQ(TIME_TICKSPERSEC, 4800);
    EXPECT_EQ(GetFrameRate(), 30);
    EXPECT_EQ(GetTicksPerFrame(), 160);
    EXPECT_TRUE(SetFrameRate(25));
    EXPECT_EQ(GetTicksPerFrame(), 192);
    EXPECT_FALSE(SetFrameRate(7));  // 4800 / 7 is not a whole number of ticks
    EXPECT_FALSE(SetFrameRate(0));
    EXPECT_EQ(GetFrameRate(), 25);

    Interface *ip = GetCOREInterface();
    ip->SetTime(960);
    ip->SetAnimRange(Interval(-160, 3200));
    EXPECT_EQ(ip->GetTime(), 960);
    ip->ResetScene();
    EXPECT_EQ(GetFrameRate(), 30);
    EXPECT_EQ(ip->GetTime(), 0);
    EXPECT_EQ(ip->GetAnimRange(), Interval(0, 100 * 160));
}

TEST_F(SceneTest, CreatedNodesGetUniqueNamesUnderTheRoot) {
    Interface *ip = GetCOREInterface();
    INode *root = ip->GetRootNode();
    EXPECT_TRUE(root->IsRootNode());
    EXPECT_EQ(root->NumberOfChildren(), 0);
    INode *a = ip->CreateObjectNode(new TestHelper());
    INode *b = ip->CreateObjectNode(new TestHelper());
    EXPECT_STREQ(a->GetName(), "Test01");
    EXPECT_STREQ(b->GetName(), "Test02");
    EXPECT_EQ(a->GetParentNode(), root);
    EXPECT_EQ(root->NumberOfChildren(), 2);
    EXPECT_EQ(root->GetChildNode(1), b);
    EXPECT_EQ(ip->GetINodeByName("Test02"), b);
    EXPECT_EQ(ip->GetINodeByName("Missing"), nullptr);
    a->SetName("Renamed");
    EXPECT_EQ(ip->GetINodeByName("Renamed"), a);
    EXPECT_STREQ(ip->CreateObjectNode(new TestHelper())->GetName(), "Test01");
    EXPECT_STREQ(ip->CreateObjectNode(nullptr)->GetName(), "Node01");
}

TEST_F(SceneTest, NodesMoveBetweenParentsAndAreFoundDepthFirst) {
    Interface *ip = GetCOREInterface();
    INode *a = ip->CreateObjectNode(new TestHelper());
    INode *b = ip->CreateObjectNode(new TestHelper());
    INode *c = ip->CreateObjectNode(new TestHelper());
    c->SetName("Deep");
    a->AttachChild(b);
    b->AttachChild(c);
    EXPECT_EQ(ip->GetRootNode()->NumberOfChildren(), 1);
    EXPECT_EQ(c->GetParentNode(), b);
    EXPECT_EQ(ip->GetINodeByName("Deep"), c);
    a->AttachChild(c);  // moves up
    EXPECT_EQ(b->NumberOfChildren(), 0);
    EXPECT_EQ(a->NumberOfChildren(), 2);
    EXPECT_EQ(c->GetParentNode(), a);

    {
        hosttest::QuietUI quiet;
        EXPECT_THROW(b->AttachChild(a), HostAssertion);  // a is b's parent
    }
    EXPECT_EQ(b->GetParentNode(), a);

    // A detached node belongs to the caller.
    c->Detach(0);
    EXPECT_EQ(c->GetParentNode(), nullptr);
    EXPECT_EQ(a->NumberOfChildren(), 1);
    EXPECT_EQ(ip->GetINodeByName("Deep"), nullptr);
    c->DeleteThis();
}

TEST_F(SceneTest, DeletingANodeTellsItsListersAndKeepsSharedObjects) {
    Interface *ip = GetCOREInterface();
    auto *lister = new TestHelper();
    auto *shared = new TestHelper();
    INode *listerNode = ip->CreateObjectNode(lister);
    INode *doomed = ip->CreateObjectNode(shared);
    INode *twin = ip->CreateObjectNode(shared);  // the same object on two nodes
    INode *child = ip->CreateObjectNode(new TestHelper());
    doomed->AttachChild(child);
    lister->AddNode(doomed);
    lister->AddNode(twin);
    const int helpers = TestHelper::live;

    ip->DeleteNode(doomed);
    ASSERT_EQ(lister->nodes.size(), 1u);  // the lister dropped it on REFMSG_TARGET_DELETED
    EXPECT_EQ(lister->nodes[0], twin);
    EXPECT_EQ(lister->NumRefs(), TestHelper::kFirstNodeRef + 1);
    EXPECT_EQ(TestHelper::live, helpers);  // the object lives on in the twin node
    EXPECT_EQ(child->GetParentNode(), ip->GetRootNode());  // children move up
    EXPECT_EQ(ip->GetRootNode()->NumberOfChildren(), 3);

    ip->DeleteNode(twin);
    EXPECT_EQ(TestHelper::live, helpers - 1);  // last node of the object: the object goes
    EXPECT_TRUE(lister->nodes.empty());
    ip->DeleteNode(ip->GetRootNode());  // ignored
    EXPECT_EQ(ip->GetINodeByName(listerNode->GetName()), listerNode);
}

TEST_F(SceneTest, ResetDeletesEveryNodeAndObject) {
    Interface *ip = GetCOREInterface();
    const int helpers = TestHelper::live, targets = TestTarget::live;
    auto *helper = new TestHelper();
    INode *a = ip->CreateObjectNode(helper);
    a->AttachChild(ip->CreateObjectNode(new TestHelper()));
    helper->MakeRefByID(FOREVER, TestHelper::kRefPlugin, new TestTarget());
    helper->AddNode(a->GetChildNode(0));
    ip->ResetScene();
    EXPECT_EQ(TestHelper::live, helpers);
    EXPECT_EQ(TestTarget::live, targets);
    EXPECT_NE(ip->GetRootNode(), nullptr);
    EXPECT_EQ(ip->GetRootNode()->NumberOfChildren(), 0);
}

TEST_F(SceneTest, SelectionIsCountedDepthFirst) {
    Interface *ip = GetCOREInterface();
    INode *a = ip->CreateObjectNode(new TestHelper());
    INode *b = ip->CreateObjectNode(new TestHelper());
    INode *c = ip->CreateObjectNode(new TestHelper());
    a->AttachChild(c);  // order: a, c, b
    EXPECT_EQ(ip->GetSelNodeCount(), 0);
    ip->SelectNode(b);
    ip->SelectNode(c, 0);
    EXPECT_EQ(ip->GetSelNodeCount(), 2);
    EXPECT_EQ(ip->GetSelNode(0), c);
    EXPECT_EQ(ip->GetSelNode(1), b);
    EXPECT_EQ(ip->GetSelNode(2), nullptr);
    EXPECT_TRUE(b->Selected());
    EXPECT_FALSE(a->Selected());
    ip->SelectNode(a);  // clears the others
    EXPECT_EQ(ip->GetSelNodeCount(), 1);
    EXPECT_FALSE(b->Selected());
    ip->DeleteNode(a);
    EXPECT_EQ(ip->GetSelNodeCount(), 0);
    ip->SelectNode(b);
    ip->ClearNodeSelection();
    EXPECT_EQ(ip->GetSelNodeCount(), 0);
}

TEST_F(SceneTest, NodesEvaluateToTheirObjectAndKeepTheirTransform) {
    Interface *ip = GetCOREInterface();
    auto *helper = new TestHelper();
    INode *node = ip->CreateObjectNode(helper);
    EXPECT_EQ(node->GetObjectRef(), helper);
    EXPECT_EQ(node->EvalWorldState(0).obj, helper);
    EXPECT_EQ(helper->SuperClassID(), HELPER_CLASS_ID);
    EXPECT_EQ(GetParticleInterface(helper), nullptr);
    EXPECT_EQ(ip->CreateObjectNode(nullptr)->EvalWorldState(0).obj, nullptr);

    Matrix3 tm = RotateZMatrix(0.5f);
    tm.SetTrans(Point3(1, 2, 3));
    node->SetNodeTM(0, tm);
    EXPECT_TRUE(hosttest::MatrixNear(node->GetNodeTM(800), tm));
    EXPECT_TRUE(hosttest::MatrixNear(node->GetObjectTM(800), tm));
    node->SetWireColor(0x0000FFFF);
    EXPECT_EQ(node->GetWireColor(), 0x0000FFFFu);

    // Replacing the object deletes the old one when nothing else holds it.
    const int helpers = TestHelper::live;
    node->SetObjectRef(new TestHelper());
    EXPECT_EQ(TestHelper::live, helpers);
    EXPECT_NE(node->GetObjectRef(), helper);
}

TEST(ConfigDir, OverriddenBySetDirOrTheEnvironmentAndCreated) {
    Interface *ip = GetCOREInterface();
    const testfiles::TempFolder folder;
    const fs::path &base = folder.Root();
    const char *xdg = std::getenv("XDG_CONFIG_HOME");
    const std::string savedXdg = xdg ? xdg : "";

    ::setenv(kConfigDirEnv, (base / "env").c_str(), 1);
    std::string dir = ip->GetDir(APP_PLUGCFG_DIR);
    EXPECT_EQ(dir, (base / "env").string() + "/");
    EXPECT_TRUE(fs::is_directory(dir));
    ::unsetenv(kConfigDirEnv);

    ::setenv("XDG_CONFIG_HOME", (base / "xdg").c_str(), 1);
    EXPECT_EQ(std::string(ip->GetDir(APP_PLUGCFG_DIR)),
              (base / "xdg" / "nimbra").string() + "/");

    ip->SetDir(APP_PLUGCFG_DIR, (base / "set/").c_str());
    dir = ip->GetDir(APP_PLUGCFG_DIR);
    EXPECT_EQ(dir, (base / "set").string() + "/");
    EXPECT_TRUE(fs::is_directory(dir));
    EXPECT_EQ(std::string(ip->GetDir(3)), dir);  // other directories default to it
    ip->SetDir(APP_PLUGCFG_DIR, nullptr);
    if (xdg)
        ::setenv("XDG_CONFIG_HOME", savedXdg.c_str(), 1);
    else
        ::unsetenv("XDG_CONFIG_HOME");
}

}  // namespace
