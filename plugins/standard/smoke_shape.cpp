/// @file smoke_shape.cpp
/// @brief The Smoke shape: parameters, controllers, the octave offsets and the wisp sum.
#include "plugins/standard/smoke_shape.h"

#include "framework/plugin_class_desc.h"

#include "host/noise.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace {

// Parameter block (version 0).
const ParamSpec kParams[SmokeShape::kParams] = {
    {"Birth Size", TYPE_FLOAT, TRUE, 4.0f, defaultDim},
    {"Death Size", TYPE_FLOAT, TRUE, 4.0f, defaultDim},
    {"Birth Phase", TYPE_FLOAT, TRUE, 0.0f, defaultDim},
    {"Death Phase", TYPE_FLOAT, TRUE, 0.4f, defaultDim},
    {"Birth Exponent", TYPE_FLOAT, TRUE, 1.5f, defaultDim},
    {"Death Exponent", TYPE_FLOAT, TRUE, 1.5f, defaultDim},
    {"Samples", TYPE_INT, FALSE, 5.0f, defaultDim},
};

// The controllers with their spinners' ranges and steps, and the roll-up buttons that open
// them.
const ControllerSpec kControllers[] = {
    {"Size", 1077, ControllerSpec::kFloat, 0.001f, 9999.0f, 0.005f},
    {"Phase", 1072, ControllerSpec::kFloat, 0.0f, 99999.0f, 0.005f},
    {"Exponent", 1067, ControllerSpec::kFloat, 0.001f, 5.0f, 0.005f},
};

const PlugInLayout kLayout{kParams, kControllers, {}};

/// Every particle's phase moves on by kIndexPhase × frac (index / kIndexPeriod): particles
/// whose indices differ by a multiple of the period drift alike.
constexpr int kIndexPeriod = 100;
constexpr float kIndexPhase = 10.0f;
/// Octave i's drift is kDriftGrowthⁱ × Phase × its offsets: finer octaves drift faster.
constexpr float kDriftGrowth = 2.4f;

/// The pseudo-random sequence the octave offsets come from: the classic C library generator
/// (state × 214013 + 2531011, answering bits 16 … 30 of the state), seeded with 34 147, so
/// that every build draws the same puffs.
class OffsetSequence {
public:
    static constexpr std::uint32_t kSeed = 34147;

    /// The next number, −1 … 1 in steps of 1 / 16 384.
    float Next() {
        state_ = state_ * 214013u + 2531011u;
        const int drawn = static_cast<int>((state_ >> 16) & 0x7FFF);
        return static_cast<float>(drawn - 16384) / 16384.0f;
    }

private:
    std::uint32_t state_ = kSeed;
};

SmokeShape::Offsets MakeOffsets() {
    SmokeShape::Offsets o;
    OffsetSequence sequence;
    for (int i = 0; i < SmokeShape::kMaxSamples; ++i) {
        o.x[i] = sequence.Next();
        o.y[i] = sequence.Next();
        o.z[i] = sequence.Next();
    }
    return o;
}

}  // namespace

ClassDesc *GetSmokeShapeDesc() {
    return PlugInClassDesc<SmokeShape>::Get("Smoke", "Smoke Shader");
}

const SmokeShape::Offsets &SmokeShape::OctaveOffsets() {
    static const Offsets offsets = MakeOffsets();
    return offsets;
}

SmokeShape::SmokeShape(bool loading) : DiskPatternShape(kLayout, loading, false) {}

SmokeShape::~SmokeShape() = default;

void SmokeShape::__BeginParticle__(float transparency, int radius, ParticleInfo *info) {
    DiskPatternShape::__BeginParticle__(transparency, radius, info);
    ParticleInfo none;
    const ParticleInfo &p = info ? *info : none;
    const TimeValue t = frameTime_;
    ResetControllers(t, p);
    noiseSize_ =
        EvalFloat(kSizeController, p.age, FloatParam(kBirthSize, t), FloatParam(kDeathSize, t));
    // frac (index / 100), from the index itself: exact at any index (a float product loses
    // the period past a few thousand), and in 0 … 1 for negative indices too.
    const int cycle = (p.particleIndex % kIndexPeriod + kIndexPeriod) % kIndexPeriod;
    phase_ = EvalFloat(kPhaseController, p.age, FloatParam(kBirthPhase, t),
                       FloatParam(kDeathPhase, t)) +
             kIndexPhase * (static_cast<float>(cycle) * (1.0f / kIndexPeriod));
    exponent_ = EvalFloat(kExponentController, p.age, FloatParam(kBirthExponent, t),
                          FloatParam(kDeathExponent, t));
    // The offsets cover kMaxSamples octaves; a file may hold any number.
    samples_ = std::clamp(IntParam(kSamples, t), 1, kMaxSamples);

    const Offsets &offsets = OctaveOffsets();
    float k = 1.0f;
    for (int i = 0; i < samples_; ++i, k *= kDriftGrowth) {
        const float d = k * phase_;
        driftX_[i] = offsets.x[i] * d;
        driftY_[i] = offsets.y[i] * d;
    }
}

void SmokeShape::PatternRun(const float *u, const std::uint16_t *disk, int count, float w,
                            std::uint16_t *density) const {
    float a[kRun];
    for (int j = 0; j < count; ++j) a[j] = (u[j] - 0.5f) * noiseSize_;
    const float b = (w - 0.5f) * noiseSize_;
    // The wisp sum, an octave at a time along the row. Doubling the coordinates and halving
    // the weights is exact in floats.
    float sum[kRun] = {};
    float xs[kRun], noise[kRun];
    float scale = 1.0f, weight = 1.0f;
    for (int octave = 0; octave < samples_; ++octave, scale *= 2.0f, weight *= 0.5f) {
        for (int j = 0; j < count; ++j) xs[j] = driftX_[octave] + a[j] * scale;
        noise3Row(xs, count, driftY_[octave] + b * scale, 0.0f, noise);
        for (int j = 0; j < count; ++j) sum[j] += std::fabs(noise[j]) * weight;
    }
    for (int j = 0; j < count; ++j) {
        // An exponent of 0 or below (a controller may overshoot its range) would reach
        // infinity at a zero sum: the value is held to 0 … 1.
        const float v = sum[j] > 1.0f ? 1.0f : Clamp01(std::pow(sum[j], exponent_));
        density[j] = std::min(static_cast<std::uint16_t>(v * 65535.0f), disk[j]);
    }
}
