/// @file noise_kernels.h
/// @brief The gradient-noise kernels behind host/noise.h, inline so that callers' loops run
///        them without a call (the call and a by-value Point3 cost as much as the noise).
///        Include host/noise.h rather than this file.
///
/// The kernels work on four floats at once, one lane per axis, written with the compiler's
/// vector extensions (SSE2 code on x86-64). Gradient choice is a table row per permutation
/// entry, so there is no branch on the hashed values; there is no allocation and no state.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace noise_detail {

using Float4 = float __attribute__((vector_size(16)));
using Int4 = std::int32_t __attribute__((vector_size(16)));

/// Lookup tables, indexed like Perlin's permutation doubled to 512 entries so that "p[i] + j"
/// and "+ 1" never need a mask. Each gradient table holds, at index i, the gradient that the
/// permutation entry p[i] selects, which saves a lookup per corner.
struct NoiseTables {
    std::uint8_t perm[512];
    /// Improved noise's twelve cube-edge directions (p & 15, four repeated); lane 3 is 0.
    Float4 grad3[512];
    /// The 32 directions with one zero and three ±1 components (p & 31).
    Float4 grad4[512];
    /// Slopes ±1/4 … ±2 (p & 15), so that one-dimensional noise spans −1 … 1.
    float grad1[512];
};

extern const NoiseTables kNoiseTables;

/// From 2^31 on every float is a multiple of the 256-cell period, so at lattice position 0:
/// such coordinates, infinities and NaN are taken as 0. The test compares bit patterns (a
/// float's magnitude orders as its bits without the sign, and NaN's bits lie above all).
constexpr std::int32_t kWholePeriodsFromBits = 0x4f000000;  // 2^31
constexpr std::int32_t kMagnitudeBits = 0x7fffffff;

/// Raw four-dimensional sums reach about ±1.15 over the lattice (the theoretical 1.5 would need
/// all sixteen gradients of a cell to point at its centre); this scale brings them to about ±1,
/// the spread of noise3.
constexpr float kNoise4Scale = 0.85f;

inline Float4 Splat(float v) {
    return Float4{v, v, v, v};
}

/// One coordinate's cell (not yet reduced modulo 256) and position in it, the coordinate
/// taken as 0 from 2^31 on and for NaN. A negative coordinate takes the cell below its
/// truncation, which is the floor except at negative integers: those land at position 1 of the
/// cell below, the same lattice point, where every noise has the same value. The position is
/// the fraction the truncation leaves (exact), plus 1 for a negative coordinate; never the
/// coordinate less its cell, which past 2^24 may not be a float.
struct Cell1 {
    int cell;
    float f;
};
inline Cell1 SplitCoordinate(float x) {
    const std::int32_t bits = std::bit_cast<std::int32_t>(x);
    const std::int32_t kept = -std::int32_t((bits & kMagnitudeBits) < kWholePeriodsFromBits);
    x = std::bit_cast<float>(bits & kept);
    const int whole = static_cast<int>(x);
    const int negative = x < 0.0f;
    return {whole - negative, (x - static_cast<float>(whole)) + static_cast<float>(negative)};
}

/// Lattice cells (modulo 256) and positions inside them, per lane.
struct Cells {
    Int4 i;
    Float4 f;
    std::size_t operator[](int axis) const { return static_cast<std::uint32_t>(i[axis]); }
};

/// Splits coordinates into cells and positions, the cell being the integer nearest to p − 1/2:
/// the floor, except within a rounding error of an integer, which may land at position 0 of
/// its cell or at 1 of the cell below (the same lattice point), or a rounding error outside
/// 0 … 1. The position is p − cell, both floats (an integer nearest to a float is one), so
/// nothing is lost past 2^24. Lanes of 2^31 or more and NaN lanes come out as cell 0, position
/// 0: masked after the conversion, so that the mask is off the path from the coordinates to
/// the table lookups. (Without SSE2 each lane is split as SplitCoordinate splits it.)
inline Cells SplitCoordinates(Float4 p) {
#if defined(__SSE2__)
    const Int4 bits = reinterpret_cast<Int4>(p);
    const Int4 kept = (bits & kMagnitudeBits) < kWholePeriodsFromBits;
    // cvtps2dq rounds to nearest (the default rounding mode, which the renderer keeps) and
    // answers 0x80000000 for the lanes it cannot convert, which the mask then clears.
    const Int4 cell =
        reinterpret_cast<Int4>(_mm_cvtps_epi32(reinterpret_cast<__m128>(p - Splat(0.5f))));
    const Float4 f = p - __builtin_convertvector(cell, Float4);
    return {cell & (kept & 255), reinterpret_cast<Float4>(reinterpret_cast<Int4>(f) & kept)};
#else
    Cells c;
    for (int k = 0; k < 4; ++k) {
        const Cell1 lane = SplitCoordinate(p[k]);
        c.i[k] = lane.cell & 255;
        c.f[k] = lane.f;
    }
    return c;
#endif
}

