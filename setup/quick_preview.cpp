/// @file quick_preview.cpp
/// @brief Rendering the helper's one-particle preview.
#include "setup/quick_preview.h"

#include "framework/plugin_interface.h"
#include "setup/helper.h"

#include <algorithm>
#include <cmath>

namespace {

/// Largest radius the preview asks a shape for: far past the bitmap's half diagonal, so only
/// a controller gone wild reaches it, and the loop over (2r + 1)² offsets stays bounded.
constexpr int kMaxPreviewRadius = 4 * kQuickPreviewMaxRadius;

/// `q` at `age` of the preview particle's life (particle 0, life 0 … kQuickPreviewLife).
float Evaluate(const AgeQuantity<float> &q, TimeValue t, int age) {
    return q.At(t, 0, kQuickPreviewLife, 0, age);
}

/// Truncation toward zero held to 0 … kMaxPreviewRadius (NaN gives 0).
int PreviewRadius(float size) {
    if (!(size > 0.0f)) return 0;
    return size >= kMaxPreviewRadius ? kMaxPreviewRadius : static_cast<int>(size);
}

}  // namespace

void QuickPreview::SetAge(int age) {
    age_ = std::clamp(age, 0, kQuickPreviewLife);
    Invalidate();
}

void QuickPreview::SetShowTransparent(bool on) {
    showTransparent_ = on;
    Invalidate();
}

BitmapPtr QuickPreview::Render(NimbraHelper &helper, TimeValue t) {
    redraw_ = false;
    return RenderQuickPreview(helper, t, age_, showTransparent_);
}

BitmapPtr RenderQuickPreview(NimbraHelper &helper, TimeValue t, int age, bool showTransparent) {
    NimbraPlugIn *shape = helper.Shape();
    if (!shape || !shape->__SupportRollUpPreview__()) return nullptr;
    NimbraPlugIn *color = helper.ColorShader();
    BitmapPtr bitmap(TheManager->Create(
        BitmapInfo(BMM_TRUE_64, MAP_HAS_ALPHA, kQuickPreviewWidth, kQuickPreviewHeight)));
    if (!bitmap) return nullptr;

    ParticleInfo info;
    info.screenX = kQuickPreviewCenterX;
    info.screenY = kQuickPreviewCenterY;
    info.lifeStart = 0;
    info.lifeEnd = kQuickPreviewLife;
    info.age = age;

    const HelperRecord record = helper.RecordAt(t, false);
    // Sizes in pixels: the larger of the two becomes the largest radius.
    AgeQuantity<float> size = record.size;
    const float largest = std::max(size.birth, size.death);
    const float scale = largest > 0.0f ? kQuickPreviewMaxRadius / largest : 0.0f;
    size.birth *= scale;
    size.death *= scale;
    const int radius = PreviewRadius(Evaluate(size, t, age));
    info.size = static_cast<float>(radius);

    const float transparency = showTransparent ? Evaluate(record.transparency, t, age) : 1.0f;

    shape->__RollUpPreviewBegin__(bitmap.get(), transparency, radius, &info);
    if (color) color->__RollUpPreviewBegin__(bitmap.get(), transparency, radius, &info);
    const bool colored = color && color->__SupportRollUpPreview__();
    for (int dy = -radius; dy <= radius; ++dy) {
        for (int dx = -radius; dx <= radius; ++dx) {
            const int x = kQuickPreviewCenterX + dx;
            const int y = kQuickPreviewCenterY + dy;
            unsigned short density = 0;
            if (!shape->__RollUpPreviewShape__(&density, radius, dx, dy, x, y)) continue;
            if (x < 0 || x >= kQuickPreviewWidth || y < 0 || y >= kQuickPreviewHeight) continue;
            BMM_Color_64 c{65535, 65535, 65535, 65535};
            if (colored) color->__ColorShader__(density, &c, dx, dy, x, y);
            const std::uint32_t d = density;
            const BMM_Color_64 pixel{
                static_cast<UWORD>(c.r * d / 65536), static_cast<UWORD>(c.g * d / 65536),
                static_cast<UWORD>(c.b * d / 65536), static_cast<UWORD>(d * 65535 / 65536)};
            bitmap->PutPixel(x, y, pixel);
        }
    }
    shape->__RollUpPreviewEnd__();
    if (color) color->__RollUpPreviewEnd__();
    return bitmap;
}
