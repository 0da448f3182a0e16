/// @file node_transform_test.cpp
/// @brief Node transforms over time: keyed position, rotation and scale, composition with the
///        parent, the animate-mode rule of SetNodeTM, re-parenting, look-at targets and their
///        scene-file chunks.
#include "test_objects.h"

#include "host/inode.h"
#include "host/interface.h"
#include "host/node_transform.h"
#include "host/scene_file.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

namespace {

using hosttest::MatrixNear;
using hosttest::PointNear;
using hosttest::SceneTest;

constexpr float kPi = std::numbers::pi_v<float>;

/// The direction a node's −z axis points in at t.
Point3 ViewDirection(INode *node, TimeValue t) {
    return Normalize(-node->GetNodeTM(t).GetRow(2));
}

TEST_F(SceneTest, KeysInterpolateAndHoldOutsideTheirRange) {
    INode *node = GetCOREInterface()->CreateObjectNode(nullptr);
    node->SetPositionKey(0, Point3(0, 0, 0));
    node->SetPositionKey(160, Point3(10, 20, 30));
    node->SetRotationKeyEuler(0, Point3(0, 0, 0));
    node->SetRotationKeyEuler(160, Point3(0, 0, 90));
    node->SetScaleKey(0, Point3(1, 1, 1));
    node->SetScaleKey(160, Point3(3, 3, 3));

    // Halfway: scale 2, a 45° turn about z, half the way.
    const Matrix3 mid = node->GetNodeTM(80);
    const float h = std::sqrt(0.5f);
    EXPECT_TRUE(PointNear(mid.PointTransform(Point3(1, 0, 0)),
                          Point3(5, 10, 15) + Point3(h, h, 0) * 2.0f));
    EXPECT_TRUE(PointNear(mid.PointTransform(Point3(0, 0, 1)), Point3(5, 10, 17)));

    // Before the first and after the last key the end keys hold; so does validity.
    Interval before = FOREVER, after = FOREVER, between = FOREVER;
    EXPECT_TRUE(MatrixNear(node->GetNodeTM(-500, &before), node->GetNodeTM(0)));
    EXPECT_TRUE(MatrixNear(node->GetNodeTM(900, &after), node->GetNodeTM(160)));
    node->GetNodeTM(80, &between);
    EXPECT_EQ(before, Interval(TIME_NegInfinity, 0));
    EXPECT_EQ(after, Interval(160, TIME_PosInfinity));
    EXPECT_EQ(between, Interval(80, 80));
    EXPECT_EQ(node->GetLocalTransform().NumKeys(TRACK_ROTATION), 2);
    EXPECT_EQ(node->GetLocalTransform().GetKeyTime(TRACK_POSITION, 1), 160);

    // Rotation keys take the shorter arc: 0° to 270° turns −90°.
    node->SetRotationKeyEuler(160, Point3(0, 0, 270));
    EXPECT_TRUE(PointNear(node->GetNodeTM(80).VectorTransform(Point3(1, 0, 0)),
                          Point3(h, -h, 0) * 2.0f));

    // Deleting keys keeps the value at 0 as constant.
    node->DeleteKeys(TRACK_POSITION);
    EXPECT_EQ(node->GetLocalTransform().NumKeys(TRACK_POSITION), 0);
    EXPECT_TRUE(PointNear(node->GetNodeTM(900).GetTrans(), Point3(0, 0, 0)));
}

TEST_F(SceneTest, TransformsComposeWithTheParents) {
    Interface *ip = GetCOREInterface();
    INode *parent = ip->CreateObjectNode(nullptr);
    INode *child = ip->CreateObjectNode(nullptr);
    INode *grandchild = ip->CreateObjectNode(nullptr);
    parent->AttachChild(child);
    child->AttachChild(grandchild);

    // The parent turns 90° about z and moves along x over a frame.
    parent->SetRotationKeyEuler(0, Point3(0, 0, 90));
    parent->SetPositionKey(0, Point3(100, 0, 0));
    parent->SetPositionKey(160, Point3(200, 0, 0));
    child->SetPosition(0, Point3(10, 0, 0));
    child->SetScale(0, Point3(2, 2, 2));
    grandchild->SetPosition(0, Point3(1, 0, 0));

    EXPECT_TRUE(PointNear(child->GetNodeTM(0).GetTrans(), Point3(100, 10, 0)));
    EXPECT_TRUE(PointNear(child->GetNodeTM(160).GetTrans(), Point3(200, 10, 0)));
    // The grandchild sits one unit along the child's x axis, which the scale doubles.
    EXPECT_TRUE(PointNear(grandchild->GetNodeTM(80).GetTrans(), Point3(150, 12, 0)));
    EXPECT_TRUE(MatrixNear(grandchild->GetParentTM(80), child->GetNodeTM(80)));
    Interval valid = FOREVER;
    grandchild->GetNodeTM(80, &valid);
    EXPECT_EQ(valid, Interval(80, 80));  // the keyed ancestor narrows it
}

TEST_F(SceneTest, SetNodeTMFollowsTheAnimateMode) {
    Interface *ip = GetCOREInterface();
    INode *parent = ip->CreateObjectNode(nullptr);
    INode *node = ip->CreateObjectNode(nullptr);
    parent->AttachChild(node);
    parent->SetNodeTM(0, RotateYMatrix(0.3f) * TransMatrix(Point3(5, 6, 7)));

    // Not animating: the constants change, and the world transform is what was asked.
    Matrix3 a = ScaleMatrix(Point3(2, 1, 0.5f)) * RotateXMatrix(0.7f);
    a.SetTrans(Point3(1, 2, 3));
    node->SetNodeTM(320, a);
    EXPECT_FALSE(node->GetLocalTransform().HasKeys());
    EXPECT_TRUE(MatrixNear(node->GetNodeTM(0), a));

    // Animating: a key at t and, for the earlier times, one at 0 with the old value.
    AnimateOn();
    const Matrix3 b = RotateZMatrix(1.0f) * TransMatrix(Point3(-4, 0, 9));
    node->SetNodeTM(320, b);
    AnimateOff();
    for (TransformTrack track : {TRACK_POSITION, TRACK_ROTATION, TRACK_SCALE}) {
        ASSERT_EQ(node->GetLocalTransform().NumKeys(track), 2);
        EXPECT_EQ(node->GetLocalTransform().GetKeyTime(track, 0), 0);
        EXPECT_EQ(node->GetLocalTransform().GetKeyTime(track, 1), 320);
    }
    EXPECT_TRUE(MatrixNear(node->GetNodeTM(0), a));
    EXPECT_TRUE(MatrixNear(node->GetNodeTM(320), b));

    // A keyed track takes a key even when not animating.
    node->SetNodeTM(640, a);
    EXPECT_EQ(node->GetLocalTransform().NumKeys(TRACK_POSITION), 3);
    EXPECT_TRUE(MatrixNear(node->GetNodeTM(640), a));
}

TEST_F(SceneTest, ReparentingKeepsTheWorldTransformOfUnkeyedNodes) {
    Interface *ip = GetCOREInterface();
    INode *parent = ip->CreateObjectNode(nullptr);
    INode *node = ip->CreateObjectNode(nullptr);
    INode *keyed = ip->CreateObjectNode(nullptr);
    parent->SetNodeTM(0, RotateZMatrix(0.5f) * TransMatrix(Point3(10, 0, 0)));
    const Matrix3 world = RotateXMatrix(0.2f) * TransMatrix(Point3(1, 2, 3));
    node->SetNodeTM(0, world);
    keyed->SetPositionKey(0, Point3(1, 0, 0));

    parent->AttachChild(node);
    parent->AttachChild(keyed);
    EXPECT_TRUE(MatrixNear(node->GetNodeTM(0), world));
    // Keys stay as they were, now relative to the new parent.
    EXPECT_TRUE(
        PointNear(keyed->GetNodeTM(0).GetTrans(), Point3(1, 0, 0) * parent->GetNodeTM(0)));

    node->Detach(0);
    EXPECT_TRUE(MatrixNear(node->GetNodeTM(0), world));
    node->DeleteThis();

    // Deleting a parent moves its children up, where they stay.
    const Matrix3 before = keyed->GetNodeTM(0);
    keyed->DeleteKeys(TRACK_POSITION);
    const Matrix3 unkeyed = keyed->GetNodeTM(0);
    ip->DeleteNode(parent);
    EXPECT_EQ(keyed->GetParentNode(), ip->GetRootNode());
    EXPECT_TRUE(MatrixNear(keyed->GetNodeTM(0), unkeyed));
    EXPECT_TRUE(MatrixNear(unkeyed, before));
}

TEST(NodeTransform, EulerAnglesAndDecomposition) {
    // Euler angles: x first, then y, then z, as the fixed-axis matrices turn.
    Matrix3 m;
    EulerToQuat(Point3(90, 0, 0)).MakeMatrix(m);
    EXPECT_TRUE(PointNear(m.VectorTransform(Point3(0, 1, 0)), Point3(0, 0, 1)));
    EulerToQuat(Point3(90, 0, 90)).MakeMatrix(m);
    EXPECT_TRUE(MatrixNear(m, RotateXMatrix(kPi / 2) * RotateZMatrix(kPi / 2)));

    // Decomposition gives back scale, rotation and translation, mirrors included.
    for (const Point3 &scale : {Point3(1, 2, 3), Point3(-1, 2, 3), Point3(0.5f, 0.5f, -4)}) {
        const Matrix3 rot = RotateXMatrix(0.3f) * RotateYMatrix(-1.1f) * RotateZMatrix(2.0f);
        Matrix3 tm = ScaleMatrix(scale) * rot;
        tm.SetTrans(Point3(4, 5, 6));
        Point3 pos, s;
        Quat q;
        DecomposeTM(tm, pos, q, s);
        Matrix3 back;
        q.MakeMatrix(back);
        back = ScaleMatrix(s) * back;
        back.SetTrans(pos);
        EXPECT_TRUE(MatrixNear(back, tm)) << scale.x << " " << scale.y << " " << scale.z;
        EXPECT_NEAR(std::fabs(s.x * s.y * s.z), std::fabs(scale.x * scale.y * scale.z), 1e-4f);
    }
}

TEST_F(SceneTest, LookAtPointsMinusZAtTheTarget) {
    Interface *ip = GetCOREInterface();
    INode *eye = ip->CreateObjectNode(nullptr);
    INode *target = ip->CreateObjectNode(nullptr);
    eye->SetPosition(0, Point3(0, -100, 50));
    eye->SetScale(0, Point3(2, 2, 2));
    target->SetPositionKey(0, Point3(0, 0, 0));
    target->SetPositionKey(160, Point3(100, 0, 0));
    ASSERT_TRUE(eye->SetTarget(target));
    EXPECT_EQ(eye->GetTarget(), target);

    for (TimeValue t : {0, 80, 160}) {
        const Matrix3 tm = eye->GetNodeTM(t);
        const Point3 toTarget = Normalize(target->GetNodeTM(t).GetTrans() - tm.GetTrans());
        EXPECT_TRUE(PointNear(ViewDirection(eye, t), toTarget)) << "t = " << t;
        // Up leans towards world +z; the x axis stays horizontal; the own scale remains.
        EXPECT_GT(tm.GetRow(1).z, 0.0f);
        EXPECT_NEAR(tm.GetRow(0).z, 0.0f, 1e-5f);
        EXPECT_NEAR(tm.GetRow(0).Length(), 2.0f, 1e-5f);
        EXPECT_TRUE(PointNear(tm.GetTrans(), Point3(0, -100, 50)));
    }

    // Straight down: y takes world +y.
    eye->SetPosition(0, Point3(0, 0, 50));
    target->DeleteKeys(TRACK_POSITION);
    EXPECT_TRUE(PointNear(ViewDirection(eye, 0), Point3(0, 0, -1)));
    EXPECT_TRUE(PointNear(Normalize(eye->GetNodeTM(0).GetRow(1)), Point3(0, 1, 0)));

    // At the same place: the node's own rotation.
    eye->SetPosition(0, Point3(0, 0, 0));
    eye->SetRotation(0, EulerToQuat(Point3(0, 90, 0)));
    Matrix3 own;
    EulerToQuat(Point3(0, 90, 0)).MakeMatrix(own);
    EXPECT_TRUE(MatrixNear(eye->GetNodeTM(0), ScaleMatrix(Point3(2, 2, 2)) * own));
}

TEST_F(SceneTest, LookAtTargetsThatCannotOrMayNoLongerBeFollowed) {
    Interface *ip = GetCOREInterface();
    INode *parent = ip->CreateObjectNode(nullptr);
    INode *eye = ip->CreateObjectNode(nullptr);
    INode *below = ip->CreateObjectNode(nullptr);
    parent->AttachChild(eye);
    eye->AttachChild(below);
    EXPECT_FALSE(eye->SetTarget(eye));
    EXPECT_FALSE(eye->SetTarget(parent));  // an ancestor would close a reference cycle
    EXPECT_EQ(eye->GetTarget(), nullptr);

    // A target below the looker moves with it; the look-at does not chase itself.
    eye->SetPosition(0, Point3(0, 0, 10));
    below->SetPosition(0, Point3(5, 0, 0));
    ASSERT_TRUE(eye->SetTarget(below));
    EXPECT_TRUE(PointNear(ViewDirection(eye, 0), Point3(1, 0, 0)));

    // Children keep their slots around the target slot.
    INode *second = ip->CreateObjectNode(nullptr);
    eye->AttachChild(second);
    EXPECT_EQ(eye->GetChildNode(1), second);
    EXPECT_EQ(eye->GetTarget(), below);
    EXPECT_EQ(eye->GetReference(1 + eye->NumberOfChildren()), below);

    // A deleted target leaves the node with its own orientation.
    ip->DeleteNode(below);
    EXPECT_EQ(eye->GetTarget(), nullptr);
    EXPECT_EQ(eye->NumberOfChildren(), 1);
    EXPECT_TRUE(PointNear(ViewDirection(eye, 0), Point3(0, 0, -1)));
}

TEST_F(SceneTest, KeyedNodesAndTargetsSurviveTheSceneFile) {
    Interface *ip = GetCOREInterface();
    INode *eye = ip->CreateObjectNode(nullptr);
    INode *target = ip->CreateObjectNode(nullptr);
    eye->SetName("Eye");
    target->SetName("Target");
    eye->SetPositionKey(0, Point3(0, -50, 10));
    eye->SetPositionKey(320, Point3(50, -50, 10));
    eye->SetScaleKey(160, Point3(1, 2, 1));
    target->SetRotationKeyEuler(0, Point3(10, 20, 30));
    target->SetRotationKeyEuler(160, Point3(40, 50, 60));
    target->SetPosition(0, Point3(3, 4, 5));
    eye->SetTarget(target);
    const TimeValue times[] = {-10, 0, 100, 160, 250, 320, 1000};
    std::vector<Matrix3> eyeTMs, targetTMs;
    for (TimeValue t : times) {
        eyeTMs.push_back(eye->GetNodeTM(t));
        targetTMs.push_back(target->GetNodeTM(t));
    }

    const std::vector<std::uint8_t> saved = SaveSceneToMemory();
    ip->ResetScene();
    LoadSceneFromMemory(saved, "keyed.nsc");
    eye = ip->GetINodeByName("Eye");
    target = ip->GetINodeByName("Target");
    ASSERT_TRUE(eye && target);
    EXPECT_EQ(eye->GetTarget(), target);
    EXPECT_EQ(eye->GetLocalTransform().NumKeys(TRACK_POSITION), 2);
    EXPECT_EQ(eye->GetLocalTransform().NumKeys(TRACK_SCALE), 1);
    EXPECT_EQ(target->GetLocalTransform().NumKeys(TRACK_ROTATION), 2);
    for (std::size_t k = 0; k < std::size(times); ++k) {
        EXPECT_EQ(eye->GetNodeTM(times[k]), eyeTMs[k]) << "t = " << times[k];
        EXPECT_EQ(target->GetNodeTM(times[k]), targetTMs[k]) << "t = " << times[k];
    }
    EXPECT_EQ(SaveSceneToMemory(), saved);
}

}  // namespace