/// Perlin's quintic fade 6t^5 − 15t^4 + 10t^3: zero first and second derivatives at 0 and 1.
template <typename T>
inline T Fade(T t) {
    return t * t * t * (t * (t * 6.0f - 15.0f) + 10.0f);
}

inline float HorizontalSum(Float4 v) {
    v += __builtin_shufflevector(v, v, 2, 3, 0, 1);
    return v[0] + v[1];
}

// How the corners are blended. Gradient noise is Σ_c W_c (g_c · (f − c)) over the cell's
// corners c, W_c being the product over the axes of the faded weight of c's side (1 − s on the
// near side, s on the far side). Spread over lanes (one per axis) that is Σ_c g_c ⊙ E_c summed
// over the lanes, with lane k of E_c = W_c (f − c)_k. E_c is a product of one factor per axis
// and side, which holds the side's weight in every lane except the axis's own lane, where it
// holds weight × offset. So a handful of products give every E_c, and the gradient rows are
// used as loaded: one multiply-add per corner and one reduction at the end.

/// The factor of axis K for one side: `weightOffset` in lane K, lane K of `weight` in the
/// others.
template <int K>
inline Float4 AxisFactor(Float4 weightOffset, Float4 weight) {
    return __builtin_shufflevector(weightOffset, weight, K == 0 ? 0 : 4 + K, K == 1 ? 1 : 4 + K,
                                   K == 2 ? 2 : 4 + K, K == 3 ? 3 : 4 + K);
}

/// Weights and weight × offset of the near and far side of the cell, per axis lane.
struct Sides {
    Float4 nearWeight, farWeight, nearProduct, farProduct;

    explicit Sides(Float4 f) {
        farWeight = Fade(f);
        nearWeight = 1.0f - farWeight;
        nearProduct = nearWeight * f;
        farProduct = farWeight * (f - 1.0f);
    }
    template <int K>
    Float4 Near() const {
        return AxisFactor<K>(nearProduct, nearWeight);
    }
    template <int K>
    Float4 Far() const {
        return AxisFactor<K>(farProduct, farWeight);
    }
};

/// The factors of the four corners of the xy face, in the order (x0 y0, x1 y0, x0 y1, x1 y1),
/// from the near and far factors of x and of y.
struct FaceFactors {
    Float4 c00, c10, c01, c11;

    FaceFactors(Float4 x0, Float4 x1, Float4 y0, Float4 y1)
        : c00(x0 * y0), c10(x1 * y0), c01(x0 * y1), c11(x1 * y1) {}
    explicit FaceFactors(const Sides &sd)
        : FaceFactors(sd.Near<0>(), sd.Far<0>(), sd.Near<1>(), sd.Far<1>()) {}
};

/// Σ over the four corners of one xy face of gradient row ⊙ corner factor.
inline Float4 FaceSum(const Float4 *g, std::size_t i00, std::size_t i10, std::size_t i01,
                      std::size_t i11, const FaceFactors &m) {
    return (g[i00] * m.c00 + g[i10] * m.c10) + (g[i01] * m.c01 + g[i11] * m.c11);
}

// Kernels

inline float Noise1(float x) {
    const auto [cell, f] = SplitCoordinate(x);
    const std::size_t i = static_cast<std::uint32_t>(cell) & 255;
    const float a = kNoiseTables.grad1[i] * f, b = kNoiseTables.grad1[i + 1] * (f - 1.0f);
    return a + Fade(f) * (b - a);
}

