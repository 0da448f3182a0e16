/// @file pixel_test.cpp
/// @brief Drawing one particle: occlusion by nearer scene geometry, edge blending with the
///        unchanged scene, depth and material writes, the drawing window and the source copy.
#include "renderer_fixture.h"

#include "framework/nimbra_interface.h"
#include "renderer/render_engine.h"
#include "host/image_filter.h"

#include <algorithm>
#include <cstdlib>
#include <vector>

namespace rendertest {
namespace {

constexpr int kWidth = 32;
constexpr int kHeight = 24;
constexpr BMM_Color_64 kScene{20000, 30000, 40000, 65535};
constexpr BMM_Color_64 kRed{65535, 0, 0, 65535};
/// Nearer scene geometry: a block of pixels at depth −50 (in front of the particles).
constexpr int kBlockLeft = 10, kBlockRight = 20, kBlockTop = 5, kBlockBottom = 15;
constexpr float kNearDepth = -50.0f;

class Drawing : public RendererTest {
protected:
    /// A helper with one particle in the middle of the frame whose square covers it all.
    TestHelper AddCoveringHelper(float depth = kDepth) {
        TestHelper h = AddHelper({{Point3(0, 0, depth), 10}});
        h.SetSize(14.5f * -depth / -kDepth);  // radius 16 at any depth
        h.color->color = kRed;
        return h;
    }
    static void AddBlock(TestFrame &frame, UWORD alpha = 65535) {
        for (int y = kBlockTop; y <= kBlockBottom; ++y)
            for (int x = kBlockLeft; x <= kBlockRight; ++x) {
                frame.Depth(x, y) = kNearDepth;
                frame->PutPixel(x, y, {1000, 2000, 3000, alpha});
            }
    }
    /// The sprite pixel `o` blended toward the scene pixel `src` with weight w.
    static BMM_Color_64 Blend(BMM_Color_64 o, BMM_Color_64 src, int w) {
        return {UWORD(ImageFilter::Lerp(o.r, src.r, w)),
                UWORD(ImageFilter::Lerp(o.g, src.g, w)),
                UWORD(ImageFilter::Lerp(o.b, src.b, w)),
                UWORD(std::max(ImageFilter::Lerp(o.a, 65535, w), int(o.a)))};
    }
    static bool Composited(const RenderTestPlugIn *composite, int x, int y) {
        for (const PixelCall &c : composite->compositeCalls)
            if (c.x == x && c.y == y) return true;
        return false;
    }
};

TEST_F(Drawing, SpriteFillsItsSquare) {
    TestHelper h = AddHelper({{Point3(0, 0, kDepth), 10}});
    h.SetSize(1.5f);  // radius 3
    h.color->color = kRed;
    TestFrame frame(kWidth, kHeight, kScene);

    ASSERT_TRUE(RunFilter(frame));

    EXPECT_EQ(h.shape->shapeCalls.size(), 49u);
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x) {
            const bool inSquare = std::abs(x - 16) <= 3 && std::abs(y - 12) <= 3;
            EXPECT_EQ(frame->Pixel(x, y), inSquare ? kRed : kScene) << x << "," << y;
        }
    const auto begin = Calls(RenderCall::kBeginParticle, h.shape);
    ASSERT_EQ(begin.size(), 1u);
    EXPECT_EQ(begin[0].radius, 3);
}

TEST_F(Drawing, PixelSurroundedByNearerGeometryIsSkipped) {
    TestHelper h = AddCoveringHelper();
    TestFrame frame(kWidth, kHeight, kScene);
    AddBlock(frame);
    const BMM_Color_64 inside = frame->Pixel(15, 10);

    ASSERT_TRUE(RunFilter(frame));

    EXPECT_EQ(frame->Pixel(15, 10), inside);
    EXPECT_FALSE(Composited(h.composite, 15, 10));
    EXPECT_EQ(frame->Pixel(9, 10), kRed) << "a pixel beside the block is not an edge pixel";
}

TEST_F(Drawing, PixelAtTheBorderOfNearerGeometryBlendsWithTheUnchangedScene) {
    // A sprite behind the one drawn at the border: the border pixel still blends with the
    // scene as it was before any particle, not with what was drawn before.
    TestHelper back = AddCoveringHelper(-120.0f);
    back.color->color = {0, 65535, 0, 65535};
    AddCoveringHelper();
    TestFrame frame(kWidth, kHeight, kScene);
    AddBlock(frame);
    const BMM_Color_64 edge = frame->Pixel(kBlockLeft, 10);
    const BMM_Color_64 corner = frame->Pixel(kBlockLeft, kBlockTop);

    ASSERT_TRUE(RunFilter(frame));

    // Left edge: 5 of the 8 neighbours are hidden, so the scene weighs 65535 / 3.
    EXPECT_EQ(frame->Pixel(kBlockLeft, 10), Blend(kRed, edge, 65535 / 3));
    // Top-left corner: 3 hidden neighbours, weight 65535 / 5.
    EXPECT_EQ(frame->Pixel(kBlockLeft, kBlockTop), Blend(kRed, corner, 65535 / 5));
}

TEST_F(Drawing, NeighboursOutsideTheImageCountAsHidden) {
    TestHelper h = AddCoveringHelper();
    TestFrame frame(kWidth, kHeight, kScene);
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x) frame.Depth(x, y) = kNearDepth;

