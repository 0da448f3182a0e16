/// @file scene_file_test.cpp
/// @brief The binary scene file: a full graph survives a round trip; damaged, truncated,
///        foreign-version and unknown-class files are refused without touching the scene.
#include "test_objects.h"

#include "common/temp_folder.h"
#include "host/interface.h"
#include "host/messages.h"
#include "host/scene_file.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include <unistd.h>

namespace {

using hosttest::QuietUI;
using hosttest::SceneTest;
using hosttest::TestHelper;
using hosttest::TestTarget;

using Bytes = std::vector<std::uint8_t>;

Matrix3 SampleTM() {
    Matrix3 tm = RotateXMatrix(0.25f) * RotateZMatrix(-1.0f);
    tm.SetTrans(Point3(10, -20, 30));
    return tm;
}

/// root
///  ├─ "Emitter": helper h1 (keyed block, plug-in shared with h2, lists "Empty" and "Child"
///  │    twice)
///  │    └─ "Child": helper h2 (selected, transformed)
///  └─ "Empty": no object
/// The shared plug-in holds nothing in slot 0 and a second target in slot 1.
void BuildSampleScene() {
    Interface *ip = GetCOREInterface();
    auto *h1 = new TestHelper();
    auto *h2 = new TestHelper();
    INode *emitter = ip->CreateObjectNode(h1);
    INode *child = ip->CreateObjectNode(h2);
    INode *empty = ip->CreateObjectNode(nullptr);
    emitter->SetName("Emitter");
    child->SetName("Child");
    empty->SetName("Empty");
    emitter->AttachChild(child);
    child->SetNodeTM(0, SampleTM());
    child->SetWireColor(0x00336699);
    ip->SelectNode(child);

    auto *plugin = new TestTarget();
    plugin->value = 42;
    auto *inner = new TestTarget();
    inner->value = 7;
    plugin->MakeRefByID(FOREVER, 1, inner);
    h1->MakeRefByID(FOREVER, TestHelper::kRefPlugin, plugin);
    h2->MakeRefByID(FOREVER, TestHelper::kRefPlugin, plugin);
    h1->AddNode(empty);
    h1->AddNode(child);
    h1->AddNode(child);  // one maker, one target, two slots
    h1->value = 11;
    h2->value = 22;
    empty->SetPositionKey(0, Point3(0, 0, 0));
    empty->SetPositionKey(160, Point3(8, 0, -4));
    empty->SetRotationKeyEuler(160, Point3(0, 0, 90));

    IParamBlock *pb = h1->block;
    pb->SetKey(TestHelper::kSize, 0, 1.0f);
    pb->SetKey(TestHelper::kSize, 160, 3.0f);
    pb->SetValue(TestHelper::kCount, 0, 7);
    pb->SetValue(TestHelper::kColor, 0, Color(0.25f, 0.5f, 0.75f));
    pb->SetValue(TestHelper::kOn, 0, TRUE);
    pb->SetKey(TestHelper::kPosition, -80, Point3(1, 2, 3));
    pb->SetKey(TestHelper::kPosition, 80, Point3(3, 2, 1));
    h2->block->SetValue(TestHelper::kSize, 0, 5.0f);

    ip->SetTime(320);
    ip->SetAnimRange(Interval(-160, 4800));
    SetFrameRate(25);
}

/// Checks that the current scene is the sample scene.
void ExpectSampleScene() {
    Interface *ip = GetCOREInterface();
    INode *root = ip->GetRootNode();
    ASSERT_EQ(root->NumberOfChildren(), 2);
    INode *emitter = root->GetChildNode(0);
    INode *empty = root->GetChildNode(1);
    EXPECT_STREQ(emitter->GetName(), "Emitter");
    EXPECT_STREQ(empty->GetName(), "Empty");
    EXPECT_EQ(empty->GetObjectRef(), nullptr);
    EXPECT_TRUE(hosttest::MatrixNear(
        empty->GetNodeTM(80), RotateZMatrix(1.5707964f) * TransMatrix(Point3(4, 0, -2))));
    ASSERT_EQ(emitter->NumberOfChildren(), 1);
    INode *child = emitter->GetChildNode(0);
    EXPECT_STREQ(child->GetName(), "Child");
    EXPECT_EQ(child->GetParentNode(), emitter);
    EXPECT_TRUE(hosttest::MatrixNear(child->GetNodeTM(0), SampleTM()));
    EXPECT_EQ(child->GetWireColor(), 0x00336699u);
    EXPECT_EQ(ip->GetSelNodeCount(), 1);
    EXPECT_EQ(ip->GetSelNode(0), child);

    auto *h1 = dynamic_cast<TestHelper *>(emitter->GetObjectRef());
    auto *h2 = dynamic_cast<TestHelper *>(child->GetObjectRef());
    ASSERT_TRUE(h1 && h2);
    EXPECT_EQ(h1->value, 11);
    EXPECT_EQ(h2->value, 22);
    ASSERT_EQ(h1->nodes.size(), 3u);
    EXPECT_EQ(h1->nodes[0], empty);
    EXPECT_EQ(h1->nodes[1], child);
    EXPECT_EQ(h1->nodes[2], child);
    EXPECT_EQ(child->NumDependents(), 3);  // its parent and two slots of h1
    EXPECT_TRUE(h2->nodes.empty());

    auto *plugin = dynamic_cast<TestTarget *>(h1->plugin);
    ASSERT_NE(plugin, nullptr);
    EXPECT_EQ(h2->plugin, plugin);  // still one shared object
    EXPECT_EQ(plugin->NumDependents(), 2);
    EXPECT_EQ(plugin->value, 42);
    EXPECT_EQ(plugin->GetReference(0), nullptr);
    auto *inner = dynamic_cast<TestTarget *>(plugin->GetReference(1));
    ASSERT_NE(inner, nullptr);
    EXPECT_EQ(inner->value, 7);

    IParamBlock *pb = h1->block;
    ASSERT_NE(pb, nullptr);
    EXPECT_EQ(pb->GetVersion(), 1u);
    ASSERT_EQ(pb->NumParams(), TestHelper::kNumParams);
    EXPECT_EQ(pb->NumKeys(TestHelper::kSize), 2);
    float f;
    int i;
    Color c;
    Point3 p;
    pb->GetValue(TestHelper::kSize, 80, f);
    EXPECT_EQ(f, 2.0f);
    pb->GetValue(TestHelper::kCount, 0, i);
    EXPECT_EQ(i, 7);
    pb->GetValue(TestHelper::kColor, 0, c);
    EXPECT_EQ(c, Color(0.25f, 0.5f, 0.75f));
    pb->GetValue(TestHelper::kOn, 0, i);
    EXPECT_EQ(i, TRUE);
    pb->GetValue(TestHelper::kPosition, 0, p);
    EXPECT_EQ(p, Point3(2, 2, 2));
    EXPECT_EQ(pb->GetParamName(TestHelper::kPosition), "Position");  // owner wired up again
    h2->block->GetValue(TestHelper::kSize, 0, f);
    EXPECT_EQ(f, 5.0f);
    EXPECT_NE(h2->block, pb);

    EXPECT_EQ(ip->GetTime(), 320);
    EXPECT_EQ(ip->GetAnimRange(), Interval(-160, 4800));
    EXPECT_EQ(GetFrameRate(), 25);
}

/// A scene to check "left untouched" against: one node "Current" with a helper.
INode *BuildCurrentScene() {
    GetCOREInterface()->ResetScene();
    INode *node = GetCOREInterface()->CreateObjectNode(new TestHelper());
    node->SetName("Current");
    static_cast<TestHelper *>(node->GetObjectRef())->value = 5;
    return node;
}

void ExpectCurrentScene(INode *root, INode *node) {
    Interface *ip = GetCOREInterface();
    ASSERT_EQ(ip->GetRootNode(), root);
    ASSERT_EQ(root->NumberOfChildren(), 1);
    EXPECT_EQ(root->GetChildNode(0), node);
    EXPECT_STREQ(node->GetName(), "Current");
    EXPECT_EQ(static_cast<TestHelper *>(node->GetObjectRef())->value, 5);
    EXPECT_EQ(GetFrameRate(), 30);
}

TEST_F(SceneTest, AWholeGraphSurvivesARoundTrip) {
    BuildSampleScene();
    const Bytes saved = SaveSceneToMemory();
    const int helpers = TestHelper::live, targets = TestTarget::live;

    GetCOREInterface()->ResetScene();
    EXPECT_EQ(TestHelper::live, helpers - 2);
    const SceneLoadResult result = LoadSceneFromMemory(saved, "sample.nsc");
    EXPECT_EQ(result.objects, 10);  // 4 nodes with the root, 2 helpers, 2 blocks, 2 targets
    EXPECT_FALSE(result.obsolete);
    ExpectSampleScene();
    EXPECT_EQ(TestHelper::live, helpers);
    EXPECT_EQ(TestTarget::live, targets);

    // Loading replaces the scene (the previous graph is deleted), and saving the loaded scene
    // writes the same bytes.
    LoadSceneFromMemory(saved, "sample.nsc");
    EXPECT_EQ(TestHelper::live, helpers);
    EXPECT_EQ(SaveSceneToMemory(), saved);
}

TEST_F(SceneTest, UnknownChunksInsideAnObjectAreSkipped) {
    BuildSampleScene();
    auto *h2 =
        static_cast<TestHelper *>(GetCOREInterface()->GetINodeByName("Child")->GetObjectRef());
    h2->writeExtraChunk = true;  // as a newer version of the class would
    const Bytes saved = SaveSceneToMemory();
    GetCOREInterface()->ResetScene();
    LoadSceneFromMemory(saved, "newer.nsc");
    ExpectSampleScene();
}

TEST_F(SceneTest, EveryTruncationIsRefusedWithoutTouchingTheScene) {
    INode *node = GetCOREInterface()->CreateObjectNode(new TestHelper());
    static_cast<TestHelper *>(node->GetObjectRef())->block->SetKey(TestHelper::kSize, 10, 1.0f);
    const Bytes saved = SaveSceneToMemory();

    INode *current = BuildCurrentScene();
    INode *root = GetCOREInterface()->GetRootNode();
    const int helpers = TestHelper::live;
    for (std::size_t n = 0; n < saved.size(); ++n) {
        SCOPED_TRACE(n);
        try {
            LoadSceneFromMemory(std::span(saved).first(n), "short.nsc");
            ADD_FAILURE() << "a file cut to " << n << " of " << saved.size() << " bytes loaded";
        } catch (const SceneFileError &e) {
            EXPECT_EQ(e.path(), "short.nsc");
            EXPECT_EQ(std::string(e.what()).rfind("short.nsc: ", 0), 0u) << e.what();
            if (n >= 12) {
                EXPECT_NE(e.offset(), SceneFileError::kNoOffset) << e.what();
            }
        }
        ExpectCurrentScene(root, current);
        EXPECT_EQ(TestHelper::live, helpers);  // the half-built graph was deleted
    }
}

TEST_F(SceneTest, EveryDamagedByteIsRefusedOrLoadedSafely) {
    BuildSampleScene();
    const Bytes saved = SaveSceneToMemory();
    int refused = 0;
    for (std::size_t at = 0; at < saved.size(); ++at) {
        Bytes damaged = saved;
        damaged[at] ^= 0xA5;
        INode *current = BuildCurrentScene();
        INode *root = GetCOREInterface()->GetRootNode();
        try {
            LoadSceneFromMemory(damaged, "damaged.nsc");
        } catch (const SceneFileError &) {
            ++refused;
            ExpectCurrentScene(root, current);
        }
    }
    // Damage to names and values loads (the data is still well formed); damage to the
    // structure is refused.
    EXPECT_GT(refused, static_cast<int>(saved.size() / 3));
}

TEST_F(SceneTest, AFileNamingAnUninstalledClassIsRefused) {
    BuildSampleScene();
    const Bytes saved = SaveSceneToMemory();
    INode *current = BuildCurrentScene();
    INode *root = GetCOREInterface()->GetRootNode();
    hosttest::UnregisterTestClasses();
    try {
        LoadSceneFromMemory(saved, "plugins.nsc");
        ADD_FAILURE() << "loaded a scene whose classes are not installed";
    } catch (const SceneFileError &e) {
        const std::string what = e.what();
        EXPECT_NE(what.find("(0x7E570002, 0x1) of super class 0x50 is not installed"),
                  std::string::npos)
            << what;
        EXPECT_NE(e.offset(), SceneFileError::kNoOffset);
    }
    hosttest::RegisterTestClasses();
    ExpectCurrentScene(root, current);
}

TEST_F(SceneTest, ForeignFilesAndVersionsAreRefused) {
    const Bytes saved = SaveSceneToMemory();
    Bytes other = saved;
    for (std::uint32_t version : {kSceneFileVersion - 1, kSceneFileVersion + 1}) {
        other[8] = static_cast<std::uint8_t>(version);
        try {
            LoadSceneFromMemory(other, "other.nsc");
            ADD_FAILURE() << "version " << version << " was accepted";
        } catch (const SceneFileError &e) {
            const std::string expected =
                "version " + std::to_string(version) + " is not supported";
            EXPECT_NE(std::string(e.what()).find(expected), std::string::npos) << e.what();
        }
    }
    other = saved;
    other[0] = 'X';
    EXPECT_THROW(LoadSceneFromMemory(other, "x.nsc"), SceneFileError);
    other = saved;
    other.push_back(0);  // trailing garbage
    EXPECT_THROW(LoadSceneFromMemory(other, "x.nsc"), SceneFileError);
}

TEST_F(SceneTest, OldParameterBlocksAreUpgradedAfterLoading) {
    auto *helper = new TestHelper(false, true);  // version-0 block: three parameters
    GetCOREInterface()->CreateObjectNode(helper);
    helper->block->SetKey(TestHelper::kSize, 0, 2.0f);
    helper->block->SetKey(TestHelper::kSize, 100, 4.0f);
    helper->block->SetValue(TestHelper::kCount, 0, 9);
    const Bytes saved = SaveSceneToMemory();
    GetCOREInterface()->ResetScene();

    const SceneLoadResult result = LoadSceneFromMemory(saved, "old.nsc");
    EXPECT_TRUE(result.obsolete);
    auto *loaded = static_cast<TestHelper *>(
        GetCOREInterface()->GetRootNode()->GetChildNode(0)->GetObjectRef());
    IParamBlock *pb = loaded->block;
    EXPECT_EQ(pb->GetVersion(), 1u);
    ASSERT_EQ(pb->NumParams(), TestHelper::kNumParams);
    float f;
    int i;
    Point3 p(9, 9, 9);
    pb->GetValue(TestHelper::kSize, 50, f);
    EXPECT_EQ(f, 3.0f);
    pb->GetValue(TestHelper::kCount, 0, i);
    EXPECT_EQ(i, 9);
    pb->GetValue(TestHelper::kPosition, 0, p);
    EXPECT_EQ(p, Point3());  // new parameter: default
    EXPECT_EQ(pb->NumDependents(), 1);
}

TEST_F(SceneTest, AFailingPostLoadStepRefusesTheFile) {
    BuildSampleScene();
    const Bytes saved = SaveSceneToMemory();
    INode *current = BuildCurrentScene();
    INode *root = GetCOREInterface()->GetRootNode();
    TestHelper::failUpgrade = true;
    QuietUI quiet;
    try {
        LoadSceneFromMemory(saved, "assert.nsc");
        ADD_FAILURE();
    } catch (const SceneFileError &e) {
        EXPECT_NE(std::string(e.what()).find("post-load"), std::string::npos) << e.what();
    }
    ExpectCurrentScene(root, current);
}

TEST_F(SceneTest, AnUnregisteredClassCannotBeSaved) {
    BuildSampleScene();
    hosttest::UnregisterTestClasses();
    try {
        SaveSceneToMemory("unsaved.nsc");
        ADD_FAILURE();
    } catch (const SceneFileError &e) {
        EXPECT_NE(std::string(e.what()).find("TestHelper"), std::string::npos) << e.what();
        EXPECT_NE(std::string(e.what()).find("not registered"), std::string::npos) << e.what();
    }
    hosttest::RegisterTestClasses();
}

TEST_F(SceneTest, FilesAreWrittenWholeAndReadBack) {
    namespace fs = std::filesystem;
    const testfiles::TempFolder folder;
    const fs::path &dir = folder.Root();
    const std::string path = (dir / "sample.nsc").string();
    BuildSampleScene();
    SaveSceneFile(path);
    EXPECT_FALSE(fs::exists(path + ".tmp"));
    GetCOREInterface()->ResetScene();
    LoadSceneFile(path);
    ExpectSampleScene();

    try {
        LoadSceneFile((dir / "missing.nsc").string());
        ADD_FAILURE();
    } catch (const SceneFileError &e) {
        EXPECT_NE(std::string(e.what()).find("missing.nsc: cannot open"), std::string::npos)
            << e.what();
    }
    EXPECT_THROW(SaveSceneFile((dir / "no" / "such" / "dir.nsc").string()), SceneFileError);
}

}  // namespace
