/// @file default_color_test.cpp
/// @brief The default colour shader: one, two and four colours, "Blacken Color", the alpha it
///        never touches, and its roll-up's radio buttons.
#include "plugins/standard/default_color.h"
#include "host/interface.h"
#include "standard_fixture.h"

#include <gtest/gtest.h>

#include <cstdlib>

using namespace standardtest;

namespace {

constexpr TimeValue kFrame = 1600;
constexpr unsigned short kUntouchedAlpha = 12345;

const Color kBirthOuter(1.0f, 0.5f, 0.0f);
const Color kDeathOuter(0.0f, 0.25f, 1.0f);
const Color kBirthInner(0.2f, 0.4f, 0.6f);
const Color kDeathInner(0.6f, 0.0f, 0.2f);

BMM_Color_64 Pixel(const Color &c) {
    return {ToChannel16(c.r), ToChannel16(c.g), ToChannel16(c.b), 0};
}

/// Channels of `a` and `b` agree within `tol` (alpha not compared).
::testing::AssertionResult Near(const BMM_Color_64 &a, const BMM_Color_64 &b, int tol = 2) {
    for (auto channel : {&BMM_Color_64::r, &BMM_Color_64::g, &BMM_Color_64::b})
        if (std::abs(int(a.*channel) - int(b.*channel)) > tol)
            return ::testing::AssertionFailure()
                   << "(" << a.r << ", " << a.g << ", " << a.b << ") vs (" << b.r << ", " << b.g
                   << ", " << b.b << ")";
    return ::testing::AssertionSuccess();
}

ParticleInfo Particle(float ageFraction, int index = 3) {
    ParticleInfo p;
    p.lifeStart = 0;
    p.lifeEnd = 9600;
    p.age = static_cast<int>(9600 * ageFraction);
    p.particleIndex = index;
    return p;
}

class DefaultColor : public ::testing::Test {
protected:
    void SetUp() override {
        shader = NewPlugIn<DefaultColorShader>(DefaultColorShader::kClassID);
        ASSERT_NE(shader, nullptr);
        IParamBlock *pb = shader->ParamBlock();
        pb->SetValue(DefaultColorShader::kBirthColor1, 0, kBirthOuter);
        pb->SetValue(DefaultColorShader::kDeathColor1, 0, kDeathOuter);
        pb->SetValue(DefaultColorShader::kBirthColor2, 0, kBirthInner);
        pb->SetValue(DefaultColorShader::kDeathColor2, 0, kDeathInner);
    }

    void Use(int shadeType, bool blacken) {
        shader->ParamBlock()->SetValue(DefaultColorShader::kShadeType, 0, shadeType);
        shader->ParamBlock()->SetValue(DefaultColorShader::kBlacken, 0, blacken ? 1 : 0);
        shader->__BeginFrame__(kFrame, nullptr, nullptr, nullptr);
    }

    /// The colour of a pixel of coverage `density` of a particle at `ageFraction`.
    BMM_Color_64 Shade(float ageFraction, unsigned short density) {
        ParticleInfo p = Particle(ageFraction);
        shader->__BeginParticle__(1.0f, 10, &p);
        BMM_Color_64 c{1, 2, 3, kUntouchedAlpha};
        shader->__ColorShader__(density, &c, 1, 2, 3, 4);
        EXPECT_EQ(c.a, kUntouchedAlpha) << "the shader never writes alpha";
        return c;
    }

    Owned<DefaultColorShader> shader;
};

}  // namespace

TEST_F(DefaultColor, DefaultsAreOneGreyColourBlackenedByCoverage) {
    auto fresh = NewPlugIn<DefaultColorShader>(DefaultColorShader::kClassID);
    ASSERT_NE(fresh, nullptr);
    fresh->__BeginFrame__(0, nullptr, nullptr, nullptr);
    EXPECT_EQ(fresh->ShadeType(), DefaultColorShader::kOneColor);
    ParticleInfo p = Particle(0.5f);
    fresh->__BeginParticle__(1.0f, 4, &p);
    BMM_Color_64 c;
    fresh->__ColorShader__(65535, &c, 0, 0, 0, 0);
    const unsigned short grey = std::uint16_t(0.8f * 65535.0f);  // 52428
    EXPECT_EQ(c.r, (65535u * grey) >> 16);
    EXPECT_EQ(c.g, c.r);
    EXPECT_EQ(c.b, c.r);
}

