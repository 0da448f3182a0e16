/// @file bench_engine.cpp
/// @brief The sprite render engine's own cost per drawn pixel: "Nimbra Shader" renders a
///        1280 × 720 frame of 3 helpers × 700 overlapping sprites (radius 6 to 40 pixels)
///        through trivial plug-ins (a disk shape, a constant colour, a composite that writes
///        the pixel), so that what is measured is the engine around the plug-in calls.
///
/// Items are drawn pixels (composite calls), so items_per_second is pixels per second.
/// Variants: an open scene (nothing in front of the particles); a scene whose every other
/// 16-pixel column band is nearer geometry (occlusion tests, skipped pixels and edge blends);
/// and an open scene with depth and material writes on.
#include "framework/class_ids.h"
#include "framework/plugin_interface.h"
#include "renderer/render_engine.h"
#include "renderer/shader_filter.h"
#include "setup/helper.h"
#include "host/bitmap.h"
#include "host/inode.h"
#include "host/interface.h"
#include "host/paramblock.h"
#include "host/particles.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <vector>

namespace {

constexpr int kWidth = 1280;
constexpr int kHeight = 720;
constexpr int kHelpers = 3;
constexpr int kParticlesPerHelper = 700;
constexpr float kFocal = 1100.0f;  ///< pixels per unit at depth −1
constexpr int kLife = 1000;        ///< ticks; sprite radius grows linearly with age
constexpr float kMinRadius = 6.0f;
constexpr float kMaxRadius = 40.0f;
constexpr BMM_Color_64 kScene{8000, 9000, 10000, 65535};

/// Pixels drawn in all, counted by the composite.
std::int64_t drawnPixels = 0;

class DiskShape : public NimbraPlugIn {
public:
    Class_ID ClassID() override { return kCircleShapeClassID; }
    int __ParticleShape__(unsigned short *density, int radius, int dx, int dy, int,
                          int) override {
        const int d2 = dx * dx + dy * dy, r2 = radius * radius;
        if (d2 > r2) return 0;
        *density = static_cast<unsigned short>(65535 - (d2 << 16) / (r2 + 1));
        return 1;
    }
};

class ConstantColor : public NimbraPlugIn {
public:
    Class_ID ClassID() override { return kDefaultColorClassID; }
    void __ColorShader__(unsigned short density, BMM_Color_64 *c, int, int, int, int) override {
        *c = {density, UWORD(density / 2), UWORD(density / 4), density};
    }
};

class WriteComposite : public NimbraPlugIn {
public:
    Class_ID ClassID() override { return kDefaultCompositeClassID; }
    void __BeginFrame__(TimeValue, Bitmap *output, ImageFilter *, Bitmap *) override {
        output_ = output;
    }
    void __ImageComposite__(int x, int y, BMM_Color_64 *c, unsigned short) override {
        ++drawnPixels;
        output_->PutPixel(x, y, *c);
    }

private:
    Bitmap *output_ = nullptr;
};

/// Linear from birth at the window's start to death at its end.
class LinearController : public NimbraController {
public:
    Class_ID ClassID() override { return kHelperControllerClassID; }
    using NimbraController::__Eval__;
    void __Reset__(TimeValue, int lifeStart, int lifeEnd, int) override {
        start_ = lifeStart;
        span_ = std::max(1, lifeEnd - lifeStart);
    }
    void __Eval__(float *out, int age, float birth, float death) override {
        *out = birth + (death - birth) * static_cast<float>(age - start_) / span_;
    }

private:
    int start_ = 0;
    int span_ = 1;
};

template <typename T>
class Desc : public ClassDesc {
public:
    int IsPublic() override { return TRUE; }
    void *Create(BOOL) override { return static_cast<Animatable *>(new T); }
    const TCHAR *ClassName() override { return "Bench"; }
    SClass_ID SuperClassID() override { return REF_MAKER_CLASS_ID; }
    Class_ID ClassID() override { return T().ClassID(); }
    const TCHAR *Category() override { return "Bench"; }
};

/// Particles placed once; `Update` leaves them.
class FixedParticles : public ParticleObject {
public:
    Class_ID ClassID() override { return Class_ID(0x42454E43, 0x4E4D4252); }
    void Update(TimeValue, INode *) override {}
    void Place(std::mt19937 &rng) {
        std::uniform_real_distribution<float> sx(0.0f, kWidth), sy(0.0f, kHeight);
        std::uniform_real_distribution<float> depth(-400.0f, -100.0f);
        std::uniform_int_distribution<int> age(0, kLife);
        Resize(kParticlesPerHelper);
        for (int i = 0; i < kParticlesPerHelper; ++i) {
            const float z = depth(rng);
            // The world point that projects to (sx, sy) at depth z.
            const Point3 p((sx(rng) - kWidth / 2) * z / -kFocal,
                           (sy(rng) - kHeight / 2) * z / kFocal, z);
            SetParticle(i, p, Point3(), age(rng));
        }
    }
};

Desc<DiskShape> shapeDesc;
Desc<ConstantColor> colorDesc;
Desc<WriteComposite> compositeDesc;
Desc<LinearController> controllerDesc;

/// The scene: three helpers whose sprite radius runs from kMinRadius to kMaxRadius over the
/// life. Sizes are in world units at depth −1, so they are scaled per particle by the
/// projection; the radius range holds at the depth range's middle.
void BuildScene(bool writeBuffers) {
    static bool registered = [] {
        ClassDirectory &dir = ClassDirectory::Instance();
        dir.Add(GetNimbraHelperDesc(), "bench");
        dir.Add(&shapeDesc, "bench");
        dir.Add(&colorDesc, "bench");
        dir.Add(&compositeDesc, "bench");
        dir.Add(&controllerDesc, "bench");
        return true;
    }();
    (void)registered;
    Interface *ip = GetCOREInterface();
    ip->ResetScene();
    std::mt19937 rng(1234);
    constexpr float kMidDepth = 250.0f;
    for (int h = 0; h < kHelpers; ++h) {
        auto *helper = dynamic_cast<NimbraHelper *>(
            static_cast<Animatable *>(CreateInstance(HELPER_CLASS_ID, kNimbraHelperClassID)));
        ip->CreateObjectNode(helper);
        auto *particles = new FixedParticles;
        particles->Place(rng);
        helper->AddParticleSystem(ip->CreateObjectNode(particles));
        IParamBlock *pb = helper->AgeBlock();
        pb->SetValue(NimbraHelper::kLifeBegins, 0, 0);
        pb->SetValue(NimbraHelper::kLifeEnds, 0, kLife);
        pb->SetValue(NimbraHelper::kBirthSize, 0, (kMinRadius - 1.5f) * kMidDepth / kFocal);
        pb->SetValue(NimbraHelper::kDeathSize, 0, (kMaxRadius - 1.5f) * kMidDepth / kFocal);
        if (writeBuffers) {
            pb->SetValue(NimbraHelper::kMaterialId, 0, 3 + h);
            pb->SetValue(NimbraHelper::kUpdateZBuffer, 0, 1);
        }
    }
}

/// A rendered frame: colour, depth (kFarDepth, or nearer bands) and the camera.
BitmapPtr MakeFrame(bool bands) {
    BitmapPtr frame(
        TheManager->Create(BitmapInfo(BMM_TRUE_64, MAP_HAS_ALPHA, kWidth, kHeight)));
    frame->Fill(kScene);
    frame->CreateChannels(BMM_CHAN_Z | BMM_CHAN_MTL_ID);
    float *depth = frame->DepthChannel();
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x)
            depth[y * kWidth + x] = bands && (x / 16) % 2 ? -50.0f : kFarDepth;
    RenderInfo *ri = frame->Storage()->AllocRenderInfo();
    ri->kx = -kFocal;
    ri->ky = kFocal;
    ri->xc = kWidth / 2;
    ri->yc = kHeight / 2;
    return frame;
}

