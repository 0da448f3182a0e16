/// @file collect_test.cpp
/// @brief Which helpers and particles take part in a frame, and the calls the plug-ins get
///        while they are collected.
#include "renderer_fixture.h"

#include "framework/nimbra_interface.h"
#include "renderer/render_engine.h"

#include <algorithm>

namespace rendertest {
namespace {

using CollectHelpers = RendererTest;
using CollectParticles = RendererTest;

/// The helper objects the engine collected, in its order.
std::vector<Object *> Owners(const ParticleRenderer &engine) {
    std::vector<Object *> owners;
    for (const HelperRecord &h : engine.helpers) owners.push_back(h.owner);
    return owners;
}

std::vector<int> CollectedIndices(const ParticleRenderer &engine) {
    std::vector<int> indices;
    for (const ParticleInfo &p : engine.particles) indices.push_back(p.particleIndex);
    return indices;
}

TEST_F(CollectHelpers, ReportsEveryMissingPlugInAndLeavesTheHelperOut) {
    TestHelper broken = AddHelper({{Point3(0, 0, kDepth), 10}});
    TestHelper good = AddHelper({{Point3(0, 0, kDepth), 10}});
    broken.helper->DeleteReference(NimbraHelper::kRefShape);
    broken.helper->DeleteReference(NimbraHelper::kRefColor);
    broken.helper->DeleteReference(NimbraHelper::kRefComposite);

    ParticleRenderer engine;
    engine.CollectHelpers();

    ASSERT_EQ(engine.helpers.size(), 1u);
    EXPECT_EQ(engine.helpers[0].owner, good.helper);
    const auto errors = ui.MessagesTitled("Error");
    ASSERT_EQ(errors.size(), 3u);
    EXPECT_EQ(errors[0].text, "Nimbra Helper doesn't have a plugin loaded for Particle Shape!");
    EXPECT_EQ(errors[1].text, "Nimbra helper doesn't have a plugin loaded for Color Shader!");
    EXPECT_EQ(errors[2].text,
              "Nimbra Helper doesn't have a plugin loaded for Image Compositer!");
}

TEST_F(CollectHelpers, ReportsOnlyThePlugInsThatAreMissing) {
    TestHelper broken = AddHelper();
    broken.helper->DeleteReference(NimbraHelper::kRefColor);

    ParticleRenderer engine;
    engine.CollectHelpers();

    EXPECT_TRUE(engine.helpers.empty());
    const auto errors = ui.MessagesTitled("Error");
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0].text, "Nimbra helper doesn't have a plugin loaded for Color Shader!");
}

TEST_F(CollectHelpers, TakesActiveTopLevelSpriteHelpersInSceneOrder) {
    TestHelper first = AddHelper();
    TestHelper inactive = AddHelper();
    inactive.Set(NimbraHelper::kShaderActive, 0);
    TestHelper volume = AddHelper();
    ASSERT_TRUE(volume.helper->SelectPlugInClass(kVolumeShapeClassID));
    ASSERT_TRUE(volume.helper->IsVolumeSetup());
    TestHelper nested = AddHelper();
    first.node->AttachChild(nested.node);
    TestHelper last = AddHelper();
    last.Set(NimbraHelper::kShadingOrder, 42);

    ParticleRenderer engine;
    engine.CollectHelpers();

    EXPECT_EQ(Owners(engine), (std::vector<Object *>{first.helper, last.helper}));
    EXPECT_EQ(engine.ShadingOrder(1), 42);
    EXPECT_TRUE(ui.Messages().empty());
}

TEST_F(CollectHelpers, ShadowPassTakesOnlyHelpersThatCastShadows) {
    TestHelper casting = AddHelper();
    TestHelper notCasting = AddHelper();
    notCasting.Set(NimbraHelper::kCastShadows, 0);

    ParticleRenderer normal;
    normal.CollectHelpers();
    EXPECT_EQ(normal.helpers.size(), 2u);

    theShadowPass = TRUE;
    ParticleRenderer shadow;
    shadow.CollectHelpers();
    EXPECT_EQ(Owners(shadow), (std::vector<Object *>{casting.helper}));
}

TEST_F(CollectHelpers, PreviewOfTheSelectedHelperTakesOnlyThatOne) {
    AddHelper();
    TestHelper chosen = AddHelper();
    NimbraInterface *iface = GetNimbraInterface();
    GetCOREInterface()->SelectNode(chosen.node);
    iface->SetSelHelperOnly(TRUE);

    ParticleRenderer render;
    render.CollectHelpers();
    EXPECT_EQ(render.helpers.size(), 2u) << "outside a preview every helper takes part";

    iface->SetPreviewRendering(TRUE);
    ParticleRenderer preview;
    preview.CollectHelpers();
    iface->SetSelHelperOnly(FALSE);
    EXPECT_EQ(Owners(preview), (std::vector<Object *>{chosen.helper}));
}

TEST_F(CollectParticles, AgeWindowIncludesBothEnds) {
    TestHelper h = AddHelper({{Point3(0, 0, kDepth), 99},
                              {Point3(0, 0, kDepth), 100},
                              {Point3(0, 0, kDepth), 150},
                              {Point3(0, 0, kDepth), 200},
                              {Point3(0, 0, kDepth), 201},
                              {Point3(0, 0, kDepth), -1}});
    h.Set(NimbraHelper::kLifeBegins, 100);
    h.Set(NimbraHelper::kLifeEnds, 200);

    ParticleRenderer engine;
    engine.Prepare();

    EXPECT_EQ(CollectedIndices(engine), (std::vector<int>{1, 2, 3}));
    for (const ParticleInfo &p : engine.particles) {
        EXPECT_EQ(p.lifeStart, 100);
        EXPECT_EQ(p.lifeEnd, 200);
        EXPECT_EQ(p.helperIndex, 0);
        EXPECT_EQ(p.particles, h.particles);
    }
}

