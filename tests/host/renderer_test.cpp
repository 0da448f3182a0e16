/// @file renderer_test.cpp
/// @brief The scene renderer: depth and material channels of a known scene, the RenderInfo
///        left on the bitmap (also when aborted), progress and abort, atmospherics driven per
///        frame and per segment from several threads, region and selected-only renders, the
///        light's view, shadows, field rendering and background images.
#include "shading_objects.h"
#include "test_objects.h"

#include "host/atmospheric.h"
#include "host/bitmap.h"
#include "host/camera.h"
#include "host/geometry.h"
#include "host/interface.h"
#include "host/light.h"
#include "host/material.h"
#include "host/renderer.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <numbers>
#include <optional>
#include <string>
#include <vector>

namespace {

using hosttest::RecordingAtmospheric;
using hosttest::SceneTest;

constexpr float kPi = std::numbers::pi_v<float>;

template <typename T>
T *Make(SClass_ID super, Class_ID id) {
    return dynamic_cast<T *>(static_cast<Animatable *>(CreateInstance(super, id)));
}

/// Records what a render reports and aborts on request.
class RecordingProgress : public RendProgressCallback {
public:
    std::vector<std::string> titles;
    std::vector<std::pair<int, int>> reports;
    int titlesBeforeFirstReport = -1;
    bool abortAfterTitle = false;

    void SetTitle(const TCHAR *title) override { titles.push_back(title); }
    int Progress(int done, int total) override {
        if (reports.empty()) titlesBeforeFirstReport = static_cast<int>(titles.size());
        reports.emplace_back(done, total);
        const bool titleSeen = !titles.empty() && titles.back() == "Preparing Materials";
        return abortAfterTitle && titleSeen && total > 0 ? RENDPROG_ABORT : RENDPROG_CONTINUE;
    }
};

struct BitmapCloser {
    void operator()(Bitmap *b) const { b->DeleteThis(); }
};

class Render : public SceneTest {
protected:
    void TearDown() override {
        renderer_.reset();
        SceneTest::TearDown();
    }

    /// A primitive node at `pos` with a standard material (ID `mtlID`, diffuse `diffuse`).
    INode *Add(Class_ID id, std::vector<std::pair<const char *, float>> params, Point3 pos,
               int mtlID, Color diffuse = Color(0.8f, 0.8f, 0.8f)) {
        auto *obj = Make<PrimitiveObject>(GEOMOBJECT_CLASS_ID, id);
        for (auto [name, v] : params) {
            IParamBlock *pb = obj->GetParamBlock();
            pb->SetValue(pb->FindParamByName(name), 0, v);
        }
        INode *node = GetCOREInterface()->CreateObjectNode(obj);
        node->SetNodeTM(0, TransMatrix(pos));
        auto *mtl = Make<StdMat>(MATERIAL_CLASS_ID, DMTL_CLASS_ID);
        mtl->SetGBufID(mtlID);
        mtl->SetDiffuse(diffuse, 0);
        mtl->SetAmbient(diffuse, 0);
        node->SetMtl(mtl);
        return node;
    }
    INode *Camera(Point3 pos, Point3 target, float fovDegrees) {
        auto *cam = Make<CameraObject>(CAMERA_CLASS_ID, FREE_CAMERA_CLASS_ID);
        cam->SetFOV(0, fovDegrees * kPi / 180.0f);
        return CreateCameraNode(cam, pos, target);
    }
    GenLight *Light(int type, Point3 pos, Point3 target, INode **node = nullptr) {
        auto *light = new GenLight(type);
        INode *n = GetCOREInterface()->CreateObjectNode(light);
        Matrix3 tm;
        const Point3 back = Normalize(pos - target);  // the light looks down its −z
        const Point3 side = Normalize(
            CrossProd(std::fabs(back.z) > 0.99f ? Point3(0, 1, 0) : Point3(0, 0, 1), back));
        tm = Matrix3(side, CrossProd(back, side), back, pos);
        n->SetNodeTM(0, tm);
        if (node) *node = n;
        return light;
    }
    std::unique_ptr<Bitmap, BitmapCloser> NewBitmap(int w, int h) {
        return std::unique_ptr<Bitmap, BitmapCloser>(
            TheManager->Create(BitmapInfo(BMM_TRUE_64, MAP_HAS_ALPHA, w, h)));
    }
    /// Opens the scene renderer on `view`, renders `bm` at t and closes; the render's result.
    int RenderView(INode *view, Bitmap *bm, RendParams rp = RendParams(),
                   FrameRendParams frp = FrameRendParams(),
                   RendProgressCallback *prog = nullptr, TimeValue t = 0) {
        rp.width = bm->Width();
        rp.height = bm->Height();
        if (!renderer_) renderer_.reset(Make<Renderer>(RENDERER_CLASS_ID, SREND_CLASS_ID));
        if (!renderer_->Open(GetCOREInterface()->GetRootNode(), view, nullptr, rp, nullptr))
            return -1;
        const int ok = renderer_->Render(t, bm, frp, nullptr, prog);
        renderer_->Close(nullptr);
        return ok;
    }

