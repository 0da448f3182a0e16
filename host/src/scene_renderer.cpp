/// @file scene_renderer.cpp
/// @brief The scene renderer: one primary ray per pixel through the view's projection, the
///        nearest primitive shaded by its material under the scene's lights and shadows,
///        atmospherics over every ray segment, depth and material channels, the frame's
///        `RenderInfo`, on several threads with progress and abort.
///
/// Pixel (i, j) is rendered from the ray through screen point (i, j) (camera.h), so depth
/// and material channels hold the exact values at pixel centres; there is one sample per
/// pixel and no antialiasing.
#include "host/atmospheric.h"
#include "host/bitmap.h"
#include "host/camera.h"
#include "host/interface.h"
#include "host/light.h"
#include "host/renderer.h"

#include "built_in_class.h"
#include "render_scene.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <exception>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace {

/// The title the renderer reports before any progress.
constexpr const char *kPreparingTitle = "Preparing Materials";
/// Where a ray that meets nothing ends for the atmospherics: the view's far clip, but no
/// farther than this many units, so that segment lengths stay finite in single precision.
constexpr float kBackgroundDistance = 1.0e6f;
/// How often the progress callback hears from a running render (an interactive preview
/// stops within about this time plus a row).
constexpr auto kProgressInterval = std::chrono::milliseconds(20);
/// Most render threads a request may ask for.
constexpr int kMaxThreads = 256;
/// Nearest depth a light's view renders.
constexpr float kLightViewHither = 1.0e-3f;

int ThreadCount(int requested) {
    const int cores = std::max(1, static_cast<int>(std::thread::hardware_concurrency()));
    if (requested > 0) return std::min(requested, kMaxThreads);
    if (requested == 0) return cores;
    return std::max(1, cores + requested);  // all but |requested|
}

UWORD ToChannel(float c) {
    return static_cast<UWORD>(std::clamp(c, 0.0f, 1.0f) * 65535.0f);
}

/// The shade context of one render thread, re-aimed at every pixel.
class PixelShadeContext final : public ShadeContext {
public:
    PixelShadeContext(RenderScene &scene, const std::vector<LightDesc *> &lights,
                      const Color &ambient)
        : lights_(lights) {
        globContext = &scene;
        nLights = static_cast<int>(lights.size());
        ambientLight = ambient;
    }

    void Aim(int x, int y, const Point3 &p, const Point3 &n, const Point3 &v,
             const RenderInstance *inst, bool back) {
        screen_ = IPoint2(x, y);
        p_ = p;
        n_ = n;
        v_ = v;
        inst_ = inst;
        backFace = back ? TRUE : FALSE;
        out.Reset();
    }

    LightDesc *Light(int i) override { return lights_[i]; }
    INode *Node() override { return inst_ ? inst_->node : nullptr; }
    IPoint2 ScreenCoord() override { return screen_; }
    Point3 P() override { return p_; }
    Point3 Normal() override { return n_; }
    Point3 V() override { return v_; }

protected:
    Matrix3 CamToObject() override {
        return inst_ ? globContext->camToWorld * inst_->worldToObj : Matrix3();
    }

private:
    const std::vector<LightDesc *> &lights_;
    IPoint2 screen_;
    Point3 p_, n_, v_;
    const RenderInstance *inst_ = nullptr;
};

/// One field (or the whole frame) of a render: which rows, seen how.
struct Pass {
    TimeValue time = 0;
    int matrix = 0;   ///< index of the world-to-camera matrix in the RenderInfo
    int parity = -1;  ///< 1 odd rows, 0 even rows, -1 all rows
};

/// What every render thread of a frame shares (read-only while the threads run).
struct FrameJob {
    const RenderInfo *ri = nullptr;
    RenderScene *scene = nullptr;
    const std::vector<LightDesc *> *lights = nullptr;
    const std::vector<Atmospheric *> *atmospherics = nullptr;
    const FrameRendParams *frp = nullptr;
    const Bitmap *background = nullptr;  ///< the background image at the frame's size
    Bitmap *target = nullptr;
    float *depth = nullptr;
    BYTE *mtl = nullptr;
    int x0 = 0, x1 = 0;  ///< columns rendered, inclusive
    float hither = 0.0f, yon = 1.0e30f;
};

