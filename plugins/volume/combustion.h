/// @file combustion.h
/// @brief "Combustion": a volume effect that fills each particle's volume with turbulent,
///        fire-like density, a sum of absolute four-dimensional noise octaves.
#pragma once

#include "plugins/volume/volume_api.h"

#include "plugins/volume/noise_volume.h"

/// The descriptor of Combustion ("Combustion", category "VolumeFX").
ZEPHRAVOLUME_API ClassDesc *GetCombustionDesc();

/// What Combustion and PuffyClouds evaluate once per particle volume.
struct ZEPHRAVOLUME_API CombustionCache : NoiseVolumeCache {
    float noisePhase = 0.0f;  ///< added to the volume's phase
    int densityFalloff = 0;   ///< 0 none, 1 linear, 2 cubic
};

/// The frame of Combustion and PuffyClouds: the same parameters, controllers, record and
/// library block, and the same octave sum of noise, which each shapes at the rim in its own
/// way.
///
/// Every quantity is a birth and a death value blended over the particle's life by its age
/// controller. The parameter block has 17 parameters (version 1).
///
/// A sample's density: its position, stretched along one axis and moved along the volume's
/// motion, scaled by the noise size, gives a sum of |noise4| octaves (weights 1, 1/2, 1/4 …;
/// a fractional level count adds that fraction of one more octave) at the volume's phase plus
/// the noise phase. The class shapes the sum by the normalised radius and the regularity; it
/// never goes below 0. The density is the sum times the density quantity, and times (1 − r)
/// or (1 − r)³ with linear or cubic falloff.
///
/// Library record: the version block, then parameters 0 … 15 at time 0 (the density falloff
/// came later and is not part of it).
class ZEPHRAVOLUME_API OctaveNoiseVolume : public NoiseVolume {
public:
    /// Version of the current parameter block; version 0 lacked the density falloff.
    static constexpr DWORD kBlockVersion = 1;

    enum Param {
        kBirthNoiseSize,
        kDeathNoiseSize,
        kBirthNoisePhase,
        kDeathNoisePhase,
        kNoiseLevels,
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
        kDensityFalloff,  ///< 0 None, 1 Linear, 2 Cubic; no display name
        kParams
    };
    /// Parameters of the version-0 block and of the library record.
    static constexpr int kVersion0Params = kDensityFalloff;
    static constexpr int kNoisePhaseController = kSecondController;
    enum Falloff { kNoFalloff, kLinearFalloff, kCubicFalloff, kFalloffs };
    /// Most noise octaves a sample sums: finer ones are below float resolution, and the cap
    /// bounds the work of any level count a file may hold.
    static constexpr float kMaxNoiseLevels = 40.0f;

    SClass_ID SuperClassID() override { return REF_MAKER_CLASS_ID; }

    /// Reads Noise Levels at t (capped at kMaxNoiseLevels) for the samples of this frame.
    void __UpdateAtmos_(TimeValue time) override;
    /// Evaluates the per-particle record at t for `volume` and hangs it on the volume.
    void __CreateCache__(TimeValue time, ParticleVolume *volume) override;
    /// Writes the noise sum and the density of the sample; the sample's point is stretched
    /// and moved in place. A sample without a volume or cache is left as it is, and so is one
    /// whose falloff this build does not know.
    void __Density_Function__(SampleInfo *sample) final;
    /// The same for samples of one volume, each octave through the batched noise.
    void DensityRun(SampleInfo *samples, int count) final;

    float NoiseLevels() const { return noiseLevels_; }
    /// The record of `volume`, or null.
    static CombustionCache *CacheOf(const ParticleVolume *volume) {
        return static_cast<CombustionCache *>(RecordOf(volume));
    }

protected:
    /// A new volume with its defaults and seven set-up controllers; one made for loading gets
    /// them from the file.
    explicit OctaveNoiseVolume(bool loading);
    /// The octave sum shaped at normalised radius r by regularity R (before clamping at 0).
    virtual float RimShaped(float sum, float r, float R) const = 0;

private:
    /// Density and noise of a sample whose noise sum is `sum`, as the record shapes them.
    /// False, writing nothing, for a falloff this build does not know.
    bool Shape(const CombustionCache &cache, SampleInfo &sample, float sum) const;
    /// Stretches and moves the sample's point in place; answers the noise-space point.
    static Point3 NoisePoint(const CombustionCache &cache, SampleInfo &sample);
    /// One piece of a run, at most kRunPiece samples.
    void DensityPiece(const CombustionCache &cache, SampleInfo *samples, int count) const;

    float noiseLevels_ = 3.0f;
};

/// The Combustion volume effect: fire-like balls whose noise sum loses (r − regularity)
/// beyond the regularity radius.
class ZEPHRAVOLUME_API Combustion final : public OctaveNoiseVolume {
public:
    static constexpr Class_ID kClassID{kParticleShapeKey, 0x0EEA6E22};

    explicit Combustion(bool loading = false) : OctaveNoiseVolume(loading) {}

    Class_ID ClassID() override { return kClassID; }
    void GetClassName(TSTR &s) override { s = "Combustion"; }

protected:
    TablePlugIn *MakeForLoading() const override { return new Combustion(true); }
    float RimShaped(float sum, float r, float R) const override {
        return r > R ? sum - (r - R) : sum;
    }
};
