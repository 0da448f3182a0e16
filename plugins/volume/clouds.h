/// @file clouds.h
/// @brief The cloud volumes: "PuffyClouds", Combustion's noise with a contrast curve at the
///        rim, and "FractalClouds", fractional Brownian motion of three-dimensional noise.
#pragma once

#include "plugins/volume/combustion.h"

/// The descriptors of PuffyClouds and FractalClouds (category "VolumeFX").
ZEPHRAVOLUME_API ClassDesc *GetPuffyCloudsDesc();
ZEPHRAVOLUME_API ClassDesc *GetFractalCloudsDesc();

/// Soft clouds: Combustion's parameters, controllers, record and library block, with the noise
/// sum shaped by a contrast curve instead of being eaten away. With f = 1 − (r − R) / (1 − R)
/// (R the regularity), the sum is first scaled by f beyond R, then blended from 4 × sum − 1 at
/// the rim (f = 0) to the sum itself at R (f = 1); inside R the blend runs on past the sum.
class ZEPHRAVOLUME_API PuffyClouds final : public OctaveNoiseVolume {
public:
    static constexpr Class_ID kClassID{kParticleShapeKey, 0x67C85E06};

    explicit PuffyClouds(bool loading = false) : OctaveNoiseVolume(loading) {}

    Class_ID ClassID() override { return kClassID; }
    void GetClassName(TSTR &s) override { s = "PuffyClouds"; }

protected:
    TablePlugIn *MakeForLoading() const override { return new PuffyClouds(true); }
    float RimShaped(float sum, float r, float R) const override;
};

/// What FractalClouds evaluates once per particle volume.
struct ZEPHRAVOLUME_API FractalCloudsCache : NoiseVolumeCache {
    float smoothness = 0.0f;  ///< the roughness exponent of the fBm: 0 rough, 1 smooth
};

/// Clouds of fractional Brownian motion.
///
/// A sample's position, stretched along one axis, offset by the volume's phase × 34554 on
/// every axis (so that each particle reads its own region of the noise) and moved along the
/// volume's motion, scaled by the noise size, gives fBm1 (8 octaves, lacunarity 2, the
/// smoothness as roughness exponent). Beyond the regularity radius it loses (r − regularity);
/// it never goes below 0. The density is that times the density quantity.
///
/// Parameter block: 15 parameters, version 0. Library record: the version block, then all 15.
class ZEPHRAVOLUME_API FractalClouds final : public NoiseVolume {
public:
    static constexpr Class_ID kClassID{kParticleShapeKey, 0x39C71483};
    static constexpr DWORD kBlockVersion = 0;

    enum Param {
        kBirthNoiseSize,
        kDeathNoiseSize,
        kBirthSmoothness,
        kDeathSmoothness,
        kBirthRegularity,
        kDeathRegularity,
        kBirthDensity,
        kDeathDensity,
        kBirthShadowDensity,
        kDeathShadowDensity,
        kStretchAxis,  ///< 0 X, 1 Y, 2 Z; no display name
        kBirthStretch,
        kDeathStretch,
        kBirthMotion,
        kDeathMotion,
        kParams
    };
    static constexpr int kSmoothnessController = kSecondController;
    /// How far apart in noise space, per unit of phase, the particles' regions lie.
    static constexpr float kPhaseOffset = 34554.0f;
    static constexpr float kLacunarity = 2.0f;
    static constexpr float kOctaves = 8.0f;

    explicit FractalClouds(bool loading = false);

    Class_ID ClassID() override { return kClassID; }
    SClass_ID SuperClassID() override { return REF_MAKER_CLASS_ID; }
    void GetClassName(TSTR &s) override { s = "FractalClouds"; }

    /// Evaluates the per-particle record at t for `volume` and hangs it on the volume.
    void __CreateCache__(TimeValue time, ParticleVolume *volume) override;
    /// Writes the noise value and the density of the sample; the sample's point is stretched
    /// and moved in place. A sample without a volume or cache is left as it is.
    void __Density_Function__(SampleInfo *sample) override;
    /// The same for samples of one volume, through the batched fBm.
    void DensityRun(SampleInfo *samples, int count) override;

    /// The record of `volume`, or null.
    static FractalCloudsCache *CacheOf(const ParticleVolume *volume) {
        return static_cast<FractalCloudsCache *>(RecordOf(volume));
    }

protected:
    TablePlugIn *MakeForLoading() const override { return new FractalClouds(true); }

private:
    /// Stretches and moves the sample's point in place; answers the noise-space point.
    static Point3 NoisePoint(const FractalCloudsCache &cache, SampleInfo &sample);
    /// Writes the noise and density of a sample whose fBm is `v`.
    static void Shape(const FractalCloudsCache &cache, SampleInfo &sample, float v);
};
