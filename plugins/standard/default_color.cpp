/// @file default_color.cpp
/// @brief The default colour shader: parameters, controllers, per-particle and per-pixel
///        colours, and its roll-up's radio buttons.
#include "plugins/standard/default_color.h"

#include "framework/age_quantity.h"
#include "framework/plugin_class_desc.h"

#include "host/interface.h"

#include <cstdint>

namespace {

// Parameter block (version 0).
const ParamSpec kParams[DefaultColorShader::kParams] = {
    {"Shade Type", TYPE_INT, FALSE, 0.0f, defaultDim},
    {"Birth Color 1", TYPE_RGBA, TRUE, 0.0f, stdColorDim, Color(0.8f, 0.8f, 0.8f)},
    {"Death Color 1", TYPE_RGBA, TRUE, 0.0f, stdColorDim, Color(0.9f, 0.9f, 0.9f)},
    {"Birth Color 2", TYPE_RGBA, TRUE, 0.0f, stdColorDim, Color(0.3f, 0.3f, 0.3f)},
    {"Death Color 2", TYPE_RGBA, TRUE, 0.0f, stdColorDim, Color(0.4f, 0.4f, 0.4f)},
    {"??", TYPE_BOOL, FALSE, 1.0f, defaultDim},  // blacken: the "Blacken Color" property
};

// The controllers and the roll-up buttons that open them. Color One and Color Two take the
// outer and inner colours as their variant colours each time their editor opens.
const ControllerSpec kControllers[] = {
    {"Color One", 1019, ControllerSpec::kColor, 0.0f, 0.0f, 0.0f,
     DefaultColorShader::kBirthColor1, DefaultColorShader::kDeathColor1},
    {"Color Two", 1020, ControllerSpec::kColor, 0.0f, 0.0f, 0.0f,
     DefaultColorShader::kBirthColor2, DefaultColorShader::kDeathColor2},
    {"Color One To Two", 1022, ControllerSpec::kColor},
};

constexpr const char *kShadeTypeLabels[DefaultColorShader::kShadeTypes] = {"One", "Two",
                                                                           "Four"};
const ChoiceSpec kChoices[] = {
    {"Number Of Colors", DefaultColorShader::kShadeType, kShadeTypeLabels,
     "\"One\" colour, \"Two\" (outer, birth to death) or \"Four\" (outer and inner, birth to "
     "death, blended by coverage)"},
    {"Blacken Color", DefaultColorShader::kBlacken, {}, "darken the colour by the coverage"},
};

const PlugInLayout kLayout{kParams, kControllers, kChoices};

/// The age window that Color One To Two blends over: the coverage 0 … 65535.
constexpr int kCoverageWindowEnd = 65535;

unsigned short Darkened(unsigned short density, unsigned short c) {
    return static_cast<unsigned short>((std::uint32_t(density) * c) >> 16);
}

}  // namespace

ClassDesc *GetDefaultColorDesc() {
    return PlugInClassDesc<DefaultColorShader>::Get("Default Color", "Color Gradient");
}

DefaultColorShader::DefaultColorShader(bool loading) : TablePlugIn(kLayout, loading) {}

DefaultColorShader::~DefaultColorShader() = default;

void DefaultColorShader::__BeginFrame__(TimeValue t, Bitmap *, ImageFilter *, Bitmap *) {
    frameTime_ = t;
    shadeType_ = ChoiceParam(kShadeType, t, kShadeTypes);
    birthColor1_ = ToPixelColor(ColorParam(kBirthColor1, t));
    deathColor1_ = ToPixelColor(ColorParam(kDeathColor1, t));
    birthColor2_ = ToPixelColor(ColorParam(kBirthColor2, t));
    deathColor2_ = ToPixelColor(ColorParam(kDeathColor2, t));
    blacken_ = IntParam(kBlacken, t);
}

void DefaultColorShader::__BeginParticle__(float, int, ParticleInfo *info) {
    if (shadeType_ == kOneColor || !info) {
        colorOne_ = birthColor1_;
        return;
    }
    const ParticleInfo &p = *info;
    particleBirth_ = p.lifeStart;
    particleDeath_ = p.lifeEnd;
    particleIndex_ = p.particleIndex;
    using ColorQuantity = AgeQuantity<BMM_Color_64>;
    colorOne_ =
        ColorQuantity{GetController(kColorOneController), birthColor1_, deathColor1_}.At(
            frameTime_, particleBirth_, particleDeath_, particleIndex_, p.age);
    if (shadeType_ != kFourColors) return;
    colorTwo_ =
        ColorQuantity{GetController(kColorTwoController), birthColor2_, deathColor2_}.At(
            frameTime_, particleBirth_, particleDeath_, particleIndex_, p.age);
    // The outer-to-inner blend is reset with the same values for every pixel of the
    // particle: once here serves them all.
    if (NimbraController *mix = GetController(kOneToTwoController))
        mix->__Reset__(frameTime_, 0, kCoverageWindowEnd, particleIndex_);
}

void DefaultColorShader::__ColorShader__(unsigned short density, BMM_Color_64 *color, int, int,
                                         int, int) {
    const BMM_Color_64 *c = &colorOne_;
    if (shadeType_ == kFourColors) {
        // The controller blends into the member, which starts as Color One (a controller that
        // gives no value leaves it so).
        mixColor_ = colorOne_;
        if (NimbraController *mix = GetController(kOneToTwoController))
            mix->__Eval__(&mixColor_, density, colorOne_, colorTwo_);
        c = &mixColor_;
    }
    if (blacken_) {
        color->r = Darkened(density, c->r);
        color->g = Darkened(density, c->g);
        color->b = Darkened(density, c->b);
    } else {
        color->r = c->r;
        color->g = c->g;
        color->b = c->b;
    }
}

void DefaultColorShader::__RollUpPreviewBegin__(Bitmap *, float transparency, int radius,
                                                ParticleInfo *info) {
    __BeginFrame__(GetCOREInterface()->GetTime(), nullptr, nullptr, nullptr);
    __BeginParticle__(transparency, radius, info);
}

void DefaultColorShader::ShadeTypeClicked(int shadeType) {
    if (shadeType < 0 || shadeType >= kShadeTypes) return;
    if (IParamBlock *block = ParamBlock()) block->SetValue(kShadeType, 0, shadeType);
    for (int i = 0; i < NumControllers(); ++i)
        if (NimbraController *controller = GetController(i))
            if (controller->button) controller->button->SetCheck(FALSE);
    EndControllerEditors();
}

DefaultColorShader::ColorSettingsLayout DefaultColorShader::VisibleColorSettings(
    int shadeType) {
    return {shadeType == kTwoColors || shadeType == kFourColors, shadeType == kFourColors};
}