    ASSERT_TRUE(RunFilter(frame));

    EXPECT_TRUE(h.composite->compositeCalls.empty());
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x) ASSERT_EQ(frame->Pixel(x, y), kScene) << x << "," << y;
}

TEST_F(Drawing, TransparentScenePixelBlendsOnlyBesideAHiddenPixel) {
    AddCoveringHelper();
    const BMM_Color_64 halfScene{20000, 30000, 40000, 32768};
    TestFrame frame(kWidth, kHeight, halfScene);
    AddBlock(frame);

    ASSERT_TRUE(RunFilter(frame));

    // Direct neighbour (10, 10) is hidden: blended with the scene's own alpha as weight.
    EXPECT_EQ(frame->Pixel(9, 10), Blend(kRed, halfScene, 32768));
    // Only a diagonal neighbour (10, 5) is hidden, or none: the sprite as composited.
    EXPECT_EQ(frame->Pixel(9, 4), kRed);
    EXPECT_EQ(frame->Pixel(3, 3), kRed);
}

TEST_F(Drawing, HiddenPixelOfATransparentSceneIsNeverSkipped) {
    TestHelper h = AddCoveringHelper();
    TestFrame frame(kWidth, kHeight, kScene);
    AddBlock(frame, 32768);
    const BMM_Color_64 inside = frame->Pixel(15, 10);

    ASSERT_TRUE(RunFilter(frame));

    EXPECT_TRUE(Composited(h.composite, 15, 10));
    EXPECT_EQ(frame->Pixel(15, 10), Blend(kRed, inside, 32768));
}

TEST_F(Drawing, DepthAndMaterialWritesFollowTheCoverage) {
    // Of the covered pixels, index p is written when p mod k ≠ 0, k = 1 + coverage tenths:
    // k = 1 (nothing) below 6554, 2 (every other pixel) at 6554, 10 (nine in ten) at 65535.
    struct Case {
        unsigned short coverage;
        int k;
        int written;  // of the 768 pixels
    };
    for (const Case c : {Case{6553, 1, 0}, Case{6554, 2, 384}, Case{65535, 10, 691}}) {
        SCOPED_TRACE(c.coverage);
        GetCOREInterface()->ResetScene();
        TestHelper h = AddCoveringHelper();
        h.shape->coverage = c.coverage;
        h.Set(NimbraHelper::kMaterialId, 7);
        h.Set(NimbraHelper::kUpdateZBuffer, 1);
        const float z =
            kDepth + h.helper->AgeInt(NimbraHelper::kShadingOrder, 0) * kShadingOrderBias;
        TestFrame frame(kWidth, kHeight, kScene);

        ASSERT_TRUE(RunFilter(frame));

        int written = 0;
        for (int p = 0; p < kWidth * kHeight; ++p) {
            const int x = p % kWidth, y = p / kWidth;
            const bool expected = c.k > 1 && p % c.k != 0;
            ASSERT_EQ(frame.Material(x, y), expected ? 7 : 0) << "pixel " << p;
            ASSERT_EQ(frame.Depth(x, y), expected ? z : kFarDepth) << "pixel " << p;
            written += expected;
        }
        EXPECT_EQ(written, c.written);
    }
}

