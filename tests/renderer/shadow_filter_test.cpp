/// @file shadow_filter_test.cpp
/// @brief "Nimbra Shadow" and ZephraLight: which lights get particle shadow maps and what the
///        maps hold, how the light dims behind particles, and the filter's failures.
#include "renderer_fixture.h"

#include "lights/zephra_light.h"
#include "renderer/render_engine.h"
#include "renderer/shadow_filter.h"
#include "host/renderer.h"

#include <memory>
#include <utility>

namespace rendertest {
namespace {

constexpr int kMapSize = 64;
constexpr float kParticleSize = 5.0f;  // about five texels of radius on a 64-texel map

/// A ZephraLight on a new node at the origin looking down −z, like the test frames' camera.
ZephraLight *AddZephraLight(bool shadows, int mapSize = kMapSize, INode **node = nullptr) {
    auto *light = dynamic_cast<ZephraLight *>(
        static_cast<Animatable *>(CreateInstance(LIGHT_CLASS_ID, kZephraLightClassID)));
    EXPECT_NE(light, nullptr);
    INode *n = GetCOREInterface()->CreateObjectNode(light);
    if (node) *node = n;
    light->SetShadow(shadows);
    light->SetMapSize(0, mapSize);
    return light;
}

std::shared_ptr<ParticleShadowMap> LeftoverMap() {
    return std::make_shared<ParticleShadowMap>(
        TheManager->Create(BitmapInfo(BMM_TRUE_64, MAP_HAS_ALPHA, 4, 4)), 4, 4);
}

class PointContext : public ShadeContext {
public:
    explicit PointContext(Point3 p) : p_(p) {}
    IPoint2 ScreenCoord() override { return {}; }
    Point3 P() override { return p_; }
    Point3 Normal() override { return {0.0f, 0.0f, 1.0f}; }
    Point3 V() override { return {0.0f, 0.0f, -1.0f}; }

private:
    Point3 p_;
};

/// The colour the light on `node` gives the point p; black where it does not light it.
Color LightAt(INode *node, Point3 p) {
    auto *light = dynamic_cast<GenLight *>(node->GetObjectRef());
    std::unique_ptr<ObjLightDesc> desc(light->CreateLightDesc(node));
    desc->Update(0, nullptr, TRUE);
    PointContext sc(p);
    Point3 normal(0.0f, 0.0f, 1.0f), dir;
    Color c;
    float dot = 0.0f, coef = 0.0f;
    return desc->Illuminate(sc, normal, c, dir, dot, coef) ? c : Color();
}

class ShadowFilter : public RendererTest {
protected:
    /// A helper with one particle straight ahead of the lights, casting shadows or not.
    TestHelper AddParticle(bool castShadows) {
        TestHelper h = AddHelper({{Point3(0, 0, kDepth), 10}});
        h.SetSize(kParticleSize);
        h.Set(NimbraHelper::kCastShadows, castShadows ? 1 : 0);
        return h;
    }
};

TEST_F(ShadowFilter, WithoutAShadowCasterLeavesTheFrameAndTheLightsAlone) {
    AddParticle(false);
    ZephraLight *light = AddZephraLight(true);
    const auto leftover = LeftoverMap();
    light->particleShadow = leftover;
    const BMM_Color_64 background{100, 200, 300, 400};
    TestFrame frame(8, 8, background);
    theShadowMapsReady = TRUE;

    NimbraShadowFilter filter;
    filter.SetSourceMap(frame.bitmap.get());
    EXPECT_TRUE(filter.Render(nullptr));

    EXPECT_EQ(light->particleShadow, leftover);
    EXPECT_FALSE(theShadowMapsReady);
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x) {
            const BMM_Color_64 p = frame->Pixel(x, y);
            EXPECT_TRUE(p.r == background.r && p.g == background.g && p.b == background.b &&
                        p.a == background.a);
            EXPECT_EQ(frame.Depth(x, y), kFarDepth);
        }
    EXPECT_TRUE(ui.Messages().empty());
}

TEST_F(ShadowFilter, EachShadowingLightGetsAMapOfParticleDepthsAndNoOtherDoes) {
    AddParticle(true);
    ZephraLight *large = AddZephraLight(true, kMapSize);
    ZephraLight *small = AddZephraLight(true, kMapSize / 2);
    ZephraLight *unsized = AddZephraLight(true, 0);  // gets the smallest map a light projects
    ZephraLight *off = AddZephraLight(false);
    off->particleShadow = LeftoverMap();

    NimbraShadowFilter filter;
    ASSERT_TRUE(filter.Render(nullptr));

    EXPECT_EQ(off->particleShadow, nullptr);
    EXPECT_TRUE(theShadowMapsReady);
    for (auto [light, size] : {std::pair{large, kMapSize}, std::pair{small, kMapSize / 2},
                               std::pair{unsized, kMinShadowMapSize}}) {
        SCOPED_TRACE(size);
        const ParticleShadowMap *map = light->particleShadow.get();
        ASSERT_TRUE(map && map->depth);
        ASSERT_EQ(map->width, size);
        ASSERT_EQ(map->height, size);
        int covered = 0;
        for (int y = 0; y < size; ++y)
            for (int x = 0; x < size; ++x) {
                const float d = map->depth[y * size + x];
                if (map->bitmap->Pixel(x, y).a == 0) {
                    EXPECT_EQ(d, kEmptyDepth) << "at " << x << ", " << y;
                } else {
                    ++covered;
                    EXPECT_NEAR(d, kDepth, 1e-3f) << "at " << x << ", " << y;
                }
            }
        EXPECT_NE(map->bitmap->Pixel(size / 2, size / 2).a, 0) << "the particle is not centred";
        EXPECT_LT(covered, size * size / 4);
    }
    EXPECT_EQ(filter.map, unsized->particleShadow->bitmap);
}

class ParticleShadowLookup : public ShadowFilter,
                             public ::testing::WithParamInterface<unsigned short> {};

TEST_P(ParticleShadowLookup, DimsOnlyBehindParticlesByTheirCoverage) {
    const unsigned short coverage = GetParam();
    TestHelper h = AddParticle(true);
    h.color->color.a = coverage;
    INode *zephra = nullptr;
    AddZephraLight(true, kMapSize, &zephra);
    // A host spot in the same place: what the light gives without particle shadows.
    INode *spot = GetCOREInterface()->CreateObjectNode(new GenLight(TSPOT_LIGHT));
    NimbraShadowFilter filter;
    ASSERT_TRUE(filter.Render(nullptr));

    const Point3 behind(0, 0, 1.5f * kDepth), inFront(0, 0, 0.5f * kDepth),
        besideIt(0.2f * kDepth, 0, 1.5f * kDepth);
    const float factor = 1.0f - coverage / 65535.0f;
    const Color full = LightAt(spot, behind), dimmed = LightAt(zephra, behind);
    ASSERT_GT(full.r, 0.0f);
    for (int c = 0; c < 3; ++c) EXPECT_NEAR(dimmed[c], full[c] * factor, 1e-5f);
    for (Point3 p : {inFront, besideIt}) {
        const Color own = LightAt(zephra, p), host = LightAt(spot, p);
        for (int c = 0; c < 3; ++c) EXPECT_EQ(own[c], host[c]);
    }
    theShadowMapsReady = FALSE;  // the maps of an earlier frame
    EXPECT_EQ(LightAt(zephra, behind).r, full.r);
}

INSTANTIATE_TEST_SUITE_P(Coverages, ParticleShadowLookup,
                         ::testing::Values<unsigned short>(65535, 40000, 6554));

/// A renderer that will not open, or opens and renders nothing.
class BrokenRenderer : public Renderer {
public:
    explicit BrokenRenderer(bool opens) : opens_(opens) {}
    Class_ID ClassID() override { return Class_ID(0x42524B4E, 1); }
    int Open(INode *, INode *, ViewParams *, RendParams &, HWND, void *, int) override {
        return opens_ ? 1 : 0;
    }
    int Render(TimeValue, Bitmap *, FrameRendParams &, HWND, RendProgressCallback *,
               ViewParams *) override {
        return 0;
    }
    void Close(HWND) override {}

private:
    bool opens_;
};

enum class Breakdown { kNoRenderer, kWillNotOpen, kNoRenderInfo };

/// The scene renderer for the first light, then the breakdown.
class BreakingShadowFilter : public NimbraShadowFilter {
public:
    explicit BreakingShadowFilter(Breakdown b) : breakdown_(b) {}
    Renderer *CreateSceneRenderer() override {
        if (made_++ == 0) return NimbraShadowFilter::CreateSceneRenderer();
        if (breakdown_ == Breakdown::kNoRenderer) return nullptr;
        return new BrokenRenderer(breakdown_ == Breakdown::kNoRenderInfo);
    }

private:
    Breakdown breakdown_;
    int made_ = 0;
};

class ShadowFilterFailure
    : public ShadowFilter,
      public ::testing::WithParamInterface<std::pair<Breakdown, std::string>> {};

TEST_P(ShadowFilterFailure, AnswersZeroAndKeepsTheMapsMadeBefore) {
    AddParticle(true);
    ZephraLight *first = AddZephraLight(true);
    AddZephraLight(true);
    BreakingShadowFilter filter(GetParam().first);

    EXPECT_FALSE(filter.Render(nullptr));

    ASSERT_EQ(ui.Messages().size(), 1u);
    EXPECT_EQ(ui.Messages()[0].title, "Nimbra");
    EXPECT_EQ(ui.Messages()[0].text, GetParam().second);
    ASSERT_TRUE(first->particleShadow && first->particleShadow->depth);
    EXPECT_NEAR(first->particleShadow->depth[kMapSize / 2 * kMapSize + kMapSize / 2], kDepth,
                1e-3f);
}

INSTANTIATE_TEST_SUITE_P(
    Breakdowns, ShadowFilterFailure,
    ::testing::Values(
        std::pair{Breakdown::kNoRenderer, std::string(NimbraShadowFilter::kNoRendererText)},
        std::pair{Breakdown::kWillNotOpen, std::string(NimbraShadowFilter::kCannotOpenText)},
        std::pair{Breakdown::kNoRenderInfo,
                  std::string(NimbraShadowFilter::kNoRenderInfoText)}));

TEST_F(ShadowFilter, ZephraLightIsATargetSpotOfItsOwnClass) {
    ClassDesc *desc = ClassDirectory::Instance().Find(LIGHT_CLASS_ID, kZephraLightClassID);
    ASSERT_NE(desc, nullptr);
    EXPECT_STREQ(desc->ClassName(), "ZephraLight");
    EXPECT_STREQ(desc->Category(), "Nimbra Lights");
    ZephraLight *light = AddZephraLight(true, 300);
    light->SetHotspot(0, 20.0f);
    light->particleShadow = LeftoverMap();
    EXPECT_EQ(light->Type(), TSPOT_LIGHT);
    EXPECT_STREQ(light->GetObjectName(), "ZephraLight");

    RemapDir remap;
    auto *copy = dynamic_cast<ZephraLight *>(light->Clone(remap));
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(copy->Type(), TSPOT_LIGHT);
    EXPECT_TRUE(copy->GetShadow());
    EXPECT_EQ(copy->GetMapSize(0), 300);
    EXPECT_EQ(copy->GetHotspot(0), 20.0f);
    EXPECT_EQ(copy->particleShadow, nullptr);
    copy->DeleteThis();
}

}  // namespace
}  // namespace rendertest
