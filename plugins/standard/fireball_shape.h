/// @file fireball_shape.h
/// @brief "FireBall": a sprite shape that draws every particle as a ragged, flame-edged ball, a
///        soft disk looked up through a noise-displaced coordinate.
#pragma once

#include "framework/class_ids.h"
#include "framework/sprite_shape.h"
#include "plugins/standard/standard_api.h"

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

/// The disk entry at (tx, ty) entries from the table's centre: row 256 + ⌊ty⌋, column
/// 256 + ⌊tx⌋.
///
/// A pixel at offset (x, y) of a particle of diameter d, displaced to v × k × (x, y), maps to
/// u = (r + v k x) / d, so its column trunc(512 u) is 256 + ⌊512 v k x / d⌋: tx = 512 v k x / d
/// (and ty likewise). Written from the centre, an undisplaced pixel lands on the centre
/// exactly, whatever the diameter. Only the disk's 127 × 127 entries around the centre are
/// nonzero, so anything farther (the table's border at u = 0 or 1 included) answers 0.
inline std::uint16_t FireBallDiskEntry(const std::uint16_t *table, float tx, float ty) {
    constexpr float kReach = kFireBallDiskRadius - 1;  // the farthest nonzero entry
    // A coordinate outside (or NaN) reads entry 0, the table's corner, which is zero: the
    // four tests and the read need no early exit (which measured slower in a run's loop).
    const bool inside =
        (tx >= -kReach) & (tx < kReach + 1.0f) & (ty >= -kReach) & (ty < kReach + 1.0f);
    // ⌊t⌋ for t ≥ −64, by truncating a positive value.
    constexpr float kBias = kFireBallDiskRadius;
    const int j = static_cast<int>((inside ? tx : 0.0f) + kBias) - kFireBallDiskRadius;
    const int i = static_cast<int>((inside ? ty : 0.0f) + kBias) - kFireBallDiskRadius;
    constexpr int kCentre = kFireBallTableSide / 2;
    return table[inside ? (kCentre + i) * kFireBallTableSide + kCentre + j : 0];
}

/// The FireBall shape.
///
/// Per pixel offset (x, y) of a particle of radius r and diameter d: the noise value
/// v = (n + 1) / 2 of n = noise at (x / d, y / d, phase) × Noise Size displaces the offset to
/// v × k × (x, y), k = 1 + Threshold / 100, and the disk table is read there (the particle's
/// square maps onto the whole table, the disk filling its middle quarter). Weak noise pulls
/// a pixel towards the dense centre, strong noise pushes it off the disk: the ball's edge
/// breaks into licks of fire.
class STANDARD_API FireBallShape final : public SpriteShape {
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
    /// The coverage of a run of pixels of one row: one noise value and one table read each,
    /// noise evaluated kRowRun pixels at a time (host `noise3Row` for Regular noise,
    /// `fBm1Batch` for Fractal).
    void ParticleShapeRow(unsigned short *density, unsigned char *covered, int radius, int dx,
                          int dy, int x, int y, int count) const override;
    /// The per-pixel call, for callers that do not use rows: read back from runs of the row
    /// call.
    int __ParticleShape__(unsigned short *density, int radius, int dx, int dy, int x,
                          int y) override;

    /// Most pixels whose noise is evaluated together.
    static constexpr int kRowRun = 64;

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
    /// One pixel of the row call.
    bool Coverage(unsigned short &density, int radius, int dx, int dy, int x,
                  int y) const override;
    void BuildTable() override;
    void FreeTable() override {
        table_.reset();
        runs_.Clear();
    }

private:
    std::unique_ptr<std::uint16_t[]> table_;
    int noiseType_ = kRegularNoise;
    float noiseSize_ = 0.0f;
    float thresholdFactor_ = 1.0f;
    float phase_ = 0.0f;
    float particleIndex_ = 0.0f;
    // Per particle, so that a pixel's work is its noise and a few multiplications
    float noiseScale_ = 0.0f;  ///< Noise Size / d: pixels to noise units
    float noiseZ_ = 0.0f;      ///< phase × Noise Size
    float entryScale_ = 0.0f;  ///< 512 k / d: displaced pixels to table entries
    RowRunCache runs_;         ///< the per-pixel call's runs
};