    struct RendererCloser {
        void operator()(Renderer *r) const { r->DeleteThis(); }
    };
    std::unique_ptr<Renderer, RendererCloser> renderer_;
};

float Depth(Bitmap &bm, int x, int y) {
    return bm.DepthChannel()[static_cast<std::size_t>(y) * bm.Width() + x];
}
int MtlID(Bitmap &bm, int x, int y) {
    return bm.MaterialChannel()[static_cast<std::size_t>(y) * bm.Width() + x];
}
float Luminance(Bitmap &bm, int x, int y) {
    const BMM_Color_64 p = bm.Pixel(x, y);
    return (p.r + p.g + p.b) / (3.0f * 65535.0f);
}

TEST_F(Render, DepthAndMaterialChannelsOfAKnownScene) {
    // Looking down −z from the origin: a sphere of radius 1 at 5 units, an 8 × 8 plane at 10
    // (the view is 11.5 units wide there, so the background shows around it).
    INode *cam = Camera(Point3(0, 0, 0), Point3(0, 0, -10), 60.0f);
    Add(SPHERE_CLASS_ID, {{"Radius", 1.0f}}, Point3(0, 0, -5), 7);
    Add(PLANE_CLASS_ID, {{"Width", 8.0f}, {"Length", 8.0f}}, Point3(0, 0, -10), 3);
    auto bm = NewBitmap(64, 48);
    FrameRendParams frp;
    frp.background = Color(0.25f, 0.5f, 0.75f);
    ASSERT_EQ(RenderView(cam, bm.get(), RendParams(), frp), 1);

    const RenderInfo *ri = bm->Storage()->GetRenderInfo();
    ASSERT_NE(ri, nullptr);
    ASSERT_NE(bm->DepthChannel(), nullptr) << "the renderer creates the channels";
    ASSERT_NE(bm->MaterialChannel(), nullptr);
    int sphere = 0, plane = 0, background = 0;
    for (int y = 0; y < 48; ++y) {
        for (int x = 0; x < 64; ++x) {
            // The exact answer at the pixel centre, from the ray through it.
            const ViewRay ray = MapScreenToCamRay(*ri, Point2(x, y));
            // Sphere hit in double precision: near the silhouette the root is sensitive.
            const double dx = ray.dir.x, dy = ray.dir.y, dz = ray.dir.z;
            const double a = dx * dx + dy * dy + dz * dz, b = -5.0 * dz;
            const double disc = b * b - a * 24.0;          // |centre|² − r² = 24
            if (std::fabs(disc) < 1e-5 * b * b) continue;  // grazing: either answer is right
            float expect = kFarDepth;
            int id = 0;
            if (disc >= 0.0) {
                expect = static_cast<float>(dz * (b - std::sqrt(disc)) / a);
                id = 7;
                ++sphere;
            } else if (std::fabs(ray.dir.x * 10.0f) <= 4.0f &&
                       std::fabs(ray.dir.y * 10.0f) <= 4.0f) {
                expect = -10.0f;
                id = 3;
                ++plane;
            } else {
                ++background;
            }
            ASSERT_NEAR(Depth(*bm, x, y), expect, 1e-4f) << x << ", " << y;
            ASSERT_EQ(MtlID(*bm, x, y), id) << x << ", " << y;
            EXPECT_EQ(bm->Pixel(x, y).a, id ? 65535 : 0);
            if (!id) {
                EXPECT_EQ(bm->Pixel(x, y).b, static_cast<UWORD>(0.75f * 65535.0f));
            }
        }
    }
    EXPECT_GT(sphere, 20);
    EXPECT_GT(plane, 200);
    EXPECT_GT(background, 200);
    EXPECT_FLOAT_EQ(Depth(*bm, 32, 24), -4.0f) << "the centre ray meets the sphere's pole";

    // The RenderInfo is the camera's.
    RendParams rp;
    rp.width = 64;
    rp.height = 48;
    RenderInfo expect;
    ASSERT_TRUE(MakeCameraRenderInfo(cam, 0, rp, expect));
    EXPECT_EQ(ri->kx, expect.kx);
    EXPECT_EQ(ri->xc, expect.xc);
    EXPECT_EQ(ri->worldToCam[0], expect.worldToCam[0]);
}

TEST_F(Render, AbortAfterPreparingMaterialsLeavesTheRenderInfo) {
    INode *cam = Camera(Point3(0, -50, 20), Point3(0, 0, 0), 45.0f);
    Add(SPHERE_CLASS_ID, {{"Radius", 10.0f}}, Point3(0, 0, 0), 1);
    auto bm = NewBitmap(40, 30);
    RecordingProgress prog;
    prog.abortAfterTitle = true;
    EXPECT_EQ(RenderView(cam, bm.get(), RendParams(), FrameRendParams(), &prog), 0);
    ASSERT_FALSE(prog.titles.empty());
    EXPECT_EQ(prog.titles.front(), "Preparing Materials");
    EXPECT_EQ(prog.titlesBeforeFirstReport, 1) << "the title comes before any progress";
    EXPECT_EQ(prog.reports.size(), 1u) << "stopped at the first report";
    const RenderInfo *ri = bm->Storage()->GetRenderInfo();
    ASSERT_NE(ri, nullptr);
    RendParams rp;
    rp.width = 40;
    rp.height = 30;
    RenderInfo expect;
    ASSERT_TRUE(MakeCameraRenderInfo(cam, 0, rp, expect));
    EXPECT_EQ(ri->worldToCam[0], expect.worldToCam[0]);
    EXPECT_EQ(ri->kx, expect.kx);
    EXPECT_EQ(ri->ky, expect.ky);
    EXPECT_NE(bm->DepthChannel(), nullptr);

    // Without an abort: progress rises to the total and ends there.
    RecordingProgress full;
    EXPECT_EQ(RenderView(cam, bm.get(), RendParams(), FrameRendParams(), &full), 1);
    ASSERT_GE(full.reports.size(), 2u);
    EXPECT_EQ(full.reports.front(), std::make_pair(0, 30));
    EXPECT_EQ(full.reports.back(), std::make_pair(30, 30));
    for (std::size_t i = 1; i < full.reports.size(); ++i)
        EXPECT_GE(full.reports[i].first, full.reports[i - 1].first);
}

TEST_F(Render, AtmosphericsShadeEveryPrimarySegmentOnceFromSeveralThreads) {
    INode *cam = Camera(Point3(0, 0, 0), Point3(0, 0, -10), 60.0f);
    Add(SPHERE_CLASS_ID, {{"Radius", 2.0f}}, Point3(0, 0, -10), 1, Color(1, 1, 1));
    Interface *ip = GetCOREInterface();
    auto *fog = new RecordingAtmospheric();
    fog->tint = Color(1.0f, 0.0f, 0.0f);
    fog->density = 0.5f;
    ip->AddAtmosphere(fog);
    auto *off = new RecordingAtmospheric();
    off->SetAFlag(A_ATMOS_DISABLED);
    ip->AddAtmosphere(off);

    const int w = 48, h = 32;
    fog->Prepare(w, h);
    off->Prepare(w, h);
    auto bm = NewBitmap(w, h);
    RendParams rp;
    rp.threads = 2;
    ASSERT_EQ(RenderView(cam, bm.get(), rp, FrameRendParams(), nullptr, 320), 1);

    EXPECT_EQ(fog->updates, 1);
    EXPECT_EQ(fog->lastUpdate, 320);
    EXPECT_FALSE(fog->shadedBeforeUpdate);
    for (int i = 0; i < w * h; ++i) ASSERT_EQ(fog->segments[i].load(), 1) << "pixel " << i;
    EXPECT_GT(fog->threads.size(), 1u);
    int background = 0;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) background += MtlID(*bm, x, y) == 0;
    EXPECT_EQ(fog->backgroundSegments.load(), background);
    // Half fog over a black background: red at half strength and half transparent.
    const BMM_Color_64 corner = bm->Pixel(0, 0);
    EXPECT_NEAR(corner.r, 32767, 2);
    EXPECT_EQ(corner.g, 0);
    EXPECT_NEAR(corner.a, 32767, 2);
    EXPECT_EQ(off->updates, 0) << "switched-off effects are skipped";
    EXPECT_EQ(off->shaded.load(), 0);
}

