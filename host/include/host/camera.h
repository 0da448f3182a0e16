/// @file camera.h
/// @brief Cameras (free and target) and the projection of a view: the `RenderInfo` and
///        `ViewParams` of a camera node, or of any view given by a projection and a transform
///        (a light's view), with field rendering.
///
/// A camera looks down the local −z axis of its node, local +y up in the image. The node's
/// scale does not reach the view: the camera-to-world transform is the node's world transform
/// with its axes made unit length. A target camera's node aims at its look-at target
/// (`INode::SetTarget`); the distance to that target is the camera's target distance.
///
/// Parameters: "FOV" is the horizontal field of view in radians (dimension `stdAngleDim`: user
/// interfaces show and take degrees); "Near Clip" and "Far Clip" bound the rendered depths;
/// "Target Distance" (free cameras; target cameras measure it) and "FOV" size an orthographic
/// view: it shows 2 × distance × tan(FOV / 2) world units across the image width.
///
/// Pixels: pixel (i, j) is centred on screen point (i, j) — the particle renderer rounds a
/// projected point to the nearest integer to find its pixel, and the scene renderer shoots the
/// ray of pixel (i, j) through that point — and the optical axis meets the image at
/// (width / 2, height / 2).
///
/// Fields: see render_info.h. The first field is rendered at the frame's time and the second
/// half a frame later; `RendParams::fieldOrder` 1 renders the odd rows first (`fieldOdd`).
#pragma once

#include "host/object.h"
#include "host/render_info.h"
#include "host/renderer.h"

#include <functional>

class INode;
class IParamBlock;

/// Class identifiers (super class CAMERA_CLASS_ID).
constexpr Class_ID FREE_CAMERA_CLASS_ID(0x43414D46, 0x4E4D4252);
constexpr Class_ID TARGET_CAMERA_CLASS_ID(0x43414D54, 0x4E4D4252);

/// Parameters of both camera classes.
enum CameraParam {
    CAM_FOV,          ///< "FOV": horizontal, radians
    CAM_NEAR_CLIP,    ///< "Near Clip": world units
    CAM_FAR_CLIP,     ///< "Far Clip": world units
    CAM_TARGET_DIST,  ///< "Target Distance": world units
    CAM_ORTHO,        ///< "Orthographic": BOOL
    CAM_NUM_PARAMS
};

/// What a camera is at a time.
struct CameraState {
    BOOL isOrtho = FALSE;
    float fov = 0.785398f;  ///< horizontal, radians
    float tdist = 160.0f;   ///< target distance
    float hither = 0.1f;    ///< near clip
    float yon = 1.0e6f;     ///< far clip
};

/// Base of every camera object.
class CameraObject : public Object {
public:
    ~CameraObject() override;
    SClass_ID SuperClassID() override { return CAMERA_CLASS_ID; }

    /// The camera's parameter block (also its reference 0); null for a camera without one.
    virtual IParamBlock *GetParamBlock() const { return nullptr; }
    /// The camera at t; `valid` is narrowed to the times it holds.
    virtual RefResult EvalCameraState(TimeValue t, Interval &valid, CameraState *cs) = 0;
    /// Horizontal field of view in radians.
    virtual float GetFOV(TimeValue t) = 0;
    virtual void SetFOV(TimeValue t, float fov) = 0;
    virtual float GetClipNear(TimeValue t) = 0;
    virtual float GetClipFar(TimeValue t) = 0;
    virtual BOOL IsOrtho() = 0;
};

/// Narrowest orthographic view, in world units across the image.
constexpr float kMinOrthoWidth = 1.0e-4f;

/// How a view projects.
struct ViewProjection {
    ProjectionType projType = PROJ_PERSPECTIVE;
    float fov = 0.785398f;  ///< horizontal field of view in radians (perspective)
    float width = 100.0f;   ///< world units across the image width (parallel; at least
                            ///< kMinOrthoWidth, so a camera at its target still projects)
    float hither = 0.001f;
    float yon = 1.0e30f;
};

/// A ray in camera space: from `origin` along `dir` (not normalised; z component −1).
struct ViewRay {
    Point3 origin;
    Point3 dir;
};

// Views of nodes

/// The camera-to-world transform of a view node at t (its world transform without scale).
Matrix3 ViewNodeTM(INode *node, TimeValue t);
/// The projection of a camera node at t; false (leaving `proj`) when the node's object is not
/// a camera.
bool GetCameraProjection(INode *cameraNode, TimeValue t, ViewProjection &proj);
/// The projection of `ViewParams` (fov, or 2 × zoom for the parallel width).
ViewProjection ProjectionOf(const ViewParams &view);

// RenderInfo and ViewParams

/// Sets the projection part of `ri` (type, kx, ky, xc, yc) for an image of `rp.width` ×
/// `rp.height` pixels with `rp.pixelAspect`.
void SetProjection(RenderInfo &ri, const ViewProjection &proj, const RendParams &rp);
/// Sets the field flags, render times and both field transforms of `ri` for a frame at t;
/// `camToWorldAt` gives the view's camera-to-world transform at a time.
void SetViewTransforms(RenderInfo &ri, TimeValue t, const RendParams &rp,
                       const std::function<Matrix3(TimeValue)> &camToWorldAt);
/// Both together.
RenderInfo MakeRenderInfo(const ViewProjection &proj, TimeValue t, const RendParams &rp,
                          const std::function<Matrix3(TimeValue)> &camToWorldAt);
/// The `RenderInfo` of any view node (a camera, or a light whose cone gives `proj`) at t: the
/// node's −z axis is the view direction (`ViewNodeTM`).
RenderInfo MakeNodeRenderInfo(const ViewProjection &proj, INode *viewNode, TimeValue t,
                              const RendParams &rp);
/// The `RenderInfo` of a camera node at t; false when the node's object is not a camera.
bool MakeCameraRenderInfo(INode *cameraNode, TimeValue t, const RendParams &rp, RenderInfo &ri);
/// The `ViewParams` of a projection seen through `camToWorld`.
ViewParams MakeViewParams(const ViewProjection &proj, const Matrix3 &camToWorld);
/// The `ViewParams` of a camera node at t; false when the node's object is not a camera.
bool MakeCameraViewParams(INode *cameraNode, TimeValue t, ViewParams &vp);

/// The camera-space ray through screen point `screen`: the inverse of `MapCamToScreen`
/// (every point origin + s·dir, s > 0, maps back to `screen`).
ViewRay MapScreenToCamRay(const RenderInfo &ri, const Point2 &screen);

// Scene set-up

/// A new node (under the root) carrying `camera` at `position`, aimed at `target`. A target
/// camera also gets a target node without object, named "<camera node>.Target", at `target`,
/// which its node looks at from then on; a free camera is only turned once.
INode *CreateCameraNode(CameraObject *camera, const Point3 &position, const Point3 &target);
