/// @file camera_test.cpp
/// @brief Cameras and projection: camera classes and parameters, world → screen → ray round
///        trips, positive sprite radii, depth signs, orthographic views, field render times
///        and matrices, view parameters and target cameras.
#include "test_objects.h"

#include "host/camera.h"
#include "host/inode.h"
#include "host/interface.h"
#include "host/node_transform.h"
#include "host/param_object.h"
#include "host/scene_file.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

namespace {

using hosttest::MatrixNear;
using hosttest::SceneTest;

constexpr float kPi = std::numbers::pi_v<float>;

RendParams Image(int width, int height) {
    RendParams rp;
    rp.width = width;
    rp.height = height;
    return rp;
}

class Cameras : public SceneTest {
protected:
    CameraObject *MakeCamera(Class_ID id) {
        return static_cast<CameraObject *>(CreateInstance(CAMERA_CLASS_ID, id));
    }
    /// A free camera at (10, −200, 40) looking at (0, 0, 20).
    INode *MakeCameraNode(float fovDegrees = 50.0f) {
        CameraObject *cam = MakeCamera(FREE_CAMERA_CLASS_ID);
        cam->SetFOV(0, fovDegrees * kPi / 180.0f);
        return CreateCameraNode(cam, Point3(10, -200, 40), Point3(0, 0, 20));
    }
};

/// Distance from `p` to the world-space ray through `screen`.
float DistanceToRay(const RenderInfo &ri, const Point2 &screen, const Point3 &p) {
    const ViewRay ray = MapScreenToCamRay(ri, screen);
    const Point3 origin = ri.camToWorld[0].PointTransform(ray.origin);
    const Point3 dir = Normalize(ri.camToWorld[0].VectorTransform(ray.dir));
    const Point3 d = p - origin;
    EXPECT_GT(DotProd(d, dir), 0.0f);  // in front, along the ray
    return (d - dir * DotProd(d, dir)).Length();
}

TEST_F(Cameras, CamerasAnswerTheirClassAndParameters) {
    for (auto [id, name] : {std::pair{FREE_CAMERA_CLASS_ID, "Free Camera"},
                            std::pair{TARGET_CAMERA_CLASS_ID, "Target Camera"}}) {
        ClassDesc *desc = ClassDirectory::Instance().FindByName(CAMERA_CLASS_ID, name);
        ASSERT_NE(desc, nullptr) << name;
        EXPECT_EQ(desc->ClassID(), id);
        CameraObject *cam = MakeCamera(id);
        ASSERT_NE(cam, nullptr);
        GetCOREInterface()->CreateObjectNode(cam);  // the scene owns it
        EXPECT_EQ(cam->SuperClassID(), CAMERA_CLASS_ID);
        auto *pb = static_cast<IParamBlock *>(cam->GetReference(0));
        ASSERT_NE(pb, nullptr);
        EXPECT_EQ(pb->GetParamName(CAM_FOV), "FOV");
        EXPECT_EQ(pb->GetParamDimension(CAM_FOV), stdAngleDim);
        EXPECT_EQ(pb->FindParamByName("Far Clip"), CAM_FAR_CLIP);

        pb->SetKey(CAM_FOV, 0, 0.5f);
        pb->SetKey(CAM_FOV, 160, 1.0f);
        EXPECT_FLOAT_EQ(cam->GetFOV(80), 0.75f);
        CameraState cs;
        Interval valid = FOREVER;
        EXPECT_EQ(cam->EvalCameraState(80, valid, &cs), REF_SUCCEED);
        EXPECT_FLOAT_EQ(cs.fov, 0.75f);
        EXPECT_EQ(valid, Interval(80, 80));
        EXPECT_FLOAT_EQ(cs.hither, cam->GetClipNear(80));
        EXPECT_FLOAT_EQ(cs.yon, cam->GetClipFar(80));
        EXPECT_FALSE(cam->IsOrtho());
        pb->SetValue(CAM_FOV, 0, 10.0f);  // wider than half a turn is not a view
        EXPECT_LT(cam->GetFOV(0), kPi);
    }
}

TEST_F(Cameras, WorldPointsMapToTheScreenAndBackAlongTheirRay) {
    INode *node = MakeCameraNode();
    node->SetScale(0, Point3(3, 3, 3));  // the view ignores the node's scale
    for (BOOL ortho : {FALSE, TRUE}) {
        static_cast<IParamBlock *>(node->GetObjectRef()->GetReference(0))
            ->SetValue(CAM_ORTHO, 0, ortho);
        RenderInfo ri;
        ASSERT_TRUE(MakeCameraRenderInfo(node, 0, Image(640, 480), ri));
        EXPECT_EQ(ri.projType, ortho ? PROJ_PARALLEL : PROJ_PERSPECTIVE);
        EXPECT_FLOAT_EQ(ri.camToWorld[0].GetRow(0).Length(), 1.0f);
        for (const Point3 &p :
             {Point3(0, 0, 20), Point3(30, 10, 0), Point3(-40, 80, 60), Point3(5, -150, 35)}) {
            const Point2 s = ri.MapWorldToScreen(p);
            EXPECT_LT(DistanceToRay(ri, s, p),
                      1e-3f * (1.0f + Length(p - Point3(10, -200, 40))))
                << "ortho " << ortho << " point " << p.x << " " << p.y << " " << p.z;
        }
        // The look-at point is the image centre; world up is screen up.
        const Point2 centre = ri.MapWorldToScreen(Point3(0, 0, 20));
        EXPECT_NEAR(centre.x, 320.0f, 1e-2f);
        EXPECT_NEAR(centre.y, 240.0f, 1e-2f);
        EXPECT_LT(ri.MapWorldToScreen(Point3(0, 0, 30)).y, centre.y);
    }
}

TEST_F(Cameras, DepthIsNegativeInFrontAndSpritesHavePositiveRadii) {
    INode *node = MakeCameraNode(45.0f);
    RenderInfo ri;
    ASSERT_TRUE(MakeCameraRenderInfo(node, 0, Image(800, 600), ri));
    const Point3 eye(10, -200, 40);
    const Point3 forward = Normalize(Point3(0, 0, 20) - eye);

    const float halfWidth = 400.0f, tanHalf = std::tan(kPi / 8);
    for (float d : {1.0f, 10.0f, 250.0f}) {
        const Point3 cam = ri.worldToCam[0].PointTransform(eye + forward * d);
        EXPECT_NEAR(cam.z, -d, 1e-3f * d);
        // The particle renderer's radius: edge of a sprite of world size s at that depth
        // minus the centre column.
        for (float s : {0.5f, 4.0f}) {
            const float centre = ri.MapCamToScreen(Point3(0, 0, 1)).x;
            const float radius = ri.MapCamToScreen(Point3(s, 0, cam.z)).x - centre;
            EXPECT_GT(radius, 0.0f);
            EXPECT_NEAR(radius, halfWidth / tanHalf * s / d, 1e-3f * radius);
        }
    }
    // Behind the camera z is positive.
    EXPECT_GT(ri.worldToCam[0].PointTransform(eye - forward * 5.0f).z, 0.0f);

    // The field of view spans the image: a point at half the angle to the right of the axis
    // lands on the right edge.
    const Point2 edge = ri.MapCamToScreen(Point3(tanHalf * 100.0f, 0, -100.0f));
    EXPECT_NEAR(edge.x, 800.0f, 1e-2f);
    EXPECT_NEAR(edge.y, 300.0f, 1e-2f);

    // Non-square pixels scale the vertical only.
    RendParams wide = Image(800, 600);
    wide.pixelAspect = 2.0f;
    ASSERT_TRUE(MakeCameraRenderInfo(node, 0, wide, ri));
    EXPECT_FLOAT_EQ(ri.ky, -2.0f * ri.kx);
}

TEST_F(Cameras, OrthographicViewsShowTheirWidth) {
    // A light-like view: orthographic, 50 units across, looking down from above.
    ViewProjection proj;
    proj.projType = PROJ_PARALLEL;
    proj.width = 50.0f;
    const Matrix3 above = TransMatrix(Point3(0, 0, 100));
    const RenderInfo ri =
        MakeRenderInfo(proj, 0, Image(500, 500), [&](TimeValue) { return above; });
    EXPECT_NEAR(ri.MapWorldToScreen(Point3(25, 0, 0)).x, 500.0f, 1e-3f);
    EXPECT_NEAR(ri.MapWorldToScreen(Point3(0, 25, 0)).y, 0.0f, 1e-3f);
    EXPECT_NEAR(ri.worldToCam[0].PointTransform(Point3(0, 0, 0)).z, -100.0f, 1e-3f);

    // A camera's orthographic width follows its field of view and target distance.
    INode *node = MakeCameraNode(90.0f);
    auto *pb = static_cast<IParamBlock *>(node->GetObjectRef()->GetReference(0));
    pb->SetValue(CAM_ORTHO, 0, TRUE);
    pb->SetValue(CAM_TARGET_DIST, 0, 30.0f);
    ViewProjection cam;
    ASSERT_TRUE(GetCameraProjection(node, 0, cam));
    EXPECT_EQ(cam.projType, PROJ_PARALLEL);
    EXPECT_NEAR(cam.width, 60.0f, 1e-3f);

    // A view of no width (a camera at its own target) still maps to finite pixels.
    pb->SetValue(CAM_TARGET_DIST, 0, 0.0f);
    RenderInfo zero;
    ASSERT_TRUE(MakeCameraRenderInfo(node, 0, Image(500, 500), zero));
    const Point2 s = zero.MapWorldToScreen(Point3(0, 0, 20));
    EXPECT_TRUE(std::isfinite(s.x) && std::isfinite(s.y));

    // A light's view from a node: the node's −z axis, whatever its scale.
    INode *light = GetCOREInterface()->CreateObjectNode(nullptr);
    light->SetNodeTM(0, ScaleMatrix(Point3(4, 4, 4)) * TransMatrix(Point3(0, 0, 100)));
    const RenderInfo lit = MakeNodeRenderInfo(proj, light, 0, Image(500, 500));
    EXPECT_TRUE(MatrixNear(lit.worldToCam[0], ri.worldToCam[0], 1e-4f));
}

TEST_F(Cameras, FieldsGetTheirTimesAndTheirOwnCamera) {
    INode *node = MakeCameraNode();
    node->SetPositionKey(0, Point3(0, -200, 0));
    node->SetPositionKey(160, Point3(160, -200, 0));  // one unit per tick along x
    const TimeValue t = 32;
    RendParams rp = Image(320, 240);
    rp.frameDur = 160;

    RenderInfo ri;
    ASSERT_TRUE(MakeCameraRenderInfo(node, t, rp, ri));
    EXPECT_FALSE(ri.fieldRender);
    EXPECT_EQ(ri.renderTime[0], t);
    EXPECT_EQ(ri.renderTime[1], t);
    EXPECT_TRUE(MatrixNear(ri.camToWorld[0], ViewNodeTM(node, t)));
    EXPECT_TRUE(MatrixNear(ri.camToWorld[1], ri.camToWorld[0]));

    rp.fieldRender = TRUE;
    for (int order : {0, 1}) {
        rp.fieldOrder = order;
        ASSERT_TRUE(MakeCameraRenderInfo(node, t, rp, ri));
        EXPECT_TRUE(ri.fieldRender);
        EXPECT_EQ(ri.fieldOdd, order == 1 ? TRUE : FALSE);
        // Times by order: the first field at t, the second half a frame later.
        EXPECT_EQ(ri.renderTime[0], t);
        EXPECT_EQ(ri.renderTime[1], t + 80);
        // Matrices by parity: 0 for the odd rows, taken at the odd field's time.
        const TimeValue oddTime = ri.fieldOdd ? ri.renderTime[0] : ri.renderTime[1];
        const TimeValue evenTime = ri.fieldOdd ? ri.renderTime[1] : ri.renderTime[0];
        EXPECT_NEAR(ri.camToWorld[0].GetTrans().x, float(oddTime), 1e-3f) << "order " << order;
        EXPECT_NEAR(ri.camToWorld[1].GetTrans().x, float(evenTime), 1e-3f) << "order " << order;
        EXPECT_TRUE(MatrixNear(ri.worldToCam[0] * ri.camToWorld[0], Matrix3(), 1e-4f));
        EXPECT_TRUE(MatrixNear(ri.worldToCam[1] * ri.camToWorld[1], Matrix3(), 1e-4f));
        // The same world point lands on different columns in the two fields.
        EXPECT_NE(ri.MapWorldToScreen(Point3(0, 0, 0), 0).x,
                  ri.MapWorldToScreen(Point3(0, 0, 0), 1).x);
    }
}

TEST_F(Cameras, ViewParamsCarryTheSameView) {
    INode *node = MakeCameraNode(60.0f);
    ViewParams vp;
    ASSERT_TRUE(MakeCameraViewParams(node, 0, vp));
    RenderInfo ri;
    ASSERT_TRUE(MakeCameraRenderInfo(node, 0, Image(640, 480), ri));
    EXPECT_TRUE(MatrixNear(vp.affineTM, ri.worldToCam[0], 1e-4f));
    EXPECT_EQ(vp.projType, PROJ_PERSPECTIVE);
    EXPECT_NEAR(vp.fov, 60.0f * kPi / 180.0f, 1e-5f);
    EXPECT_FLOAT_EQ(vp.hither,
                    static_cast<CameraObject *>(node->GetObjectRef())->GetClipNear(0));

    // And back: the RenderInfo of those view parameters is the camera's.
    const Matrix3 camToWorld = Inverse(vp.affineTM);
    const RenderInfo again = MakeRenderInfo(ProjectionOf(vp), 0, Image(640, 480),
                                            [&](TimeValue) { return camToWorld; });
    EXPECT_NEAR(again.kx, ri.kx, 1e-3f);
    EXPECT_TRUE(MatrixNear(again.worldToCam[0], ri.worldToCam[0], 1e-4f));

    // Nodes that are not cameras have no camera view.
    INode *empty = GetCOREInterface()->CreateObjectNode(nullptr);
    EXPECT_FALSE(MakeCameraViewParams(empty, 0, vp));
    EXPECT_FALSE(MakeCameraRenderInfo(empty, 0, Image(10, 10), ri));
}

TEST_F(Cameras, TargetCamerasFollowTheirTargetNode) {
    Interface *ip = GetCOREInterface();
    INode *node = CreateCameraNode(MakeCamera(TARGET_CAMERA_CLASS_ID), Point3(0, -100, 0),
                                   Point3(0, 0, 0));
    INode *target = ip->GetINodeByName((std::string(node->GetName()) + ".Target").c_str());
    ASSERT_NE(target, nullptr);
    EXPECT_EQ(node->GetTarget(), target);
    EXPECT_EQ(target->GetObjectRef(), nullptr);

    // The target moves to the right: it stays in the image centre.
    target->SetPositionKey(0, Point3(0, 0, 0));
    target->SetPositionKey(160, Point3(50, 0, 10));
    for (TimeValue t : {0, 80, 160}) {
        RenderInfo ri;
        ASSERT_TRUE(MakeCameraRenderInfo(node, t, Image(200, 100), ri));
        const Point2 s = ri.MapWorldToScreen(target->GetNodeTM(t).GetTrans());
        EXPECT_NEAR(s.x, 100.0f, 1e-2f);
        EXPECT_NEAR(s.y, 50.0f, 1e-2f);
    }
    // The orthographic width uses the distance to the target.
    auto *pb = static_cast<IParamBlock *>(node->GetObjectRef()->GetReference(0));
    pb->SetValue(CAM_ORTHO, 0, TRUE);
    pb->SetValue(CAM_FOV, 0, kPi / 2);
    ViewProjection proj;
    ASSERT_TRUE(GetCameraProjection(node, 0, proj));
    EXPECT_NEAR(proj.width, 200.0f, 1e-2f);

    // The pair survives the scene file.
    const std::string name = node->GetName();
    const std::vector<std::uint8_t> saved = SaveSceneToMemory();
    ip->ResetScene();
    LoadSceneFromMemory(saved, "camera.nsc");
    node = ip->GetINodeByName(name.c_str());
    ASSERT_NE(node, nullptr);
    EXPECT_EQ(node->GetObjectRef()->ClassID(), TARGET_CAMERA_CLASS_ID);
    ASSERT_NE(node->GetTarget(), nullptr);
    EXPECT_EQ(std::string(node->GetTarget()->GetName()), name + ".Target");
    ASSERT_TRUE(GetCameraProjection(node, 0, proj));
    EXPECT_NEAR(proj.width, 200.0f, 1e-2f);
}

}  // namespace
