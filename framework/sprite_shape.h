/// @file sprite_shape.h
/// @brief The frame that every sprite particle shape shares: a lookup table that lives for one
///        frame (or one roll-up preview), the per-particle coverage scale and diameter, and the
///        preview calls that run the same code as a render.
#pragma once

#include "framework/shape_rows.h"
#include "framework/table_plugin.h"

#include <cstdint>

/// Base of the sprite particle shapes. A shape supplies its parameter table, its table and
/// its pixel function (`Coverage`); the frame answers the per-pixel call and the row call
/// (`IShapeRows`) from it. A shape that evaluates a run of pixels faster than one by one
/// overrides the row call too.
///
/// Calling order: `__BeginFrame__` (or `__RollUpPreviewBegin__`) builds the shape's table;
/// per particle `__BeginParticle__`, then `__ParticleShape__` or `ParticleShapeRow` for the
/// pixels of the particle's square; `__EndFrame__` (or `__RollUpPreviewEnd__`) frees the
/// table. Outside a frame every pixel is uncovered.
class NIMBRA_API SpriteShape : public TablePlugIn, public IShapeRows {
public:
    /// I_SHAPEROWS: the row call; otherwise as the table frame.
    void *GetInterface(ULONG id) override;

    // Frame and particle calls
    /// Remembers the frame time and builds the table.
    void __BeginFrame__(TimeValue time, Bitmap *output, ImageFilter *filter,
                        Bitmap *source) override;
    void __EndFrame__(TimeValue time) override;
    /// The coverage scale (transparency 0 … 1 as 0 … 65535) and the diameter 2r. Derived
    /// shapes add their per-particle quantities.
    void __BeginParticle__(float transparency, int radius, ParticleInfo *info) override;
    /// `Coverage` of the pixel.
    int __ParticleShape__(unsigned short *density, int radius, int dx, int dy, int x,
                          int y) override {
        unsigned short d = 0;
        if (!Coverage(d, radius, dx, dy, x, y)) return 0;
        *density = d;
        return 1;
    }
    /// `Coverage` pixel by pixel.
    void ParticleShapeRow(unsigned short *density, unsigned char *covered, int radius, int dx,
                          int dy, int x, int y, int count) const override;

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

    /// The pixel function: the coverage of the pixel at offset (dx, dy) from the current
    /// particle's centre, at image position (x, y). True and `density` set where the pixel is
    /// covered; false where it is not (and always outside a frame). Changes nothing.
    virtual bool Coverage(unsigned short &density, int radius, int dx, int dy, int x,
                          int y) const = 0;

    /// Builds (or rebuilds) the table that `Coverage` reads.
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
