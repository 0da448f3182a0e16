/// @file controller_setup_test.cpp
/// @brief The default controller's parameter blocks, set-up operations, the set-up lock and
///        the editor's state.
#include "standard_fixture.h"

#include <gtest/gtest.h>

using namespace standardtest;

namespace {

using ControllerSetup = ControllerTest;

struct ExpectedParam {
    const char *name;
    ParamType type;
    bool animatable;
};

/// Checks a block's layout, the names its owner answers and the dimensions.
void ExpectLayout(IParamBlock *pb, const std::vector<ExpectedParam> &expected) {
    ASSERT_NE(pb, nullptr);
    ASSERT_EQ(pb->NumParams(), static_cast<int>(expected.size()));
    EXPECT_EQ(pb->GetVersion(), 0u);
    for (int i = 0; i < pb->NumParams(); ++i) {
        EXPECT_EQ(pb->GetParamName(i), expected[i].name) << "parameter " << i;
        EXPECT_EQ(pb->GetParameterType(i), expected[i].type) << "parameter " << i;
        EXPECT_EQ(pb->IsParamAnimatable(i) != FALSE, expected[i].animatable)
            << "parameter " << i;
        EXPECT_EQ(pb->GetParamDimension(i), defaultDim) << "parameter " << i;
    }
}

std::vector<ExpectedParam> VariationLayout(ParamType variationType) {
    return {{"Birth Variation", variationType, true},
            {"Death Variation", variationType, true},
            {"Variation Strength", TYPE_FLOAT, true},
            {"??", TYPE_INT, false},
            {"Noise Frequency", TYPE_FLOAT, true},
            {"Noise Strength", TYPE_FLOAT, true},
            {"??", TYPE_BOOL, false},
            {"Noise Roughness", TYPE_FLOAT, true}};
}

/// The shared defaults of the age-noise parameters and the variation strength.
void ExpectNoiseDefaults(IParamBlock *pb) {
    float f = -1;
    int i = -1;
    pb->GetValue(DefaultController::kVariationStrength, 0, f);
    EXPECT_EQ(f, 1.0f);
    pb->GetValue(DefaultController::kNoiseSeed, 0, i);
    EXPECT_EQ(i, 0);
    pb->GetValue(DefaultController::kNoiseFrequency, 0, f);
    EXPECT_EQ(f, 0.5f);
    pb->GetValue(DefaultController::kNoiseStrength, 0, f);
    EXPECT_EQ(f, 1.0f);
    pb->GetValue(DefaultController::kFractalNoise, 0, i);
    EXPECT_EQ(i, 0);
    pb->GetValue(DefaultController::kNoiseRoughness, 0, f);
    EXPECT_EQ(f, 0.0f);
}

Color ColorParam(IParamBlock *pb, int i) {
    Color c;
    pb->GetValue(i, 0, c);
    return c;
}

}  // namespace

TEST_F(ControllerSetup, NewControllerHasOnlyTheInterpolationBlock) {
    EXPECT_EQ(c->ClassID(), Class_ID(0x3D6F512D, 0x3768765C));
    EXPECT_EQ(c->SuperClassID(), 256u);
    EXPECT_EQ(c->NumRefs(), 1);
    EXPECT_EQ(c->NumSubs(), 1);
    EXPECT_EQ(c->SubAnimName(0), "Parameters");
    EXPECT_EQ(c->SubAnim(0), c->InterpolationBlock());
    EXPECT_EQ(c->GetReference(0), c->InterpolationBlock());
    EXPECT_EQ(c->VariationBlock(), nullptr);
    ExpectLayout(c->InterpolationBlock(),
                 {{"IPC Value 1", TYPE_FLOAT, true}, {"IPC Value 2", TYPE_FLOAT, true}});
    float v1 = -1, v2 = -1;
    c->InterpolationBlock()->GetValue(DefaultController::kValue1, 0, v1);
    c->InterpolationBlock()->GetValue(DefaultController::kValue2, 0, v2);
    EXPECT_EQ(v1, 0.0f);
    EXPECT_EQ(v2, 1.0f);
    EXPECT_EQ(c->State(), ControllerState{});
    EXPECT_EQ(c->InterpolationBlock()->FindParamByName("IPC Value 2"), 1);
}

