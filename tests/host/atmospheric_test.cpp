/// @file atmospheric_test.cpp
/// @brief The scene's atmospheric effects and environment through the host interface, and
///        the shade context's space conversions.
#include "shading_objects.h"
#include "test_objects.h"

#include "host/atmospheric.h"
#include "host/interface.h"

#include <gtest/gtest.h>

namespace {

using hosttest::FixedShadeContext;
using hosttest::RecordingAtmospheric;
using hosttest::SceneTest;

TEST_F(SceneTest, SceneOwnsItsAtmosphericsInOrder) {
    Interface *ip = GetCOREInterface();
    const int before = RecordingAtmospheric::live;
    auto *a = new RecordingAtmospheric();
    auto *b = new RecordingAtmospheric();
    ip->AddAtmosphere(a);
    ip->AddAtmosphere(b);
    ASSERT_EQ(ip->NumAtmospheric(), 2);
    EXPECT_EQ(ip->GetAtmospheric(0), a);
    EXPECT_EQ(ip->GetAtmospheric(1), b);
    EXPECT_EQ(ip->GetAtmospheric(2), nullptr);
    EXPECT_EQ(ip->GetAtmospheric(-1), nullptr);
    EXPECT_EQ(a->SuperClassID(), ATMOSPHERIC_CLASS_ID);

    ip->DeleteAtmosphere(0);
    EXPECT_EQ(RecordingAtmospheric::live, before + 1) << "removed effects are deleted";
    ASSERT_EQ(ip->NumAtmospheric(), 1);
    EXPECT_EQ(ip->GetAtmospheric(0), b);

    auto *c = new RecordingAtmospheric();
    ip->SetAtmospheric(0, c);
    EXPECT_EQ(ip->GetAtmospheric(0), c);
    EXPECT_EQ(RecordingAtmospheric::live, before + 1);

    c->DeleteMe();  // deleted elsewhere: it leaves the list
    EXPECT_EQ(ip->NumAtmospheric(), 0);

    ip->AddAtmosphere(new RecordingAtmospheric());
    ip->SetAmbient(0, Color(0.1f, 0.2f, 0.3f));
    ip->SetBackGround(0, Color(0.5f, 0.5f, 0.5f));
    ip->ResetScene();
    EXPECT_EQ(ip->NumAtmospheric(), 0);
    EXPECT_EQ(RecordingAtmospheric::live, before) << "the scene's effects go with it";
    EXPECT_EQ(ip->GetAmbient(0), Color());
    EXPECT_EQ(ip->GetBackGround(0), Color());
}

TEST_F(SceneTest, AtmosphericGizmosAndInactiveFlag) {
    Interface *ip = GetCOREInterface();
    auto *fog = new RecordingAtmospheric();
    ip->AddAtmosphere(fog);
    INode *n1 = ip->CreateObjectNode(nullptr);
    INode *n2 = ip->CreateObjectNode(nullptr);
    fog->AppendGizmo(n1);
    fog->AppendGizmo(n2);
    ASSERT_EQ(fog->NumGizmos(), 2);
    EXPECT_EQ(fog->GetGizmo(1), n2);
    ip->DeleteNode(n1);
    ASSERT_EQ(fog->NumGizmos(), 1);
    EXPECT_EQ(fog->GetGizmo(0), n2);
    fog->DeleteGizmo(0);
    EXPECT_EQ(fog->NumGizmos(), 0);
    EXPECT_NE(ip->GetINodeByName(n2->GetName()), nullptr) << "the node itself stays";

    EXPECT_TRUE(fog->Active());
    fog->SetAFlag(A_ATMOS_DISABLED);
    EXPECT_FALSE(fog->Active());
    EXPECT_EQ(A_ATMOS_DISABLED, 0x20u);
}

TEST(ShadeContext, ConvertsBetweenCameraAndWorld) {
    RenderGlobalContext gc;
    Matrix3 camToWorld = RotateYMatrix(0.7f);
    camToWorld.SetTrans(Point3(1, 2, 3));
    gc.camToWorld = camToWorld;
    gc.worldToCam = Inverse(camToWorld);
    FixedShadeContext sc;
    const Point3 p(0.5f, -1.0f, -4.0f);
    EXPECT_EQ(sc.CamToWorld(p), p) << "no global context: camera space is world space";
    sc.globContext = &gc;
    const Point3 w = sc.CamToWorld(p);
    const Point3 expect = camToWorld.PointTransform(p);
    EXPECT_NEAR((w - expect).Length(), 0.0f, 1e-5f);
    EXPECT_NEAR((sc.WorldToCam(w) - p).Length(), 0.0f, 1e-5f);
    const Point3 v = sc.VectorTo(Point3(0, 0, -1), REF_WORLD);
    EXPECT_NEAR((v - camToWorld.VectorTransform(Point3(0, 0, -1))).Length(), 0.0f, 1e-6f);
    EXPECT_NEAR((sc.VectorFrom(v, REF_WORLD) - Point3(0, 0, -1)).Length(), 0.0f, 1e-6f);
    EXPECT_EQ(sc.PointTo(p, REF_CAMERA), p);
}

}  // namespace