TEST_F(Drawing, DepthIsWrittenOnlyOverFartherOrEmptyDepths) {
    TestHelper h = AddCoveringHelper();
    h.Set(NimbraHelper::kUpdateZBuffer, 1);
    const float z =
        kDepth + h.helper->AgeInt(NimbraHelper::kShadingOrder, 0) * kShadingOrderBias;
    TestFrame frame(kWidth, kHeight, kScene);
    // Three pixels whose index is not a multiple of 10 (written at full coverage).
    frame.Depth(1, 0) = -150.0f;
    frame.Depth(2, 0) = kNearDepth;
    frame.Depth(3, 0) = kEmptyDepth;

    ASSERT_TRUE(RunFilter(frame));

    EXPECT_EQ(frame.Depth(1, 0), z);
    EXPECT_EQ(frame.Depth(2, 0), kNearDepth);
    EXPECT_EQ(frame.Depth(3, 0), z);
    EXPECT_EQ(frame.Material(1, 0), 0) << "material ID 0 writes nothing";
}

TEST_F(Drawing, NoMaterialIdAndNoDepthUpdateLeaveTheChannelsAlone) {
    TestHelper h = AddCoveringHelper();
    TestFrame frame(kWidth, kHeight, kScene);
    AddBlock(frame, 32768);  // so that hidden pixels are drawn too
    const std::vector<float> depth(frame->DepthChannel(),
                                   frame->DepthChannel() + kWidth * kHeight);
    const std::vector<BYTE> material(frame->MaterialChannel(),
                                     frame->MaterialChannel() + kWidth * kHeight);

    ASSERT_TRUE(RunFilter(frame));

    EXPECT_EQ(h.composite->compositeCalls.size(), size_t(kWidth * kHeight));
    EXPECT_EQ(std::vector<float>(frame->DepthChannel(), frame->DepthChannel() + depth.size()),
              depth);
    EXPECT_EQ(
        std::vector<BYTE>(frame->MaterialChannel(), frame->MaterialChannel() + material.size()),
        material);
}

TEST_F(Drawing, ShadowPassWritesEveryDrawnDepth) {
    TestHelper h = AddCoveringHelper();
    const float z =
        kDepth + h.helper->AgeInt(NimbraHelper::kShadingOrder, 0) * kShadingOrderBias;
    TestFrame frame(kWidth, kHeight, kScene);
    frame.Depth(5, 5) = kNearDepth;  // nearer, but not surrounded: drawn

    theShadowPass = TRUE;
    ASSERT_TRUE(RunFilter(frame));

    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x) {
            ASSERT_EQ(frame.Depth(x, y), z) << x << "," << y;
            ASSERT_EQ(frame.Material(x, y), 0);
        }
}

