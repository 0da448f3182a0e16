/// @file preview_manager.cpp
/// @brief The preview worker: shadow maps, the scene render with its progress answers, the
///        particle pass, and the temporary node of an atmospheric-only preview.
#include "setup/preview_manager.h"

#include "framework/nimbra_interface.h"
#include "renderer/shader_filter.h"
#include "renderer/shadow_filter.h"
#include "host/atmospheric.h"
#include "host/class_desc.h"
#include "host/inode.h"
#include "host/interface.h"
#include "host/material.h"
#include "host/render_info.h"
#include "host/messages.h"

#include <cstring>
#include <exception>

namespace {

/// The title the scene renderer reports once it is set up; from then on it may be stopped.
constexpr char kPreparingTitle[] = "Preparing Materials";

/// The ray-marching atmospheric in its three modes.
constexpr Class_ID kRaymarchClassIDs[] = {Class_ID(0x76B87BB4, 0x32FDA15B),
                                          Class_ID(0x149B34E6, 0x19F23C31),
                                          Class_ID(0x5FBD3638, 0x21746867)};

bool SceneHasRaymarch() {
    Interface *ip = GetCOREInterface();
    for (int i = 0; i < ip->NumAtmospheric(); ++i) {
        Atmospheric *atmos = ip->GetAtmospheric(i);
        if (!atmos) continue;
        for (const Class_ID &id : kRaymarchClassIDs)
            if (atmos->ClassID() == id) return true;
    }
    return false;
}

/// Runs `Close` on an opened renderer when it goes.
class RendererSession {
public:
    RendererSession(Renderer *renderer, HWND window) : renderer_(renderer), window_(window) {}
    ~RendererSession() {
        if (open_) renderer_->Close(window_);
    }
    RendererSession(const RendererSession &) = delete;
    RendererSession &operator=(const RendererSession &) = delete;
    void Opened() { open_ = true; }

private:
    Renderer *renderer_;
    HWND window_;
    bool open_ = false;
};

}  // namespace

PreviewManager::~PreviewManager() {
    stopRequest_ = true;
    Wait();
}

void PreviewManager::Wait() {
    if (worker_.joinable()) worker_.join();
}

void PreviewManager::Start(PreviewClient *window) {
    // Refused before anything changes: the running worker reads the window and the flags.
    if (busy_) {
        MessageBox(window, kBusyText, kMessageTitle, MB_OK);
        return;
    }
    window_ = window;
    raymarchPresent_ = !includeScene_ && SceneHasRaymarch();
    if (raymarchPresent_) AddPreviewNode();
    Wait();  // the previous worker has ended (busy is clear): its thread only needs joining
    // Set here rather than by the worker, so that a second request before the worker runs is
    // refused, and a stop or restart asked for from now on is not lost.
    abortable_ = false;
    stopRequest_ = false;
    restartRequest_ = false;
    progressDone_ = 0;
    progressTotal_ = 0;
    busy_ = true;
    const ViewExp *view = view_ ? view_ : GetActiveViewport();
    worker_ = std::thread(&PreviewManager::Run, this, *view);
}

void PreviewManager::Finish() {
    if (busy_) return;
    Wait();
    if (raymarchPresent_) {
        Interface *ip = GetCOREInterface();
        if (INode *node = ip->GetINodeByName(kPreviewNodeName)) ip->DeleteNode(node);
    }
    raymarchPresent_ = false;
}

void PreviewManager::SetFilterProgress(int done, int total) {
    progressDone_ = done;
    progressTotal_ = total;
}

void PreviewManager::AddPreviewNode() {
    Interface *ip = GetCOREInterface();
    ip->ClearNodeSelection();
    auto *obj = dynamic_cast<Object *>(
        static_cast<Animatable *>(CreateInstance(GEOMOBJECT_CLASS_ID, kPreviewObjectClassID)));
    if (!obj) return;
    INode *node = ip->CreateObjectNode(obj);
    node->SetName(kPreviewNodeName);
    ip->SelectNode(node);
    if (auto *mtl = dynamic_cast<StdMat *>(
            static_cast<Animatable *>(CreateInstance(MATERIAL_CLASS_ID, DMTL_CLASS_ID)))) {
        const TimeValue t = ip->GetTime();
        const Color black(0.0f, 0.0f, 0.0f);
        mtl->SetAmbient(black, t);
        mtl->SetDiffuse(black, t);
        mtl->SetSpecular(black, t);
        mtl->SetShininess(0.0f, t);
        mtl->SetShinStr(0.0f, t);
        mtl->SetSelfIllum(0.0f, t);
        node->SetMtl(mtl);
    }
}