TEST_F(DefaultColor, OneColourIgnoresAgeAndBlackensByCoverage) {
    Use(DefaultColorShader::kOneColor, false);
    for (float age : {0.0f, 0.5f, 1.0f})
        for (unsigned short d : {0, 1000, 65535}) {
            const BMM_Color_64 c = Shade(age, d);
            EXPECT_EQ(c, (BMM_Color_64{65535, 32767, 0, kUntouchedAlpha}));
        }

    Use(DefaultColorShader::kOneColor, true);
    for (unsigned short d : {0, 1000, 40000, 65535}) {
        const BMM_Color_64 c = Shade(0.7f, d);
        EXPECT_EQ(c.r, (std::uint32_t(d) * 65535u) >> 16);
        EXPECT_EQ(c.g, (std::uint32_t(d) * 32767u) >> 16);
        EXPECT_EQ(c.b, 0);
    }
    EXPECT_EQ(Shade(0.7f, 0), (BMM_Color_64{0, 0, 0, kUntouchedAlpha})) << "black at density 0";
}

TEST_F(DefaultColor, TwoColoursChangeWithAgeOnly) {
    Use(DefaultColorShader::kTwoColors, false);
    EXPECT_TRUE(Near(Shade(0.0f, 30000), Pixel(kBirthOuter)));
    EXPECT_TRUE(Near(Shade(1.0f, 30000), Pixel(kDeathOuter)));
    const BMM_Color_64 half = Shade(0.5f, 0);
    EXPECT_TRUE(Near(half, Pixel((kBirthOuter + kDeathOuter) * 0.5f)));
    // All pixels of one particle get the same colour.
    for (unsigned short d : {1, 20000, 65535}) EXPECT_EQ(Shade(0.5f, d), half);
}

TEST_F(DefaultColor, FourColoursBlendOuterToInnerByCoverage) {
    Use(DefaultColorShader::kFourColors, false);
    for (float age : {0.0f, 0.25f, 1.0f}) {
        const Color outer = kBirthOuter + (kDeathOuter - kBirthOuter) * age;
        const Color inner = kBirthInner + (kDeathInner - kBirthInner) * age;
        EXPECT_TRUE(Near(Shade(age, 0), Pixel(outer))) << age;
        EXPECT_TRUE(Near(Shade(age, 65535), Pixel(inner))) << age;
        EXPECT_TRUE(Near(Shade(age, 16384), Pixel(outer + (inner - outer) * 0.25f))) << age;
    }
    // With "Blacken Color" the blend is darkened by the same coverage; density 0 is black.
    Use(DefaultColorShader::kFourColors, true);
    EXPECT_EQ(Shade(0.25f, 0), (BMM_Color_64{0, 0, 0, kUntouchedAlpha}));
    const BMM_Color_64 inner = Pixel(kBirthInner + (kDeathInner - kBirthInner) * 0.25f);
    const BMM_Color_64 full = Shade(0.25f, 65535);
    EXPECT_TRUE(Near(
        full, {std::uint16_t((65535u * inner.r) >> 16), std::uint16_t((65535u * inner.g) >> 16),
               std::uint16_t((65535u * inner.b) >> 16), 0}));
}

TEST_F(DefaultColor, ColoursAreReadAtTheFrameTime) {
    shader->ParamBlock()->SetKey(DefaultColorShader::kBirthColor1, 0, Color(0, 0, 0));
    shader->ParamBlock()->SetKey(DefaultColorShader::kBirthColor1, 2 * kFrame, Color(1, 1, 1));
    Use(DefaultColorShader::kOneColor, false);
    const BMM_Color_64 c = Shade(0.9f, 65535);
    EXPECT_TRUE(Near(c, Pixel(Color(0.5f, 0.5f, 0.5f))));
}

TEST_F(DefaultColor, ChannelsBeyondTheColourRangeAreHeldToSixteenBits) {
    shader->ParamBlock()->SetValue(DefaultColorShader::kBirthColor1, 0, Color(-1, 0.5f, 7));
    Use(DefaultColorShader::kOneColor, false);
    EXPECT_EQ(Shade(0.9f, 65535), (BMM_Color_64{0, 32767, 65535, kUntouchedAlpha}));
}