/// The z = 0 slice of improved noise, on the four corners of the xy face.
inline float Noise2(float x, float y) {
    const Cells c = SplitCoordinates(Float4{x, y, 0.0f, 0.0f});
    const std::uint8_t *p = kNoiseTables.perm;
    const std::size_t a = p[c[0]] + c[1], b = p[c[0] + 1] + c[1];
    // Lanes 2 and 3 of the products are 0 here; taking them into the factors zeroes the
    // gradients' z components.
    const Sides sd(c.f);
    const FaceFactors m(__builtin_shufflevector(sd.nearProduct, sd.nearWeight, 0, 4, 2, 3),
                        __builtin_shufflevector(sd.farProduct, sd.farWeight, 0, 4, 2, 3),
                        __builtin_shufflevector(sd.nearProduct, sd.nearWeight, 5, 1, 2, 3),
                        __builtin_shufflevector(sd.farProduct, sd.farWeight, 5, 1, 2, 3));
    return HorizontalSum(FaceSum(kNoiseTables.grad3, p[a], p[b], p[a + 1], p[b + 1], m));
}

/// Improved noise before the final reduction: the lanes sum to noise3. Octave sums add these
/// and reduce once.
inline Float4 Noise3Lanes(float x, float y, float z) {
    const Cells c = SplitCoordinates(Float4{x, y, z, 0.0f});
    const std::uint8_t *p = kNoiseTables.perm;
    const std::size_t Z = c[2];
    const std::size_t a = p[c[0]] + c[1], b = p[c[0] + 1] + c[1];
    const std::size_t aa = p[a] + Z, ba = p[b] + Z, ab = p[a + 1] + Z, bb = p[b + 1] + Z;
    const Sides sd(c.f);
    const FaceFactors m(sd);
    const Float4 *g = kNoiseTables.grad3;
    return FaceSum(g, aa, ba, ab, bb, m) * sd.Near<2>() +
           FaceSum(g, aa + 1, ba + 1, ab + 1, bb + 1, m) * sd.Far<2>();
}

inline float Noise3(float x, float y, float z) {
    return HorizontalSum(Noise3Lanes(x, y, z));
}

inline float Noise4(float x, float y, float z, float w) {
    const Cells c = SplitCoordinates(Float4{x, y, z, w});
    const std::uint8_t *p = kNoiseTables.perm;
    const std::size_t Z = c[2], W = c[3];
    const std::size_t a = p[c[0]] + c[1], b = p[c[0] + 1] + c[1];
    const std::size_t aa = p[a] + Z, ba = p[b] + Z, ab = p[a + 1] + Z, bb = p[b + 1] + Z;
    // Hashes of the xyz corners with the w cell: near and far in z.
    const std::size_t aa0 = p[aa] + W, ba0 = p[ba] + W, ab0 = p[ab] + W, bb0 = p[bb] + W;
    const std::size_t aa1 = p[aa + 1] + W, ba1 = p[ba + 1] + W, ab1 = p[ab + 1] + W,
                      bb1 = p[bb + 1] + W;
    const Sides sd(c.f);
    const FaceFactors m(sd);
    const Float4 z0 = sd.Near<2>(), z1 = sd.Far<2>(), w0 = sd.Near<3>(), w1 = sd.Far<3>();
    const Float4 *g = kNoiseTables.grad4;
    const Float4 sum = (FaceSum(g, aa0, ba0, ab0, bb0, m) * (z0 * w0) +
                        FaceSum(g, aa1, ba1, ab1, bb1, m) * (z1 * w0)) +
                       (FaceSum(g, aa0 + 1, ba0 + 1, ab0 + 1, bb0 + 1, m) * (z0 * w1) +
                        FaceSum(g, aa1 + 1, ba1 + 1, ab1 + 1, bb1 + 1, m) * (z1 * w1));
    return kNoise4Scale * HorizontalSum(sum);
}

// Octave sums: out of line, taking plain floats (see host/noise.h).
float FBm1(float x, float H, float lacunarity, float octaves);
float FBm3(float x, float y, float z, float H, float lacunarity, float octaves);
float Turbulence3(float x, float y, float z, float freq);

}  // namespace noise_detail
