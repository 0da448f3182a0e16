/// @file camera.cpp
/// @brief Free and target cameras, and the projection and field transforms of a view.
#include "host/camera.h"

#include "host/inode.h"
#include "host/interface.h"
#include "host/messages.h"
#include "host/node_transform.h"
#include "host/param_object.h"

#include "built_in_class.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <string>

namespace {

/// Narrowest field of view a camera takes (radians); wider than π would look backwards.
constexpr float kMinFOV = 1.0e-4f;
constexpr float kMaxFOV = std::numbers::pi_v<float> - 1.0e-4f;

const ParamSpec kSpecs[CAM_NUM_PARAMS] = {
    {"FOV", TYPE_FLOAT, TRUE, 0.785398f, stdAngleDim},
    {"Near Clip", TYPE_FLOAT, TRUE, 0.1f, stdWorldDim},
    {"Far Clip", TYPE_FLOAT, TRUE, 1.0e6f, stdWorldDim},
    {"Target Distance", TYPE_FLOAT, TRUE, 160.0f, stdWorldDim},
    {"Orthographic", TYPE_BOOL, FALSE, 0.0f, defaultDim},
};

/// A camera; the target camera differs only in identity (its node carries the target).
template <bool kTarget>
class Camera final : public ParamObject<CameraObject> {
public:
    Camera() : ParamObject(kSpecs, CAM_NUM_PARAMS, false) {}
    explicit Camera(bool loading) : ParamObject(kSpecs, CAM_NUM_PARAMS, loading) {}

    Class_ID ClassID() override {
        return kTarget ? TARGET_CAMERA_CLASS_ID : FREE_CAMERA_CLASS_ID;
    }
    void GetClassName(TSTR &s) override { s = kTarget ? "Target Camera" : "Free Camera"; }
    const TCHAR *GetObjectName() override { return "Camera"; }

    RefResult EvalCameraState(TimeValue t, Interval &valid, CameraState *cs) override {
        cs->fov = std::clamp(GetFloat(CAM_FOV, t, valid), kMinFOV, kMaxFOV);
        cs->hither = GetFloat(CAM_NEAR_CLIP, t, valid);
        cs->yon = GetFloat(CAM_FAR_CLIP, t, valid);
        cs->tdist = GetFloat(CAM_TARGET_DIST, t, valid);
        cs->isOrtho = GetInt(CAM_ORTHO, t, valid) ? TRUE : FALSE;
        return REF_SUCCEED;
    }
    float GetFOV(TimeValue t) override {
        return std::clamp(GetFloat(CAM_FOV, t), kMinFOV, kMaxFOV);
    }
    void SetFOV(TimeValue t, float fov) override {
        if (GetParamBlock()) GetParamBlock()->SetValue(CAM_FOV, t, fov);
    }
    float GetClipNear(TimeValue t) override { return GetFloat(CAM_NEAR_CLIP, t); }
    float GetClipFar(TimeValue t) override { return GetFloat(CAM_FAR_CLIP, t); }
    BOOL IsOrtho() override { return GetInt(CAM_ORTHO, 0) ? TRUE : FALSE; }

    ReferenceTarget *Clone(RemapDir &remap) override {
        auto *copy = new Camera(true);
        CloneBlockInto(*copy, remap);
        return copy;
    }
};

BuiltInClassDesc<Camera<false>> freeCameraDesc("Free Camera", CAMERA_CLASS_ID,
                                               FREE_CAMERA_CLASS_ID);
BuiltInClassDesc<Camera<true>> targetCameraDesc("Target Camera", CAMERA_CLASS_ID,
                                                TARGET_CAMERA_CLASS_ID);

CameraObject *CameraOf(INode *node, TimeValue t) {
    if (!node) return nullptr;
    Object *obj = node->EvalWorldState(t).obj;
    if (!obj || obj->SuperClassID() != CAMERA_CLASS_ID) return nullptr;
    return dynamic_cast<CameraObject *>(obj);
}

}  // namespace

CameraObject::~CameraObject() = default;

Matrix3 ViewNodeTM(INode *node, TimeValue t) {
    DbgAssert(node);
    Point3 pos, scale;
    Quat rot;
    DecomposeTM(node->GetNodeTM(t), pos, rot, scale);
    Matrix3 tm;
    rot.MakeMatrix(tm);
    tm.SetTrans(pos);
    return tm;
}

bool GetCameraProjection(INode *cameraNode, TimeValue t, ViewProjection &proj) {
    CameraObject *cam = CameraOf(cameraNode, t);
    if (!cam) return false;
    CameraState cs;
    Interval valid = FOREVER;
    cam->EvalCameraState(t, valid, &cs);
    float tdist = cs.tdist;
    if (INode *target = cameraNode->GetTarget()) {
        tdist = Length(target->GetNodeTM(t).GetTrans() - cameraNode->GetNodeTM(t).GetTrans());
    }
    proj.projType = cs.isOrtho ? PROJ_PARALLEL : PROJ_PERSPECTIVE;
    proj.fov = cs.fov;
    proj.width = 2.0f * tdist * std::tan(cs.fov * 0.5f);
    proj.hither = cs.hither;
    proj.yon = cs.yon;
    return true;
}

ViewProjection ProjectionOf(const ViewParams &view) {
    ViewProjection proj;
    proj.projType = view.projType == PROJ_PARALLEL ? PROJ_PARALLEL : PROJ_PERSPECTIVE;
    proj.fov = view.fov;
    proj.width = 2.0f * view.zoom;
    proj.hither = view.hither;
    proj.yon = view.yon;
    return proj;
}