TEST_F(Render, RegionAndSelectedOnlyRenders) {
    INode *cam = Camera(Point3(0, 0, 0), Point3(0, 0, -10), 60.0f);
    INode *ball = Add(SPHERE_CLASS_ID, {{"Radius", 1.0f}}, Point3(0, 0, -5), 7);
    INode *ground =
        Add(PLANE_CLASS_ID, {{"Width", 100.0f}, {"Length", 100.0f}}, Point3(0, 0, -10), 3);
    auto bm = NewBitmap(32, 32);
    bm->Fill(1000, 2000, 3000, 4000);
    RendParams rp;
    rp.rendType = RENDTYPE_REGION;
    rp.regxmin = 4;
    rp.regxmax = 11;
    rp.regymin = 20;
    rp.regymax = 25;
    RecordingProgress prog;
    ASSERT_EQ(RenderView(cam, bm.get(), rp, FrameRendParams(), &prog), 1);
    EXPECT_EQ(prog.reports.back(), std::make_pair(6, 6));
    for (int y = 0; y < 32; ++y) {
        for (int x = 0; x < 32; ++x) {
            const bool inside = x >= 4 && x <= 11 && y >= 20 && y <= 25;
            EXPECT_EQ(bm->Pixel(x, y) == (BMM_Color_64{1000, 2000, 3000, 4000}), !inside);
            EXPECT_EQ(Depth(*bm, x, y), inside ? -10.0f : kFarDepth);
        }
    }

    // Selected only: the unselected ball is neither seen nor in the way.
    GetCOREInterface()->SelectNode(ground);
    rp = RendParams();
    rp.rendType = RENDTYPE_SELECT;
    ASSERT_EQ(RenderView(cam, bm.get(), rp), 1);
    EXPECT_EQ(MtlID(*bm, 16, 16), 3);
    EXPECT_FLOAT_EQ(Depth(*bm, 16, 16), -10.0f);
    GetCOREInterface()->SelectNode(ball);
    ASSERT_EQ(RenderView(cam, bm.get(), rp), 1);
    EXPECT_EQ(MtlID(*bm, 16, 16), 7);
    EXPECT_EQ(MtlID(*bm, 0, 0), 0);
}

