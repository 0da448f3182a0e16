/// @file noise_parts.h
/// @brief What the scalar noise and the batched kernels of every instruction set share: the
///        octave count and weights of the sums.
#pragma once

#include "host/noise.h"

#include <cmath>

namespace noise_detail {

/// Octave count split into whole octaves and the weight of the last, partial one.
struct Octaves {
    int whole;
    float fraction;
};

inline Octaves SplitOctaves(float octaves) {
    if (!(octaves > 0.0f)) return {0, 0.0f};  // also NaN
    if (octaves >= static_cast<float>(kMaxNoiseOctaves)) return {kMaxNoiseOctaves, 0.0f};
    const int whole = static_cast<int>(octaves);
    return {whole, octaves - static_cast<float>(whole)};
}

/// Weight ratio between successive octaves, lacunarity^-H; H 1 (the usual case) avoids pow.
inline float OctaveGain(float H, float lacunarity) {
    return H == 1.0f ? 1.0f / lacunarity : std::pow(lacunarity, -H);
}

/// Turbulence's highest frequency: 2^31, kMaxNoiseOctaves octaves.
constexpr float kMaxTurbulenceFrequency = 2147483648.0f;

}  // namespace noise_detail
