/// @file renderer.h
/// @brief The renderer contract: view and render parameters, the progress callback, and the
///        `Renderer` base that the scene renderer implements and the system's filters drive.
#pragma once

#include "host/animatable.h"
#include "host/geom.h"
#include "host/types.h"

class Atmospheric;
class Bitmap;
class INode;

/// Class identifier of the host's scene renderer (super class RENDERER_CLASS_ID).
constexpr Class_ID SREND_CLASS_ID(1, 0);

/// The camera of a render when no camera node gives it (a viewport-like view).
struct ViewParams {
    Matrix3 affineTM;  ///< world to camera
    int projType = 0;  ///< PROJ_PERSPECTIVE or PROJ_PARALLEL
    float hither = 0.001f;
    float yon = 1.0e30f;
    float fov = 0.785398f;  ///< horizontal field of view in radians (perspective)
    float zoom = 1.0f;      ///< world units across half the image width (parallel)
};

enum RendType { RENDTYPE_NORMAL = 0, RENDTYPE_REGION = 1, RENDTYPE_SELECT = 3 };

/// Settings that hold for a whole render session (from `Open` to `Close`).
class RendParams {
public:
    int rendType = RENDTYPE_NORMAL;
    int width = 640;
    int height = 480;
    float pixelAspect = 1.0f;
    BOOL fieldRender = FALSE;
    int fieldOrder = 0;  ///< 0: even field first, 1: odd field first
    TimeValue frameDur = 160;
    /// Region of RENDTYPE_REGION, in image pixels, both ends inclusive.
    int regxmin = 0, regxmax = 0, regymin = 0, regymax = 0;
    /// Render threads: 0 means all cores.
    int threads = 0;
    /// Nodes rendered with RENDTYPE_SELECT are the selected ones.
    BOOL rendHidden = FALSE;
};

/// Settings of one frame.
class FrameRendParams {
public:
    Color ambient{0.0f, 0.0f, 0.0f};
    Color background{0.0f, 0.0f, 0.0f};
    float frameDuration = 1.0f;  ///< in frames
    /// Background image, or null for the plain colour; drawn scaled to the frame.
    Bitmap *backgroundImage = nullptr;
};

constexpr int RENDPROG_CONTINUE = 1;
constexpr int RENDPROG_ABORT = 0;

/// Told what a render is doing; answers whether it may go on.
class RendProgressCallback {
public:
    virtual ~RendProgressCallback() = default;
    virtual void SetTitle(const TCHAR *title) = 0;
    /// `total` may be 0 (unknown). Answer RENDPROG_CONTINUE or RENDPROG_ABORT.
    virtual int Progress(int done, int total) = 0;
};

/// A renderer. `Open` prepares a session on a scene seen from a view node (a camera, or a
/// spot or directional light whose cone gives the projection) or from `viewPar`; `Render`
/// renders one frame into a bitmap and leaves the frame's `RenderInfo` on it; `Close` ends
/// the session.
class Renderer : public ReferenceTarget {
public:
    SClass_ID SuperClassID() override { return RENDERER_CLASS_ID; }
    /// Nonzero on success.
    virtual int Open(INode *scene, INode *vnode, ViewParams *viewPar, RendParams &rp, HWND hwnd,
                     void *defaultLights = nullptr, int numDefLights = 0) = 0;
    /// Nonzero on success; 0 when aborted or failed. Even an aborted render leaves the
    /// frame's `RenderInfo` on `tobm` once the view was prepared.
    virtual int Render(TimeValue t, Bitmap *tobm, FrameRendParams &frp, HWND hwnd,
                       RendProgressCallback *prog = nullptr, ViewParams *viewPar = nullptr) = 0;
    virtual void Close(HWND hwnd) = 0;
};