TEST_F(CollectParticles, TakesEveryNthFromTheOffset) {
    std::vector<TestParticle> ten(10, {Point3(0, 0, kDepth), 10});
    TestHelper h = AddHelper(ten);
    h.Set(NimbraHelper::kEveryNth, 3);
    h.Set(NimbraHelper::kNthOffset, 1);

    ParticleRenderer engine;
    engine.Prepare();
    EXPECT_EQ(CollectedIndices(engine), (std::vector<int>{1, 4, 7}));
}

TEST_F(CollectParticles, StepBelowOneAndNegativeOffsetTakeEveryParticle) {
    // A step of 0 would never advance and a negative offset would read before the first
    // particle.
    std::vector<TestParticle> four(4, {Point3(0, 0, kDepth), 10});
    TestHelper h = AddHelper(four);
    h.Set(NimbraHelper::kEveryNth, 0);
    h.Set(NimbraHelper::kNthOffset, -5);

    ParticleRenderer engine;
    engine.Prepare();
    EXPECT_EQ(CollectedIndices(engine), (std::vector<int>{0, 1, 2, 3}));
}

TEST_F(CollectParticles, PrepareCollectsOnlyOnce) {
    AddHelper({{Point3(0, 0, kDepth), 10}});
    ParticleRenderer engine;
    engine.Prepare();
    engine.Prepare();
    EXPECT_EQ(engine.particles.size(), 1u);
    engine.Clear();
    engine.Prepare();
    EXPECT_EQ(engine.particles.size(), 1u);
}

TEST_F(CollectParticles, SizeComesFromTheSizeControllerOverTheAgeWindow) {
    TestHelper h = AddHelper({{Point3(0, 0, kDepth), 0}, {Point3(0, 0, kDepth), 50}});
    h.Set(NimbraHelper::kLifeBegins, 0);
    h.Set(NimbraHelper::kLifeEnds, 100);
    h.Set(NimbraHelper::kBirthSize, 2.0f);
    h.Set(NimbraHelper::kDeathSize, 4.0f);
    h.Set(NimbraHelper::kBirthShadowSize, 10.0f);
    h.Set(NimbraHelper::kDeathShadowSize, 20.0f);

    ParticleRenderer engine;
    engine.Prepare();
    ASSERT_EQ(engine.particles.size(), 2u);
    EXPECT_FLOAT_EQ(engine.particles[0].size, 2.0f);
    EXPECT_FLOAT_EQ(engine.particles[1].size, 3.0f);
    LinearController *size = h.Controller(NimbraHelper::kSizeController);
    ASSERT_NE(size, nullptr);
    EXPECT_EQ(size->resets, 2);
    EXPECT_EQ(size->lastParticle, 1);

    // A shadow pass with brush settings uses the same sizes; without, the shadow sizes.
    theShadowPass = TRUE;
    ParticleRenderer brush;
    brush.Prepare();
    EXPECT_FLOAT_EQ(brush.particles[1].size, 3.0f);
    h.Set(NimbraHelper::kUseBrushSettings, 0);
    ParticleRenderer shadow;
    shadow.Prepare();
    EXPECT_FLOAT_EQ(shadow.particles[1].size, 15.0f);
    EXPECT_EQ(h.Controller(NimbraHelper::kShadowSizeController)->resets, 2);
}

TEST_F(CollectParticles, EachCollectedParticleIsAnnouncedToShapeColourAndComposite) {
    TestHelper h = AddHelper({{Point3(0, 0, kDepth), 10}, {Point3(1, 0, kDepth), 10}});

    ParticleRenderer engine;
    engine.Prepare();

    const auto enums = Calls(RenderCall::kEnumCollected);
    ASSERT_EQ(enums.size(), 6u);
    const NimbraPlugIn *order[] = {h.shape, h.color, h.composite};
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(enums[i].plugIn, order[i % 3]);
        EXPECT_EQ(enums[i].index, i / 3);
        EXPECT_EQ(enums[i].info.particleIndex, i / 3);
        EXPECT_EQ(enums[i].info.particles, h.particles);
    }
}

TEST_F(CollectParticles, PlugInsSeeTheFrameInTheDocumentedOrder) {
    TestHelper h = AddHelper({{Point3(0, 0, kDepth), 10}});
    TestFrame frame(16, 16);
    ASSERT_TRUE(RunFilter(frame));

    std::vector<RenderCall::Op> ops;
    for (const RenderCall &c : RenderJournal()) ops.push_back(c.op);
    using C = RenderCall;
    const std::vector<RenderCall::Op> expected = {
        C::kEnumCollected, C::kEnumCollected, C::kEnumCollected, C::kEnumProjected,
        C::kEnumProjected, C::kEnumProjected, C::kBeginFrame,    C::kBeginFrame,
        C::kBeginFrame,    C::kBeginParticle, C::kBeginParticle, C::kBeginParticle,
        C::kEndParticle,   C::kEndParticle,   C::kEndParticle,   C::kEndFrame,
        C::kEndFrame,      C::kEndFrame};
    EXPECT_EQ(ops, expected);
    const NimbraPlugIn *order[] = {h.shape, h.color, h.composite};
    for (size_t i = 0; i < RenderJournal().size(); ++i)
        EXPECT_EQ(RenderJournal()[i].plugIn, order[i % 3]) << "call " << i;
}

}  // namespace
}  // namespace rendertest
