/// @file fireball_shape.h
/// @brief "FireBall": a sprite shape that draws every particle as a ragged, flame-edged ball, a
///        soft disk looked up through a noise-displaced coordinate.
#pragma once

#include "framework/class_ids.h"
#include "plugins/standard/sprite_shape.h"

#include <cstdint>
#include <memory>

/// The descriptor of the FireBall shape ("FireBall", category "FireBall Shader").
STANDARD_API ClassDesc *GetFireBallShapeDesc();

/// The FireBall's disk table: 512 × 512 entries, row-major, zero but for a disk of radius
/// kFireBallDiskRadius around entry (256, 256): entry (256 + i, 256 + j) for i, j in −64 … 63
/// with d² = i² + j² ≤ 4096 is trunc(s² × 65535), b = (4096 − d²) / 4096, s = b² (3 − 2b).
constexpr int kFireBallTableSide = 512;
constexpr int kFireBallDiskRadius = 64;
/// Fills `table` (kFireBallTableSide² entries, zero on entry).
STANDARD_API void FillFireBallDisk(std::uint16_t *table);

/// The disk entry that pixel offset (x, y) of a particle of radius r and diameter d reads when
/// displaced by `scale` (the noise value v times the threshold factor k): the offset
/// scale × (x, y) becomes u = (r + scale × x) / d, w = (r + scale × y) / d, each held to
/// 0 … 1, and the entry is at row trunc(512 w), column trunc(512 u), both at most 511. At
/// u = 1 (or 0) that is the table's border, which is zero.
inline std::uint16_t FireBallTableEntry(const std::uint16_t *table, int r, float diameter,
                                        int x, int y, float scale) {
    const float fr = static_cast<float>(r);
    const float u = Clamp01((fr + scale * static_cast<float>(x)) / diameter);
    const float w = Clamp01((fr + scale * static_cast<float>(y)) / diameter);
    int column = static_cast<int>(kFireBallTableSide * u);
    int row = static_cast<int>(kFireBallTableSide * w);
    if (column > kFireBallTableSide - 1) column = kFireBallTableSide - 1;
    if (row > kFireBallTableSide - 1) row = kFireBallTableSide - 1;
    return table[row * kFireBallTableSide + column];
}

/// The FireBall shape.
///
/// Per pixel offset (x, y) of a particle of radius r and diameter d: the noise value
/// v = (n + 1) / 2 of n = noise at (x / d, y / d, phase) × Noise Size displaces the offset to
/// v × k × (x, y), k = 1 + Threshold / 100, and the disk table is read there (the particle's
/// square maps onto the whole table, the disk filling its middle quarter). Weak noise pulls
/// a pixel towards the dense centre, strong noise pushes it off the disk: the ball's edge
/// breaks into licks of fire.
class STANDARD_API FireBallShape : public SpriteShape {
public:
    /// Class identifier: the category key, then the plug-in ID.
    static constexpr Class_ID kClassID{kParticleShapeKey, 0x5DB61872};

    enum Param {
        kNoiseType,  ///< 0 Regular, 1 Fractal; no display name
        kBirthNoiseSize,
        kDeathNoiseSize,
        kBirthThreshold,
        kDeathThreshold,
        kBirthPhase,
        kDeathPhase,
        kParams
    };
    enum NoiseType { kRegularNoise, kFractalNoise, kNoiseTypes };
    enum Controller { kNoiseSizeController, kThresholdController, kPhaseController };

    /// A new FireBall with its defaults and three set-up controllers; one made for loading
    /// gets them from the file.
    explicit FireBallShape(bool loading = false);
    ~FireBallShape() override;

    Class_ID ClassID() override { return kClassID; }
    SClass_ID SuperClassID() override { return REF_MAKER_CLASS_ID; }
    void GetClassName(TSTR &s) override { s = "FireBall"; }

    /// Per particle: the controllers are reset for it, then Noise Size, Threshold and Phase are
    /// evaluated at its age (the phase offset by its index, so every particle samples its own
    /// slice of the noise).
    void __BeginParticle__(float transparency, int radius, ParticleInfo *info) override;
    /// One noise evaluation and one table read.
    int __ParticleShape__(unsigned short *density, int radius, int dx, int dy, int x,
                          int y) override;

    // The current particle's quantities (after `__BeginParticle__`)
    int CurrentNoiseType() const { return noiseType_; }
    float NoiseSize() const { return noiseSize_; }
    /// 1 + Threshold / 100.
    float ThresholdFactor() const { return thresholdFactor_; }
    /// Phase / 10 + the particle's index.
    float Phase() const { return phase_; }
    /// The disk table while a frame runs, else null.
    const std::uint16_t *Table() const { return table_.get(); }

protected:
    TablePlugIn *MakeForLoading() const override { return new FireBallShape(true); }
    void BuildTable() override;
    void FreeTable() override { table_.reset(); }

private:
    std::unique_ptr<std::uint16_t[]> table_;
    int noiseType_ = kRegularNoise;
    float noiseSize_ = 0.0f;
    float thresholdFactor_ = 1.0f;
    float phase_ = 0.0f;
    float particleIndex_ = 0.0f;
    // Per particle, so that a pixel's noise point is two multiplications
    float noiseScale_ = 0.0f;  ///< Noise Size / d
    float noiseZ_ = 0.0f;      ///< phase × Noise Size
};
