/// @file volume_preview_test.cpp
/// @brief A helper with a volume shape: the rotation composite and volume colour it is given,
///        and the viewport preview's gizmo nodes keyed over the animation.
#include "common/scripted_user_interface.h"
#include "framework/pixel_color.h"
#include "host/interface.h"
#include "host/particles.h"
#include "host/prompt.h"
#include "host/scene_file.h"
#include "plugins/volume/combustion.h"
#include "plugins/volume/gizmos.h"
#include "plugins/volume/inter_rotation.h"
#include "plugins/volume/volume_color.h"
#include "plugins/volume/volume_preview.h"
#include "setup/helper.h"
#include "volume_fixture.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace volumetest;

namespace {

constexpr int kFrames = 9;      // frames 0 … 8
constexpr int kParticles = 3;   // born at frames 0, 1, 2
constexpr int kLifeFrames = 4;  // each lives four frames
constexpr float kHelperSize = 5.0f;

/// Records every text the prompt line shows.
class PromptRecorder final : public PromptListener {
public:
    PromptRecorder() { previous_ = SetPromptListener(this); }
    ~PromptRecorder() override { SetPromptListener(previous_); }
    void PromptChanged(const std::string &text) override { texts.push_back(text); }
    std::vector<std::string> texts;

private:
    PromptListener *previous_;
};

class VolumeHelperTest : public ::testing::Test {
protected:
    void SetUp() override {
        Interface *ip = GetCOREInterface();
        ip->ResetScene();
        const int tpf = GetTicksPerFrame();
        ip->SetAnimRange(Interval(0, (kFrames - 1) * tpf));
        helper = dynamic_cast<NimbraHelper *>(
            static_cast<Animatable *>(CreateInstance(HELPER_CLASS_ID, kNimbraHelperClassID)));
        ASSERT_NE(helper, nullptr);
        helperNode = ip->CreateObjectNode(helper);
        helperNode->SetName("Fire");
        helper->AgeBlock()->SetValue(NimbraHelper::kBirthSize, 0, kHelperSize);
        helper->AgeBlock()->SetValue(NimbraHelper::kDeathSize, 0, kHelperSize);

        auto *spray =
            static_cast<ParticleObject *>(CreateInstance(GEOMOBJECT_CLASS_ID, SPRAY_CLASS_ID));
        ASSERT_NE(spray, nullptr);
        IParamBlock *pb = spray->GetParamBlock();
        pb->SetValue(SPRAY_BIRTH_RATE, 0, 1.0f);
        pb->SetValue(SPRAY_EMIT_STOP, 0, kParticles * tpf);
        pb->SetValue(SPRAY_LIFE, 0, kLifeFrames * tpf);
        pb->SetValue(SPRAY_SPREAD, 0, 0.5f);
        ASSERT_TRUE(helper->AddParticleSystem(ip->CreateObjectNode(spray)));
    }
    void TearDown() override { GetCOREInterface()->ResetScene(); }

    /// Chooses Combustion as the helper's shape; the helper's rotation composite.
    InterRotation *ChooseCombustion() {
        EXPECT_EQ(helper->SelectPlugIn(Combustion::kClassID.PartB(), 1), 1);
        return dynamic_cast<InterRotation *>(helper->Composite());
    }

    static VolumeGizmo *GizmoOf(INode *node) {
        return node ? dynamic_cast<VolumeGizmo *>(node->GetObjectRef()) : nullptr;
    }
    static float Radius(INode *node, TimeValue t) {
        float r = -1.0f;
        GizmoOf(node)->GetParamBlock()->GetValue(NBSphereGizmoObject::kRadius, t, r);
        return r;
    }
    INode *PreviewNode(int i) {
        return GetCOREInterface()->GetINodeByName(PreviewNodeName("Fire", i).c_str());
    }

