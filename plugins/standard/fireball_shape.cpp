/// @file fireball_shape.cpp
/// @brief The FireBall shape: parameters, controllers, the disk table and the per-pixel
///        coverage.
#include "plugins/standard/fireball_shape.h"

#include "framework/plugin_class_desc.h"

#include "host/noise.h"

#include <algorithm>

namespace {

// Parameter block (version 0).
const ParamSpec kParams[FireBallShape::kParams] = {
    {"??", TYPE_INT, FALSE, 0.0f, defaultDim},  // noise type: the "Noise Type" property
    {"Birth Noise Size", TYPE_FLOAT, TRUE, 4.0f, defaultDim},
    {"Death Noise Size", TYPE_FLOAT, TRUE, 4.0f, defaultDim},
    {"Birth Threshold", TYPE_FLOAT, TRUE, 10.0f, defaultDim},
    {"Death Threshold", TYPE_FLOAT, TRUE, 10.0f, defaultDim},
    {"Birth Phase", TYPE_FLOAT, TRUE, 0.0f, defaultDim},
    {"Death Phase", TYPE_FLOAT, TRUE, 10.0f, defaultDim},
};

// The controllers with their spinners' ranges and steps, and the roll-up buttons that open
// them.
const ControllerSpec kControllers[] = {
    {"Noise Size", 1099, ControllerSpec::kFloat, 0.001f, 100.0f, 0.1f},
    {"Threshold", 1082, ControllerSpec::kFloat, 0.001f, 100.0f, 0.1f},
    {"Phase", 1072, ControllerSpec::kFloat, 0.0f, 1000.0f, 0.1f},
};

constexpr const char *kNoiseTypeLabels[FireBallShape::kNoiseTypes] = {"Regular", "Fractal"};
const ChoiceSpec kChoices[] = {
    {"Noise Type", FireBallShape::kNoiseType, kNoiseTypeLabels,
     "\"Regular\" noise, or \"Fractal\" noise (six octaves: finer, busier edges)"},
};

const PlugInLayout kLayout{kParams, kControllers, kChoices};

/// Threshold is a percentage added to 1: k = 1 + Threshold × kThresholdScale.
constexpr float kThresholdScale = 0.01f;
/// Phase runs a tenth as fast as its parameter.
constexpr float kPhaseScale = 0.1f;
// The fractal noise: fBm with H 1, lacunarity 2, 6 octaves.
constexpr float kFractalH = 1.0f;
constexpr float kFractalLacunarity = 2.0f;
constexpr float kFractalOctaves = 6.0f;

}  // namespace

ClassDesc *GetFireBallShapeDesc() {
    return PlugInClassDesc<FireBallShape>::Get("FireBall", "FireBall Shader");
}

void FillFireBallDisk(std::uint16_t *table) {
    constexpr int kCentre = kFireBallTableSide / 2;
    constexpr int kRimSquared = kFireBallDiskRadius * kFireBallDiskRadius;
    for (int i = -kFireBallDiskRadius; i < kFireBallDiskRadius; ++i) {
        for (int j = -kFireBallDiskRadius; j < kFireBallDiskRadius; ++j) {
            const int d2 = i * i + j * j;
            if (d2 > kRimSquared) continue;
            const double b = double(kRimSquared - d2) / kRimSquared;
            const double s = b * b * (3.0 - 2.0 * b);
            table[(kCentre + i) * kFireBallTableSide + kCentre + j] =
                static_cast<std::uint16_t>(s * s * 65535.0);
        }
    }
}

FireBallShape::FireBallShape(bool loading) : SpriteShape(kLayout, loading) {}

FireBallShape::~FireBallShape() = default;

void FireBallShape::BuildTable() {
    constexpr int kEntries = kFireBallTableSide * kFireBallTableSide;
    if (!table_)
        table_ = std::make_unique<std::uint16_t[]>(kEntries);  // zero-filled
    else
        std::fill_n(table_.get(), kEntries, std::uint16_t(0));
    FillFireBallDisk(table_.get());
    runs_.Clear();
}

void FireBallShape::__BeginParticle__(float transparency, int radius, ParticleInfo *info) {
    SpriteShape::__BeginParticle__(transparency, radius, info);
    ParticleInfo none;
    const ParticleInfo &p = info ? *info : none;
    const TimeValue t = frameTime_;
    ResetControllers(t, p);
    noiseType_ = ChoiceParam(kNoiseType, t, kNoiseTypes);
    noiseSize_ = EvalFloat(kNoiseSizeController, p.age, FloatParam(kBirthNoiseSize, t),
                           FloatParam(kDeathNoiseSize, t));
    thresholdFactor_ = EvalFloat(kThresholdController, p.age, FloatParam(kBirthThreshold, t),
                                 FloatParam(kDeathThreshold, t)) *
                           kThresholdScale +
                       1.0f;
    particleIndex_ = static_cast<float>(p.particleIndex);
    phase_ = EvalFloat(kPhaseController, p.age, FloatParam(kBirthPhase, t),
                       FloatParam(kDeathPhase, t)) *
                 kPhaseScale +
             particleIndex_;
    noiseScale_ = diameter_ > 0.0f ? noiseSize_ / diameter_ : 0.0f;
    noiseZ_ = phase_ * noiseSize_;
    entryScale_ = diameter_ > 0.0f ? kFireBallTableSide * thresholdFactor_ / diameter_ : 0.0f;
    runs_.Clear();
}

bool FireBallShape::Coverage(unsigned short &density, int radius, int dx, int dy, int x,
                             int y) const {
    return RowPixel(*this, density, radius, dx, dy, x, y);
}

int FireBallShape::__ParticleShape__(unsigned short *density, int radius, int dx, int dy, int x,
                                     int y) {
    return runs_.Pixel(*this, *density, radius, dx, dy, x, y) ? 1 : 0;
}

void FireBallShape::ParticleShapeRow(unsigned short *density, unsigned char *covered, int,
                                     int dx, int dy, int, int, int count) const {
    if (!table_ || diameter_ <= 0.0f) {
        std::fill_n(covered, count, static_cast<unsigned char>(0));
        return;
    }
    const std::uint16_t *table = table_.get();
    const float fy = static_cast<float>(dy);
    const float noiseY = fy * noiseScale_;
    for (int start = 0; start < count; start += kRowRun) {
        const int n = std::min(kRowRun, count - start);
        float xs[kRowRun], noise[kRowRun];
        for (int i = 0; i < n; ++i) xs[i] = static_cast<float>(dx + start + i) * noiseScale_;
        if (noiseType_ == kFractalNoise) {
            float ys[kRowRun], zs[kRowRun];
            std::fill_n(ys, n, noiseY);
            std::fill_n(zs, n, noiseZ_);
            fBm1Batch(xs, ys, zs, n, kFractalH, kFractalLacunarity, kFractalOctaves, noise);
        } else {
            noise3Row(xs, n, noiseY, noiseZ_, noise);
        }
        for (int i = 0; i < n; ++i) {
            const float toEntries = (noise[i] + 1.0f) * 0.5f * entryScale_;  // v × 512 k / d
            const std::uint16_t e = FireBallDiskEntry(
                table, toEntries * static_cast<float>(dx + start + i), toEntries * fy);
            covered[start + i] = e != 0;
            density[start + i] = Scaled(e);
        }
    }
}