TEST_F(Render, LightViewMatchesTheLightsProjection) {
    Add(PLANE_CLASS_ID, {{"Width", 200.0f}, {"Length", 200.0f}}, Point3(0, 0, 0), 3);
    INode *spotNode = nullptr;
    GenLight *spot = Light(TSPOT_LIGHT, Point3(30, -40, 60), Point3(0, 0, 0), &spotNode);
    spot->SetFallsize(0, 50.0f);
    spot->SetMapSize(0, 64);
    auto bm = NewBitmap(64, 64);
    ASSERT_EQ(RenderView(spotNode, bm.get()), 1);
    const RenderInfo *ri = bm->Storage()->GetRenderInfo();
    ASSERT_NE(ri, nullptr);

    std::unique_ptr<ObjLightDesc> desc(spot->CreateLightDesc(spotNode));
    ASSERT_TRUE(desc->Update(0));
    EXPECT_EQ(ri->projType, desc->projType);
    EXPECT_EQ(ri->kx, desc->xscale);
    EXPECT_EQ(ri->ky, desc->yscale);
    EXPECT_EQ(ri->xc, desc->centerOffset);
    EXPECT_EQ(ri->yc, desc->centerOffset);
    for (Point3 p : {Point3(0, 0, 0), Point3(10, 5, 0), Point3(-8, 12, 3)}) {
        const Point2 byRender = ri->MapWorldToScreen(p);
        const Point2 byLight = desc->MapToLightView(desc->worldToLight.PointTransform(p));
        EXPECT_NEAR(byRender.x, byLight.x, 1e-3f);
        EXPECT_NEAR(byRender.y, byLight.y, 1e-3f);
        // The texel holds the ground's depth as the light sees it.
        if (p.z == 0.0f) {
            const int u = static_cast<int>(byLight.x + 0.5f),
                      v = static_cast<int>(byLight.y + 0.5f);
            EXPECT_NEAR(Depth(*bm, u, v), desc->worldToLight.PointTransform(p).z, 2.0f);
        }
    }

    // A directional light's view is parallel; an omni light has none.
    INode *dirNode = nullptr;
    GenLight *dir = Light(DIR_LIGHT, Point3(0, 0, 50), Point3(0, 0, 0), &dirNode);
    dir->SetFallsize(0, 40.0f);
    dir->SetMapSize(0, 64);
    ASSERT_EQ(RenderView(dirNode, bm.get()), 1);
    EXPECT_EQ(bm->Storage()->GetRenderInfo()->projType, PROJ_PARALLEL);
    EXPECT_FLOAT_EQ(Depth(*bm, 32, 32), -50.0f);
    INode *omniNode = nullptr;
    Light(OMNI_LIGHT, Point3(0, 0, 50), Point3(0, 0, 0), &omniNode);
    EXPECT_EQ(RenderView(omniNode, bm.get()), -1) << "the renderer cannot open on it";
}

