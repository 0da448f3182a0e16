/// @file volume_color.cpp
/// @brief Volume Color: parameters, controllers, the per-particle colours and the per-sample
///        colour queries.
#include "plugins/volume/volume_color.h"

#include "plugins/volume/volume_cache.h"

#include "framework/age_quantity.h"
#include "framework/pixel_color.h"
#include "framework/plugin_class_desc.h"

namespace {

// Parameter block (version 0).
const ParamSpec kParamSpecs[VolumeColor::kParams] = {
    {"Birth Color 1", TYPE_RGBA, TRUE, 0.0f, stdColorDim, Color(0.8f, 0.8f, 0.8f)},
    {"Death Color 1", TYPE_RGBA, TRUE, 0.0f, stdColorDim, Color(0.9f, 0.9f, 0.9f)},
    {"Birth Color 2", TYPE_RGBA, TRUE, 0.0f, stdColorDim, Color(0.3f, 0.3f, 0.3f)},
    {"Death Color 2", TYPE_RGBA, TRUE, 0.0f, stdColorDim, Color(0.4f, 0.4f, 0.4f)},
    {"??", TYPE_INT, FALSE, 0.0f, defaultDim},  // the "Combustion Style" property
};

// The controllers and the roll-up buttons that open them; each takes its two colours as its
// variant colours when its editor opens.
const ControllerSpec kControllers[VolumeColor::kControllers] = {
    {"Color One", 1301, ControllerSpec::kColor, 0.0f, 0.0f, 0.0f, VolumeColor::kBirthColor1,
     VolumeColor::kDeathColor1},
    {"Color Two", 1302, ControllerSpec::kColor, 0.0f, 0.0f, 0.0f, VolumeColor::kBirthColor2,
     VolumeColor::kDeathColor2},
};

const ChoiceSpec kChoices[] = {
    {"Combustion Style",
     VolumeColor::kCombustionStyle,
     {},
     "mix the two colours by the sample's noise value instead of its distance from the centre"},
};

const PlugInLayout kLayout{kParamSpecs, kControllers, kChoices};

constexpr float kChannelScale = 1.0f / 65535.0f;

Color FromPixelColor(const BMM_Color_64 &c) {
    return Color(c.r * kChannelScale, c.g * kChannelScale, c.b * kChannelScale);
}

}  // namespace

ClassDesc *GetVolumeColorDesc() {
    return PlugInClassDesc<VolumeColor>::Get("Volume Color", "VolumeFX");
}

VolumeColor::VolumeColor(bool loading) : TablePlugIn(kLayout, loading) {}

VolumeColor::~VolumeColor() = default;

// ---------------------------------------------------------------------------------------------
// Per frame and per particle

void VolumeColor::__UpdateAtmos_(TimeValue t) {
    combustionStyle_ = IntParam(kCombustionStyle, t) != 0;
}

VolumeColorCache *VolumeColor::CacheOf(const ParticleVolume *volume) {
    return VolumeCacheOf<VolumeColorCache>(volume, kColorCache);
}

VolumeColorCache VolumeColor::Colors(TimeValue t, const ParticleVolume &volume) {
    const int particle = static_cast<int>(volume.phase);
    // Controller c blends the colour parameters `birth` and `birth + 1` as 16-bit pixels.
    const auto colour = [&](int c, int birth) {
        const AgeQuantity<BMM_Color_64> q{GetController(c), ToPixelColor(ColorParam(birth, t)),
                                          ToPixelColor(ColorParam(birth + 1, t))};
        return FromPixelColor(q.At(t, volume.lifeStart, volume.lifeEnd, particle, volume.age));
    };
    return {colour(kColorOneController, kBirthColor1),
            colour(kColorTwoController, kBirthColor2)};
}

void VolumeColor::__CreateCache__(TimeValue t, ParticleVolume *volume) {
    if (volume) ReplaceVolumeCache(volume, kColorCache, Colors(t, *volume));
}

void VolumeColor::__DestroyCache__(TimeValue, ParticleVolume *volume) {
    DestroyVolumeCache<VolumeColorCache>(volume, kColorCache);
}

// ---------------------------------------------------------------------------------------------
// Per sample

Color VolumeColor::Diffuse(const VolumeColorCache &cache, const SampleInfo &sample,
                           bool combustionStyle) {
    const float t = combustionStyle ? sample.noise : sample.radius;
    return cache.colorOne * t + cache.colorTwo * (1.0f - t);
}

Color VolumeColor::__GetColorDiffuse__(SampleInfo *sample) {
    const VolumeColorCache *cache = sample ? CacheOf(sample->volume) : nullptr;
    return cache ? Diffuse(*cache, *sample, combustionStyle_) : Color();
}

Color VolumeColor::__GetColorAmbient__(SampleInfo *sample) {
    return __GetColorDiffuse__(sample) * kAmbientShare;
}

void VolumeColor::__GetMaterialID__(SampleInfo *sample) {
    if (!sample) return;
    sample->materialId[0] = 0;
    sample->materialId[1] = 0;
}

Color VolumeColor::__GetWireFrame__(int time, SampleInfo *sample) {
    if (!sample || !sample->volume) return Color();
    const TimeValue t = time;
    return Diffuse(Colors(t, *sample->volume), *sample, IntParam(kCombustionStyle, t) != 0);
}

void VolumeColor::__EnumParticle__(ParticleInfo *info, void *particles, int index) {
    AnswerVolumeQuery(info, particles, index);
}
