/// @file bench_renderer.cpp
/// @brief Scene renderer throughput in pixels per second at 1280 × 720 on a scene like the
///        examples: a ground plane, a few objects with standard materials, a shadow-casting
///        spot light, a directional fill light and an omni light with shadows. With
///        NIMBRA_BENCH_IMAGE set, the last frame is written to that file for a look.
#include "host/bitmap.h"
#include "host/camera.h"
#include "host/geometry.h"
#include "host/image_file.h"
#include "host/interface.h"
#include "host/light.h"
#include "host/material.h"
#include "host/renderer.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdlib>
#include <numbers>
#include <utility>
#include <vector>

namespace {

constexpr int kWidth = 1280;
constexpr int kHeight = 720;

template <typename T>
T *Make(SClass_ID super, Class_ID id) {
    return dynamic_cast<T *>(static_cast<Animatable *>(CreateInstance(super, id)));
}

INode *AddObject(Class_ID id, std::vector<std::pair<const char *, float>> params, Point3 pos,
                 Color diffuse, int mtlID) {
    auto *obj = Make<PrimitiveObject>(GEOMOBJECT_CLASS_ID, id);
    for (auto [name, v] : params)
        obj->GetParamBlock()->SetValue(obj->GetParamBlock()->FindParamByName(name), 0, v);
    INode *node = GetCOREInterface()->CreateObjectNode(obj);
    node->SetNodeTM(0, TransMatrix(pos));
    auto *mtl = Make<StdMat>(MATERIAL_CLASS_ID, DMTL_CLASS_ID);
    mtl->SetDiffuse(diffuse, 0);
    mtl->SetAmbient(diffuse, 0);
    mtl->SetShinStr(0.5f, 0);
    mtl->SetShininess(0.4f, 0);
    mtl->SetGBufID(mtlID);
    node->SetMtl(mtl);
    return node;
}

/// A light of `type` at `pos` aimed at `target`.
GenLight *AddLight(int type, Point3 pos, Point3 target) {
    auto *light = new GenLight(type);
    INode *node = GetCOREInterface()->CreateObjectNode(light);
    const Point3 back = Normalize(pos - target);
    const Point3 side = Normalize(CrossProd(Point3(0, 0, 1), back));
    node->SetNodeTM(0, Matrix3(side, CrossProd(back, side), back, pos));
    return light;
}

/// The example-like scene, its lights casting shadows or not; the camera node.
INode *BuildScene(bool shadows) {
    Interface *ip = GetCOREInterface();
    ip->ResetScene();
    AddObject(PLANE_CLASS_ID, {{"Width", 400.0f}, {"Length", 400.0f}}, Point3(0, 0, 0),
              Color(0.6f, 0.6f, 0.55f), 1);
    AddObject(SPHERE_CLASS_ID, {{"Radius", 15.0f}}, Point3(-30, 10, 15),
              Color(0.8f, 0.2f, 0.1f), 2);
    AddObject(BOXOBJ_CLASS_ID, {{"Width", 25.0f}, {"Length", 25.0f}, {"Height", 25.0f}},
              Point3(25, 20, 0), Color(0.2f, 0.4f, 0.8f), 3);
    AddObject(CYLINDER_CLASS_ID, {{"Radius", 8.0f}, {"Height", 40.0f}}, Point3(0, 50, 0),
              Color(0.3f, 0.7f, 0.3f), 4);
    AddObject(SPHERE_CLASS_ID, {{"Radius", 6.0f}}, Point3(10, -20, 6), Color(0.9f, 0.8f, 0.2f),
              5);

    GenLight *key = AddLight(TSPOT_LIGHT, Point3(-80, -100, 160), Point3(0, 10, 0));
    key->SetShadow(shadows);
    key->SetHotspot(0, 50.0f);
    key->SetFallsize(0, 70.0f);
    key->SetMapSize(0, 1024);
    GenLight *fill = AddLight(DIR_LIGHT, Point3(100, -50, 80), Point3(0, 0, 0));
    fill->SetIntensity(0, 0.3f);
    fill->SetFallsize(0, 1000.0f);
    fill->SetHotspot(0, 990.0f);
    GenLight *rim = AddLight(OMNI_LIGHT, Point3(60, 120, 90), Point3(0, 0, 0));
    rim->SetIntensity(0, 0.4f);
    rim->SetShadow(shadows);
    rim->SetMapSize(0, 256);

    auto *cam = Make<CameraObject>(CAMERA_CLASS_ID, FREE_CAMERA_CLASS_ID);
    cam->SetFOV(0, 50.0f * std::numbers::pi_v<float> / 180.0f);
    return CreateCameraNode(cam, Point3(0, -170, 90), Point3(0, 15, 10));
}

/// One frame per iteration with `state.range(0)` threads (0: all cores), shadows when
/// `state.range(1)` is nonzero (their maps are rebuilt every frame).
void BM_RenderFrame(benchmark::State &state) {
    INode *camera = BuildScene(state.range(1) != 0);
    Bitmap *bm = TheManager->Create(BitmapInfo(BMM_TRUE_64, MAP_HAS_ALPHA, kWidth, kHeight));
    auto *renderer = Make<Renderer>(RENDERER_CLASS_ID, SREND_CLASS_ID);
    RendParams rp;
    rp.width = kWidth;
    rp.height = kHeight;
    rp.threads = static_cast<int>(state.range(0));
    FrameRendParams frp;
    frp.ambient = Color(0.08f, 0.08f, 0.1f);
    frp.background = Color(0.2f, 0.25f, 0.3f);
    renderer->Open(GetCOREInterface()->GetRootNode(), camera, nullptr, rp, nullptr);
    for (auto _ : state) {
        const int ok = renderer->Render(0, bm, frp, nullptr);
        benchmark::DoNotOptimize(ok);
        if (!ok) state.SkipWithError("render failed");
    }
    if (const char *path = std::getenv("NIMBRA_BENCH_IMAGE")) WriteImageFile(path, *bm);
    state.SetItemsProcessed(state.iterations() * kWidth * kHeight);
    state.counters["pixels/s"] =
        benchmark::Counter(static_cast<double>(state.iterations()) * kWidth * kHeight,
                           benchmark::Counter::kIsRate);
    renderer->Close(nullptr);
    renderer->DeleteThis();
    bm->DeleteThis();
    GetCOREInterface()->ResetScene();
}
BENCHMARK(BM_RenderFrame)
    ->ArgNames({"threads", "shadows"})
    ->Args({1, 1})
    ->Args({0, 1})
    ->Args({1, 0})
    ->Args({0, 0})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
