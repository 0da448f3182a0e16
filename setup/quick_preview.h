/// @file quick_preview.h
/// @brief The helper's quick preview: one particle of the current shape and colour, drawn
///        into a small bitmap at an age the user picks with a slider.
#pragma once

#include "framework/nimbra_api.h"
#include "host/bitmap.h"

class NimbraHelper;

/// Size of the preview bitmap in pixels; the particle sits at its centre.
constexpr int kQuickPreviewWidth = 118;
constexpr int kQuickPreviewHeight = 108;
constexpr int kQuickPreviewCenterX = 59;
constexpr int kQuickPreviewCenterY = 54;
/// Radius in pixels that the larger of Birth Size and Death Size is scaled to.
constexpr int kQuickPreviewMaxRadius = 54;
/// The preview particle lives from age 0 to this; the slider covers the same range.
constexpr int kQuickPreviewLife = 100;

/// The preview's user state, kept by the helper. The roll-up that shows it reads `Render`
/// whenever `NeedsRedraw` says so (after a slider move, a switch of the transparency check
/// button, a change to the helper's parameters or plug-ins, or a change of the scene time).
class NIMBRA_API QuickPreview {
public:
    int Age() const { return age_; }
    /// The slider position, held to 0 … kQuickPreviewLife.
    void SetAge(int age);
    /// "Show transparent effect" (on by default).
    bool ShowTransparent() const { return showTransparent_; }
    void SetShowTransparent(bool on);

    /// Asks for a redraw.
    void Invalidate() { redraw_ = true; }
    bool NeedsRedraw() const { return redraw_; }

    /// The preview of `helper` at scene time t with this state; clears the redraw request.
    /// Null when the helper's shape offers no roll-up preview.
    BitmapPtr Render(NimbraHelper &helper, TimeValue t);

private:
    int age_ = 0;
    bool showTransparent_ = true;
    bool redraw_ = true;
};

/// Renders the one-particle preview of `helper` into a new 118 × 108 bitmap (transparent black
/// where the particle does not reach): the particle at the centre with life 0 … 100 and age
/// `age`, its radius from the size controller over Birth and Death Size (scaled so that the
/// larger is 54 pixels), its transparency from the transparency controller over Birth and
/// Death Trans. when `showTransparent`, else 1. Null when the helper has no shape, its shape
/// answers 0 to `__SupportRollUpPreview__`, or the bitmap cannot be made.
NIMBRA_API BitmapPtr RenderQuickPreview(NimbraHelper &helper, TimeValue t, int age,
                                        bool showTransparent);