TEST_F(Render, PointsInShadowAreDarker) {
    INode *cam = Camera(Point3(0, -60, 60), Point3(0, 0, 0), 45.0f);
    Add(PLANE_CLASS_ID, {{"Width", 200.0f}, {"Length", 200.0f}}, Point3(0, 0, 0), 3);
    Add(SPHERE_CLASS_ID, {{"Radius", 5.0f}}, Point3(0, 0, 10), 7);
    GenLight *spot = Light(FSPOT_LIGHT, Point3(0, 0, 80), Point3(0, 0, 0));
    spot->SetHotspot(0, 60.0f);
    spot->SetFallsize(0, 70.0f);
    spot->SetMapSize(0, 256);
    const int w = 80, h = 60;
    auto lit = NewBitmap(w, h);
    FrameRendParams frp;
    frp.ambient = Color(0.05f, 0.05f, 0.05f);
    ASSERT_EQ(RenderView(cam, lit.get(), RendParams(), frp), 1);
    spot->SetShadow(TRUE);
    auto shadowed = NewBitmap(w, h);
    ASSERT_EQ(RenderView(cam, shadowed.get(), RendParams(), frp), 1);

    // A ground point in the ball's shadow (and in the camera's view past the ball), and one
    // well away from the shadow.
    const RenderInfo *ri = shadowed->Storage()->GetRenderInfo();
    const Point2 below = ri->MapWorldToScreen(Point3(0, -3, 0));
    const Point2 away = ri->MapWorldToScreen(Point3(15, 0, 0));
    const int bx = static_cast<int>(below.x + 0.5f), by = static_cast<int>(below.y + 0.5f);
    const int ax = static_cast<int>(away.x + 0.5f), ay = static_cast<int>(away.y + 0.5f);
    ASSERT_EQ(MtlID(*shadowed, bx, by), 3);
    ASSERT_EQ(MtlID(*shadowed, ax, ay), 3);
    EXPECT_LT(Luminance(*shadowed, bx, by), 0.3f * Luminance(*lit, bx, by));
    EXPECT_NEAR(Luminance(*shadowed, ax, ay), Luminance(*lit, ax, ay), 1e-4f);
    EXPECT_GT(Luminance(*shadowed, ax, ay), 0.2f);
}

