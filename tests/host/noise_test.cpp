/// @file noise_test.cpp
/// @brief Noise functions: agreement with Perlin's reference improved noise, range,
///        continuity, lattice zeros, determinism, octave sums and the threshold ramp.
#include "host/noise.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <functional>
#include <random>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

namespace {

// |noise| stays within this for every noise function (improved noise peaks near 1.036).
constexpr float kRangeBound = 1.05f;

// Ken Perlin's reference implementation of improved noise, transliterated: his permutation,
// his branching gradient function, double precision. It checks the host's tables and kernels.
constexpr int kReferencePermutation[256] = {
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

int ReferencePerm(int i) {
    return kReferencePermutation[i & 255];
}

double ReferenceGradient(int hash, double x, double y, double z) {
    const int h = hash & 15;
    const double u = h < 8 ? x : y;
    const double v = h < 4 ? y : (h == 12 || h == 14 ? x : z);
    return ((h & 1) == 0 ? u : -u) + ((h & 2) == 0 ? v : -v);
}

// ⌊v⌋ modulo 256 in 0 … 255, exact for every finite v (no conversion of ⌊v⌋ to int).
int ReferenceCell(double v) {
    const double m = std::fmod(std::floor(v), 256.0);
    return static_cast<int>(m < 0.0 ? m + 256.0 : m);
}

double ReferenceFade(double t) {
    return t * t * t * (t * (t * 6 - 15) + 10);
}

double ReferenceNoise3(double x, double y, double z) {
    const auto p = ReferencePerm;  // Perlin doubles his table; this wraps instead
    const auto grad = ReferenceGradient;
    const auto fade = ReferenceFade;
    const auto lerp = [](double t, double a, double b) { return a + t * (b - a); };
    const int X = ReferenceCell(x), Y = ReferenceCell(y), Z = ReferenceCell(z);
    x -= std::floor(x);
    y -= std::floor(y);
    z -= std::floor(z);
    const double u = fade(x), v = fade(y), w = fade(z);
    const int A = p(X) + Y, AA = p(A) + Z, AB = p(A + 1) + Z;
    const int B = p(X + 1) + Y, BA = p(B) + Z, BB = p(B + 1) + Z;
    return lerp(
        w,
        lerp(v, lerp(u, grad(p(AA), x, y, z), grad(p(BA), x - 1, y, z)),
             lerp(u, grad(p(AB), x, y - 1, z), grad(p(BB), x - 1, y - 1, z))),
        lerp(v, lerp(u, grad(p(AA + 1), x, y, z - 1), grad(p(BA + 1), x - 1, y, z - 1)),
             lerp(u, grad(p(AB + 1), x, y - 1, z - 1), grad(p(BB + 1), x - 1, y - 1, z - 1))));
}

// One-dimensional gradient noise: at each lattice point a slope of ±1/4 … ±2 chosen by the
// permutation (bits 0-2 the size in quarters less one, bit 3 the sign), blended by the fade.
double ReferenceNoise1(double x) {
    const auto slope = [](int i) {
        const int h = ReferencePerm(i);
        return ((h & 8) ? -0.25 : 0.25) * ((h & 7) + 1);
    };
    const int X = ReferenceCell(x);
    x -= std::floor(x);
    const double a = slope(X) * x, b = slope(X + 1) * (x - 1);
    return a + ReferenceFade(x) * (b - a);
}

// Reproducible uniform floats in [lo, hi), independent of the standard library's distributions.
class Sampler {
public:
    explicit Sampler(std::uint32_t seed) : rng_(seed) {}
    float operator()(float lo, float hi) {
        return lo + (hi - lo) * static_cast<float>(rng_() >> 8) * (1.0f / 16777216.0f);
    }
    Point3 point(float extent) {
        return Point3((*this)(-extent, extent), (*this)(-extent, extent),
                      (*this)(-extent, extent));
    }

private:
    std::mt19937 rng_;
};

// The four noise functions on one four-dimensional sample (noise1 uses x, noise2 x and y …).
std::array<float, 4> AllNoises(float x, float y, float z, float w) {
    return {noise1(x), noise2(Point2(x, y)), noise3(Point3(x, y, z)),
            noise4(Point3(x, y, z), w)};
}

// Coordinates from every band of the float range, both signs: from 2^23 on every float is an
// integer, from 2^24 on an integer's neighbours are not all floats, from 2^31 on no int holds
// the value, and from 2^32 on every float is a multiple of the 256-cell period.
std::vector<float> FarCoordinates() {
    const float max = std::numeric_limits<float>::max();
    std::vector<float> v = {-0x1p23f + 0.5f, -0x1p24f, -0x1p24f - 2,   -0x1p24f - 4,
                            -0x1p25f - 4,    -0x1p30f, -0x1p30f - 128, 0x1p30f + 128,
                            0x1p31f - 128,   -0x1p31f, 0x1p31f,        -0x1p31f - 256,
                            -0x1p32f,        1e30f,    -max,           max};
    Sampler sample(10);
    for (int e = 20; e <= 40; ++e) {
        for (float sign : {-1.0f, 1.0f}) v.push_back(sign * std::ldexp(sample(1.0f, 2.0f), e));
    }
    return v;
}

TEST(Noise, ReferenceGivesPublishedValues) {
    EXPECT_NEAR(ReferenceNoise3(3.14, 42, 7), 0.13691995878400012, 1e-15);
    EXPECT_NEAR(ReferenceNoise3(-4.20, 10, 6), 0.14208000000000043, 1e-15);
    EXPECT_NEAR(ReferenceNoise3(123.64, 456.3, 567.69), 0.20741724708492298, 1e-15);
    EXPECT_NEAR(ReferenceNoise3(0, -37.603, 0), -0.46132743018244055, 1e-15);
}

bool SameDirection(noise_detail::Float4 a, noise_detail::Float4 b) {
    return a[0] == b[0] && a[1] == b[1] && a[2] == b[2] && a[3] == b[3];
}

TEST(Noise, TablesHoldPerlinsPermutationAndItsGradients) {
    const noise_detail::NoiseTables &t = noise_detail::kNoiseTables;
    for (int i = 0; i < 512; ++i) {
        ASSERT_EQ(t.perm[i], ReferencePerm(i)) << "permutation entry " << i;
        // Each gradient row is the gradient its permutation entry selects.
        const auto g = t.grad3[i];
        EXPECT_EQ(g[0], ReferenceGradient(t.perm[i], 1, 0, 0)) << "row " << i;
        EXPECT_EQ(g[1], ReferenceGradient(t.perm[i], 0, 1, 0)) << "row " << i;
        EXPECT_EQ(g[2], ReferenceGradient(t.perm[i], 0, 0, 1)) << "row " << i;
        EXPECT_EQ(g[3], 0.0f) << "row " << i;
        // Four dimensions: one zero and three unit components, so that the 32 values of
        // (hash & 31) give the 32 such directions.
        const auto g4 = t.grad4[i];
        int zeros = 0;
        for (int k = 0; k < 4; ++k) {
            zeros += g4[k] == 0.0f;
            EXPECT_TRUE(g4[k] == 0.0f || std::fabs(g4[k]) == 1.0f) << "row " << i;
        }
        EXPECT_EQ(zeros, 1) << "row " << i;
        for (int j = 0; j < i; ++j) {
            EXPECT_EQ(SameDirection(t.grad4[j], g4), (t.perm[j] & 31) == (t.perm[i] & 31))
                << "rows " << j << " and " << i;
        }
    }
}

TEST(Noise, Noise3MatchesReference) {
    std::vector<Point3> points = {
        {3.14f, 42.0f, 7.0f},
        {-4.2f, 10.0f, 6.0f},
        {0.5f, 0.5f, 0.5f},
        {0.1f, 0.2f, 0.3f},
        {-0.1f, -0.2f, -0.3f},
        {-0.999f, 0.001f, -0.5f},
        {255.75f, 255.5f, 255.25f},
        {256.25f, -256.75f, 511.5f},
        {-1000.37f, 999.61f, -77.7f},
        {65536.5f, -65535.25f, 0.125f},
        {123456.7f, -7654.3f, 42.42f},
        {-2e6f, 3e6f + 0.5f, 1.75f},
        // Negative integers in some axes: the kernels reach these from the cell below.
        {-3.0f, 0.5f, 0.25f},
        {-5.0f, -7.0f, 2.5f},
        {0.75f, -1.0f, -256.0f},
    };
    Sampler sample(1);
    for (int i = 0; i < 24; ++i) points.push_back(sample.point(50.0f));
    for (int i = 0; i < 12; ++i) points.push_back(sample.point(10000.0f));
    for (const Point3 &p : points) {
        EXPECT_NEAR(noise3(p), ReferenceNoise3(p.x, p.y, p.z), 1e-6)
            << "at (" << p.x << ", " << p.y << ", " << p.z << ")";
    }
}

TEST(Noise, Noise2IsTheZeroSliceOfNoise3) {
    Sampler sample(2);
    for (int i = 0; i < 1000; ++i) {
        const float x = sample(-300.0f, 300.0f), y = sample(-300.0f, 300.0f);
        EXPECT_NEAR(noise2(Point2(x, y)), noise3(Point3(x, y, 0.0f)), 1e-6);
    }
}

TEST(Noise, ZeroAtIntegerLatticePoints) {
    for (float x : {-300.0f, -256.0f, -1.0f, 0.0f, 1.0f, 17.0f, 255.0f, 256.0f, 70000.0f}) {
        EXPECT_EQ(noise1(x), 0.0f) << x;
        for (float y : {-5.0f, 0.0f, 3.0f, 256.0f}) {
            EXPECT_EQ(noise2(Point2(x, y)), 0.0f) << x << ", " << y;
            for (float z : {-129.0f, 0.0f, 8.0f}) {
                EXPECT_EQ(noise3(Point3(x, y, z)), 0.0f) << x << ", " << y << ", " << z;
                for (float w : {-2.0f, 0.0f, 255.0f}) {
                    EXPECT_EQ(noise4(Point3(x, y, z), w), 0.0f)
                        << x << ", " << y << ", " << z << ", " << w;
                }
            }
        }
    }
}

TEST(Noise, StaysInRangeAndSpreadsOverIt) {
    Sampler sample(3);
    std::array<float, 4> low{}, high{};
    std::array<double, 4> sum{};
    constexpr int kSamples = 1 << 20;
    for (int i = 0; i < kSamples; ++i) {
        const auto n = AllNoises(sample(-600.0f, 600.0f), sample(-600.0f, 600.0f),
                                 sample(-600.0f, 600.0f), sample(-600.0f, 600.0f));
        for (int k = 0; k < 4; ++k) {
            low[k] = std::min(low[k], n[k]);
            high[k] = std::max(high[k], n[k]);
            sum[k] += n[k];
        }
    }
    for (int k = 0; k < 4; ++k) {
        SCOPED_TRACE("noise" + std::to_string(k + 1));
        EXPECT_GE(low[k], -kRangeBound);
        EXPECT_LE(high[k], kRangeBound);
        // Not squashed: the values reach well towards both ends, and centre on 0.
        EXPECT_LT(low[k], -0.7f);
        EXPECT_GT(high[k], 0.7f);
        EXPECT_NEAR(sum[k] / kSamples, 0.0, 0.01);
    }
}

TEST(Noise, SmallStepsGiveSmallChanges) {
    // A Lipschitz bound. The steepest slope of these noises is about 3 per unit length; 8
    // leaves room, and a wrong cell, hash or weight at a cell boundary shows as a jump far
    // above it.
    constexpr float kLipschitz = 8.0f;
    constexpr float kStep = 1.0f / 1024.0f;
    // One step of length kStep from (x, y, z, w) along (dx, dy, dz, dw), normalised here.
    const auto check = [&](float x, float y, float z, float w, float dx, float dy, float dz,
                           float dw) {
        const float s = kStep / std::sqrt(dx * dx + dy * dy + dz * dz + dw * dw);
        const auto a = AllNoises(x, y, z, w);
        const auto b = AllNoises(x + s * dx, y + s * dy, z + s * dz, w + s * dw);
        for (int k = 0; k < 4; ++k) {
            ASSERT_LE(std::fabs(b[k] - a[k]), kLipschitz * kStep)
                << "noise" << k + 1 << " at (" << x << ", " << y << ", " << z << ", " << w
                << ")";
        }
    };
    Sampler sample(4);
    for (int i = 0; i < 100000; ++i) {
        check(sample(-300, 300), sample(-300, 300), sample(-300, 300), sample(-300, 300),
              sample(-1, 1), sample(-1, 1), sample(-1, 1), sample(-1, 1));
    }
    // Across cell boundaries in every axis at once (each axis moves kStep / 2 from kStep / 4
    // before the boundary), negative cells and the 256-cell wrap included.
    for (float edge : {-257.0f, -256.0f, -1.0f, 0.0f, 1.0f, 255.0f, 256.0f, 511.0f}) {
        const float e = edge - kStep / 4;
        for (int i = 0; i < 100; ++i) {
            check(e, e, e, e, 1, 1, 1, 1);
            check(e, e + std::floor(sample(-3, 3)), e + std::floor(sample(-3, 3)), e, 1, 1, 1,
                  1);
            check(e, sample(-9, 9), e, sample(-9, 9), 1, 0, 1, 0);
        }
    }
}

TEST(Noise, SameInputsGiveSameValuesFromAnyThread) {
    Sampler sample(5);
    std::vector<std::array<float, 4>> inputs(20000);
    for (auto &in : inputs)
        in = {sample(-99, 99), sample(-99, 99), sample(-99, 99), sample(-9, 9)};
    const auto evaluate = [&inputs](std::vector<std::array<float, 4>> &out, bool reversed) {
        out.resize(inputs.size());
        for (std::size_t j = 0; j < inputs.size(); ++j) {
            const std::size_t i = reversed ? inputs.size() - 1 - j : j;
            out[i] = AllNoises(inputs[i][0], inputs[i][1], inputs[i][2], inputs[i][3]);
        }
    };
    std::vector<std::array<float, 4>> serial, forward, backward;
    evaluate(serial, false);
    std::thread a(evaluate, std::ref(forward), false), b(evaluate, std::ref(backward), true);
    a.join();
    b.join();
    EXPECT_EQ(forward, serial);
    EXPECT_EQ(backward, serial);
}

TEST(Noise, ExtremeInputsStayFiniteAndInRange) {
    const float inf = std::numeric_limits<float>::infinity();
    const float nan = std::numeric_limits<float>::quiet_NaN();
    for (float v : {nan, inf, -inf, 3e9f, -3e9f, 1e30f, -1e30f, 16777217.0f}) {
        for (float n : AllNoises(v, 0.5f, v, 0.25f)) {
            EXPECT_TRUE(std::isfinite(n)) << v;
            EXPECT_LE(std::fabs(n), kRangeBound) << v;
        }
        EXPECT_TRUE(std::isfinite(fBm1(Point3(v, 1.5f, 2.5f), 1.0f, 2.0f, 6.0f))) << v;
        EXPECT_TRUE(std::isfinite(turbulence(Point3(v, 1.5f, 2.5f), 64.0f))) << v;
    }
}

TEST(Noise, FarCoordinatesGiveTheReferenceValue) {
    const std::vector<float> far = FarCoordinates();
    std::vector<float> row(far.size());
    for (const float v : far) {
        EXPECT_NEAR(noise1(v), ReferenceNoise1(v), 1e-6) << v;
        for (const Point3 &p : {Point3(v, 0.5f, 0.25f), Point3(-0.7f, v, 0.4f),
                                Point3(0.2f, 0.9f, v), Point3(v, -v, 0.6f)}) {
            EXPECT_NEAR(noise3(p), ReferenceNoise3(p.x, p.y, p.z), 1e-6)
                << "at (" << p.x << ", " << p.y << ", " << p.z << ")";
        }
        EXPECT_NEAR(noise2(Point2(v, 0.5f)), ReferenceNoise3(v, 0.5, 0.0), 1e-6) << v;
        EXPECT_NEAR(noise2(Point2(0.3f, v)), ReferenceNoise3(0.3, v, 0.0), 1e-6) << v;
    }
    for (const float y : {0.5f, far[2]}) {
        noise3Row(far.data(), int(far.size()), y, 0.25f, row.data());
        for (std::size_t i = 0; i < far.size(); ++i) {
            EXPECT_NEAR(row[i], ReferenceNoise3(far[i], y, 0.25), 1e-6) << far[i] << ", " << y;
        }
    }
}

TEST(Noise, Noise1MatchesReference) {
    Sampler sample(11);
    for (int i = 0; i < 1000; ++i) {
        const float x = sample(-600.0f, 600.0f);
        EXPECT_NEAR(noise1(x), ReferenceNoise1(x), 1e-6) << x;
    }
}

TEST(Noise, EveryNoiseRepeatsEvery256CellsOverTheWholeFloatRange) {
    for (const float v : FarCoordinates()) {
        // The same position in the lattice, within one period of 0 (fmod is exact).
        const float wrapped = static_cast<float>(std::fmod(double(v), 256.0));
        for (int axis = 0; axis < 4; ++axis) {
            std::array<float, 4> at = {0.3f, 0.6f, 0.45f, 0.8f};
            at[axis] = v;
            const auto far = AllNoises(at[0], at[1], at[2], at[3]);
            at[axis] = wrapped;
            const auto near = AllNoises(at[0], at[1], at[2], at[3]);
            for (int k = axis; k < 4; ++k) {
                EXPECT_NEAR(far[k], near[k], 1e-6) << "noise" << k + 1 << ", " << v;
                EXPECT_LE(std::fabs(far[k]), kRangeBound) << "noise" << k + 1 << ", " << v;
            }
        }
    }
}

// Every batched kernel runs on each instruction set this CPU has, in turn.
class NoiseBatch : public testing::TestWithParam<std::string> {
protected:
    void SetUp() override {
        previous_ = noiseTarget();
        ASSERT_TRUE(setNoiseTarget(GetParam()));
        ASSERT_EQ(noiseTarget(), GetParam());
    }
    void TearDown() override { setNoiseTarget(previous_); }

private:
    std::string previous_;
};

INSTANTIATE_TEST_SUITE_P(Targets, NoiseBatch, testing::ValuesIn(noiseTargets()),
                         [](const testing::TestParamInfo<std::string> &info) {
                             return info.param;
                         });

// Points of every kind the kernels must agree on: random near and far, lattice points
// (negative integers included), and coordinates from every band of the float range in each
// axis, up to the band at and below −2^24 and past the 2^31 cut.
struct PointSet {
    std::vector<float> x, y, z;
    void add(float px, float py, float pz) {
        x.push_back(px);
        y.push_back(py);
        z.push_back(pz);
    }
    int size() const { return int(x.size()); }
};

PointSet BatchPoints() {
    PointSet s;
    Sampler sample(12);
    for (int i = 0; i < 300; ++i) {
        const Point3 p = sample.point(i < 200 ? 40.0f : 60000.0f);
        s.add(p.x, p.y, p.z);
    }
    for (float v : {-257.0f, -256.0f, -3.0f, -1.0f, 0.0f, 1.0f, 255.0f, 256.0f}) {
        s.add(v, -v, v);
        s.add(v, 2.0f, -7.0f);
    }
    for (const float v : FarCoordinates()) {
        s.add(v, 0.5f, 0.25f);
        s.add(-0.7f, v, 0.4f);
        s.add(0.2f, 0.9f, v);
        s.add(v, -v, 0.6f);
    }
    for (float v :
         {std::numeric_limits<float>::quiet_NaN(), std::numeric_limits<float>::infinity()}) {
        s.add(v, 0.5f, 0.25f);
        s.add(0.3f, -v, 0.5f);
    }
    return s;
}

TEST_P(NoiseBatch, KernelsGiveTheSingleFunctionsValues) {
    const PointSet s = BatchPoints();
    const float phase = 0.37f;
    // Each kernel on the points first … first + n − 1.
    using Batch = std::function<void(int, int, float *)>;
    using Single = std::function<float(Point3)>;
    const std::vector<std::tuple<std::string, Batch, Single>> kernels = {
        {"noise3",
         [&](int at, int n, float *o) {
             noise3Batch(s.x.data() + at, s.y.data() + at, s.z.data() + at, n, o);
         },
         [](Point3 p) { return noise3(p); }},
        {"noise4",
         [&](int at, int n, float *o) {
             noise4Batch(s.x.data() + at, s.y.data() + at, s.z.data() + at, phase, n, o);
         },
         [&](Point3 p) { return noise4(p, phase); }},
        {"fBm1",
         [&](int at, int n, float *o) {
             fBm1Batch(s.x.data() + at, s.y.data() + at, s.z.data() + at, n, 1.0f, 2.0f, 6.0f,
                       o);
         },
         [](Point3 p) { return fBm1(p, 1.0f, 2.0f, 6.0f); }},
        {"fBm1 fractional",
         [&](int at, int n, float *o) {
             fBm1Batch(s.x.data() + at, s.y.data() + at, s.z.data() + at, n, 0.6f, 2.3f, 3.5f,
                       o);
         },
         [](Point3 p) { return fBm1(p, 0.6f, 2.3f, 3.5f); }},
        {"turbulence",
         [&](int at, int n, float *o) {
             turbulenceBatch(s.x.data() + at, s.y.data() + at, s.z.data() + at, n, 11.0f, o);
         },
         [](Point3 p) { return turbulence(p, 11.0f); }},
    };
    for (const auto &[name, batch, single] : kernels) {
        // Whole vectors and every length of a last, partial one; the canary after the batch
        // must survive.
        for (int count : {s.size(), 1, 3, 5, 7, 9, 13, 15, 17, 31, 33}) {
            std::vector<float> out(count + 1, 99.0f);
            batch(0, count, out.data());
            ASSERT_EQ(out[count], 99.0f) << name << ", " << count << " points";
            for (int i = 0; i < count; ++i) {
                const Point3 p(s.x[i], s.y[i], s.z[i]);
                ASSERT_NEAR(out[i], single(p), 1e-6)
                    << name << " at (" << p.x << ", " << p.y << ", " << p.z << ")";
            }
            // A point's value is its own, wherever it sits in whichever batch.
            for (int i = 0; i < count; i += 11) {
                float alone = 99.0f;
                batch(i, 1, &alone);
                ASSERT_EQ(alone, out[i]) << name << ", point " << i;
            }
        }
    }
    // And noise3 against the reference itself, for finite points.
    std::vector<float> out(s.size());
    noise3Batch(s.x.data(), s.y.data(), s.z.data(), s.size(), out.data());
    for (int i = 0; i < s.size(); ++i) {
        if (!std::isfinite(s.x[i]) || !std::isfinite(s.y[i])) continue;
        EXPECT_NEAR(out[i], ReferenceNoise3(s.x[i], s.y[i], s.z[i]), 1e-6)
            << "at (" << s.x[i] << ", " << s.y[i] << ", " << s.z[i] << ")";
    }
}

TEST_P(NoiseBatch, Noise4OfFewPointsMatchesWhenThePhaseChangesCell) {
    // A short batch whose phase lies in another cell than the last batch's reads the cell's
    // hashes where they lie; a long one gathers them first: the same values either way.
    const PointSet s = BatchPoints();
    constexpr int kFew = 5;
    std::vector<float> few(kFew), all(s.size());
    for (float phase : {0.37f, 5.5f, -3.25f, 300.75f, -16777216.0f, 0.37f}) {
        noise4Batch(s.x.data(), s.y.data(), s.z.data(), phase + 1.0f, kFew, few.data());
        noise4Batch(s.x.data(), s.y.data(), s.z.data(), phase, kFew, few.data());
        noise4Batch(s.x.data(), s.y.data(), s.z.data(), phase, s.size(), all.data());
        for (int i = 0; i < kFew; ++i) {
            ASSERT_EQ(few[i], all[i]) << "phase " << phase << ", point " << i;
            ASSERT_NEAR(few[i], noise4(Point3(s.x[i], s.y[i], s.z[i]), phase), 1e-6);
        }
    }
}

TEST(NoiseTargets, UnknownNamesAreRefused) {
    const std::string before = noiseTarget();
    EXPECT_FALSE(setNoiseTarget("no such instruction set"));
    EXPECT_FALSE(setNoiseTarget(""));
    EXPECT_EQ(noiseTarget(), before);
    // The best comes first and is the one in use unless something chose another.
    ASSERT_FALSE(noiseTargets().empty());
    if (std::getenv("NIMBRA_NOISE_TARGET") == nullptr) {
        EXPECT_EQ(before, noiseTargets().front());
    }
}

TEST_P(NoiseBatch, RowIsNoise3AlongTheRow) {
    Sampler sample(7);
    std::vector<float> xs, row;
    for (int trial = 0; trial < 200; ++trial) {
        // Rows as sprites ask for them: evenly spaced points, a few to many per lattice cell,
        // on both sides of zero and far out.
        const float extent = trial < 100 ? 20.0f : 5000.0f;
        const float start = sample(-extent, extent), step = sample(0.01f, 1.5f);
        const float y = sample(-extent, extent), z = sample(-extent, extent);
        const int count = 1 + trial % 97;
        xs.resize(count);
        row.assign(count, 99.0f);
        for (int i = 0; i < count; ++i) xs[i] = start + step * float(i);
        noise3Row(xs.data(), count, y, z, row.data());
        for (int i = 0; i < count; ++i) {
            ASSERT_NEAR(row[i], noise3(Point3(xs[i], y, z)), 2e-6f)
                << "at (" << xs[i] << ", " << y << ", " << z << ")";
            ASSERT_NEAR(row[i], ReferenceNoise3(xs[i], y, z), 1e-6)
                << "at (" << xs[i] << ", " << y << ", " << z << ")";
            // A point's value is its own, whatever else the row holds.
            float alone = 99.0f;
            noise3Row(&xs[i], 1, y, z, &alone);
            ASSERT_EQ(alone, row[i]);
        }
    }
}

TEST_P(NoiseBatch, RowLatticePointsNegativeIntegersAndExtremes) {
    const float inf = std::numeric_limits<float>::infinity();
    const float nan = std::numeric_limits<float>::quiet_NaN();
    // Lattice points give 0; negative integers are reached from the cell below, as noise3
    // reaches them; extreme coordinates are clamped as noise3 clamps them.
    const std::vector<float> xs = {-3.0f, -2.0f,  -1.0f,  0.0f,    1.0f,
                                   2.0f,  255.0f, 256.0f, -256.0f, nan,
                                   inf,   -inf,   3e9f,   -1e30f,  16777217.0f};
    std::vector<float> row(xs.size(), 99.0f);
    for (float y : {-5.0f, 0.0f, 7.0f, 2.5f, nan, 1e30f}) {
        noise3Row(xs.data(), int(xs.size()), y, -1.0f, row.data());
        for (std::size_t i = 0; i < xs.size(); ++i) {
            EXPECT_TRUE(std::isfinite(row[i])) << xs[i] << ", " << y;
            EXPECT_NEAR(row[i], noise3(Point3(xs[i], y, -1.0f)), 2e-6f) << xs[i] << ", " << y;
            const bool latticePoint = i < 9 && (y == -5.0f || y == 0.0f || y == 7.0f);
            if (latticePoint) {
                EXPECT_EQ(row[i], 0.0f) << xs[i] << ", " << y;
            }
        }
    }
    // Nothing is written for an empty row.
    float untouched = 99.0f;
    noise3Row(xs.data(), 0, 0.5f, 0.5f, &untouched);
    noise3Row(xs.data(), -4, 0.5f, 0.5f, &untouched);
    EXPECT_EQ(untouched, 99.0f);
}

TEST(FBm, SumsOctavesWithFalloffGivenByH) {
    Sampler sample(6);
    for (int i = 0; i < 50; ++i) {
        const Point3 p = sample.point(40.0f);
        for (float H : {1.0f, 0.35f}) {
            const float lac = 2.2f, gain = std::pow(lac, -H);
            const float expected3 =
                noise3(p) + gain * noise3(p * lac) + gain * gain * noise3(p * (lac * lac));
            EXPECT_NEAR(fBm1(p, H, lac, 3.0f), expected3, 1e-5) << "H " << H;
            const float expected1 =
                noise1(p.x) + gain * noise1(p.x * lac) + gain * gain * noise1(p.x * lac * lac);
            EXPECT_NEAR(fBm1(p.x, H, lac, 3.0f), expected1, 1e-5) << "H " << H;
        }
        EXPECT_NEAR(fBm1(p, 1.0f, 2.0f, 1.0f), noise3(p), 1e-6);
        EXPECT_NEAR(fBm1(p.x, 1.0f, 2.0f, 1.0f), noise1(p.x), 1e-6);
    }
}

TEST(FBm, FractionalOctavesBlendTheLastOctaveIn) {
    Sampler sample(7);
    for (int i = 0; i < 100; ++i) {
        const Point3 p = sample.point(60.0f);
        const float H = sample(0.0f, 1.5f), lac = sample(1.5f, 3.0f);
        for (float whole : {0.0f, 3.0f, 5.0f}) {
            const float lo3 = fBm1(p, H, lac, whole), hi3 = fBm1(p, H, lac, whole + 1.0f);
            const float lo1 = fBm1(p.x, H, lac, whole), hi1 = fBm1(p.x, H, lac, whole + 1.0f);
            for (float t : {0.25f, 0.5f, 0.9f}) {
                EXPECT_NEAR(fBm1(p, H, lac, whole + t), lo3 + t * (hi3 - lo3), 1e-5);
                EXPECT_NEAR(fBm1(p.x, H, lac, whole + t), lo1 + t * (hi1 - lo1), 1e-5);
            }
        }
    }
}

TEST(FBm, OctavesPastTwoToThe24MatchTheReference) {
    // Six octaves of lacunarity 2 take these to 32 times their size, where every float is an
    // integer; the doublings are exact, so each octave is the reference at the doubled point.
    for (const Point3 &p : {Point3(-600000.3f, 0.5f, 0.25f), Point3(0.7f, -1234567.9f, 0.1f),
                            Point3(-700001.7f, -900000.2f, -3000000.5f)}) {
        double sum3 = 0.0, sum1 = 0.0, turbulence64 = 0.0;
        for (int i = 0; i < 6; ++i) {
            const double f = std::ldexp(1.0, i), w = 1.0 / f;
            sum3 += w * ReferenceNoise3(p.x * f, p.y * f, p.z * f);
            sum1 += w * ReferenceNoise1(p.x * f);
        }
        for (double f = 64.0; f >= 1.0; f *= 0.5)
            turbulence64 += std::fabs(ReferenceNoise3(p.x * f, p.y * f, p.z * f)) / f;
        SCOPED_TRACE(testing::Message() << "at (" << p.x << ", " << p.y << ", " << p.z << ")");
        EXPECT_NEAR(fBm1(p, 1.0f, 2.0f, 6.0f), sum3, 1e-5);
        EXPECT_NEAR(fBm1(p.x, 1.0f, 2.0f, 6.0f), sum1, 1e-5);
        EXPECT_NEAR(turbulence(p, 64.0f), turbulence64, 1e-5);
    }
}

TEST(FBm, OctaveCountIsBounded) {
    const Point3 p(1.3f, -2.7f, 0.4f);
    EXPECT_EQ(fBm1(p, 1.0f, 2.0f, 0.0f), 0.0f);
    EXPECT_EQ(fBm1(p, 1.0f, 2.0f, -3.0f), 0.0f);
    EXPECT_EQ(fBm1(p, 1.0f, 2.0f, std::numeric_limits<float>::quiet_NaN()), 0.0f);
    EXPECT_EQ(fBm1(p.x, 1.0f, 2.0f, -1.0f), 0.0f);
    const float capped = fBm1(p, 0.5f, 2.0f, float(kMaxNoiseOctaves));
    EXPECT_EQ(fBm1(p, 0.5f, 2.0f, 1e9f), capped);
    EXPECT_EQ(fBm1(p, 0.5f, 2.0f, std::numeric_limits<float>::infinity()), capped);
}

TEST(FBm, UsualFractalStaysNearUnitRange) {
    // H 1, lacunarity 2, 6 octaves: the form the shapes use as (fBm1 + 1) / 2.
    Sampler sample(8);
    float extreme = 0.0f;
    for (int i = 0; i < 200000; ++i) {
        extreme = std::max(extreme, std::fabs(fBm1(sample.point(100.0f), 1.0f, 2.0f, 6.0f)));
    }
    EXPECT_GT(extreme, 0.7f);
    EXPECT_LT(extreme, 1.5f);  // the weights sum to 1.97; octaves do not all peak together
}

TEST(Turbulence, SumsAbsoluteOctavesDownFromFreq) {
    Sampler sample(9);
    for (int i = 0; i < 100; ++i) {
        const Point3 p = sample.point(30.0f);
        const float expected = std::fabs(noise3(p * 8.0f)) / 8.0f +
                               std::fabs(noise3(p * 4.0f)) / 4.0f +
                               std::fabs(noise3(p * 2.0f)) / 2.0f + std::fabs(noise3(p));
        EXPECT_NEAR(turbulence(p, 8.0f), expected, 1e-6);
        // Octaves are whole: 11 holds the same four octaves, starting at 11.
        const float t11 = turbulence(p, 11.0f);
        EXPECT_NEAR(t11, std::fabs(noise3(p * 11.0f)) / 11.0f + turbulence(p, 5.5f), 1e-6);
        EXPECT_GE(t11, 0.0f);
        EXPECT_NEAR(turbulence(p, 1.0f), std::fabs(noise3(p)), 1e-7);
        EXPECT_EQ(turbulence(p, 0.99f), 0.0f);
    }
}

TEST(Turbulence, FrequencyIsCapped) {
    const Point3 p(0.3f, 0.6f, 0.9f);
    const float capped = turbulence(p, 2147483648.0f);
    EXPECT_EQ(turbulence(p, 1e20f), capped);
    EXPECT_EQ(turbulence(p, std::numeric_limits<float>::infinity()), capped);
    EXPECT_EQ(turbulence(p, std::numeric_limits<float>::quiet_NaN()), 0.0f);
    EXPECT_EQ(turbulence(p, -4.0f), 0.0f);
}

TEST(Threshold, MapsTheWindowLinearlyAndClamps) {
    EXPECT_FLOAT_EQ(threshold(0.2f, 0.2f, 0.6f), 0.0f);
    EXPECT_FLOAT_EQ(threshold(0.3f, 0.2f, 0.6f), 0.25f);
    EXPECT_FLOAT_EQ(threshold(0.5f, 0.2f, 0.6f), 0.75f);
    EXPECT_FLOAT_EQ(threshold(0.6f, 0.2f, 0.6f), 1.0f);
    EXPECT_EQ(threshold(-5.0f, 0.2f, 0.6f), 0.0f);
    EXPECT_EQ(threshold(7.0f, 0.2f, 0.6f), 1.0f);
    EXPECT_FLOAT_EQ(threshold(0.0f, -1.0f, 1.0f), 0.5f);
}

TEST(Threshold, InvertsAReversedWindowAndStepsAtAnEmptyOne) {
    // a > b: a still maps to 0 and b to 1, so the ramp falls.
    EXPECT_FLOAT_EQ(threshold(0.7f, 0.8f, 0.4f), 0.25f);
    EXPECT_EQ(threshold(0.9f, 0.8f, 0.4f), 0.0f);
    EXPECT_EQ(threshold(0.1f, 0.8f, 0.4f), 1.0f);
    // a == b: a hard step at a.
    EXPECT_EQ(threshold(0.49f, 0.5f, 0.5f), 0.0f);
    EXPECT_EQ(threshold(0.5f, 0.5f, 0.5f), 1.0f);
    EXPECT_EQ(threshold(0.51f, 0.5f, 0.5f), 1.0f);
}

}  // namespace