void PreviewManager::Run(ViewExp view) {
    try {
        Render(view);
    } catch (const std::exception &e) {
        MessageBox(window_, e.what(), kMessageTitle, MB_OK);
    }
    busy_ = false;
}

void PreviewManager::Render(const ViewExp &view) {
    NimbraInterface *iface = GetNimbraInterface();
    const bool half = iface->GetHalfSizeMode() != 0;
    bitmap_.reset(TheManager->Create(BitmapInfo(
        BMM_TRUE_64, MAP_HAS_ALPHA, half ? kHalfWidth : kWidth, half ? kHalfHeight : kHeight)));
    if (!bitmap_) return;
    bitmap_->CreateChannels(BMM_CHAN_Z | BMM_CHAN_MTL_ID);

    // A stopped or restarted preview skips the particle passes: they would answer their first
    // abort query with yes and draw nothing, after setting up their frame for nothing.
    if (includeScene_ && !AbortRequested()) {
        NimbraShadowFilter shadows(TRUE);
        shadows.Render(window_);
    }

    Interface *ip = GetCOREInterface();
    Renderer *renderer = ip->GetCurrentRenderer();
    if (!renderer) return;
    const TimeValue t = ip->GetTime();

    // A camera gives its own projection and range; a user view gives the viewport's.
    INode *camera = view.GetViewCamera();
    ViewParams viewPar;
    view.GetAffineTM(viewPar.affineTM);
    viewPar.projType = view.IsPerspView() ? PROJ_PERSPECTIVE : PROJ_PARALLEL;
    viewPar.fov = view.GetFOV();
    viewPar.hither = 0.001f;
    viewPar.yon = 1.0e30f;

    RendParams rp;
    rp.width = bitmap_->Width();
    rp.height = bitmap_->Height();
    rp.frameDur = GetTicksPerFrame();
    if (iface->GetRegionRender() && includeScene_) {
        const RECT r = iface->GetRegion();
        const int divisor = half ? 2 : 1;  // integer division truncates toward zero
        rp.rendType = RENDTYPE_REGION;
        rp.regxmin = static_cast<int>(r.left) / divisor;
        rp.regxmax = static_cast<int>(r.right) / divisor;
        rp.regymin = static_cast<int>(r.top) / divisor;
        rp.regymax = static_cast<int>(r.bottom) / divisor;
    } else if (raymarchPresent_) {
        rp.rendType = RENDTYPE_SELECT;
    }

    RendererSession session(renderer, window_);
    if (renderer->Open(ip->GetRootNode(), camera, camera ? nullptr : &viewPar, rp, window_))
        session.Opened();
    else
        MessageBox(window_, kCannotOpenText, kMessageTitle, MB_OK);

    FrameRendParams frp;
    frp.ambient = ip->GetAmbient(t);
    frp.background = ip->GetBackGround(t);
    frp.frameDuration = 1.0f;
    renderer->Render(t, bitmap_.get(), frp, window_, this, camera ? nullptr : &viewPar);

    if (!bitmap_->Storage()->GetRenderInfo()) {
        MessageBox(window_, kNoRenderInfoText, kMessageTitle, MB_OK);
        return;
    }
    if (window_) window_->SetCaption(kFilterCaption);
    if (!AbortRequested()) {
        NimbraShaderFilter particles(bitmap_.get());
        particles.Render(window_);
    }
    if (half) {
        BitmapPtr full(
            TheManager->Create(BitmapInfo(BMM_TRUE_64, MAP_HAS_ALPHA, kWidth, kHeight)));
        if (full) {
            full->CopyImage(bitmap_.get(), COPY_IMAGE_RESIZE_HI, BMM_Color_64{});
            bitmap_ = std::move(full);
        }
    }
}

void PreviewManager::SetTitle(const TCHAR *title) {
    // Abortable first: a window shown the title may at once ask for a restart.
    if (title && std::strcmp(title, kPreparingTitle) == 0) abortable_ = true;
    if (window_ && window_->SceneSwitch()) window_->SetCaption(title ? title : "");
}

int PreviewManager::Progress(int done, int total) {
    if (total != 0) {
        progressDone_ = done;
        progressTotal_ = total;
    }
    if (!abortable_) return RENDPROG_CONTINUE;
    if (restartRequest_ || stopRequest_) return RENDPROG_ABORT;
    if (!window_ || !window_->PreviewSwitch()) return RENDPROG_ABORT;
    if (window_->SceneSwitch()) return RENDPROG_CONTINUE;
    return raymarchPresent_ ? RENDPROG_CONTINUE : RENDPROG_ABORT;
}
