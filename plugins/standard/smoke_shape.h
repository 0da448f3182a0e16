/// @file smoke_shape.h
/// @brief "Smoke": a sprite shape that draws wispy puffs, octaves of absolute noise pushed
///        around by the animated phase, raised to an exponent and cut out by the soft disk.
#pragma once

#include "framework/class_ids.h"
#include "framework/disk_pattern_shape.h"
#include "plugins/standard/standard_api.h"

/// The descriptor of the Smoke shape ("Smoke", category "Smoke Shader").
STANDARD_API ClassDesc *GetSmokeShapeDesc();

/// The Smoke shape.
///
/// Per pixel offset (x, y) of a particle of radius r and diameter d, with u = (x + r) / d and
/// w = (y + r) / d: the soft disk entry f at (u, w) cuts the puff out (f = 0: not covered).
/// Inside it the wisp sum W = Σ |noise2 (qᵢ)| / 2ⁱ over i = 0 … Samples − 1 samples octave i
/// at qᵢ = 2ⁱ (a, b) + kᵢ × Phase × (offset Xᵢ, offset Yᵢ), with (a, b) = (u − ½, w − ½) × Size
/// and kᵢ = 2.4ⁱ, so each octave drifts its own way as Phase grows. The density is
/// min (trunc (W^Exponent × 65535), f), W above 1 counting as full.
class STANDARD_API SmokeShape final : public DiskPatternShape {
public:
    /// Class identifier: the category key, then the plug-in ID.
    static constexpr Class_ID kClassID{kParticleShapeKey, 0x2E9C15D4};

    enum Param {
        kBirthSize,
        kDeathSize,
        kBirthPhase,
        kDeathPhase,
        kBirthExponent,
        kDeathExponent,
        kSamples,  ///< octaves of the wisp sum, not animated
        kParams
    };
    enum Controller { kSizeController, kPhaseController, kExponentController };

    /// How many octave offsets there are: the most octaves a sum takes.
    static constexpr int kMaxSamples = 20;
    /// The drift of octave i, the same for every Smoke shape: three numbers per octave, in
    /// −1 … 1, drawn in the order x, y, z (z is drawn but never used).
    struct Offsets {
        float x[kMaxSamples], y[kMaxSamples], z[kMaxSamples];
    };
    static const Offsets &OctaveOffsets();

    /// A new Smoke with its defaults and three set-up controllers; one made for loading gets
    /// them from the file.
    explicit SmokeShape(bool loading = false);
    ~SmokeShape() override;

    Class_ID ClassID() override { return kClassID; }
    SClass_ID SuperClassID() override { return REF_MAKER_CLASS_ID; }
    void GetClassName(TSTR &s) override { s = "Smoke"; }

    /// Per particle: Size, Phase and Exponent at its age (the phase moved on by its index, so
    /// that neighbouring particles drift differently), and Samples at the frame time.
    void __BeginParticle__(float transparency, int radius, ParticleInfo *info) override;

    // The current particle's quantities (after `__BeginParticle__`)
    float NoiseSize() const { return noiseSize_; }
    /// The Phase controller's value plus 10 × frac (index / 100).
    float Phase() const { return phase_; }
    float Exponent() const { return exponent_; }
    /// Samples held to 1 … kMaxSamples.
    int Samples() const { return samples_; }

protected:
    TablePlugIn *MakeForLoading() const override { return new SmokeShape(true); }
    /// The wisp sum, octave by octave along the row (host `noise3Row` on its z = 0 plane,
    /// which is `noise2`).
    void PatternRun(const float *u, const std::uint16_t *disk, int count, float w,
                    std::uint16_t *density) const override;

private:
    float noiseSize_ = 0.0f;
    float phase_ = 0.0f;
    float exponent_ = 1.0f;
    int samples_ = 1;
    // Per particle: octave i's drift, kᵢ × Phase × (offset Xᵢ, offset Yᵢ)
    float driftX_[kMaxSamples] = {};
    float driftY_[kMaxSamples] = {};
};