void SetProjection(RenderInfo &ri, const ViewProjection &proj, const RendParams &rp) {
    const float halfWidth = 0.5f * static_cast<float>(rp.width);
    ri.projType = proj.projType;
    if (proj.projType == PROJ_PARALLEL) {
        // Pixels per world unit, negated.
        const float width =
            std::fabs(proj.width) > kMinOrthoWidth ? std::fabs(proj.width) : kMinOrthoWidth;
        ri.kx = -static_cast<float>(rp.width) / width;
    } else {
        ri.kx = -halfWidth / std::tan(0.5f * std::clamp(proj.fov, kMinFOV, kMaxFOV));
    }
    ri.ky = -ri.kx * rp.pixelAspect;
    ri.xc = halfWidth;
    ri.yc = 0.5f * static_cast<float>(rp.height);
}

void SetViewTransforms(RenderInfo &ri, TimeValue t, const RendParams &rp,
                       const std::function<Matrix3(TimeValue)> &camToWorldAt) {
    ri.fieldRender = rp.fieldRender ? TRUE : FALSE;
    if (!ri.fieldRender) {
        ri.fieldOdd = FALSE;
        ri.renderTime[0] = ri.renderTime[1] = t;
        ri.camToWorld[0] = ri.camToWorld[1] = camToWorldAt(t);
    } else {
        const TimeValue frame = rp.frameDur > 0 ? rp.frameDur : GetTicksPerFrame();
        ri.fieldOdd = rp.fieldOrder == 1 ? TRUE : FALSE;
        ri.renderTime[0] = t;
        ri.renderTime[1] = t + frame / 2;
        // Matrices by parity: 0 for the odd rows, rendered first when fieldOdd.
        const TimeValue oddTime = ri.fieldOdd ? ri.renderTime[0] : ri.renderTime[1];
        const TimeValue evenTime = ri.fieldOdd ? ri.renderTime[1] : ri.renderTime[0];
        ri.camToWorld[0] = camToWorldAt(oddTime);
        ri.camToWorld[1] = camToWorldAt(evenTime);
    }
    ri.worldToCam[0] = Inverse(ri.camToWorld[0]);
    ri.worldToCam[1] = Inverse(ri.camToWorld[1]);
}

RenderInfo MakeRenderInfo(const ViewProjection &proj, TimeValue t, const RendParams &rp,
                          const std::function<Matrix3(TimeValue)> &camToWorldAt) {
    RenderInfo ri;
    SetProjection(ri, proj, rp);
    SetViewTransforms(ri, t, rp, camToWorldAt);
    return ri;
}

RenderInfo MakeNodeRenderInfo(const ViewProjection &proj, INode *viewNode, TimeValue t,
                              const RendParams &rp) {
    return MakeRenderInfo(proj, t, rp,
                          [viewNode](TimeValue time) { return ViewNodeTM(viewNode, time); });
}

bool MakeCameraRenderInfo(INode *cameraNode, TimeValue t, const RendParams &rp,
                          RenderInfo &ri) {
    ViewProjection proj;
    if (!GetCameraProjection(cameraNode, t, proj)) return false;
    ri = MakeNodeRenderInfo(proj, cameraNode, t, rp);
    return true;
}

ViewParams MakeViewParams(const ViewProjection &proj, const Matrix3 &camToWorld) {
    ViewParams vp;
    vp.affineTM = Inverse(camToWorld);
    vp.projType = proj.projType;
    vp.hither = proj.hither;
    vp.yon = proj.yon;
    vp.fov = proj.fov;
    vp.zoom = 0.5f * proj.width;
    return vp;
}

bool MakeCameraViewParams(INode *cameraNode, TimeValue t, ViewParams &vp) {
    ViewProjection proj;
    if (!GetCameraProjection(cameraNode, t, proj)) return false;
    vp = MakeViewParams(proj, ViewNodeTM(cameraNode, t));
    return true;
}

ViewRay MapScreenToCamRay(const RenderInfo &ri, const Point2 &screen) {
    // Perspective: screen = c + k·p/z, so at z = −1 the point is −(screen − c)/k.
    const float x = (screen.x - ri.xc) / ri.kx;
    const float y = (screen.y - ri.yc) / ri.ky;
    if (ri.projType == PROJ_PARALLEL) return {Point3(-x, -y, 0.0f), Point3(0.0f, 0.0f, -1.0f)};
    return {Point3(), Point3(-x, -y, -1.0f)};
}

INode *CreateCameraNode(CameraObject *camera, const Point3 &position, const Point3 &target) {
    Interface *ip = GetCOREInterface();
    INode *node = ip->CreateObjectNode(camera);
    Matrix3 tm;
    LookAtRotation(position, target, tm);
    tm.SetTrans(position);
    SuspendAnimate();  // where the camera is placed, not a key
    node->SetNodeTM(ip->GetTime(), tm);
    if (camera && camera->ClassID() == TARGET_CAMERA_CLASS_ID) {
        INode *aim = ip->CreateObjectNode(nullptr);
        aim->SetName((std::string(node->GetName()) + ".Target").c_str());
        aim->SetNodeTM(ip->GetTime(), TransMatrix(target));
        node->SetTarget(aim);
    }
    ResumeAnimate();
    return node;
}
