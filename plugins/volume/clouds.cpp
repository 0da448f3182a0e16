/// @file clouds.cpp
/// @brief PuffyClouds' contrast curve and FractalClouds: its parameters, per-particle record
///        and per-sample density.
#include "plugins/volume/clouds.h"

#include "framework/plugin_class_desc.h"
#include "framework/plugin_records.h"

#include "host/messages.h"
#include "host/noise.h"

#include <algorithm>
#include <cmath>
#include <new>

namespace {

// FractalClouds' parameter block (version 0). Percent quantities are stored as fractions.
constexpr ParamRange kSizeRange{0.0f, 1e10f}, kFractionRange{0.0f, 1.0f};
constexpr ParamRange kDensityRange{0.0f, 2.0f}, kShadowRange{0.0f, 5.0f};
constexpr ParamRange kStretchRange{-10.0f, 10.0f}, kMotionRange{-99999.9f, 99999.9f};

/// An animatable float parameter of the table.
ParamSpec Float(const char *name, float value, ParamRange range) {
    return {name, TYPE_FLOAT, TRUE, value, defaultDim, {}, kParamIDIsIndex, range};
}

const ParamSpec kParamSpecs[FractalClouds::kParams] = {
    Float("Birth Noise Size", 0.5f, kSizeRange),
    Float("Death Noise Size", 0.5f, kSizeRange),
    // Named apart so that scene files can set each.
    Float("Birth Noise Smoothness", 0.5f, kFractionRange),
    Float("Death Noise Smoothness", 0.5f, kFractionRange),
    Float("Birth Regularity", 0.02f, kFractionRange),
    Float("Death Regularity", 0.02f, kFractionRange),
    Float("Birth Density", 0.08f, kDensityRange),
    Float("Death Density", 0.08f, kDensityRange),
    Float("Birth Shdw. Density", 1.0f, kShadowRange),
    Float("Death Shdw. Density", 1.0f, kShadowRange),
    {"??", TYPE_INT, FALSE, 0.0f, defaultDim},  // stretch axis: the "Stretch Axis" property
    Float("Birth Stretch", 0.0f, kStretchRange),
    Float("Death Stretch", 0.0f, kStretchRange),
    Float("Birth Motion", 0.0f, kMotionRange),
    Float("Death Motion", 25.0f, kMotionRange),
};

// The controllers in reference order: every range but the noise size's is 0 … 100.
const ControllerSpec kControllers[NoiseVolume::kControllers] = {
    {"Noise Size", 1201, ControllerSpec::kFloat, 0.0f, 1e10f, 0.01f},
    {"Smoothness", 1202, ControllerSpec::kFloat, 0.0f, 100.0f, 0.5f},
    {"Regularity", 1203, ControllerSpec::kFloat, 0.0f, 100.0f, 0.5f},
    {"Density", 1204, ControllerSpec::kFloat, 0.0f, 100.0f, 0.5f},
    {"Motion", 1205, ControllerSpec::kFloat, 0.0f, 100.0f, 0.5f},
    {"Shadow Density", 1206, ControllerSpec::kFloat, 0.0f, 100.0f, 0.5f},
    {"Stretch", 1207, ControllerSpec::kFloat, 0.0f, 100.0f, 0.5f},
};

const ChoiceSpec kChoices[] = {
    StretchAxisChoice(FractalClouds::kStretchAxis),
};

const PlugInLayout kLayout{kParamSpecs, kControllers, kChoices, FractalClouds::kBlockVersion};

const NoiseVolumeParams kQuantities{
    FractalClouds::kBirthNoiseSize,     FractalClouds::kBirthSmoothness,
    FractalClouds::kBirthRegularity,    FractalClouds::kBirthDensity,
    FractalClouds::kBirthShadowDensity, FractalClouds::kStretchAxis,
    FractalClouds::kBirthStretch,       FractalClouds::kBirthMotion};

}  // namespace

ClassDesc *GetPuffyCloudsDesc() {
    return PlugInClassDesc<PuffyClouds>::Get("PuffyClouds", "VolumeFX");
}

ClassDesc *GetFractalCloudsDesc() {
    return PlugInClassDesc<FractalClouds>::Get("FractalClouds", "VolumeFX");
}

// ---------------------------------------------------------------------------------------------
// PuffyClouds

float PuffyClouds::RimShaped(float sum, float r, float R) const {
    // A regularity of exactly 1 (a damaged file, or a controller beyond its range) would
    // divide by 0 and write NaN into the march: the sum passes unchanged there instead.
    const float band = 1.0f - R;
    const float f = band != 0.0f ? 1.0f - (r - R) / band : 1.0f;
    if (r > R) sum *= f;
    return (1.0f - f) * (4.0f * sum - 1.0f) + sum * f;
}

// ---------------------------------------------------------------------------------------------
// FractalClouds

FractalClouds::FractalClouds(bool loading) : NoiseVolume(kLayout, kQuantities, 0, loading) {}

void FractalClouds::__CreateCache__(TimeValue t, ParticleVolume *volume) {
    if (!volume) return;
    auto *cache = new (std::nothrow) FractalCloudsCache;
    DbgAssert(cache);
    if (!cache) return;
    cache->smoothness = FillCache(t, *volume, *cache);
    Attach(t, *volume, cache);
}

Point3 FractalClouds::NoisePoint(const FractalCloudsCache &cache, SampleInfo &sample) {
    const ParticleVolume &volume = *sample.volume;
    Point3 &p = Stretched(sample, cache);
    const float offset = volume.phase * kPhaseOffset;
    p += Point3(offset, offset, offset);
    p += volume.motion * cache.motion;
    return p * cache.noiseSize;
}

void FractalClouds::Shape(const FractalCloudsCache &cache, SampleInfo &sample, float v) {
    const float r = sample.radius;
    if (r > cache.regularity) v -= r - cache.regularity;
    v = std::fmax(v, 0.0f);
    sample.noise = v;
    sample.density = v * cache.density;
}

void FractalClouds::__Density_Function__(SampleInfo *sample) {
    const FractalCloudsCache *cache = sample ? CacheOf(sample->volume) : nullptr;
    if (!cache) return;
    const Point3 q = NoisePoint(*cache, *sample);
    Shape(*cache, *sample, fBm1(q, cache->smoothness, kLacunarity, kOctaves));
}

void FractalClouds::DensityRun(SampleInfo *samples, int count) {
    const FractalCloudsCache *cache = count > 0 ? CacheOf(samples[0].volume) : nullptr;
    if (!cache) return;
    float x[kRunPiece], y[kRunPiece], z[kRunPiece], v[kRunPiece];
    for (int at = 0; at < count; at += kRunPiece) {
        SampleInfo *piece = samples + at;
        const int n = std::min(count - at, kRunPiece);
        for (int i = 0; i < n; ++i) {
            const Point3 q = NoisePoint(*cache, piece[i]);
            x[i] = q.x;
            y[i] = q.y;
            z[i] = q.z;
        }
        fBm1Batch(x, y, z, n, cache->smoothness, kLacunarity, kOctaves, v);
        for (int i = 0; i < n; ++i) Shape(*cache, piece[i], v[i]);
    }
}
