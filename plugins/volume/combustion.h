/// @file combustion.h
/// @brief "Combustion": a volume effect that fills each particle's volume with turbulent,
///        fire-like density, a sum of absolute four-dimensional noise octaves.
#pragma once

#include "plugins/volume/volume_api.h"

#include "framework/class_ids.h"
#include "framework/table_plugin.h"

/// The descriptor of Combustion ("Combustion", category "VolumeFX").
ZEPHRAVOLUME_API ClassDesc *GetCombustionDesc();

/// What Combustion evaluates once per particle volume, so that a sample costs only arithmetic
/// and noise. Hung on the volume in its particle-shape cache slot.
struct CombustionCache {
    float noiseSize = 0.0f;   ///< noise-space units per world unit
    float noisePhase = 0.0f;  ///< added to the volume's phase
    float regularity = 0.0f;  ///< normalised radius beyond which the noise sum is eaten away
    float density = 0.0f;     ///< density per unit of noise sum
    float shadowDensity = 0.0f;
    int stretchAxis = 0;  ///< 0 x, 1 y, 2 z
    float stretchFactor = 1.0f;
    float motion = 0.0f;     ///< distance along the volume's motion vector
    int densityFalloff = 0;  ///< 0 none, 1 linear, 2 cubic
};

/// The Combustion volume effect.
///
/// Every quantity is a birth and a death value blended over the particle's life by its age
/// controller. References: 0 the parameter block (17 parameters, version 1), 1 … 7 the
/// controllers in `Controller` order. Sub-animatables list the controllers in another order
/// (Noise Size, Noise Phase, Regularity, Density, Shadow Density, Stretch, Motion).
///
/// A sample's density: its position, stretched along one axis and moved along the volume's
/// motion, scaled by the noise size, gives a sum of |noise4| octaves (weights 1, 1/2, 1/4 …;
/// a fractional level count adds that fraction of one more octave) at the volume's phase plus
/// the noise phase. Beyond the regularity radius the sum loses (r − regularity); it never goes
/// below 0. The density is the sum times the density quantity, and times (1 − r) or (1 − r)³
/// with linear or cubic falloff.
///
/// Library record: the version block, then parameters 0 … 15 at time 0 (the density falloff
/// came later and is not part of it).
class ZEPHRAVOLUME_API Combustion final : public TablePlugIn {
public:
    static constexpr Class_ID kClassID{kParticleShapeKey, 0x0EEA6E22};
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
    enum Controller {
        kNoiseSizeController,
        kNoisePhaseController,
        kRegularityController,
        kDensityController,
        kMotionController,
        kShadowDensityController,
        kStretchController,
        kControllers
    };
    enum Falloff { kNoFalloff, kLinearFalloff, kCubicFalloff, kFalloffs };
    /// Most noise octaves a sample sums: finer ones are below float resolution, and the cap
    /// bounds the work of any level count a file may hold.
    static constexpr float kMaxNoiseLevels = 40.0f;

    /// A new Combustion with its defaults and seven set-up controllers; one made for loading
    /// gets them from the file.
    explicit Combustion(bool loading = false);
    ~Combustion() override;

    Class_ID ClassID() override { return kClassID; }
    SClass_ID SuperClassID() override { return REF_MAKER_CLASS_ID; }
    void GetClassName(TSTR &s) override { s = "Combustion"; }

    // References, sub-animatables, scene files
    ReferenceTarget *GetReference(int i) override;
    /// Also takes a version-0 block from a scene file, which the post-load upgrade replaces.
    void SetReference(int i, ReferenceTarget *target) override;
    Animatable *SubAnim(int i) override;
    TSTR SubAnimName(int i) override;
    /// Registers the upgrade of a version-0 block, which runs once the references are back.
    IOResult Load(ILoad *iload) override;
    /// Replaces a version-0 block by one of the current layout (density falloff None) and
    /// marks the load obsolete; a block of an unknown version is a host assertion.
    void UpgradeLoadedBlock(ILoad *iload);

    // Renderer calls
    int __SupportProcessing__() override { return kVolumeRendererSupport; }
    /// Reads Noise Levels at t (capped at kMaxNoiseLevels) for the samples of this frame.
    void __UpdateAtmos_(TimeValue time) override;
    /// Evaluates the per-particle record at t for `volume` and hangs it on the volume.
    void __CreateCache__(TimeValue time, ParticleVolume *volume) override;
    void __DestroyCache__(TimeValue time, ParticleVolume *volume) override;
    /// Writes the noise sum and the density of the sample; the sample's point is stretched
    /// and moved in place. A sample without a volume or cache is left as it is.
    void __Density_Function__(SampleInfo *sample) override;
    /// The density times the shadow density; nothing when the shadow density is 0.
    void __LightShadow_Function__(SampleInfo *sample) override;
    /// The volume query (no particle object, index kVolumeQueryIndex) is answered with 1.
    void __EnumParticle__(ParticleInfo *info, void *particles, int index) override;

    float NoiseLevels() const { return noiseLevels_; }
    /// The record of `volume`, or null.
    static CombustionCache *CacheOf(const ParticleVolume *volume);

protected:
    TablePlugIn *MakeForLoading() const override { return new Combustion(true); }

private:
    /// A version-0 block taken from a scene file until the post-load upgrade replaces it.
    IParamBlock *oldBlock_ = nullptr;
    float noiseLevels_ = 3.0f;
};