TEST_F(DefaultColor, ShadeTypeOutsideTheChoicesShadesAsOneColour) {
    Use(7, false);
    EXPECT_EQ(shader->ShadeType(), DefaultColorShader::kOneColor);
    EXPECT_EQ(Shade(1.0f, 100), (BMM_Color_64{65535, 32767, 0, kUntouchedAlpha}));
}

TEST_F(DefaultColor, RollUpPreviewShadesAtTheCurrentTime) {
    Use(DefaultColorShader::kTwoColors, false);
    const BMM_Color_64 rendered = Shade(0.5f, 9000);
    GetCOREInterface()->SetTime(kFrame);
    EXPECT_EQ(shader->__SupportRollUpPreview__(), 1);
    ParticleInfo p = Particle(0.5f);
    shader->__RollUpPreviewBegin__(nullptr, 1.0f, 10, &p);
    BMM_Color_64 c{0, 0, 0, kUntouchedAlpha};
    shader->__RollUpPreviewColor__(9000, &c, 5, 5, 5, 5);
    EXPECT_EQ(c, rendered);
    shader->__RollUpPreviewEnd__();
    GetCOREInterface()->SetTime(0);
}

TEST_F(DefaultColor, NumberOfColoursButtonsCloseTheControllerEditorsAndPickTheRows) {
    ICustButton buttons[3];
    for (int i = 0; i < 3; ++i) {
        buttons[i].SetType(CBT_CHECK);
        buttons[i].SetCheck(TRUE);
        shader->ControllerButtonReleased(i, true, &buttons[i]);
        auto *c = dynamic_cast<DefaultController *>(shader->GetController(i));
        ASSERT_NE(c, nullptr);
        EXPECT_TRUE(c->IsEditing());
    }
    shader->ShadeTypeClicked(DefaultColorShader::kFourColors);
    int type = -1;
    shader->ParamBlock()->GetValue(DefaultColorShader::kShadeType, 0, type);
    EXPECT_EQ(type, DefaultColorShader::kFourColors);
    for (int i = 0; i < 3; ++i) {
        EXPECT_FALSE(buttons[i].IsChecked()) << i;
        EXPECT_FALSE(dynamic_cast<DefaultController *>(shader->GetController(i))->IsEditing());
    }

    using Layout = DefaultColorShader::ColorSettingsLayout;
    const auto rows = [](int t) {
        const Layout l = DefaultColorShader::VisibleColorSettings(t);
        return std::pair(l.deathRow, l.innerColumn);
    };
    EXPECT_EQ(rows(DefaultColorShader::kOneColor), std::pair(false, false));
    EXPECT_EQ(rows(DefaultColorShader::kTwoColors), std::pair(true, false));
    EXPECT_EQ(rows(DefaultColorShader::kFourColors), std::pair(true, true));
}

TEST_F(DefaultColor, ColourControllerButtonsTakeTheSwatchColoursBeforeOpening) {
    auto *one = dynamic_cast<DefaultController *>(shader->GetController(0));
    auto *mix = dynamic_cast<DefaultController *>(shader->GetController(2));
    ASSERT_NE(one, nullptr);
    ASSERT_NE(mix, nullptr);
    // Set up at creation with white as both variant colours.
    const Color16 white{65535, 65535, 65535};
    EXPECT_EQ(one->State().kind, kKindColor);
    EXPECT_EQ(one->State().variantBirthColor, white);
    EXPECT_EQ(one->State().variantDeathColor, white);

    ICustButton button;
    shader->ControllerButtonReleased(0, true, &button);
    EXPECT_EQ(one->State().variantBirthColor, ToColor16(kBirthOuter));
    EXPECT_EQ(one->State().variantDeathColor, ToColor16(kDeathOuter));
    EXPECT_EQ(one->EditorTitle(), "IPC - Color One");
    EXPECT_EQ(one->button, &button);

    shader->ControllerButtonReleased(2, true, &button);
    EXPECT_EQ(mix->State().variantBirthColor, white) << "Outer -> Inner opens as it is";
    EXPECT_EQ(mix->EditorTitle(), "IPC - Color One To Two");
    shader->__EndEdit__(GetCOREInterface(), GetNimbraInterface());
    EXPECT_FALSE(one->IsEditing());
    EXPECT_FALSE(mix->IsEditing());
}
