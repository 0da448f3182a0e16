/// @file volume_color.h
/// @brief "Volume Color": the colour shader of volume effects. Two colours, each blended from
///        birth to death over the particle's life, mixed per sample by the sample's distance
///        from the volume's centre or by its noise value.
#pragma once

#include "plugins/volume/volume_api.h"

#include "framework/class_ids.h"
#include "framework/table_plugin.h"

/// The descriptor of Volume Color ("Volume Color", category "VolumeFX").
ZEPHRAVOLUME_API ClassDesc *GetVolumeColorDesc();

/// The two colours of one particle at its age, hung on its volume in the colour cache slot.
/// They pass through 16-bit channels on their way, as every colour a controller blends does.
struct VolumeColorCache {
    Color colorOne;
    Color colorTwo;
};

/// The volume colour shader.
///
/// References: 0 the parameter block (5 parameters, version 0), 1 and 2 the controllers
/// "Color One" (Birth/Death Color 1) and "Color Two" (Birth/Death Color 2). Per sample,
/// t is the sample's noise value with Combustion Style on, else its normalised distance;
/// diffuse = colour one × t + colour two × (1 − t), ambient = diffuse × 0.25. Specular is
/// black, shininess and self-illumination 0, shadow strength 1, both material identifiers 0.
///
/// Library record: the version block, then the four colours and Combustion Style (52 bytes).
class ZEPHRAVOLUME_API VolumeColor final : public TablePlugIn {
public:
    static constexpr Class_ID kClassID{kColorShaderKey, 0x7B0A6290};

    enum Param {
        kBirthColor1,
        kDeathColor1,
        kBirthColor2,
        kDeathColor2,
        kCombustionStyle,
        kParams
    };
    enum Controller { kColorOneController, kColorTwoController, kControllers };
    /// What ambient light sees of the diffuse colour.
    static constexpr float kAmbientShare = 0.25f;

    explicit VolumeColor(bool loading = false);
    ~VolumeColor() override;

    Class_ID ClassID() override { return kClassID; }
    SClass_ID SuperClassID() override { return REF_MAKER_CLASS_ID; }
    void GetClassName(TSTR &s) override { s = "AtmosphereColor"; }

    // Renderer calls
    int __SupportProcessing__() override { return kVolumeRendererSupport; }
    /// Reads Combustion Style at t for the samples of this frame.
    void __UpdateAtmos_(TimeValue time) override;
    /// Both colours of the volume's particle at its age, at t.
    void __CreateCache__(TimeValue time, ParticleVolume *volume) override;
    void __DestroyCache__(TimeValue time, ParticleVolume *volume) override;
    Color __GetColorDiffuse__(SampleInfo *sample) override;
    Color __GetColorAmbient__(SampleInfo *sample) override;
    Color __GetColorSpecular__(SampleInfo *) override { return Color(); }
    float __GetShininess__(SampleInfo *) override { return 0.0f; }
    float __GetSelfIllumination__(SampleInfo *) override { return 0.0f; }
    float __GetShadowStrength__(SampleInfo *) override { return 1.0f; }
    void __GetMaterialID__(SampleInfo *sample) override;
    /// The diffuse colour of `sample` at time `time` with a record made for the call only
    /// (the sample's volume keeps whatever record it had).
    Color __GetWireFrame__(int time, SampleInfo *sample) override;
    /// The volume query is answered with 1.
    void __EnumParticle__(ParticleInfo *info, void *particles, int index) override;

    /// The record of `volume`, or null.
    static VolumeColorCache *CacheOf(const ParticleVolume *volume);

protected:
    TablePlugIn *MakeForLoading() const override { return new VolumeColor(true); }

private:
    /// The particle's two colours at its age, at t.
    VolumeColorCache Colors(TimeValue t, const ParticleVolume &volume);
    static Color Diffuse(const VolumeColorCache &cache, const SampleInfo &sample,
                         bool combustionStyle);

    bool combustionStyle_ = false;
};