    ScriptedUserInterface ui;
    NimbraHelper *helper = nullptr;
    INode *helperNode = nullptr;
};

TEST_F(VolumeHelperTest, VolumeShapeBringsInterRotationAndVolumeColorOnce) {
    InterRotation *rotation = ChooseCombustion();
    ASSERT_NE(rotation, nullptr);
    EXPECT_EQ(helper->CompositeId(), InterRotation::kClassID.PartB());
    ASSERT_NE(helper->ColorShader(), nullptr);
    EXPECT_EQ(helper->ColorShader()->ClassID(), VolumeColor::kClassID);
    EXPECT_EQ(helper->ColorId(), VolumeColor::kClassID.PartB());
    EXPECT_TRUE(helper->IsVolumeSetup());
    EXPECT_TRUE(ui.Messages().empty()) << ui.Messages()[0].text;

    NimbraPlugIn *color = helper->ColorShader();
    ChooseCombustion();
    EXPECT_EQ(helper->Composite(), rotation);
    EXPECT_EQ(helper->ColorShader(), color);
}

TEST_F(VolumeHelperTest, VolumeShapeKeepsAColorShaderTheUserChose) {
    // Any colour shader but the default one stays: here a volume colour chosen beforehand.
    ASSERT_EQ(helper->SelectPlugIn(VolumeColor::kClassID.PartB(), 1), 1);
    NimbraPlugIn *chosen = helper->ColorShader();
    ChooseCombustion();
    EXPECT_EQ(helper->ColorShader(), chosen);
    EXPECT_EQ(helper->Composite()->ClassID(), InterRotation::kClassID);
}

TEST_F(VolumeHelperTest, PreviewCountZeroMakesNoNodes) {
    PreviewOptions options;
    options.count = 0;
    EXPECT_EQ(CreateVolumePreview(helperNode, ChooseCombustion(), options), 0);
    EXPECT_EQ(PreviewNode(0), nullptr);
}

TEST_F(VolumeHelperTest, PreviewKeysNodesAtTheParticlesAndShrinksTheRest) {
    InterRotation *rotation = ChooseCombustion();
    ASSERT_NE(rotation, nullptr);
    const Color two(0.2f, 0.4f, 0.6f);
    auto *color = static_cast<VolumeColor *>(helper->ColorShader());
    color->ParamBlock()->SetValue(VolumeColor::kBirthColor2, 0, two);
    color->ParamBlock()->SetValue(VolumeColor::kDeathColor2, 0, two);

    PromptRecorder prompts;
    PreviewOptions options;
    options.count = kParticles + 2;
    ASSERT_EQ(CreateVolumePreview(helperNode, rotation, options), kParticles + 2);
    ASSERT_EQ(prompts.texts.size(), std::size_t(kFrames));
    EXPECT_EQ(prompts.texts.front(), "Working on frame 1 of 9");
    EXPECT_EQ(prompts.texts.back(), "Working on frame 9 of 9");

    IHelperRecord *record = GetHelperRecordInterface(helper);
    int alive = 0;
    for (int f = 0; f < kFrames; ++f) {
        const TimeValue t = f * GetTicksPerFrame();
        ParticleObject *system = record->ParticleSystemState(1, t);
        ASSERT_NE(system, nullptr);
        for (int i = 0; i < kParticles + 2; ++i) {
            SCOPED_TRACE(testing::Message() << "frame " << f << " node " << i);
            INode *node = PreviewNode(i);
            ASSERT_NE(node, nullptr);
            if (i >= system->NumParticles() || system->GetParticleAge(i) < 0) {
                EXPECT_EQ(Radius(node, t), 0.0f);
                continue;
            }
            ++alive;
            EXPECT_EQ(Radius(node, t), kHelperSize);
            const Point3 p = system->GetParticlePosition(i);
            const Point3 at = node->GetNodeTM(t).GetTrans();
            for (int a = 0; a < 3; ++a) EXPECT_NEAR(at[a], p[a], 1e-4);
            // The colour shader's colour at the particle's centre: colour two.
            Color wire;
            GizmoOf(node)->GetParamBlock()->GetValue(NBSphereGizmoObject::kWireColor, t, wire);
            EXPECT_EQ(ToPixelColor(wire).g, ToPixelColor(two).g);
        }
    }
    EXPECT_EQ(alive, kParticles * kLifeFrames);  // every particle was seen its whole life
}

TEST_F(VolumeHelperTest, PreviewNodesOfTheChosenShapeSurviveSavingAndErase) {
    InterRotation *rotation = ChooseCombustion();
    PreviewOptions options;
    options.count = 2;
    options.shape = kVolumeBox;
    options.showParticleColor = false;
    options.manualColor = Color(1.0f, 0.0f, 0.5f);
    CreateVolumePreview(helperNode, rotation, options);
    // Creating again replaces the preview instead of adding to it.
    CreateVolumePreview(helperNode, rotation, options);
    ASSERT_EQ(GetCOREInterface()->GetINodeByName(PreviewNodeName("Fire", 2).c_str()), nullptr);

    const std::vector<std::uint8_t> saved = SaveSceneToMemory();
    LoadSceneFromMemory(saved, "preview");
    INode *node = PreviewNode(1);
    ASSERT_NE(node, nullptr);
    auto *box = dynamic_cast<NBBoxGizmoObject *>(node->GetObjectRef());
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(box->GetParamBlock()->NumKeys(NBBoxGizmoObject::kLength), kFrames);
    EXPECT_EQ(box->WireColor(0), options.manualColor);

    INode *loadedHelper = GetCOREInterface()->GetINodeByName("Fire");
    ASSERT_NE(loadedHelper, nullptr);
    EXPECT_EQ(EraseVolumePreview(loadedHelper), 2);
    EXPECT_EQ(PreviewNode(0), nullptr);
}

}  // namespace
