/// @file noise.h
/// @brief Gradient noise in one to four dimensions, fractional Brownian motion, turbulence and
///        the threshold ramp that procedural shapes build on.
///
/// All noise functions are deterministic (no state, no seed) and safe to call from any thread.
/// `noise3` is Ken Perlin's improved noise (2002) with the permutation of his reference
/// implementation; the others belong to the same family (quintic fade, gradients picked by the
/// same permutation). Every noise is 0 at integer lattice points and lies in about −1 … 1 (the
/// tests hold them to ±1.05).
///
/// The lattice repeats every 256 cells, and every finite coordinate gives the noise at that
/// very point, however far out (from 2^24 on, where floats are integers spaced more than 1
/// apart, as much as near 0). Infinities and NaN are taken as 0, the lattice position of every
/// float from 2^31 on, so that no input reads outside the tables.
///
/// The noise functions are inline (host/noise_kernels.h): they are the hottest code of the
/// renderer, and an out-of-line call costs about as much as the evaluation.
#pragma once

#include "host/geom.h"
#include "host/noise_kernels.h"

#include <string>
#include <string_view>
#include <vector>

// Single noise

/// One-dimensional gradient noise, in −1 … 1.
inline float noise1(float x) {
    return noise_detail::Noise1(x);
}

/// Two-dimensional gradient noise: the z = 0 slice of `noise3`.
inline float noise2(Point2 p) {
    return noise_detail::Noise2(p.x, p.y);
}

/// Ken Perlin's improved three-dimensional noise.
inline float noise3(Point3 p) {
    return noise_detail::Noise3(p.x, p.y, p.z);
}

/// Four-dimensional gradient noise of point `p` and phase `w` (typically time). Moving `w`
/// animates the pattern in place instead of sliding it.
inline float noise4(Point3 p, float w) {
    return noise_detail::Noise4(p.x, p.y, p.z, w);
}

// Sums of octaves

/// The octave limit of `fBm1` and `turbulence`: single-precision coordinates resolve no finer
/// octaves, and the cap bounds the cost of any input.
constexpr int kMaxNoiseOctaves = 32;

/// Fractional Brownian motion: Σ noise1(x · lacunarity^i) · lacunarity^(−H·i) over the octaves
/// i = 0 … octaves − 1. A fractional `octaves` adds its last octave weighted by the fraction,
/// so the sum changes smoothly with it. The sum is not normalised: its bound is the sum of the
/// weights (with H 1 and lacunarity 2 it stays within about −1 … 1). `octaves` ≤ 0 or NaN
/// gives 0; more than `kMaxNoiseOctaves` are capped. `lacunarity` should be positive.
inline float fBm1(float x, float H, float lacunarity, float octaves) {
    return noise_detail::FBm1(x, H, lacunarity, octaves);
}

/// Fractional Brownian motion over `noise3`, as the one-dimensional form above.
inline float fBm1(Point3 p, float H, float lacunarity, float octaves) {
    return noise_detail::FBm3(p.x, p.y, p.z, H, lacunarity, octaves);
}

/// Perlin's turbulence: Σ |noise3(p · f)| / f over f = freq, freq / 2, freq / 4, … while
/// f ≥ 1. `freq` is the highest frequency and so sets the finest detail; the number of octaves
/// is ⌊log2 freq⌋ + 1. freq < 1 (or NaN) gives 0; freq above 2^31 counts as 2^31 (32 octaves).
/// The result lies in 0 … about 2.
inline float turbulence(Point3 p, float freq) {
    return noise_detail::Turbulence3(p.x, p.y, p.z, freq);
}

// Batches
//
// The batched forms evaluate many points in one call, as many at once as the CPU's vector
// registers hold. The instruction set is chosen when the program starts (the widest this CPU
// runs); every one gives the single functions' values within 1e-6, and a point's value never
// depends on the other points of the batch. Points are given axis by axis (x[i], y[i], z[i]);
// `count` ≤ 0 writes nothing.

/// `noise3` at each point, into out[i].
void noise3Batch(const float *x, const float *y, const float *z, int count, float *out);

/// `noise4` at each point with the one phase `w`, into out[i].
void noise4Batch(const float *x, const float *y, const float *z, float w, int count,
                 float *out);

/// `fBm1` (the three-dimensional form) at each point, into out[i].
void fBm1Batch(const float *x, const float *y, const float *z, int count, float H,
               float lacunarity, float octaves, float *out);

/// `turbulence` at each point, into out[i].
void turbulenceBatch(const float *x, const float *y, const float *z, int count, float freq,
                     float *out);

/// `noise3` at the points (x[i], y, z) for i = 0 … count − 1, into out[i]: a row of points
/// that share y and z, such as the pixels of one sprite row. Where neighbouring points share a
/// lattice cell its corners are combined once for them all, so a row of close points costs a
/// fraction of `count` noise3 calls.
void noise3Row(const float *x, int count, float y, float z, float *out);

/// The instruction sets the batches can run on this CPU, best first, by name ("AVX3",
/// "AVX2", "SSE4" …, the portable one last).
std::vector<std::string> noiseTargets();

/// The instruction set the batches run on now. The environment variable NIMBRA_NOISE_TARGET,
/// read at the first batch, names the one to start with (case ignored); unset or unknown, the
/// best one is used.
std::string noiseTarget();

/// Makes the batches run on the named instruction set, for every thread. Returns false, and
/// changes nothing, if the name is not one of `noiseTargets()`.
bool setNoiseTarget(std::string_view name);

// Shaping

/// Maps `x` linearly so that `a` gives 0 and `b` gives 1, clamped to 0 … 1. With a < b this is
/// the usual window (x ≤ a → 0, x ≥ b → 1). With a > b the ramp falls (x ≤ b → 1, x ≥ a → 0),
/// inverting the window. With a == b it is a hard step: 0 below a, 1 from a on.
float threshold(float x, float a, float b);
