/// @file project_test.cpp
/// @brief Projection: where particles land, how large they are, which cannot be seen, and the
///        back-to-front order.
#include "renderer_fixture.h"

#include "renderer/render_engine.h"

#include <cmath>
#include <limits>

namespace rendertest {
namespace {

using Projection = RendererTest;

/// Collects and projects the particles for `frame`.
void Project(ParticleRenderer &engine, TestFrame &frame) {
    engine.output = frame.bitmap.get();
    engine.renderInfo = &frame.Info();
    engine.time = frame.Info().renderTime[0];
    engine.Prepare();
    engine.Project();
}

TEST_F(Projection, PlacesTheSpriteAndSizesItsRadius) {
    TestHelper h = AddHelper({{Point3(3, 2, kDepth), 10}, {Point3(-3.6f, -2.4f, kDepth), 10}});
    h.SetSize(2.5f);
    TestFrame frame(32, 24);

    ParticleRenderer engine;
    Project(engine, frame);

    ASSERT_EQ(engine.particles.size(), 2u);
    const ParticleInfo &p = engine.particles[0];
    EXPECT_EQ(p.screenX, 16 + 3);
    EXPECT_EQ(p.screenY, 12 - 2);
    EXPECT_FLOAT_EQ(p.size, 2.5f + 1.5f);
    EXPECT_FLOAT_EQ(p.position.x, 3.0f);
    EXPECT_FLOAT_EQ(p.position.z, kDepth + engine.ShadingOrder(0) * kShadingOrderBias);
    EXPECT_EQ(p.visible, 1);
    EXPECT_EQ(p.particles, nullptr);
    // Positions are rounded by adding one half and truncating.
    EXPECT_EQ(engine.particles[1].screenX, 12);  // 12.4 + 0.5
    EXPECT_EQ(engine.particles[1].screenY, 14);  // 14.4 + 0.5

    const auto projected = Calls(RenderCall::kEnumProjected, h.shape);
    ASSERT_EQ(projected.size(), 2u);
    EXPECT_EQ(projected[0].index, -1);
    EXPECT_EQ(projected[0].info.screenX, 19);
    EXPECT_FLOAT_EQ(projected[0].info.size, 4.0f);
}

TEST_F(Projection, SpriteWiderThanHalfTheImageIsNotDrawn) {
    // Radius size + 1.5: 32 is half of 64 and still drawn, 33 is not.
    TestHelper fits = AddHelper({{Point3(0, 0, kDepth), 10}});
    fits.SetSize(30.5f);
    TestHelper tooWide = AddHelper({{Point3(0, 0, kDepth), 10}});
    tooWide.SetSize(31.5f);
    TestFrame frame(64, 48);

    ASSERT_TRUE(RunFilter(frame));

    EXPECT_EQ(Calls(RenderCall::kBeginParticle, fits.shape).size(), 1u);
    EXPECT_FALSE(fits.composite->compositeCalls.empty());
    EXPECT_TRUE(Calls(RenderCall::kBeginParticle, tooWide.shape).empty());
    EXPECT_TRUE(tooWide.shape->shapeCalls.empty());
    EXPECT_TRUE(tooWide.composite->compositeCalls.empty());
}

TEST_F(Projection, SpriteRadiusIsLimitedTo550Pixels) {
    TestHelper h = AddHelper({{Point3(0, 0, kDepth), 10}, {Point3(0, 0, kDepth), 20}});
    h.Set(NimbraHelper::kLifeBegins, 10);
    h.Set(NimbraHelper::kLifeEnds, 20);
    h.Set(NimbraHelper::kBirthSize, 548.5f);  // radius 550
    h.Set(NimbraHelper::kDeathSize, 549.5f);  // radius 551
    TestFrame frame(1400, 40);                // half the width is 700

    ParticleRenderer engine;
    Project(engine, frame);

    ASSERT_EQ(engine.particles.size(), 2u);
    EXPECT_EQ(engine.particles[0].visible, 1);
    EXPECT_EQ(engine.particles[1].visible, 0);
}

TEST_F(Projection, ParticleAtCameraDepthZeroStaysVisibleAndBehindIsDropped) {
    TestHelper h = AddHelper({{Point3(0, 0, 0.0f), 10}, {Point3(0, 0, 0.001f), 10}});
    h.Set(NimbraHelper::kShadingOrder, 0);
    TestFrame frame(16, 16);

    ParticleRenderer engine;
    Project(engine, frame);
    ASSERT_EQ(engine.particles.size(), 2u);
    // Sorted by depth: the one at 0 comes first.
    EXPECT_EQ(engine.particles[0].particleIndex, 0);
    EXPECT_EQ(engine.particles[0].visible, 1);
    EXPECT_EQ(engine.particles[1].visible, 0);

    ASSERT_TRUE(RunFilter(frame));
    EXPECT_EQ(Calls(RenderCall::kBeginParticle, h.shape).size(), 1u);
    EXPECT_EQ(frame->Pixel(8, 8), h.color->color);
}

TEST_F(Projection, SpritesThatMissTheImageAreDropped) {
    // Radius 1 (size 0): a sprite still counts while its square touches the image.
    TestFrame frame(32, 24);
    // Positions round by adding one half and truncating toward zero, so on the left and top
    // a pixel position of -1 needs a projected -2.5.
    AddHelper({{Point3(-18, 0, kDepth), 10},     // x + r = 0
               {Point3(-18.5f, 0, kDepth), 10},  // x + r < 0
               {Point3(17, 0, kDepth), 10},      // x − r = width
               {Point3(18, 0, kDepth), 10},      // x − r > width
               {Point3(0, 14, kDepth), 10},      // y + r = 0
               {Point3(0, 14.5f, kDepth), 10},   // y + r < 0
               {Point3(0, -13, kDepth), 10},     // y − r = height
               {Point3(0, -14, kDepth), 10}});   // y − r > height
    ParticleRenderer engine;
    Project(engine, frame);

    ASSERT_EQ(engine.particles.size(), 8u);
    for (const ParticleInfo &p : engine.particles)
        EXPECT_EQ(p.visible, p.particleIndex % 2 == 0 ? 1 : 0)
            << "particle " << p.particleIndex;
}

TEST_F(Projection, ParticlesThatProjectToNoNumberAreDropped) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    TestHelper h = AddHelper({{Point3(nan, 0, kDepth), 10},
                              {Point3(0, inf, kDepth), 10},
                              {Point3(0, 0, nan), 10},
                              {Point3(0, 0, -1.0e-30f), 10},  // an endless radius
                              {Point3(0, 0, kDepth), 10}});
    h.SetSize(1.0f);
    TestFrame frame(16, 16);

