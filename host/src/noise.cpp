/// @file noise.cpp
/// @brief The noise lookup tables (built at compile time) and the octave sums.
#include "host/noise.h"

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

// Octave count split into whole octaves and the weight of the last, partial one.
struct Octaves {
    int whole;
    float fraction;
};

Octaves SplitOctaves(float octaves) {
    if (!(octaves > 0.0f)) return {0, 0.0f};  // also NaN
    if (octaves >= static_cast<float>(kMaxNoiseOctaves)) return {kMaxNoiseOctaves, 0.0f};
    const int whole = static_cast<int>(octaves);
    return {whole, octaves - static_cast<float>(whole)};
}

// Weight ratio between successive octaves, lacunarity^-H; H 1 (the usual case) avoids pow.
float OctaveGain(float H, float lacunarity) {
    return H == 1.0f ? 1.0f / lacunarity : std::pow(lacunarity, -H);
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
    constexpr float kMaxFrequency = 2147483648.0f;  // 2^31: kMaxNoiseOctaves octaves
    float sum = 0.0f;
    for (float f = std::min(freq, kMaxFrequency); f >= 1.0f; f *= 0.5f) {
        sum += std::fabs(Noise3(x * f, y * f, z * f)) / f;
    }
    return sum;
}

// Rows --------------------------------------------------------------------------------------

namespace {

/// Improved noise inside one lattice cell of a row: with y and z fixed it is
/// L0 + Fade(f) × (L1 − L0) of the position f along x, L0 = a0 + b0 f summing the cell's four
/// corners on its near x side (each faded y and z weight × gradient · offset), L1 = a1 + b1 f
/// those on its far side.
struct RowCell {
    float a0 = 0.0f, b0 = 0.0f, a1 = 0.0f, b1 = 0.0f;
};

/// The row's fixed part: the y and z cells, positions and faded weights.
struct RowPlane {
    std::size_t Y, Z;
    float oy[4], oz[4];  ///< offsets from the corners (j, k) = (0,0), (1,0), (0,1), (1,1)
    float w[4];          ///< the corners' y weight × z weight

    RowPlane(float y, float z) {
        const Cells c = SplitCoordinates(Float4{0.0f, y, z, 0.0f});
        Y = c[1];
        Z = c[2];
        const float fy = c.f[1], fz = c.f[2];
        const float y1 = Fade(fy), z1 = Fade(fz), y0 = 1.0f - y1, z0 = 1.0f - z1;
        const float oys[4] = {fy, fy - 1.0f, fy, fy - 1.0f};
        const float ozs[4] = {fz, fz, fz - 1.0f, fz - 1.0f};
        const float ws[4] = {y0 * z0, y1 * z0, y0 * z1, y1 * z1};
        for (int k = 0; k < 4; ++k) {
            oy[k] = oys[k];
            oz[k] = ozs[k];
            w[k] = ws[k];
        }
    }

    RowCell Cell(std::size_t X) const {
        const std::uint8_t *p = kNoiseTables.perm;
        const std::size_t a = p[X] + Y, b = p[X + 1] + Y;
        const std::size_t aa = p[a] + Z, ba = p[b] + Z, ab = p[a + 1] + Z, bb = p[b + 1] + Z;
        const std::size_t nearCorners[4] = {aa, ab, aa + 1, ab + 1};
        const std::size_t farCorners[4] = {ba, bb, ba + 1, bb + 1};
        RowCell cell;
        for (int k = 0; k < 4; ++k) {
            const Float4 gn = kNoiseTables.grad3[nearCorners[k]];
            const Float4 gf = kNoiseTables.grad3[farCorners[k]];
            cell.a0 += w[k] * (gn[1] * oy[k] + gn[2] * oz[k]);
            cell.b0 += w[k] * gn[0];
            cell.a1 += w[k] * (gf[1] * oy[k] + gf[2] * oz[k] - gf[0]);  // x offset f − 1
            cell.b1 += w[k] * gf[0];
        }
        return cell;
    }
};

}  // namespace

}  // namespace noise_detail

void noise3Row(const float *x, int count, float y, float z, float *out) {
    using namespace noise_detail;
    if (count <= 0) return;
    const RowPlane plane(y, z);
    // Blocks of points: first every point's cell and position (a loop the compiler runs four
    // points at a time), then runs of points in one lattice cell, whose corners are combined
    // once for the whole run; its points then cost a few multiplications each.
    constexpr int kBlock = 64;
    float positions[kBlock];
    int cells[kBlock];
    for (int at = 0; at < count; at += kBlock) {
        const int n = count - at < kBlock ? count - at : kBlock;
        for (int i = 0; i < n; ++i) {
            const Cell1 c = SplitCoordinate(x[at + i]);
            cells[i] = c.cell;
            positions[i] = c.f;
        }
        for (int i = 0; i < n;) {
            const int cell = cells[i];
            int end = i + 1;
            while (end < n && cells[end] == cell) ++end;
            const RowCell c = plane.Cell(static_cast<std::uint32_t>(cell) & 255);
            for (int k = i; k < end; ++k) {
                const float f = positions[k];
                const float l0 = c.a0 + c.b0 * f, l1 = c.a1 + c.b1 * f;
                out[at + k] = l0 + Fade(f) * (l1 - l0);
            }
            i = end;
        }
    }
}

float threshold(float x, float a, float b) {
    if (a == b) return x < a ? 0.0f : 1.0f;
    const float t = (x - a) / (b - a);
    return t < 0.0f ? 0.0f : (t > 1.0f ? 1.0f : t);
}