/// Renders row y of `job` (columns x0 … x1) into `row` and the bitmap.
void RenderRow(const FrameJob &job, int y, PixelShadeContext &sc,
               std::vector<BMM_Color_64> &row) {
    const RenderScene &scene = *job.scene;
    const Matrix3 &camToWorld = scene.camToWorld;
    const Matrix3 &worldToCam = scene.worldToCam;
    const int width = job.target->Width();
    const float far = std::min(job.yon, kBackgroundDistance);
    for (int x = job.x0; x <= job.x1; ++x) {
        const ViewRay vr = MapScreenToCamRay(*job.ri, Point2(x, y));
        const Ray ray{camToWorld.PointTransform(vr.origin), camToWorld.VectorTransform(vr.dir)};
        const Point3 view = Normalize(vr.dir);
        Color color, trans;
        Point3 end;
        float depth;
        BYTE id = 0;
        SceneHit hit;
        const bool isBG = !scene.Trace(ray, job.hither, job.yon, hit);
        if (!isBG) {
            const RenderInstance &inst = scene.Instances()[hit.instance];
            end = vr.origin + vr.dir * hit.t;
            const Point3 nWorld = inst.normalToWorld.VectorTransform(hit.normal);
            Point3 n = Normalize(worldToCam.VectorTransform(nWorld));
            const bool back = DotProd(n, view) > 0.0f;
            if (back) n = -n;
            sc.Aim(x, y, end, n, view, &inst, back);
            if (inst.mtl)
                inst.mtl->Shade(sc);
            else
                ShadeStandard(sc, inst.plain);
            color = sc.out.c;
            trans = sc.out.t;
            depth = end.z;
            id = inst.mtlID;
        } else {
            end = vr.origin + vr.dir * far;
            sc.Aim(x, y, end, -view, view, nullptr, false);
            if (job.background) {
                const BMM_Color_64 p = job.background->Pixel(x, y);
                color = Color(p.r / 65535.0f, p.g / 65535.0f, p.b / 65535.0f);
                const float clear = 1.0f - p.a / 65535.0f;
                trans = Color(clear, clear, clear);
            } else {
                color = job.frp->background;
                trans = Color(1.0f, 1.0f, 1.0f);
            }
            depth = kFarDepth;
        }
        for (Atmospheric *atmos : *job.atmospherics)
            atmos->Shade(sc, vr.origin, end, color, trans, isBG ? TRUE : FALSE);
        const float alpha = 1.0f - (trans.r + trans.g + trans.b) / 3.0f;
        row[x - job.x0] = BMM_Color_64{ToChannel(color.r), ToChannel(color.g),
                                       ToChannel(color.b), ToChannel(alpha)};
        const std::size_t at = static_cast<std::size_t>(y) * width + x;
        if (job.depth) job.depth[at] = depth;
        if (job.mtl) job.mtl[at] = id;
    }
    job.target->PutPixels(job.x0, y, job.x1 - job.x0 + 1, row.data());
}

class SceneRenderer final : public Renderer {
public:
    Class_ID ClassID() override { return SREND_CLASS_ID; }
    void GetClassName(TSTR &s) override { s = "Scene Renderer"; }

    int Open(INode *scene, INode *vnode, ViewParams *viewPar, RendParams &rp, HWND, void *,
             int) override;
    int Render(TimeValue t, Bitmap *tobm, FrameRendParams &frp, HWND,
               RendProgressCallback *prog, ViewParams *viewPar) override;
    void Close(HWND) override {
        open_ = false;
        scene_ = view_ = nullptr;
    }

private:
    /// The frame's view: projection, transforms, times and clip range. False when the view
    /// node is neither a camera nor a light with a view, or there is no view at all.
    bool MakeView(TimeValue t, const RendParams &rp, const ViewParams *vp, RenderInfo &ri,
                  float &hither, float &yon) const;
    /// Renders `rows` on `threads` threads; false when the callback asked to stop.
    bool RenderRows(const FrameJob &job, const std::vector<int> &rows, int threads,
                    RendProgressCallback *prog, int doneBefore, int total);

    bool open_ = false;
    INode *scene_ = nullptr;
    INode *view_ = nullptr;
    bool haveViewPar_ = false;
    ViewParams viewPar_;
    RendParams rp_;
};

int SceneRenderer::Open(INode *scene, INode *vnode, ViewParams *viewPar, RendParams &rp, HWND,
                        void *, int) {
    Close(nullptr);
    if (!scene || (!vnode && !viewPar)) return 0;
    scene_ = scene;
    view_ = vnode;
    haveViewPar_ = viewPar != nullptr;
    if (viewPar) viewPar_ = *viewPar;
    rp_ = rp;
    // The view must be one the renderer can see through now.
    RenderInfo ri;
    float hither, yon;
    if (!MakeView(GetCOREInterface()->GetTime(), rp_, viewPar, ri, hither, yon)) {
        Close(nullptr);
        return 0;
    }
    open_ = true;
    return 1;
}