TEST_F(Drawing, PreviewRegionLimitsTheDrawing) {
    struct Case {
        bool halfSize;
        RECT region;
        RECT drawn;
    };
    const Case cases[] = {
        {false, {4, 2, 10, 8}, {4, 2, 10, 8}},
        {true, {4, 2, 10, 8}, {2, 1, 5, 4}},
        // A region past the image draws the image only.
        {false, {-5, -7, 100, 90}, {0, 0, kWidth, kHeight}},
    };
    NimbraInterface *iface = GetNimbraInterface();
    for (const Case &c : cases) {
        SCOPED_TRACE(c.halfSize ? "half size" : "full size");
        GetCOREInterface()->ResetScene();
        TestHelper h = AddCoveringHelper();
        iface->SetPreviewRendering(TRUE);
        iface->SetRegionRender(TRUE);
        iface->SetHalfSizeMode(c.halfSize);
        iface->SetRegion(c.region);
        TestFrame frame(kWidth, kHeight, kScene);

        ASSERT_TRUE(RunFilter(frame));

        const size_t area =
            size_t(c.drawn.right - c.drawn.left) * (c.drawn.bottom - c.drawn.top);
        EXPECT_EQ(h.composite->compositeCalls.size(), area);
        for (const PixelCall &p : h.composite->compositeCalls) {
            EXPECT_TRUE(p.x >= c.drawn.left && p.x < c.drawn.right && p.y >= c.drawn.top &&
                        p.y < c.drawn.bottom)
                << p.x << "," << p.y;
        }
    }
}

TEST_F(Drawing, RegionCountsOnlyInPreviewsOutsideShadowPasses) {
    NimbraInterface *iface = GetNimbraInterface();
    iface->SetRegionRender(TRUE);
    iface->SetRegion({4, 2, 10, 8});
    for (const bool preview : {false, true}) {
        GetCOREInterface()->ResetScene();
        TestHelper h = AddCoveringHelper();
        iface->SetPreviewRendering(preview);
        theShadowPass = preview;  // a preview that renders a shadow map
        TestFrame frame(kWidth, kHeight, kScene);
        ASSERT_TRUE(RunFilter(frame));
        EXPECT_EQ(h.composite->compositeCalls.size(), size_t(kWidth * kHeight));
    }
}

TEST_F(Drawing, SourceCopyHoldsTheFrameBeforeDrawingAndLivesAcrossFrames) {
    TestHelper h = AddCoveringHelper();
    TestFrame frame(kWidth, kHeight, kScene);

    ASSERT_TRUE(RunFilter(frame));

    const auto begin = Calls(RenderCall::kBeginFrame, h.shape);
    ASSERT_EQ(begin.size(), 1u);
    Bitmap *copy = EngineSourceCopy();
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(begin[0].source, copy);
    EXPECT_EQ(copy->Pixel(16, 12), kScene);
    EXPECT_EQ(frame->Pixel(16, 12), kRed);

    TestFrame other(20, 10, kRed);
    ASSERT_TRUE(RunFilter(other));
    ASSERT_NE(EngineSourceCopy(), nullptr);
    EXPECT_EQ(EngineSourceCopy()->Width(), 20);
    EXPECT_EQ(EngineSourceCopy()->Height(), 10);
    EXPECT_EQ(EngineSourceCopy()->Pixel(0, 0), kRed);
}

TEST_F(Drawing, TransparencyComesFromTheTransparencyController) {
    TestHelper h = AddHelper({{Point3(0, 0, kDepth), 25}});
    h.Set(NimbraHelper::kLifeBegins, 0);
    h.Set(NimbraHelper::kLifeEnds, 100);
    h.Set(NimbraHelper::kBirthTrans, 0.2f);
    h.Set(NimbraHelper::kDeathTrans, 0.6f);
    h.Set(NimbraHelper::kBirthShadowTrans, 1.0f);
    h.Set(NimbraHelper::kDeathShadowTrans, 1.0f);
    TestFrame frame(16, 16);

    ASSERT_TRUE(RunFilter(frame));
    theShadowPass = TRUE;
    h.Set(NimbraHelper::kUseBrushSettings, 0);
    ASSERT_TRUE(RunFilter(frame));

    const auto begin = Calls(RenderCall::kBeginParticle, h.color);
    ASSERT_EQ(begin.size(), 2u);
    EXPECT_FLOAT_EQ(begin[0].transparency, 0.3f);
    EXPECT_FLOAT_EQ(begin[1].transparency, 1.0f);
    EXPECT_EQ(h.Controller(NimbraHelper::kTransController)->lastParticle, 0);
    EXPECT_EQ(h.Controller(NimbraHelper::kShadowTransController)->resets, 1);
}

}  // namespace
}  // namespace rendertest
