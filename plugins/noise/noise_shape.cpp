/// @file noise_shape.cpp
/// @brief The Noise shape: parameters, controllers and the per-pixel coverage.
#include "plugins/noise/noise_shape.h"

#include "framework/plugin_class_desc.h"

#include "host/noise.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace {

// Parameter block (version 0).
const ParamSpec kParams[NoiseShape::kParams] = {
    {"??", TYPE_INT, FALSE, 0.0f, defaultDim},  // noise type: the "Noise Type" property
    {"Birth High. Threshold", TYPE_FLOAT, TRUE, 1.0f, defaultDim},
    {"Death High. Threshold", TYPE_FLOAT, TRUE, 1.0f, defaultDim},
    {"Birth Low. Threshold", TYPE_FLOAT, TRUE, 0.0f, defaultDim},
    {"Death Low. Threshold", TYPE_FLOAT, TRUE, 0.0f, defaultDim},
    {"Birth Turbulance", TYPE_FLOAT, TRUE, 3.0f, defaultDim},
    {"Death Turbulance", TYPE_FLOAT, TRUE, 3.0f, defaultDim},
    {"Birth Phase", TYPE_FLOAT, TRUE, 0.0f, defaultDim},
    {"Death Phase", TYPE_FLOAT, TRUE, 10.0f, defaultDim},
    {"Birth Size", TYPE_FLOAT, TRUE, 90.0f, defaultDim},
    {"Death Size", TYPE_FLOAT, TRUE, 90.0f, defaultDim},
    {"Birth Horz. Stretch", TYPE_FLOAT, TRUE, 1.0f, defaultDim},
    {"Death Horz. Stretch", TYPE_FLOAT, TRUE, 1.0f, defaultDim},
    {"Birth Vert. Stretch", TYPE_FLOAT, TRUE, 1.0f, defaultDim},
    {"Death Vert. Stretch", TYPE_FLOAT, TRUE, 1.0f, defaultDim},
};

// The controllers in reference order, with their spinners' ranges and steps and the roll-up
// buttons that open them.
const ControllerSpec kControllers[NoiseShape::kControllers] = {
    {"High Threshold", 1059, ControllerSpec::kFloat, 0.0f, 1.0f, 0.005f},
    {"Low Threshold", 1062, ControllerSpec::kFloat, 0.0f, 1.0f, 0.005f},
    {"Turbulence", 1067, ControllerSpec::kFloat, 1.0f, 10.0f, 0.1f},
    {"Phase", 1072, ControllerSpec::kFloat, 0.0f, 1000.0f, 0.1f},
    {"Size", 1077, ControllerSpec::kFloat, 0.001f, 100.0f, 0.1f},
    {"Horz. Stretch", 1082, ControllerSpec::kFloat, 1.0f, 100.0f, 0.1f},
    {"Vert. Stretch", 1087, ControllerSpec::kFloat, 1.0f, 100.0f, 0.1f},
};

constexpr const char *kNoiseTypeLabels[NoiseShape::kNoiseTypes] = {"Regular", "Fractal",
                                                                   "Turbulence"};
const ChoiceSpec kChoices[] = {
    {"Noise Type", NoiseShape::kNoiseType, kNoiseTypeLabels,
     "\"Regular\" noise, \"Fractal\" noise (six octaves: finer detail) or \"Turbulence\" (the "
     "octaves' magnitudes: billowy, never below the middle level)"},
};

const PlugInLayout kLayout{kParams, kControllers, kChoices};

/// Size, Horz. Stretch and Vert. Stretch count down from this: 100 − Size is the noise scale.
constexpr float kScaleTop = 100.0f;
/// The stretches are percentages: (100 − stretch) × kStretchScale is the factor.
constexpr float kStretchScale = 0.01f;

/// The soft disk's row or column at position t (0 … 1) across the particle's square:
/// trunc(255 t), held to 0 … 255 (NaN gives 0).
int TableIndex(float t) {
    const float v = t * 255.0f;
    return v > 0.0f ? (v < 255.0f ? static_cast<int>(v) : 255) : 0;
}

/// Σ weight_i × g(noise3 (a[k] 2^i, b 2^i, z 2^i)) over octaves i = 0 … whole − 1 with
/// weight 2^−i, plus octave `whole` with weight 2^−whole × partial; g is |·| when `magnitude`.
/// Scaling by powers of two is exact, so the octaves' points are those of the host's `fBm1`
/// (H 1, lacunarity 2), and each octave of a row is one `noise3Row`.
void OctaveSum(const float *a, int count, float b, float z, int whole, float partial,
               bool magnitude, float *sum) {
    float scaled[NoiseShape::kRowRun], octave[NoiseShape::kRowRun];
    std::fill_n(sum, count, 0.0f);
    float frequency = 1.0f, weight = 1.0f;
    const int octaves = whole + (partial > 0.0f ? 1 : 0);
    for (int i = 0; i < octaves; ++i, frequency *= 2.0f, weight *= 0.5f) {
        const float w = i < whole ? weight : weight * partial;
        for (int k = 0; k < count; ++k) scaled[k] = a[k] * frequency;
        noise3Row(scaled, count, b * frequency, z * frequency, octave);
        if (magnitude) {
            for (int k = 0; k < count; ++k) sum[k] += std::fabs(octave[k]) * w;
        } else {
            for (int k = 0; k < count; ++k) sum[k] += octave[k] * w;
        }
    }
}

}  // namespace

