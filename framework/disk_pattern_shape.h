/// @file disk_pattern_shape.h
/// @brief The frame of sprite shapes that cut a pattern out with the soft disk and evaluate it
///        a run of pixels at a time.
#pragma once

#include "framework/soft_disk.h"
#include "framework/sprite_shape.h"

#include <cstdint>

/// A sprite shape whose pixels read the soft disk at their place in the particle's square and,
/// inside it, a pattern that the derived shape evaluates for a run of pixels of one row at
/// once (noise along the row, say). Pixels outside the disk need no pattern: they are not
/// covered, or, for a shape that covers its whole square, covered with density 0.
///
/// The per-pixel call reads back runs of the row call (`RowRunCache`), so both give every
/// pixel the same value.
class NIMBRA_API DiskPatternShape : public SpriteShape {
public:
    /// Most pixels whose pattern is evaluated together.
    static constexpr int kRun = 64;

    /// The frame's per-particle quantities; the derived shape adds its own.
    void __BeginParticle__(float transparency, int radius, ParticleInfo *info) override;
    /// The disk, and the pattern where the disk is not 0, scaled by the coverage scale.
    void ParticleShapeRow(unsigned short *density, unsigned char *covered, int radius, int dx,
                          int dy, int x, int y, int count) const override;
    /// Read back from runs of the row call.
    int __ParticleShape__(unsigned short *density, int radius, int dx, int dy, int x,
                          int y) override {
        return runs_.Pixel(*this, *density, radius, dx, dy, x, y) ? 1 : 0;
    }

    /// The soft disk while a frame runs.
    const SoftDisk &Disk() const { return disk_; }

protected:
    /// `coversSquare`: pixels outside the disk are covered, with density 0.
    DiskPatternShape(const PlugInLayout &layout, bool loading, bool coversSquare);

    /// The pattern of `count` (1 … kRun) pixels of one row of the current particle, all
    /// inside the disk: pixel j lies at u[j] across the particle's square (0 … 1, left to
    /// right) and reads disk entry disk[j] (nonzero); the row lies at w (0 … 1, top to
    /// bottom). Writes each pixel's density before the coverage scale into density[j].
    virtual void PatternRun(const float *u, const std::uint16_t *disk, int count, float w,
                            std::uint16_t *density) const = 0;

    /// One pixel of the row call.
    bool Coverage(unsigned short &density, int radius, int dx, int dy, int x,
                  int y) const override;
    void BuildTable() override;
    void FreeTable() override;

private:
    SoftDisk disk_;
    RowRunCache runs_;
    bool coversSquare_;
};
