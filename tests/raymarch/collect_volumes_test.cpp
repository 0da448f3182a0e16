/// @file collect_volumes_test.cpp
/// @brief Collecting a helper's particle volumes: which particles become volumes, and where
///        and how the particle-transform plug-in places them.
#include "plugins/raymarch/march_volumes.h"

#include "framework/plugin_interface.h"
#include "host/particles.h"

#include <gtest/gtest.h>

#include <tuple>
#include <vector>

namespace {

class Particles final : public ParticleObject {
public:
    Class_ID ClassID() override { return Class_ID(0x52415932, 1); }
    void Update(TimeValue, INode *) override {}
    void Add(const Point3 &position, const Point3 &velocity, TimeValue age) {
        const int n = NumParticles();
        std::vector<std::tuple<Point3, Point3, TimeValue>> keep;
        for (int i = 0; i < n; ++i)
            keep.emplace_back(GetParticlePosition(i), GetParticleVelocity(i),
                              GetParticleAge(i));
        Resize(n + 1);
        for (int i = 0; i < n; ++i)
            SetParticle(i, std::get<0>(keep[i]), std::get<1>(keep[i]), std::get<2>(keep[i]));
        SetParticle(n, position, velocity, age);
    }
};

class Source final : public IHelperRecord {
public:
    Particles particles;
    HelperRecord RecordAt(TimeValue, bool) override { return {}; }
    int ParticleSystemCount() override { return 1; }
    ParticleObject *ParticleSystemState(int n, TimeValue) override {
        return n == 1 ? &particles : nullptr;
    }
};

/// Boxes stretched twice along their own x axis, which the rotation turns onto world y.
class BoxTransform final : public NimbraPlugIn {
public:
    Class_ID ClassID() override { return Class_ID(0x52415933, 1); }
    int __ComputeParticleShape__(TimeValue) override { return kVolumeBox; }
    Matrix3 __ComputeParticleRotate__(TimeValue, Point3, Point3, float, float) override {
        return RotateZMatrix(1.5707964f);
    }
    Point3 __ComputeParticleScale__(TimeValue, float) override { return {2, 1, 1}; }
};

TEST(CollectVolumes, TakesEveryNthLiveParticleInTheAgeWindowAndPlacesIt) {
    Source source;
    BoxTransform transform;
    VolumeHelper helper{{}, &source};
    helper.record.plugIns[HelperRecord::kComposite] = &transform;
    helper.record.size.birth = 1.5f;
    helper.record.lifeStart = 10;
    helper.record.lifeEnd = 100;
    helper.record.everyNth = 2;
    helper.record.nthOffset = 1;
    // Index: 0 skipped by the offset, 1 taken, 3 dead, 5 too young, 7 too old, 9 taken.
    for (int i = 0; i < 10; ++i) {
        const TimeValue age = i == 3 ? -1 : i == 5 ? 5 : i == 7 ? 101 : 10 * i;
        source.particles.Add(Point3(10.0f * i, 0, 0), Point3(0, 0, 3), age);
    }
    std::vector<MarchVolume> volumes;
    CollectVolumes(0, helper, 4, volumes);

    ASSERT_EQ(volumes.size(), 2u);
    for (const MarchVolume &v : volumes) {
        const Point3 c = v.record.center;
        EXPECT_TRUE(c == Point3(10, 0, 0) || c == Point3(90, 0, 0));
        EXPECT_EQ(v.record.pluginSet, 4);
        EXPECT_EQ(v.record.shape, kVolumeBox);
        EXPECT_EQ(v.record.motion, Point3(0, 0, 1));
        // Stretched along world y to 2 × 1.5, not along x.
        EXPECT_LT(NormalisedDistance(v, c + Point3(0, 2.9f, 0)), 1.0f);
        EXPECT_GT(NormalisedDistance(v, c + Point3(1.6f, 0, 0)), 1.0f);
        EXPECT_TRUE(v.bounds.Contains(c + Point3(1.4f, 2.9f, 1.4f)));
        EXPECT_FALSE(v.bounds.Contains(c + Point3(0, 3.1f, 0)));
    }
}

}  // namespace