ClassDesc *GetNoiseShapeDesc() {
    return PlugInClassDesc<NoiseShape>::Get("Noise", "Noise Shader");
}

NoiseShape::NoiseShape(bool loading) : SpriteShape(kLayout, loading) {}

NoiseShape::~NoiseShape() = default;

void NoiseShape::__BeginParticle__(float transparency, int radius, ParticleInfo *info) {
    SpriteShape::__BeginParticle__(transparency, radius, info);
    ParticleInfo none;
    const ParticleInfo &p = info ? *info : none;
    const TimeValue t = frameTime_;
    ResetControllers(t, p);
    noiseType_ = ChoiceParam(kNoiseType, t, kNoiseTypes);
    // Controller c blends its birth parameter 1 + 2c and its death parameter 2 + 2c.
    const auto quantity = [&](int c) {
        return EvalFloat(c, p.age, FloatParam(1 + 2 * c, t), FloatParam(2 + 2 * c, t));
    };
    highThreshold_ = quantity(kHighThresholdController);
    lowThreshold_ = quantity(kLowThresholdController);
    turbulenceLevels_ = quantity(kTurbulenceController);
    phase_ = quantity(kPhaseController) + static_cast<float>(p.particleIndex);
    noiseScale_ = kScaleTop - quantity(kSizeController);
    horzFactor_ = (kScaleTop - quantity(kHorzStretchController)) * kStretchScale;
    vertFactor_ = (kScaleTop - quantity(kVertStretchController)) * kStretchScale;

    scaleX_ = noiseScale_ * horzFactor_;
    scaleY_ = noiseScale_ * vertFactor_;
    // The level count in whole octaves and the weight of the next one. A count below 1 (or
    // NaN) leaves only its fraction of the first octave, or nothing; a huge one is capped.
    const float levels = turbulenceLevels_;
    if (!(levels > 0.0f)) {
        wholeOctaves_ = 0;
        partialOctave_ = 0.0f;
    } else if (levels >= static_cast<float>(kMaxTurbulenceOctaves)) {
        wholeOctaves_ = kMaxTurbulenceOctaves;
        partialOctave_ = 0.0f;
    } else {
        wholeOctaves_ = static_cast<int>(levels);
        partialOctave_ = levels - static_cast<float>(wholeOctaves_);
    }
}

int NoiseShape::NoiseEvaluations() const {
    switch (noiseType_) {
        case kFractalNoise:
            return kFractalOctaves;
        case kTurbulenceNoise:
            return wholeOctaves_ + (partialOctave_ > 0.0f ? 1 : 0);
        default:
            return 1;
    }
}

void NoiseShape::NoiseRun(const float *a, int count, float b, float *v) const {
    switch (noiseType_) {
        case kFractalNoise:
            OctaveSum(a, count, b, phase_, kFractalOctaves, 0.0f, false, v);
            break;
        case kTurbulenceNoise:
            OctaveSum(a, count, b, phase_, wholeOctaves_, partialOctave_, true, v);
            break;
        default:
            noise3Row(a, count, b, phase_, v);
            break;
    }
    for (int i = 0; i < count; ++i) v[i] = (v[i] + 1.0f) * 0.5f;
}

bool NoiseShape::Coverage(unsigned short &density, int radius, int dx, int dy, int x,
                          int y) const {
    unsigned char covered = 0;
    ParticleShapeRow(&density, &covered, radius, dx, dy, x, y, 1);
    return covered != 0;
}

void NoiseShape::ParticleShapeRow(unsigned short *density, unsigned char *covered, int radius,
                                  int dx, int dy, int, int, int count) const {
    if (count <= 0) return;
    if (!disk_.Built() || diameter_ <= 0.0f) {
        std::fill_n(covered, count, static_cast<unsigned char>(0));
        return;
    }
    // Offsets in 64 bits: a caller may ask for any pixel, inside the square or not.
    const long long left = static_cast<long long>(dx) + radius;
    const float w = static_cast<float>(static_cast<long long>(dy) + radius) / diameter_;
    const int row = TableIndex(w);
    const float b = (w - 0.5f) * scaleY_;
    const bool window = lowThreshold_ < highThreshold_;
    for (int start = 0; start < count; start += kRowRun) {
        const int n = std::min(kRowRun, count - start);
        float u[kRowRun], a[kRowRun], v[kRowRun];
        for (int i = 0; i < n; ++i) {
            u[i] = static_cast<float>(left + start + i) / diameter_;
            a[i] = (u[i] - 0.5f) * scaleX_;
        }
        NoiseRun(a, n, b, v);
        for (int i = 0; i < n; ++i) {
            const float value = window ? threshold(v[i], lowThreshold_, highThreshold_) : v[i];
            const auto level = static_cast<std::uint16_t>(Clamp01(value) * 65535.0f);
            const std::uint16_t falloff = disk_.At(row, TableIndex(u[i]));
            density[start + i] = Scaled(std::min(level, falloff));
            covered[start + i] = 1;
        }
    }
}
