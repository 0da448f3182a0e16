/// @file combustion.cpp
/// @brief Combustion and the frame it shares with PuffyClouds: parameters, controllers, the
///        per-particle record and the per-sample density.
#include "plugins/volume/combustion.h"

#include "framework/nimbra_interface.h"
#include "framework/plugin_class_desc.h"
#include "framework/plugin_records.h"

#include "host/messages.h"
#include "host/noise.h"

#include <algorithm>
#include <cmath>
#include <new>

namespace {

// Parameter block (version 1). Percent quantities are stored as fractions.
const ParamSpec kParamSpecs[OctaveNoiseVolume::kParams] = {
    {"Birth Noise Size",
     TYPE_FLOAT,
     TRUE,
     0.5f,
     defaultDim,
     {},
     kParamIDIsIndex,
     {0.0f, 1e10f}},
    {"Death Noise Size",
     TYPE_FLOAT,
     TRUE,
     0.5f,
     defaultDim,
     {},
     kParamIDIsIndex,
     {0.0f, 1e10f}},
    {"Birth Noise Phase",
     TYPE_FLOAT,
     TRUE,
     0.0f,
     defaultDim,
     {},
     kParamIDIsIndex,
     {0.0f, 1e10f}},
    {"Death Noise Phase",
     TYPE_FLOAT,
     TRUE,
     0.0f,
     defaultDim,
     {},
     kParamIDIsIndex,
     {0.0f, 1e10f}},
    {"Noise Levels", TYPE_FLOAT, TRUE, 3.0f, defaultDim, {}, kParamIDIsIndex, {1.0f, 40.0f}},
    {"Birth Regularity",
     TYPE_FLOAT,
     TRUE,
     0.02f,
     defaultDim,
     {},
     kParamIDIsIndex,
     {0.0f, 1.0f}},
    {"Death Regularity",
     TYPE_FLOAT,
     TRUE,
     0.02f,
     defaultDim,
     {},
     kParamIDIsIndex,
     {0.0f, 1.0f}},
    {"Birth Density", TYPE_FLOAT, TRUE, 0.08f, defaultDim, {}, kParamIDIsIndex, {0.0f, 10.0f}},
    {"Death Density", TYPE_FLOAT, TRUE, 0.08f, defaultDim, {}, kParamIDIsIndex, {0.0f, 10.0f}},
    {"Birth Shdw. Density",
     TYPE_FLOAT,
     TRUE,
     1.0f,
     defaultDim,
     {},
     kParamIDIsIndex,
     {0.0f, 5.0f}},
    {"Death Shdw. Density",
     TYPE_FLOAT,
     TRUE,
     1.0f,
     defaultDim,
     {},
     kParamIDIsIndex,
     {0.0f, 5.0f}},
    {"??", TYPE_INT, FALSE, 0.0f, defaultDim},  // stretch axis: the "Stretch Axis" property
    {"Birth Stretch", TYPE_FLOAT, TRUE, 0.0f, defaultDim, {}, kParamIDIsIndex, {-10.0f, 10.0f}},
    {"Death Stretch", TYPE_FLOAT, TRUE, 0.0f, defaultDim, {}, kParamIDIsIndex, {-10.0f, 10.0f}},
    {"Birth Motion",
     TYPE_FLOAT,
     TRUE,
     0.0f,
     defaultDim,
     {},
     kParamIDIsIndex,
     {-99999.9f, 99999.9f}},
    {"Death Motion",
     TYPE_FLOAT,
     TRUE,
     25.0f,
     defaultDim,
     {},
     kParamIDIsIndex,
     {-99999.9f, 99999.9f}},
    {"??", TYPE_INT, FALSE, 0.0f,
     defaultDim},  // density falloff: the "Density Falloff" property
};

// The controllers in reference order, with their spinners' ranges and steps and the roll-up
// buttons that open them.
const ControllerSpec kControllers[NoiseVolume::kControllers] = {
    {"Noise Size", 1201, ControllerSpec::kFloat, 0.0f, 1e10f, 0.01f},
    {"Noise Phase", 1202, ControllerSpec::kFloat, 0.0f, 1e10f, 0.01f},
    {"Regularity", 1203, ControllerSpec::kFloat, 0.0f, 100.0f, 0.5f},
    {"Density", 1204, ControllerSpec::kFloat, 0.0f, 100.0f, 0.5f},
    {"Motion", 1205, ControllerSpec::kFloat, -99999.9f, 99999.9f, 0.5f},
    {"Shadow Density", 1206, ControllerSpec::kFloat, 0.0f, 100.0f, 0.5f},
    {"Stretch", 1207, ControllerSpec::kFloat, 0.0f, 100.0f, 0.5f},
};

constexpr const char *kFalloffLabels[OctaveNoiseVolume::kFalloffs] = {"None", "Linear",
                                                                      "Cubic"};
const ChoiceSpec kChoices[] = {
    StretchAxisChoice(OctaveNoiseVolume::kStretchAxis),
    {"Density Falloff", OctaveNoiseVolume::kDensityFalloff, kFalloffLabels,
     "how the density thins towards the rim: \"None\", \"Linear\" or \"Cubic\""},
};

const PlugInLayout kLayout{kParamSpecs, kControllers, kChoices,
                           OctaveNoiseVolume::kBlockVersion,
                           OctaveNoiseVolume::kVersion0Params};

const NoiseVolumeParams kQuantities{
    OctaveNoiseVolume::kBirthNoiseSize,     OctaveNoiseVolume::kBirthNoisePhase,
    OctaveNoiseVolume::kBirthRegularity,    OctaveNoiseVolume::kBirthDensity,
    OctaveNoiseVolume::kBirthShadowDensity, OctaveNoiseVolume::kStretchAxis,
    OctaveNoiseVolume::kBirthStretch,       OctaveNoiseVolume::kBirthMotion};

}  // namespace