bool SceneRenderer::MakeView(TimeValue t, const RendParams &rp, const ViewParams *vp,
                             RenderInfo &ri, float &hither, float &yon) const {
    if (view_) {
        Object *obj = view_->EvalWorldState(t).obj;
        if (obj && obj->SuperClassID() == CAMERA_CLASS_ID) {
            ViewProjection proj;
            if (!GetCameraProjection(view_, t, proj) || !MakeCameraRenderInfo(view_, t, rp, ri))
                return false;
            hither = proj.hither;
            yon = proj.yon;
            return true;
        }
        // A light's view: exactly the projection its description reports (scaled when the
        // image is not the light's map size), through the light's own frame.
        auto *light = dynamic_cast<LightObject *>(obj);
        if (!light) return false;
        std::unique_ptr<ObjLightDesc> desc(light->CreateLightDesc(view_));
        if (!desc || !desc->Update(t, nullptr, FALSE) || !desc->hasProjection) return false;
        const float sx = static_cast<float>(rp.width) / static_cast<float>(desc->mapSize);
        const float sy = static_cast<float>(rp.height) / static_cast<float>(desc->mapSize);
        ri.projType = desc->projType;
        ri.kx = desc->xscale * sx;
        ri.ky = desc->yscale * sy;
        ri.xc = desc->centerOffset * sx;
        ri.yc = desc->centerOffset * sy;
        SetViewTransforms(ri, t, rp, [&](TimeValue time) {
            desc->Update(time, nullptr, FALSE);
            return desc->lightToWorld;
        });
        hither = kLightViewHither;
        yon = 1.0e30f;
        return true;
    }
    if (!vp) return false;
    const ViewProjection proj = ProjectionOf(*vp);
    const Matrix3 camToWorld = Inverse(vp->affineTM);
    ri = MakeRenderInfo(proj, t, rp, [&](TimeValue) { return camToWorld; });
    hither = proj.hither;
    yon = proj.yon;
    return true;
}

