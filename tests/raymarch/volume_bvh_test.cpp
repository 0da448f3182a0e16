/// @file volume_bvh_test.cpp
/// @brief Particle volumes and their hierarchy: ray tests agree with the point test, and the
///        hierarchy returns exactly the volumes a brute-force search finds, in entry order.
#include "plugins/raymarch/volume_bvh.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>

namespace {

class VolumeScene {
public:
    explicit VolumeScene(unsigned seed) : rng_(seed) {}

    float Uniform(float lo, float hi) {
        return std::uniform_real_distribution<float>(lo, hi)(rng_);
    }
    Point3 InCube(float half) {
        return {Uniform(-half, half), Uniform(-half, half), Uniform(-half, half)};
    }
    Point3 UnitDir() {
        Point3 d;
        do d = InCube(1.0f);
        while (Length(d) < 0.1f);
        return Normalize(d);
    }
    /// A volume of `shape` somewhere in the scene, turned and stretched at random.
    MarchVolume Volume(int shape) {
        MarchVolume v;
        Matrix3 turn = RotateXMatrix(Uniform(0, 6.3f)) * RotateZMatrix(Uniform(0, 6.3f));
        const Point3 scale(Uniform(0.3f, 2.0f), Uniform(0.3f, 2.0f), Uniform(0.3f, 2.0f));
        EXPECT_TRUE(PlaceVolume(v, shape, InCube(40.0f), turn, scale, Uniform(0.5f, 4.0f)));
        return v;
    }

private:
    std::mt19937 rng_;
};

std::vector<VolumeHit> BruteForce(const std::vector<MarchVolume> &volumes, const Point3 &o,
                                  const Point3 &d, float length, int exclude) {
    std::vector<VolumeHit> hits;
    for (int i = 0; i < static_cast<int>(volumes.size()); ++i) {
        VolumeHit h{i};
        if (i != exclude && IntersectVolume(volumes[i], o, d, length, h.entry, h.exit))
            hits.push_back(h);
    }
    std::sort(hits.begin(), hits.end(), [](const VolumeHit &a, const VolumeHit &b) {
        return a.entry < b.entry || (a.entry == b.entry && a.volume < b.volume);
    });
    return hits;
}

class ShapeTest : public ::testing::TestWithParam<int> {};

// Where the ray test says a ray enters and leaves, the point test puts the surface; between
// them the ray is inside; a ray that misses stays outside all along.
TEST_P(ShapeTest, RayTestAgreesWithPointTest) {
    VolumeScene scene(11u + GetParam());
    int hitsSeen = 0;
    for (int n = 0; n < 400; ++n) {
        MarchVolume v = scene.Volume(GetParam());
        const Point3 target = v.record.center + scene.InCube(5.0f);
        const Point3 dir = scene.UnitDir();
        const Point3 origin = target - dir * scene.Uniform(0.0f, 20.0f);
        const float length = scene.Uniform(1.0f, 30.0f);
        float entry = 0, exit = 0;
        if (!IntersectVolume(v, origin, dir, length, entry, exit)) {
            for (int k = 0; k <= 64; ++k)
                EXPECT_GE(NormalisedDistance(v, origin + dir * (length * k / 64.0f)), 0.999f);
            continue;
        }
        ++hitsSeen;
        ASSERT_LE(0.0f, entry);
        ASSERT_LT(entry, exit);
        ASSERT_LE(exit, length);
        EXPECT_LT(NormalisedDistance(v, origin + dir * (0.5f * (entry + exit))), 1.0f);
        if (entry > 0.0f) {
            EXPECT_NEAR(NormalisedDistance(v, origin + dir * entry), 1.0f, 1e-3f);
        }
        if (exit < length) {
            EXPECT_NEAR(NormalisedDistance(v, origin + dir * exit), 1.0f, 1e-3f);
        }
    }
    EXPECT_GT(hitsSeen, 50);
}

TEST_P(ShapeTest, VolumeWithoutExtentIsRejected) {
    const float inf = std::numeric_limits<float>::infinity();
    MarchVolume v;
    const Point3 ones(1, 1, 1);
    EXPECT_FALSE(PlaceVolume(v, GetParam(), Point3(), Matrix3(), ones, 0.0f));
    EXPECT_FALSE(PlaceVolume(v, GetParam(), Point3(), Matrix3(), Point3(1, 0, 1), 1.0f));
    EXPECT_FALSE(PlaceVolume(v, GetParam(), Point3(inf, 0, 0), Matrix3(), ones, 1.0f));
    EXPECT_TRUE(PlaceVolume(v, GetParam(), Point3(), Matrix3(), ones, 1.0f));
}

INSTANTIATE_TEST_SUITE_P(Shapes, ShapeTest,
                         ::testing::Values(kVolumeSphere, kVolumeCylinder, kVolumeBox));

class BvhTest : public ::testing::TestWithParam<int> {};

TEST_P(BvhTest, QueryMatchesBruteForceInEntryOrder) {
    VolumeScene scene(7u * GetParam() + 1u);
    std::vector<MarchVolume> volumes;
    for (int i = 0; i < GetParam(); ++i) volumes.push_back(scene.Volume(i % 3));
    VolumeBvh bvh;
    bvh.Build(volumes);
    std::vector<VolumeHit> hits;
    int crossings = 0;
    for (int n = 0; n < 500; ++n) {
        const Point3 origin = scene.InCube(60.0f);
        // Rays along an axis as well, which meet the boxes' slabs edge-on.
        const Point3 dir = n % 10 == 0 ? Point3(0, 0, n % 20 ? 1.0f : -1.0f) : scene.UnitDir();
        const float length = scene.Uniform(1.0f, 150.0f);
        const int exclude = n % 3 == 0 && !volumes.empty() ? n % GetParam() : -1;
        const auto expected = BruteForce(volumes, origin, dir, length, exclude);
        ASSERT_EQ(bvh.Query(origin, dir, length, exclude, hits), !expected.empty());
        ASSERT_EQ(hits.size(), expected.size()) << "ray " << n;
        for (size_t i = 0; i < hits.size(); ++i) {
            EXPECT_EQ(hits[i].volume, expected[i].volume);
            EXPECT_EQ(hits[i].entry, expected[i].entry);
            EXPECT_EQ(hits[i].exit, expected[i].exit);
        }
        crossings += static_cast<int>(hits.size());
    }
    if (GetParam() >= 50) {
        EXPECT_GT(crossings, GetParam() / 5);
    }
}

INSTANTIATE_TEST_SUITE_P(VolumeCounts, BvhTest, ::testing::Values(0, 1, 5, 50, 700));

}  // namespace