ClassDesc *GetCombustionDesc() {
    return PlugInClassDesc<Combustion>::Get("Combustion", "VolumeFX");
}

OctaveNoiseVolume::OctaveNoiseVolume(bool loading)
    : NoiseVolume(kLayout, kQuantities, kVersion0Params, loading) {}

// ---------------------------------------------------------------------------------------------
// Per frame and per particle

void OctaveNoiseVolume::__UpdateAtmos_(TimeValue time) {
    const float levels = FloatParam(kNoiseLevels, time);
    // NaN sums nothing; the cap keeps a sample's work bounded.
    noiseLevels_ = levels > 0.0f ? std::fmin(levels, kMaxNoiseLevels) : 0.0f;
}

void OctaveNoiseVolume::__CreateCache__(TimeValue t, ParticleVolume *volume) {
    if (!volume) return;
    auto *cache = new (std::nothrow) CombustionCache;
    DbgAssert(cache);
    if (!cache) return;
    cache->noisePhase = FillCache(t, *volume, *cache);
    cache->densityFalloff = IntParam(kDensityFalloff, t);
    Attach(t, *volume, cache);
}

// ---------------------------------------------------------------------------------------------
// Per sample

Point3 OctaveNoiseVolume::NoisePoint(const CombustionCache &cache, SampleInfo &sample) {
    Point3 &p = Stretched(sample, cache);
    p += sample.volume->motion * cache.motion;
    return p * cache.noiseSize;
}

bool OctaveNoiseVolume::Shape(const CombustionCache &cache, SampleInfo &sample,
                              float sum) const {
    const float r = sample.radius;
    sum = std::fmax(RimShaped(sum, r, cache.regularity), 0.0f);
    switch (cache.densityFalloff) {
        case kNoFalloff:
            sample.density = sum * cache.density;
            break;
        case kLinearFalloff:
            sample.density = (1.0f - r) * cache.density * sum;
            break;
        case kCubicFalloff: {
            const float f = 1.0f - r;
            sample.density = f * f * f * cache.density * sum;
            break;
        }
        default:
            return false;
    }
    sample.noise = sum;
    return true;
}

void OctaveNoiseVolume::__Density_Function__(SampleInfo *sample) {
    const CombustionCache *cache = sample ? CacheOf(sample->volume) : nullptr;
    if (!cache) return;
    const Point3 q = NoisePoint(*cache, *sample);
    const float phase = sample->volume->phase + cache->noisePhase;
    float sum = 0.0f, weight = 1.0f, n = noiseLevels_;
    for (; n >= 1.0f; n -= 1.0f, weight *= 2.0f)
        sum += std::fabs(noise4(q * weight, phase)) / weight;
    if (n > 0.0f) sum += std::fabs(noise4(q * weight, phase)) * n / weight;
    Shape(*cache, *sample, sum);  // a falloff this build does not know writes nothing
}

void OctaveNoiseVolume::DensityRun(SampleInfo *samples, int count) {
    const CombustionCache *cache = count > 0 ? CacheOf(samples[0].volume) : nullptr;
    if (!cache) return;
    for (int at = 0; at < count; at += kRunPiece)
        DensityPiece(*cache, samples + at, std::min(count - at, kRunPiece));
}

void OctaveNoiseVolume::DensityPiece(const CombustionCache &cache, SampleInfo *samples,
                                     int count) const {
    float qx[kRunPiece], qy[kRunPiece], qz[kRunPiece];
    float x[kRunPiece], y[kRunPiece], z[kRunPiece], octave[kRunPiece], sum[kRunPiece] = {};
    for (int i = 0; i < count; ++i) {
        const Point3 q = NoisePoint(cache, samples[i]);
        qx[i] = q.x;
        qy[i] = q.y;
        qz[i] = q.z;
    }
    const float phase = samples[0].volume->phase + cache.noisePhase;
    // Each octave as the single call computes it: the point scaled by the weight, then
    // |noise| / weight, the fractional octave times its share.
    float weight = 1.0f, n = noiseLevels_;
    for (; n > 0.0f; n -= 1.0f, weight *= 2.0f) {
        for (int i = 0; i < count; ++i) {
            x[i] = qx[i] * weight;
            y[i] = qy[i] * weight;
            z[i] = qz[i] * weight;
        }
        noise4Batch(x, y, z, phase, count, octave);
        if (n >= 1.0f) {
            for (int i = 0; i < count; ++i) sum[i] += std::fabs(octave[i]) / weight;
        } else {
            for (int i = 0; i < count; ++i) sum[i] += std::fabs(octave[i]) * n / weight;
        }
    }
    for (int i = 0; i < count; ++i) Shape(cache, samples[i], sum[i]);
}