int SceneRenderer::Render(TimeValue t, Bitmap *tobm, FrameRendParams &frp, HWND,
                          RendProgressCallback *prog, ViewParams *viewPar) {
    if (!open_ || !tobm) return 0;
    const int width = tobm->Width(), height = tobm->Height();
    RendParams rp = rp_;
    rp.width = width;
    rp.height = height;

    // The frame's RenderInfo goes on the bitmap before anything else, so that it is there
    // even when the render stops early.
    RenderInfo view;
    FrameJob job;
    if (!MakeView(t, rp, viewPar ? viewPar : (haveViewPar_ ? &viewPar_ : nullptr), view,
                  job.hither, job.yon))
        return 0;
    RenderInfo *ri = tobm->Storage()->AllocRenderInfo();
    if (!ri) return 0;
    *ri = view;
    tobm->CreateChannels(BMM_CHAN_Z | BMM_CHAN_MTL_ID);

    int y0 = 0, y1 = height - 1;
    job.x0 = 0;
    job.x1 = width - 1;
    if (rp.rendType == RENDTYPE_REGION) {
        job.x0 = std::max(job.x0, std::min(rp.regxmin, rp.regxmax));
        job.x1 = std::min(job.x1, std::max(rp.regxmin, rp.regxmax));
        y0 = std::max(y0, std::min(rp.regymin, rp.regymax));
        y1 = std::min(y1, std::max(rp.regymin, rp.regymax));
    }
    const int total = std::max(0, y1 - y0 + 1);

    if (prog) prog->SetTitle(kPreparingTitle);
    if (prog && prog->Progress(0, total) == RENDPROG_ABORT) return 0;
    if (total == 0 || job.x0 > job.x1) return 1;

    // Atmospherics: updated once for the frame, before any segment is shaded.
    Interface *ip = GetCOREInterface();
    std::vector<Atmospheric *> atmospherics;
    for (int i = 0; i < ip->NumAtmospheric(); ++i) {
        Atmospheric *atmos = ip->GetAtmospheric(i);
        if (!atmos || !atmos->Active()) continue;
        Interval valid = FOREVER;
        atmos->Update(t, valid);
        atmospherics.push_back(atmos);
    }

    BitmapPtr background;
    if (frp.backgroundImage) {
        background.reset(
            TheManager->Create(BitmapInfo(BMM_TRUE_64, MAP_HAS_ALPHA, width, height)));
        if (background) background->CopyImage(frp.backgroundImage, COPY_IMAGE_RESIZE_HI, {});
    }

    job.ri = ri;
    job.atmospherics = &atmospherics;
    job.frp = &frp;
    job.background = background.get();
    job.target = tobm;
    job.depth = tobm->DepthChannel();
    job.mtl = tobm->MaterialChannel();

    // Passes: the whole frame, or each field at its own time through its own camera. Odd
    // rows take matrix 0, even rows matrix 1 (render_info.h).
    std::vector<Pass> passes;
    if (!view.fieldRender) {
        passes.push_back({view.renderTime[0], 0, -1});
    } else {
        const int first = view.fieldOdd ? 1 : 0;
        passes.push_back({view.renderTime[0], first ? 0 : 1, first});
        passes.push_back({view.renderTime[1], first ? 1 : 0, 1 - first});
    }

    const int threads = ThreadCount(rp.threads);
    int done = 0;
    for (const Pass &pass : passes) {
        RenderScene scene;
        scene.renderer = this;
        scene.projType = view.projType;
        scene.devWidth = width;
        scene.devHeight = height;
        scene.devAspect = rp.pixelAspect;
        scene.xscale = view.kx;
        scene.yscale = view.ky;
        scene.xc = view.xc;
        scene.yc = view.yc;
        scene.worldToCam = view.worldToCam[pass.matrix];
        scene.camToWorld = view.camToWorld[pass.matrix];
        scene.nearRange = job.hither;
        scene.farRange = job.yon;
        scene.frameDur = frp.frameDuration;
        scene.time = pass.time;
        scene.numThreads = threads;
        scene.Build(scene_, pass.time, rp.rendType == RENDTYPE_SELECT);
        // Building can take a while (the lights' shadow maps): ask before the rows.
        if (prog && prog->Progress(done, total) == RENDPROG_ABORT) return 0;
        job.scene = &scene;
        job.lights = &scene.Lights();

        std::vector<int> rows;
        for (int y = y0; y <= y1; ++y)
            if (pass.parity < 0 || (y & 1) == pass.parity) rows.push_back(y);
        if (!RenderRows(job, rows, threads, prog, done, total)) return 0;
        done += static_cast<int>(rows.size());
    }
    if (prog && prog->Progress(total, total) == RENDPROG_ABORT) return 0;
    return 1;
}

bool SceneRenderer::RenderRows(const FrameJob &job, const std::vector<int> &rows, int threads,
                               RendProgressCallback *prog, int doneBefore, int total) {
    std::atomic<int> rowsDone{0};
    std::atomic<bool> stop{false};
    std::mutex mutex;
    std::condition_variable finished;
    int running = threads;
    std::exception_ptr failure;

    auto work = [&](int worker) {
        try {
            PixelShadeContext sc(*job.scene, *job.lights, job.frp->ambient);
            std::vector<BMM_Color_64> row(static_cast<std::size_t>(job.x1 - job.x0 + 1));
            for (std::size_t i = worker; i < rows.size(); i += threads) {
                if (stop.load(std::memory_order_relaxed)) break;
                RenderRow(job, rows[i], sc, row);
                rowsDone.fetch_add(1, std::memory_order_relaxed);
            }
        } catch (...) {
            std::lock_guard<std::mutex> lock(mutex);
            if (!failure) failure = std::current_exception();
            stop = true;
        }
        std::lock_guard<std::mutex> lock(mutex);
        --running;
        finished.notify_one();
    };

    std::vector<std::jthread> pool;
    pool.reserve(threads);
    for (int w = 0; w < threads; ++w) pool.emplace_back(work, w);
    // This thread reports progress (the callback is only ever called from the thread that
    // called Render) and relays an abort.
    int reported = 0;
    {
        std::unique_lock<std::mutex> lock(mutex);
        while (running > 0) {
            finished.wait_for(lock, kProgressInterval);
            const int now = rowsDone.load();
            if (!prog || now == reported || stop) continue;
            reported = now;
            lock.unlock();
            const bool abort = prog->Progress(doneBefore + now, total) == RENDPROG_ABORT;
            lock.lock();
            if (abort) stop = true;
        }
    }
    pool.clear();  // joins
    if (failure) std::rethrow_exception(failure);
    return !stop;
}

BuiltInClassDesc<SceneRenderer> sceneRendererDesc("Scene Renderer", RENDERER_CLASS_ID,
                                                  SREND_CLASS_ID);

}  // namespace
