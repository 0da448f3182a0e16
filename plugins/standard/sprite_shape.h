/// @file sprite_shape.h
/// @brief The frame that every sprite particle shape shares: a lookup table that lives for one
///        frame (or one roll-up preview), the per-particle coverage scale and diameter, and the
///        preview calls that run the same code as a render.
#pragma once

#include "plugins/standard/table_plugin.h"

#include <cstdint>

/// Base of the sprite particle shapes.
///
/// Calling order: `__BeginFrame__` (or `__RollUpPreviewBegin__`) builds the shape's table;
/// per particle `__BeginParticle__`, then `__ParticleShape__` for each pixel offset of the
/// particle's square; `__EndFrame__` (or `__RollUpPreviewEnd__`) frees the table. Outside a
/// frame every pixel is uncovered.
class STANDARD_API SpriteShape : public TablePlugIn {
public:
    // Frame and particle calls
    /// Remembers the frame time and builds the table.
    void __BeginFrame__(TimeValue time, Bitmap *output, ImageFilter *filter,
                        Bitmap *source) override;
    void __EndFrame__(TimeValue time) override;
    /// The coverage scale (transparency 0 … 1 as 0 … 65535) and the diameter 2r. Derived
    /// shapes add their per-particle quantities.
    void __BeginParticle__(float transparency, int radius, ParticleInfo *info) override;

    // Roll-up preview: the same calls as a render, at the host's current time
    int __SupportRollUpPreview__() override { return 1; }
    void __RollUpPreviewBegin__(Bitmap *bitmap, float transparency, int radius,
                                ParticleInfo *info) override;
    int __RollUpPreviewShape__(unsigned short *density, int radius, int dx, int dy, int x,
                               int y) override {
        return __ParticleShape__(density, radius, dx, dy, x, y);
    }
    void __RollUpPreviewEnd__() override { FreeTable(); }

    std::uint16_t CoverageScale() const { return coverageScale_; }
    float Diameter() const { return diameter_; }
    TimeValue FrameTime() const { return frameTime_; }

protected:
    using TablePlugIn::TablePlugIn;

    /// Builds (or rebuilds) the table that `__ParticleShape__` reads.
    virtual void BuildTable() = 0;
    virtual void FreeTable() = 0;

    /// The coverage of table entry `e`: (e × coverage scale) >> 16.
    unsigned short Scaled(std::uint16_t e) const {
        return static_cast<unsigned short>((std::uint32_t(e) * coverageScale_) >> 16);
    }

    std::uint16_t coverageScale_ = 0;
    float diameter_ = 0.0f;  ///< pixels; 0 for a particle without a radius (nothing covered)
    TimeValue frameTime_ = 0;
};

/// `v` clamped to 0 … 1; NaN gives 0.
inline float Clamp01(float v) {
    return v > 0.0f ? (v < 1.0f ? v : 1.0f) : 0.0f;
}