TEST_F(ControllerSetup, EachKindMakesItsVariationBlock) {
    c->__SetupInt__(-3, 77);
    EXPECT_EQ(c->State().kind, kKindInt);
    EXPECT_EQ(c->State().minInt, -3);
    EXPECT_EQ(c->State().maxInt, 77);
    EXPECT_EQ(c->NumRefs(), 2);
    EXPECT_EQ(c->NumSubs(), 2);
    EXPECT_EQ(c->SubAnimName(1), "Parameters");
    EXPECT_EQ(c->SubAnim(1), c->VariationBlock());
    ExpectLayout(c->VariationBlock(), VariationLayout(TYPE_INT));
    ExpectNoiseDefaults(c->VariationBlock());
    EXPECT_EQ(c->VariationBlock()->FindParamByName("Noise Frequency"),
              DefaultController::kNoiseFrequency);

    c->__SetupFloat__(0.5f, 250.0f, 0.25f);
    EXPECT_EQ(c->State().kind, kKindFloat);
    EXPECT_EQ(c->State().minFloat, 0.5f);
    EXPECT_EQ(c->State().maxFloat, 250.0f);
    EXPECT_EQ(c->State().stepFloat, 0.25f);
    ExpectLayout(c->VariationBlock(), VariationLayout(TYPE_FLOAT));
    ExpectNoiseDefaults(c->VariationBlock());

    c->__SetupColor__(Color(1.0f, 0.5f, 0.0f), Color(0.0f, 0.25f, 1.0f), FALSE);
    EXPECT_EQ(c->State().kind, kKindColor);
    EXPECT_EQ(c->State().variantBirthColor, (Color16{65535, 32767, 0}));
    EXPECT_EQ(c->State().variantDeathColor, (Color16{0, 16383, 65535}));
    ExpectLayout(c->VariationBlock(), VariationLayout(TYPE_RGBA));
    ExpectNoiseDefaults(c->VariationBlock());
    EXPECT_EQ(ColorParam(c->VariationBlock(), 0), Color(1.0f, 0.5f, 0.0f));
    EXPECT_EQ(ColorParam(c->VariationBlock(), 1), Color(0.0f, 0.25f, 1.0f));
}

TEST_F(ControllerSetup, SecondSetupResetsTheVariationParameters) {
    c->__SetupFloat__(0.0f, 100.0f, 1.0f);
    c->VariationBlock()->SetValue(DefaultController::kBirthVariation, 0, 5.0f);
    c->VariationBlock()->SetValue(DefaultController::kNoiseSeed, 0, 12);
    c->__SetupFloat__(0.0f, 100.0f, 1.0f);
    float birth = -1;
    c->VariationBlock()->GetValue(DefaultController::kBirthVariation, 0, birth);
    EXPECT_EQ(birth, 0.0f);
    ExpectNoiseDefaults(c->VariationBlock());
}

TEST_F(ControllerSetup, ColorUpdateRewritesOnlyTheTwoColors) {
    c->__SetupColor__(Color(1, 0, 0), Color(0, 1, 0), FALSE);
    IParamBlock *block = c->VariationBlock();
    block->SetValue(DefaultController::kVariationStrength, 0, 7.0f);
    block->SetValue(DefaultController::kNoiseSeed, 0, 3);

    c->__SetupColor__(Color(0, 0, 1), Color(1, 1, 1), TRUE);
    EXPECT_EQ(c->VariationBlock(), block);
    EXPECT_EQ(ColorParam(block, 0), Color(0, 0, 1));
    EXPECT_EQ(ColorParam(block, 1), Color(1, 1, 1));
    EXPECT_EQ(c->State().variantBirthColor, (Color16{0, 0, 65535}));
    float strength = 0;
    int seed = 0;
    block->GetValue(DefaultController::kVariationStrength, 0, strength);
    block->GetValue(DefaultController::kNoiseSeed, 0, seed);
    EXPECT_EQ(strength, 7.0f);
    EXPECT_EQ(seed, 3);
}

// An update needs a colour block; a controller set up for numbers (or not at all) gets one as
// by a first colour set-up instead of colours written into number parameters.
TEST_F(ControllerSetup, ColorUpdateWithoutAColorBlockMakesOne) {
    c->__SetupColor__(Color(0, 0, 1), Color(1, 1, 1), TRUE);
    ExpectLayout(c->VariationBlock(), VariationLayout(TYPE_RGBA));
    EXPECT_EQ(ColorParam(c->VariationBlock(), 0), Color(0, 0, 1));

    c->__SetupInt__(0, 10);
    c->__SetupColor__(Color(0, 1, 0), Color(1, 0, 0), TRUE);
    ExpectLayout(c->VariationBlock(), VariationLayout(TYPE_RGBA));
    EXPECT_EQ(ColorParam(c->VariationBlock(), 1), Color(1, 0, 0));
    ExpectNoiseDefaults(c->VariationBlock());
}