enum class Scene { kOpen, kBehindBands, kWriteBuffers };

void BM_ShaderFrame(benchmark::State &state, Scene scene) {
    BuildScene(scene == Scene::kWriteBuffers);
    BitmapPtr frame = MakeFrame(scene == Scene::kBehindBands);
    const std::vector<float> depth(frame->DepthChannel(),
                                   frame->DepthChannel() + kWidth * kHeight);
    NimbraShaderFilter filter;
    filter.SetSourceMap(frame.get());
    drawnPixels = 0;
    for (auto _ : state) {
        if (scene == Scene::kWriteBuffers) {
            // Each frame starts from the same depths, as a real frame would.
            state.PauseTiming();
            std::copy(depth.begin(), depth.end(), frame->DepthChannel());
            state.ResumeTiming();
        }
        filter.Render(nullptr);
    }
    state.SetItemsProcessed(drawnPixels);
    state.counters["px_per_frame"] =
        static_cast<double>(drawnPixels) / static_cast<double>(state.iterations());
    GetCOREInterface()->ResetScene();
}

}  // namespace

BENCHMARK_CAPTURE(BM_ShaderFrame, open_scene, Scene::kOpen)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_ShaderFrame, behind_bands, Scene::kBehindBands)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_ShaderFrame, depth_and_material, Scene::kWriteBuffers)
    ->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
