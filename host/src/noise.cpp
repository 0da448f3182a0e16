/// @file noise.cpp
/// @brief The noise lookup tables (built at compile time), the octave sums and the threshold
///        ramp.
#include "host/noise.h"

#include "noise_parts.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace noise_detail {
namespace {

// Ken Perlin's permutation of 0 … 255, from his improved-noise reference implementation.
constexpr std::uint8_t kPerlinPermutation[256] = {
    151, 160, 137, 91,  90,  15,  131, 13,  201, 95,  96,  53,  194, 233, 7,   225, 140, 36,
    103, 30,  69,  142, 8,   99,  37,  240, 21,  10,  23,  190, 6,   148, 247, 120, 234, 75,
    0,   26,  197, 62,  94,  252, 219, 203, 117, 35,  11,  32,  57,  177, 33,  88,  237, 149,
    56,  87,  174, 20,  125, 136, 171, 168, 68,  175, 74,  165, 71,  134, 139, 48,  27,  166,
    77,  146, 158, 231, 83,  111, 229, 122, 60,  211, 133, 230, 220, 105, 92,  41,  55,  46,
    245, 40,  244, 102, 143, 54,  65,  25,  63,  161, 1,   216, 80,  73,  209, 76,  132, 187,
    208, 89,  18,  169, 200, 196, 135, 130, 116, 188, 159, 86,  164, 100, 109, 198, 173, 186,
    3,   64,  52,  217, 226, 250, 124, 123, 5,   202, 38,  147, 118, 126, 255, 82,  85,  212,
    207, 206, 59,  227, 47,  16,  58,  17,  182, 189, 28,  42,  223, 183, 170, 213, 119, 248,
    152, 2,   44,  154, 163, 70,  221, 153, 101, 155, 167, 43,  172, 9,   129, 22,  39,  253,
    19,  98,  108, 110, 79,  113, 224, 232, 178, 185, 112, 104, 218, 246, 97,  228, 251, 34,
    242, 193, 238, 210, 144, 12,  191, 179, 162, 241, 81,  51,  145, 235, 249, 14,  239, 107,
    49,  192, 214, 31,  181, 199, 106, 157, 184, 84,  204, 176, 115, 121, 50,  45,  127, 4,
    150, 254, 138, 236, 205, 93,  222, 114, 67,  29,  24,  72,  243, 141, 128, 195, 78,  66,
    215, 61,  156, 180};

constexpr NoiseTables MakeTables() {
    NoiseTables t{};
    for (int i = 0; i < 512; ++i) {
        const int h = kPerlinPermutation[i & 255];
        t.perm[i] = static_cast<std::uint8_t>(h);

        // Improved noise's gradient: u ± v, with u and v chosen among x, y, z by the hash.
        const int h3 = h & 15;
        const int u = h3 < 8 ? 0 : 1;
        const int v = h3 < 4 ? 1 : (h3 == 12 || h3 == 14 ? 0 : 2);
        float g3[4] = {0.0f, 0.0f, 0.0f, 0.0f};
        g3[u] += (h3 & 1) ? -1.0f : 1.0f;
        g3[v] += (h3 & 2) ? -1.0f : 1.0f;
        t.grad3[i] = Float4{g3[0], g3[1], g3[2], g3[3]};

        // Four dimensions: bits 3-4 pick the zero component, bits 0-2 the signs of the others.
        const int h4 = h & 31;
        float g4[4] = {0.0f, 0.0f, 0.0f, 0.0f};
        for (int k = 0, bit = 0; k < 4; ++k) {
            if (k != h4 >> 3) g4[k] = (h4 >> bit++ & 1) ? -1.0f : 1.0f;
        }
        t.grad4[i] = Float4{g4[0], g4[1], g4[2], g4[3]};

        const float slope = static_cast<float>((h & 7) + 1) * 0.25f;
        t.grad1[i] = (h & 8) ? -slope : slope;
    }
    return t;
}

}  // namespace

alignas(64) constinit const NoiseTables kNoiseTables = MakeTables();

float FBm1(float x, float H, float lacunarity, float octaves) {
    const Octaves n = SplitOctaves(octaves);
    const float gain = OctaveGain(H, lacunarity);
    float sum = 0.0f, weight = 1.0f;
    for (int i = 0; i < n.whole; ++i) {
        sum += Noise1(x) * weight;
        weight *= gain;
        x *= lacunarity;
    }
    if (n.fraction > 0.0f) sum += Noise1(x) * (weight * n.fraction);
    return sum;
}

float FBm3(float x, float y, float z, float H, float lacunarity, float octaves) {
    const Octaves n = SplitOctaves(octaves);
    const float gain = OctaveGain(H, lacunarity);
    // The octaves add lane by lane; one reduction at the end.
    Float4 sum = Splat(0.0f);
    float weight = 1.0f;
    for (int i = 0; i < n.whole; ++i) {
        sum += Noise3Lanes(x, y, z) * weight;
        weight *= gain;
        x *= lacunarity;
        y *= lacunarity;
        z *= lacunarity;
    }
    if (n.fraction > 0.0f) sum += Noise3Lanes(x, y, z) * (weight * n.fraction);
    return HorizontalSum(sum);
}

float Turbulence3(float x, float y, float z, float freq) {
    float sum = 0.0f;
    for (float f = std::min(freq, kMaxTurbulenceFrequency); f >= 1.0f; f *= 0.5f) {
        sum += std::fabs(Noise3(x * f, y * f, z * f)) / f;
    }
    return sum;
}

}  // namespace noise_detail

float threshold(float x, float a, float b) {
    if (a == b) return x < a ? 0.0f : 1.0f;
    const float t = (x - a) / (b - a);
    return t < 0.0f ? 0.0f : (t > 1.0f ? 1.0f : t);
}