TEST_F(Render, FieldsRenderTheirRowsAtTheirOwnTime) {
    INode *cam = Camera(Point3(0, 0, 0), Point3(0, 0, -10), 60.0f);
    INode *ball = Add(SPHERE_CLASS_ID, {{"Radius", 1.0f}}, Point3(0, 0, -5), 7);
    ball->SetPositionKey(0, Point3(0, 0, -5));
    ball->SetPositionKey(160, Point3(0, 0, -7));  // −6 half a frame later
    auto bm = NewBitmap(32, 32);
    RendParams rp;
    rp.fieldRender = TRUE;
    rp.fieldOrder = 0;  // even rows first
    ASSERT_EQ(RenderView(cam, bm.get(), rp), 1);
    const RenderInfo *ri = bm->Storage()->GetRenderInfo();
    ASSERT_TRUE(ri->fieldRender);
    EXPECT_FALSE(ri->fieldOdd);
    EXPECT_EQ(ri->renderTime[0], 0);
    EXPECT_EQ(ri->renderTime[1], 80);
    // The ray through (16, y) for y = 16 (even) and 17 (odd) both meet the ball near its pole.
    EXPECT_NEAR(Depth(*bm, 16, 16), -4.0f, 0.01f);
    EXPECT_NEAR(Depth(*bm, 16, 17), -5.0f, 0.05f);

    rp.fieldOrder = 1;  // odd rows first, at the frame's time
    ASSERT_EQ(RenderView(cam, bm.get(), rp), 1);
    EXPECT_NEAR(Depth(*bm, 16, 17), -4.0f, 0.05f);
    EXPECT_NEAR(Depth(*bm, 16, 16), -5.0f, 0.01f);
}

TEST_F(Render, BackgroundImageIsScaledToTheFrame) {
    INode *cam = Camera(Point3(0, 0, 0), Point3(0, 0, -10), 60.0f);
    auto plate = NewBitmap(2, 2);
    plate->PutPixel(0, 0, BMM_Color_64{65535, 0, 0, 65535});
    plate->PutPixel(1, 0, BMM_Color_64{0, 65535, 0, 65535});
    plate->PutPixel(0, 1, BMM_Color_64{0, 0, 65535, 65535});
    plate->PutPixel(1, 1, BMM_Color_64{65535, 65535, 65535, 65535});
    FrameRendParams frp;
    frp.backgroundImage = plate.get();
    auto bm = NewBitmap(40, 20);
    ASSERT_EQ(RenderView(cam, bm.get(), RendParams(), frp), 1);
    EXPECT_GT(bm->Pixel(0, 0).r, 60000);
    EXPECT_GT(bm->Pixel(39, 0).g, 60000);
    EXPECT_GT(bm->Pixel(0, 19).b, 60000);
    EXPECT_EQ(bm->Pixel(39, 19).a, 65535) << "an opaque plate stays opaque";
    EXPECT_EQ(Depth(*bm, 20, 10), kFarDepth);
}

TEST_F(Render, OpenNeedsAView) {
    auto *r = Make<Renderer>(RENDERER_CLASS_ID, SREND_CLASS_ID);
    ASSERT_NE(r, nullptr);
    RendParams rp;
    Interface *ip = GetCOREInterface();
    EXPECT_EQ(r->Open(ip->GetRootNode(), nullptr, nullptr, rp, nullptr), 0);
    INode *ball = Add(SPHERE_CLASS_ID, {}, Point3(), 1);
    EXPECT_EQ(r->Open(ip->GetRootNode(), ball, nullptr, rp, nullptr), 0) << "not a view";
    auto bm = NewBitmap(8, 8);
    FrameRendParams frp;
    EXPECT_EQ(r->Render(0, bm.get(), frp, nullptr), 0) << "not open";
    ViewParams vp;
    vp.affineTM = TransMatrix(Point3(0, 0, -50));  // world to camera: the ball 50 units ahead
    ASSERT_NE(r->Open(ip->GetRootNode(), nullptr, &vp, rp, nullptr), 0);
    EXPECT_EQ(r->Render(0, bm.get(), frp, nullptr), 1);
    EXPECT_EQ(MtlID(*bm, 4, 4), 1);
    r->Close(nullptr);
    r->DeleteThis();
}

}  // namespace
