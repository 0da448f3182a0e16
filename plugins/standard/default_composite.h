/// @file default_composite.h
/// @brief "Default Composite": the composite of the standard module, the last stage of the
///        sprite pipeline. It combines a pixel's colour with the frame under it by alpha
///        blend, additive glow, subtractive darken, or a blur of the frame under the particle.
#pragma once

#include "framework/class_ids.h"
#include "framework/table_plugin.h"
#include "plugins/standard/standard_api.h"

/// The descriptor of the default composite ("Default Composite", category "Nimbra Plugins").
STANDARD_API ClassDesc *GetDefaultCompositeDesc();

/// The default composite. For every covered pixel the colour's alpha becomes the coverage; the
/// frame pixel's colour is combined by the composite type; its alpha only grows (towards
/// opaque by the coverage).
class STANDARD_API DefaultComposite : public TablePlugIn {
public:
    /// Class identifier: the category key, then the plug-in ID.
    static constexpr Class_ID kClassID{kCompositeKey, 0x49120A27};

    enum Param { kCompositeType, kBlurType, kParams };
    enum CompositeType { kAlpha, kGlow, kDarken, kBlur, kCompositeTypes };
    /// Where the blur takes its strength from. The roll-up's labels pair with these as listed:
    /// "Strength Via Color" blurs by the coverage, "Strength Via Alpha" by the brightest
    /// channel of the shaded colour.
    enum BlurType { kStrengthViaColor, kStrengthViaAlpha, kBlurTypes };

    explicit DefaultComposite(bool loading = false);
    ~DefaultComposite() override;

    Class_ID ClassID() override { return kClassID; }
    SClass_ID SuperClassID() override { return REF_MAKER_CLASS_ID; }
    void GetClassName(TSTR &s) override { s = "DefaultComp"; }

    /// Reads both parameters at the frame time; remembers the frame it writes into.
    void __BeginFrame__(TimeValue time, Bitmap *output, ImageFilter *filter,
                        Bitmap *source) override;
    /// Composites `color` of coverage `density` into pixel (x, y) of the frame; `color` gets
    /// the written value.
    void __ImageComposite__(int x, int y, BMM_Color_64 *color, unsigned short density) override;

    int CompositeTypeInUse() const { return compositeType_; }
    int BlurTypeInUse() const { return blurType_; }

protected:
    TablePlugIn *MakeForLoading() const override { return new DefaultComposite(true); }

private:
    Bitmap *frameBitmap_ = nullptr;
    BMM_Color_64 background_;
    int compositeType_ = kAlpha;
    int blurType_ = kStrengthViaAlpha;
};
