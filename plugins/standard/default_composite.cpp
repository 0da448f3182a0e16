/// @file default_composite.cpp
/// @brief The default composite: alpha, glow, darken and blur.
#include "plugins/standard/default_composite.h"

#include "framework/plugin_class_desc.h"

#include "host/bitmap.h"
#include "host/image_filter.h"

#include <algorithm>
#include <cstdint>

namespace {

// Parameter block (version 0); neither parameter is animatable.
const ParamSpec kParams[DefaultComposite::kParams] = {
    {"Composite Type", TYPE_INT, FALSE, 0.0f, defaultDim},
    {"Blur Type", TYPE_INT, FALSE, 1.0f, defaultDim},
};

constexpr const char *kCompositeLabels[DefaultComposite::kCompositeTypes] = {"Alpha", "Glow",
                                                                             "Darken", "Blur"};
constexpr const char *kBlurLabels[DefaultComposite::kBlurTypes] = {"Strength Via Color",
                                                                   "Strength Via Alpha"};
const ChoiceSpec kChoices[] = {
    {"Composite Type", DefaultComposite::kCompositeType, kCompositeLabels,
     "how a particle's colour meets the frame: \"Alpha\" blend, additive \"Glow\", "
     "subtractive \"Darken\", or \"Blur\" of the frame under it"},
    {"Blur Type", DefaultComposite::kBlurType, kBlurLabels,
     "the blur's strength: \"Strength Via Color\" is the coverage, \"Strength Via Alpha\" the "
     "brightest channel of the particle's colour"},
};

const PlugInLayout kLayout{kParams, {}, kChoices};

constexpr std::uint32_t kFull = 65535;

/// (v × w) >> 16, all 16-bit.
std::uint32_t Scale(std::uint32_t v, std::uint32_t w) {
    return (v * w) >> 16;
}

unsigned short Lerp16(int a, int b, int w) {
    return static_cast<unsigned short>(ImageFilter::Lerp(a, b, w));
}

}  // namespace

ClassDesc *GetDefaultCompositeDesc() {
    return PlugInClassDesc<DefaultComposite>::Get("Default Composite", "Nimbra Plugins");
}

DefaultComposite::DefaultComposite(bool loading) : TablePlugIn(kLayout, loading) {}

DefaultComposite::~DefaultComposite() = default;

void DefaultComposite::__BeginFrame__(TimeValue t, Bitmap *frame, ImageFilter *, Bitmap *) {
    // A type outside the table (a scene file may store any integer) counts as the first.
    compositeType_ = ChoiceParam(kCompositeType, t, kCompositeTypes);
    blurType_ = ChoiceParam(kBlurType, t, kBlurTypes);
    frameBitmap_ =
        frame;  // the blends use the host's `ImageFilter::Lerp`, which needs no filter
}

void DefaultComposite::__ImageComposite__(int x, int y, BMM_Color_64 *color,
                                          unsigned short density) {
    if (!frameBitmap_ || !color) return;
    // The result is made in a local and stored whole once: writing the caller's colour
    // channel by channel and then reading it back as one pixel would stall the processor on
    // every pixel.
    const BMM_Color_64 &bg = background_ = frameBitmap_->Pixel(x, y);
    const std::uint32_t a = Scale(density, kFull);
    const std::uint32_t r = color->r, g = color->g, b = color->b;
    BMM_Color_64 c;
    switch (compositeType_) {
        default:  // never: a type outside the table is read as the first
        case kAlpha:
            c.r = Lerp16(bg.r, int(r), int(a));
            c.g = Lerp16(bg.g, int(g), int(a));
            c.b = Lerp16(bg.b, int(b), int(a));
            break;
        case kGlow:
            c.r = static_cast<unsigned short>(std::min(bg.r + Scale(r, a), kFull));
            c.g = static_cast<unsigned short>(std::min(bg.g + Scale(g, a), kFull));
            c.b = static_cast<unsigned short>(std::min(bg.b + Scale(b, a), kFull));
            break;
        case kDarken: {
            const auto darken = [a](std::uint32_t under, std::uint32_t v) {
                const std::uint32_t d = Scale(v, a);
                return static_cast<unsigned short>(under > d ? under - d : 0);
            };
            c.r = darken(bg.r, r);
            c.g = darken(bg.g, g);
            c.b = darken(bg.b, b);
            break;
        }
        case kBlur: {
            const std::uint32_t s =
                blurType_ == kStrengthViaColor ? std::uint32_t(density) : std::max({r, g, b});
            // Neighbours outside the frame (pixels on its border) stand in with the pixel's
            // own background, so a border pixel blurs only with the neighbours it has.
            const auto neighbour = [&](int nx, int ny) {
                BMM_Color_64 n;
                return frameBitmap_->GetPixel(nx, ny, n) ? n : bg;
            };
            const BMM_Color_64 around[4] = {neighbour(x - 1, y), neighbour(x + 1, y),
                                            neighbour(x, y + 1), neighbour(x, y - 1)};
            // Each neighbour moves towards the background by 1 − s: k + n × s with
            // k = bg − bg × s, so strength 0 gives the background back unchanged.
            const auto blur = [&](unsigned short BMM_Color_64::*channel) {
                const std::uint32_t under = bg.*channel;
                const std::uint32_t k = under - Scale(under, s);
                std::uint32_t sum = under;
                for (const BMM_Color_64 &n : around) sum += Scale(n.*channel, s) + k;
                return static_cast<unsigned short>(std::min(sum / 5, kFull));
            };
            c.r = blur(&BMM_Color_64::r);
            c.g = blur(&BMM_Color_64::g);
            c.b = blur(&BMM_Color_64::b);
            break;
        }
    }
    c.a = std::max(Lerp16(bg.a, int(kFull), int(a)), bg.a);
    *color = c;
    frameBitmap_->PutPixel(x, y, c);
}