TEST_F(ControllerSetup, ColorSetupChangesNothingAfterAnEditorClosedWithUseVariation) {
    c->__SetupColor__(Color(1, 0, 0), Color(0, 1, 0), FALSE);
    c->__BeginEdit__(GetCOREInterface(), "Color");
    c->SetUseVariation(true);
    c->VariationBlock()->SetValue(DefaultController::kBirthVariation, 0,
                                  Color(0.2f, 0.3f, 0.4f));
    c->__EndEdit__(GetCOREInterface());
    EXPECT_NE(c->State().setupLock, 0);

    const ControllerState before = c->State();
    IParamBlock *block = c->VariationBlock();
    c->__SetupColor__(Color(1, 1, 1), Color(1, 1, 1), FALSE);
    c->__SetupColor__(Color(1, 1, 1), Color(1, 1, 1), TRUE);
    EXPECT_EQ(c->State(), before);
    EXPECT_EQ(c->VariationBlock(), block);
    EXPECT_EQ(ColorParam(block, 0), Color(0.2f, 0.3f, 0.4f));
    EXPECT_EQ(ColorParam(block, 1), Color(0, 1, 0));

    // Closed again with the variation off, the owner's set-up applies again.
    c->__BeginEdit__(GetCOREInterface(), "Color");
    c->SetUseVariation(false);
    c->__EndEdit__(GetCOREInterface());
    EXPECT_EQ(c->State().setupLock, 0);
    c->__SetupColor__(Color(1, 1, 1), Color(1, 1, 1), FALSE);
    EXPECT_EQ(ColorParam(c->VariationBlock(), 0), Color(1, 1, 1));
}

TEST_F(ControllerSetup, EditorStateFollowsOpeningAndClosing) {
    ICustButton button;
    button.SetType(CBT_CHECK);
    button.SetCheck(TRUE);
    c->__BeginEdit__(GetCOREInterface(), "Size", &button);
    EXPECT_TRUE(c->IsEditing());
    EXPECT_EQ(c->button, &button);
    EXPECT_EQ(c->EditInterface(), GetCOREInterface());
    EXPECT_EQ(c->EditorTitle(), "IPC - Size");
    EXPECT_EQ(c->EditorVariationPage(), DefaultController::VariationPage::kNone);

    // Closed by its frame: the button goes up; the lock is __EndEdit__'s alone.
    c->SetUseVariation(true);
    c->CloseEditor();
    EXPECT_FALSE(c->IsEditing());
    EXPECT_EQ(button.IsChecked(), FALSE);
    EXPECT_EQ(c->State().setupLock, 0);

    c->__BeginEdit__(GetCOREInterface(), "Size");
    c->__EndEdit__(GetCOREInterface());
    EXPECT_FALSE(c->IsEditing());
    EXPECT_EQ(c->EditInterface(), nullptr);
    EXPECT_EQ(c->State().setupLock, 1);
}

TEST_F(ControllerSetup, EditorPagesAndEnablingFollowKindAndSettings) {
    c->__SetupInt__(0, 10);
    EXPECT_EQ(c->EditorVariationPage(), DefaultController::VariationPage::kNumbers);
    c->__SetupFloat__(0, 10, 1);
    EXPECT_EQ(c->EditorVariationPage(), DefaultController::VariationPage::kNumbers);
    c->__SetupColor__(Color(0, 0, 0), Color(1, 1, 1), FALSE);
    EXPECT_EQ(c->EditorVariationPage(), DefaultController::VariationPage::kColors);

    struct Case {
        int mode;
        bool value1, value2;
    };
    for (const Case &k : {Case{kInterpolate, false, false}, Case{kStep, true, false},
                          Case{kSmoothStep, true, true}, Case{kClamp, true, true},
                          Case{kPulse, true, false}, Case{kOther, true, true}}) {
        ASSERT_TRUE(c->SetInterpolation(k.mode));
        const DefaultController::EditorEnabling e = c->EditorControlsEnabled();
        EXPECT_EQ(e.value1, k.value1) << kInterpolationNames[k.mode];
        EXPECT_EQ(e.value2, k.value2) << kInterpolationNames[k.mode];
    }
    EXPECT_FALSE(c->EditorControlsEnabled().perParticle);
    EXPECT_FALSE(c->EditorControlsEnabled().byAge);
    c->SetUseVariation(true);
    ASSERT_TRUE(c->SetNoiseSeed(5));
    EXPECT_TRUE(c->EditorControlsEnabled().perParticle);
    EXPECT_TRUE(c->EditorControlsEnabled().byAge);
    EXPECT_FALSE(c->SetInterpolation(6));
    EXPECT_FALSE(c->SetInterpolation(-1));
    EXPECT_EQ(c->State().interpolation, kOther);
}

TEST_F(OwnerTest, SettingsAndParametersTellTheOwner) {
    auto *owner = new ControllerOwner;
    GetCOREInterface()->CreateObjectNode(owner);
    DefaultController *c = owner->controller;
    ASSERT_NE(c, nullptr);
    int before = owner->changes;
    c->SetInterpolation(kSmoothStep);
    EXPECT_GT(owner->changes, before);
    before = owner->changes;
    c->InterpolationBlock()->SetValue(DefaultController::kValue1, 0, 0.3f);
    EXPECT_GT(owner->changes, before);
    before = owner->changes;
    c->SetUseVariation(true);
    EXPECT_GT(owner->changes, before);
}