    ParticleRenderer engine;
    Project(engine, frame);
    int visible = 0;
    for (const ParticleInfo &p : engine.particles) visible += p.visible;
    EXPECT_EQ(visible, 1);
    ASSERT_TRUE(RunFilter(frame));
    EXPECT_EQ(Calls(RenderCall::kBeginParticle, h.shape).size(), 1u);
}

TEST_F(Projection, SortsBackToFront) {
    TestHelper h = AddHelper(
        {{Point3(0, 0, -50), 10}, {Point3(0, 0, -200), 10}, {Point3(0, 0, -100), 10}});
    TestFrame frame(16, 16);
    ASSERT_TRUE(RunFilter(frame));

    const auto drawn = Calls(RenderCall::kBeginParticle, h.shape);
    ASSERT_EQ(drawn.size(), 3u);
    EXPECT_EQ(drawn[0].info.particleIndex, 1);
    EXPECT_EQ(drawn[1].info.particleIndex, 2);
    EXPECT_EQ(drawn[2].info.particleIndex, 0);
}

TEST_F(Projection, LargerShadingOrderDrawsLaterAtEqualDepth) {
    for (const bool firstHasLarger : {true, false}) {
        SCOPED_TRACE(firstHasLarger ? "first helper larger" : "second helper larger");
        RenderJournal().clear();
        GetCOREInterface()->ResetScene();
        TestHelper a = AddHelper({{Point3(0, 0, kDepth), 10}});
        TestHelper b = AddHelper({{Point3(0, 0, kDepth), 10}});
        a.Set(NimbraHelper::kShadingOrder, firstHasLarger ? 5 : 3);
        b.Set(NimbraHelper::kShadingOrder, firstHasLarger ? 3 : 5);
        a.color->color = {65535, 0, 0, 65535};
        b.color->color = {0, 65535, 0, 65535};
        TestFrame frame(16, 16);

        ASSERT_TRUE(RunFilter(frame));

        const TestHelper &front = firstHasLarger ? a : b;
        const TestHelper &back = firstHasLarger ? b : a;
        const auto drawn = Calls(RenderCall::kBeginParticle);
        ASSERT_EQ(drawn.size(), 6u);
        EXPECT_EQ(drawn[0].plugIn, back.shape);
        EXPECT_EQ(drawn[3].plugIn, front.shape);
        EXPECT_EQ(frame->Pixel(8, 8), front.color->color);
    }
}

TEST_F(Projection, EachFieldSeesThroughItsOwnCamera) {
    // Matrix 0 belongs to the odd rows, matrix 1 to the even rows.
    AddHelper({{Point3(0, 0, kDepth), 10}});
    TestFrame frame(32, 24);
    frame.Info().fieldRender = TRUE;
    frame.Info().worldToCam[1] = TransMatrix(Point3(5, 0, 0));

    ParticleRenderer odd;
    odd.firstField = 1;
    Project(odd, frame);
    ParticleRenderer even;
    even.firstField = 0;
    Project(even, frame);
    EXPECT_EQ(odd.particles[0].screenX, 16);
    EXPECT_EQ(even.particles[0].screenX, 21);

    // Without field rendering the first matrix serves every pass.
    frame.Info().fieldRender = FALSE;
    ParticleRenderer whole;
    whole.firstField = 0;
    Project(whole, frame);
    EXPECT_EQ(whole.particles[0].screenX, 16);
}

TEST_F(Projection, MissingRenderInformationStopsWithTheAssertion) {
    AddHelper({{Point3(0, 0, kDepth), 10}});
    TestFrame frame(8, 8);
    ParticleRenderer engine;
    engine.output = frame.bitmap.get();
    engine.Prepare();
    EXPECT_THROW(engine.Project(), HostAssertion);
    ParticleRenderer noOutput;
    EXPECT_THROW(noOutput.RenderFrame(), HostAssertion);
    EXPECT_EQ(ui.MessagesTitled("Assertion failed").size(), 2u);
}

}  // namespace
}  // namespace rendertest
