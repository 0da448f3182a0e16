/// @file plasma_shape.cpp
/// @brief The Plasma shape: parameters, controllers and the five-layer noise average.
#include "plugins/standard/plasma_shape.h"

#include "framework/plugin_class_desc.h"

#include "host/noise.h"

#include <algorithm>

namespace {

// Parameter block (version 0).
const ParamSpec kParams[PlasmaShape::kParams] = {
    {"Core", TYPE_INT, FALSE, 0.0f, defaultDim},  // also the "Center" property
    {"Birth Size", TYPE_FLOAT, TRUE, 20.0f, defaultDim},
    {"Death Size", TYPE_FLOAT, TRUE, 20.0f, defaultDim},
    {"Birth Phase", TYPE_FLOAT, TRUE, 1.0f, defaultDim},
    {"Death Phase", TYPE_FLOAT, TRUE, 1.2f, defaultDim},
    {"Birth Motion", TYPE_FLOAT, TRUE, 0.5f, defaultDim},
    {"Death Motion", TYPE_FLOAT, TRUE, 0.5f, defaultDim},
};

// The controllers with their spinners' ranges and steps, and the roll-up buttons that open
// them.
const ControllerSpec kControllers[] = {
    {"Size", 1077, ControllerSpec::kFloat, 0.001f, 9999.0f, 0.005f},
    {"Phase", 1072, ControllerSpec::kFloat, 0.0f, 9999.0f, 0.05f},
    {"Motion", 1067, ControllerSpec::kFloat, 0.0f, 1.0f, 0.05f},
};

constexpr const char *kCoreLabels[PlasmaShape::kCores] = {"Cold", "Hot"};
const ChoiceSpec kChoices[] = {
    {"Center", PlasmaShape::kCore, kCoreLabels,
     "\"Cold\": noise cut out by the soft disk; \"Hot\": a boiling, high-contrast centre"},
};

const PlugInLayout kLayout{kParams, kControllers, kChoices};

}  // namespace

ClassDesc *GetPlasmaShapeDesc() {
    return PlugInClassDesc<PlasmaShape>::Get("Plasma", "Plasma Shader");
}

PlasmaShape::PlasmaShape(bool loading) : DiskPatternShape(kLayout, loading, true) {}

PlasmaShape::~PlasmaShape() = default;

void PlasmaShape::__BeginParticle__(float transparency, int radius, ParticleInfo *info) {
    DiskPatternShape::__BeginParticle__(transparency, radius, info);
    ParticleInfo none;
    const ParticleInfo &p = info ? *info : none;
    const TimeValue t = frameTime_;
    ResetControllers(t, p);
    hot_ = IntParam(kCore, t) != 0;
    noiseSize_ =
        EvalFloat(kSizeController, p.age, FloatParam(kBirthSize, t), FloatParam(kDeathSize, t));
    phase_ = EvalFloat(kPhaseController, p.age, FloatParam(kBirthPhase, t),
                       FloatParam(kDeathPhase, t));
    motion_ = EvalFloat(kMotionController, p.age, FloatParam(kBirthMotion, t),
                        FloatParam(kDeathMotion, t));
    particleIndex_ = static_cast<float>(p.particleIndex);
}

void PlasmaShape::PatternRun(const float *u, const std::uint16_t *disk, int count, float w,
                             std::uint16_t *density) const {
    // The layers along the row: P scaled by Size, then P × Motion for the next layer.
    float px[kRun];
    for (int j = 0; j < count; ++j) px[j] = u[j] - 0.5f;
    float py = w - 0.5f, pz = particleIndex_ + phase_;
    float sum[kRun] = {};
    float xs[kRun], noise[kRun];
    for (int layer = 0; layer < kLayers; ++layer) {
        for (int j = 0; j < count; ++j) xs[j] = px[j] * noiseSize_;
        noise3Row(xs, count, py * noiseSize_, pz * noiseSize_, noise);
        for (int j = 0; j < count; ++j) {
            sum[j] += (noise[j] + 1.0f) * 0.5f;
            px[j] *= motion_;
        }
        py *= motion_;
        pz *= motion_;
    }
    for (int j = 0; j < count; ++j) {
        // Noise reaches a little past ±1: the average is held to 0 … 1 so that n fits its
        // 16 bits.
        const float a = Clamp01(sum[j] / kLayers);
        density[j] = Density(static_cast<std::uint16_t>(a * 65535.0f), disk[j], hot_);
    }
}
