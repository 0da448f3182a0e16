/// @file plasma_shape.h
/// @brief "Plasma": a sprite shape that fills the soft disk with an average of five noise
///        layers at successively scaled frequencies, with an optional hot centre.
#pragma once

#include "framework/class_ids.h"
#include "framework/disk_pattern_shape.h"
#include "plugins/standard/standard_api.h"

#include <cstdint>

/// The descriptor of the Plasma shape ("Plasma", category "Plasma Shader").
STANDARD_API ClassDesc *GetPlasmaShapeDesc();

/// The Plasma shape.
///
/// Per pixel offset (x, y) of a particle of radius r and diameter d: the point
/// P = ((x + r) / d − ½, (y + r) / d − ½, index + Phase) and the average a of
/// (noise3 (P × Mᵏ × Size) + 1) / 2 over the five layers k = 0 … 4, M being Motion, give
/// n = trunc (a × 65535). The density is min (n, f), f the soft disk entry at the pixel. A
/// hot centre first turns n into (2n − f) modulo 65 536: where n is about half of f the pixel
/// goes dark, and just below half it wraps round to full. On the dense middle of the disk the
/// noise hovers around half, so the centre boils with sharp bright and dark cells while the
/// thin rim keeps the disk's falloff. Every pixel of the square is covered, the corners with
/// density 0.
class STANDARD_API PlasmaShape final : public DiskPatternShape {
public:
    /// Class identifier: the category key, then the plug-in ID.
    static constexpr Class_ID kClassID{kParticleShapeKey, 0x0DB440DE};

    enum Param {
        kCore,  ///< 0 Cold, 1 Hot; not animated
        kBirthSize,
        kDeathSize,
        kBirthPhase,
        kDeathPhase,
        kBirthMotion,
        kDeathMotion,
        kParams
    };
    enum Core { kCold, kHot, kCores };
    enum Controller { kSizeController, kPhaseController, kMotionController };

    /// Noise layers averaged per pixel.
    static constexpr int kLayers = 5;

    /// The density of a pixel whose noise gives n and whose disk entry is f, before the
    /// coverage scale: min (n, f), with a hot centre min ((2n − f) mod 65 536, f).
    static std::uint16_t Density(std::uint16_t n, std::uint16_t f, bool hot) {
        if (hot) n = static_cast<std::uint16_t>(2u * n - f);
        return n < f ? n : f;
    }

    /// A new Plasma with its defaults and three set-up controllers; one made for loading gets
    /// them from the file.
    explicit PlasmaShape(bool loading = false);
    ~PlasmaShape() override;

    Class_ID ClassID() override { return kClassID; }
    SClass_ID SuperClassID() override { return REF_MAKER_CLASS_ID; }
    void GetClassName(TSTR &s) override { s = "Plasma"; }

    /// Per particle: Core at the frame time, Size, Phase and Motion at its age, and its
    /// index, which sets the slice of the noise it samples.
    void __BeginParticle__(float transparency, int radius, ParticleInfo *info) override;

    // The current particle's quantities (after `__BeginParticle__`)
    bool HotCore() const { return hot_; }
    float NoiseSize() const { return noiseSize_; }
    float Phase() const { return phase_; }
    float Motion() const { return motion_; }
    float ParticleIndex() const { return particleIndex_; }

protected:
    TablePlugIn *MakeForLoading() const override { return new PlasmaShape(true); }
    /// The five layers along the row (host `noise3Row`).
    void PatternRun(const float *u, const std::uint16_t *disk, int count, float w,
                    std::uint16_t *density) const override;

private:
    bool hot_ = false;
    float noiseSize_ = 0.0f;
    float phase_ = 0.0f;
    float motion_ = 0.0f;
    float particleIndex_ = 0.0f;
};
