/// @file default_color.h
/// @brief "Default Color": the colour shader of the standard module. One, two or four colours:
///        an outer and an inner colour, each blended from birth to death over the particle's
///        life, and per pixel from outer to inner by the pixel's coverage.
#pragma once

#include "framework/class_ids.h"
#include "framework/table_plugin.h"
#include "plugins/standard/standard_api.h"

/// The descriptor of the default colour shader ("Default Color", category "Color Gradient").
STANDARD_API ClassDesc *GetDefaultColorDesc();

/// The default colour shader.
///
/// One colour: every pixel gets Birth Color 1. Two: the outer colour blended over the
/// particle's life (controller Color One). Four: the outer and the inner colour each blended
/// over the life (Color One, Color Two), then per pixel from outer to inner by the coverage
/// (Color One To Two, whose "age" is the coverage 0 … 65535). "Blacken Color" scales the
/// result by the coverage. The shader writes red, green and blue; never alpha.
class STANDARD_API DefaultColorShader : public TablePlugIn {
public:
    /// Class identifier: the category key, then the plug-in ID.
    static constexpr Class_ID kClassID{kColorShaderKey, 0x74874163};

    enum Param {
        kShadeType,  ///< 0 One, 1 Two, 2 Four
        kBirthColor1,
        kDeathColor1,
        kBirthColor2,
        kDeathColor2,
        kBlacken,  ///< BOOL; no display name (the "Blacken Color" property)
        kParams
    };
    enum ShadeType { kOneColor, kTwoColors, kFourColors, kShadeTypes };
    enum Controller { kColorOneController, kColorTwoController, kOneToTwoController };

    /// Radio buttons of "Number Of Colors" (in ShadeType order).
    static constexpr int kShadeTypeButtons[kShadeTypes] = {1011, 1012, 1013};

    explicit DefaultColorShader(bool loading = false);
    ~DefaultColorShader() override;

    Class_ID ClassID() override { return kClassID; }
    SClass_ID SuperClassID() override { return REF_MAKER_CLASS_ID; }
    void GetClassName(TSTR &s) override { s = "DefaultColor"; }

    /// Reads the six parameters at the frame time; colours become 16-bit.
    void __BeginFrame__(TimeValue time, Bitmap *output, ImageFilter *filter,
                        Bitmap *source) override;
    /// The particle's outer (and, with four colours, inner) colour at its age.
    void __BeginParticle__(float transparency, int radius, ParticleInfo *info) override;
    /// Red, green and blue of `color` for a pixel of coverage `density`.
    void __ColorShader__(unsigned short density, BMM_Color_64 *color, int dx, int dy, int x,
                         int y) override;

    // Roll-up preview: the frame at the host's current time, then the particle
    int __SupportRollUpPreview__() override { return 1; }
    void __RollUpPreviewBegin__(Bitmap *bitmap, float transparency, int radius,
                                ParticleInfo *info) override;
    void __RollUpPreviewColor__(unsigned short density, BMM_Color_64 *color, int, int, int,
                                int) override {
        __ColorShader__(density, color, 0, 0, 0, 0);
    }

    // Roll-up
    /// A "Number Of Colors" radio button: the shade type changes, every controller button is
    /// unchecked and every controller editor ends.
    void ShadeTypeClicked(int shadeType);
    /// Which rows and columns of "Color Settings" the roll-up shows for a shade type: the
    /// death row (label, outer swatch and the Color One button) with two or four colours, the
    /// inner column (swatches, Color Two and Outer -> Inner buttons) with four.
    struct ColorSettingsLayout {
        bool deathRow = false;
        bool innerColumn = false;
    };
    static ColorSettingsLayout VisibleColorSettings(int shadeType);

    // The current frame's and particle's colours
    int ShadeType() const { return shadeType_; }
    const BMM_Color_64 &ColorOne() const { return colorOne_; }
    const BMM_Color_64 &ColorTwo() const { return colorTwo_; }

protected:
    TablePlugIn *MakeForLoading() const override { return new DefaultColorShader(true); }

private:
    int shadeType_ = kOneColor;
    BMM_Color_64 birthColor1_, birthColor2_, deathColor1_, deathColor2_;
    BMM_Color_64 colorOne_, colorTwo_;
    BMM_Color_64 mixColor_;
    int particleBirth_ = 0;
    int particleDeath_ = 0;
    int blacken_ = 1;
    int particleIndex_ = 0;
    TimeValue frameTime_ = 0;
};
