/// @file noise_volume.h
/// @brief The frame that the noise-filled volume effects share: seven age controllers, the
///        per-particle record of their quantities, the shadow call and the upgrade of an older
///        parameter block on load.
#pragma once

#include "plugins/volume/volume_api.h"

#include "framework/class_ids.h"
#include "framework/density_run.h"
#include "framework/table_plugin.h"

/// The quantities every noise volume evaluates once per particle volume, so that a sample
/// costs only arithmetic and noise. Hung on the volume in its particle-shape cache slot.
struct ZEPHRAVOLUME_API NoiseVolumeCache {
    virtual ~NoiseVolumeCache() = default;

    float noiseSize = 0.0f;   ///< noise-space units per world unit
    float regularity = 0.0f;  ///< normalised radius beyond which the noise is eaten away
    float density = 0.0f;     ///< density per unit of noise
    float shadowDensity = 0.0f;
    int stretchAxis = 0;  ///< 0 x, 1 y, 2 z
    float stretchFactor = 1.0f;
    float motion = 0.0f;  ///< distance along the volume's motion vector
};

/// Where a noise volume keeps its quantities: the birth parameter of each (the death parameter
/// follows it) and the stretch axis.
struct NoiseVolumeParams {
    int noiseSize, second, regularity, density, shadowDensity, stretchAxis, stretch, motion;
};

/// The radio choice "Stretch Axis" (X, Y, Z) of parameter `param`, for a layout's choices.
ZEPHRAVOLUME_API ChoiceSpec StretchAxisChoice(int param);

/// Base of the noise volume effects.
///
/// References: 0 the parameter block, 1 … 7 the controllers in `Controller` order.
/// Sub-animatables list the controllers in another order (Noise Size, the second quantity,
/// Regularity, Density, Shadow Density, Stretch, Motion). Each class's layout gives the
/// parameter count of its version-0 block when the current block grew from it; such a block
/// from a scene file is replaced by one of the current layout once the scene is loaded.
///
/// Each class also answers a run of samples of one volume at once (`IDensityRun`).
class ZEPHRAVOLUME_API NoiseVolume : public TablePlugIn, public IDensityRun {
public:
    enum Controller {
        kNoiseSizeController,
        kSecondController,  ///< Noise Phase, or Smoothness
        kRegularityController,
        kDensityController,
        kMotionController,
        kShadowDensityController,
        kStretchController,
        kControllers
    };

    // References, sub-animatables, scene files
    ReferenceTarget *GetReference(int i) override;
    /// Also takes a version-0 block from a scene file, which the post-load upgrade replaces.
    void SetReference(int i, ReferenceTarget *target) override;
    Animatable *SubAnim(int i) override;
    TSTR SubAnimName(int i) override;
    /// Registers the upgrade of an older block, which runs once the references are back.
    IOResult Load(ILoad *iload) override;
    /// Replaces a version-0 block by one of the current layout (new parameters at their
    /// defaults) and marks the load obsolete; a block of an unknown version is a host
    /// assertion.
    void UpgradeLoadedBlock(ILoad *iload);

    // Renderer calls
    int __SupportProcessing__() override { return kVolumeRendererSupport; }
    void __DestroyCache__(TimeValue time, ParticleVolume *volume) override;
    /// The density times the shadow density; nothing when the shadow density is 0.
    void __LightShadow_Function__(SampleInfo *sample) override;
    /// The volume query (no particle object, index kVolumeQueryIndex) is answered with 1.
    void __EnumParticle__(ParticleInfo *info, void *particles, int index) override;

    /// I_DENSITYRUN: the run call; otherwise as the table frame.
    void *GetInterface(ULONG id) override;
    /// The run's densities times the shadow density; nothing when the shadow density is 0.
    void LightShadowRun(SampleInfo *samples, int count) override;

protected:
    /// `version0Params`: the parameters of the block the current one grew from, or 0.
    NoiseVolume(const PlugInLayout &layout, const NoiseVolumeParams &params, int version0Params,
                bool loading);

    /// The record of `volume`, or null.
    static NoiseVolumeCache *RecordOf(const ParticleVolume *volume) {
        return volume ? static_cast<NoiseVolumeCache *>(volume->cache[kShapeCache]) : nullptr;
    }
    /// Resets the controllers for `volume` at t, fills the shared quantities of `cache` and
    /// returns the second quantity (unscaled).
    float FillCache(TimeValue t, ParticleVolume &volume, NoiseVolumeCache &cache);
    /// Hangs `cache` on `volume` in place of any record it held.
    void Attach(TimeValue t, ParticleVolume &volume, NoiseVolumeCache *cache);
    /// The sample point stretched along the record's axis, in place.
    static Point3 &Stretched(SampleInfo &sample, const NoiseVolumeCache &cache);

    /// Most samples a run call evaluates in one go; longer runs are taken in pieces.
    static constexpr int kRunPiece = 64;

private:
    NoiseVolumeParams params_;
    int version0Params_;
    /// A version-0 block taken from a scene file until the post-load upgrade replaces it.
    IParamBlock *oldBlock_ = nullptr;
};
