/// @file inter_rotation_test.cpp
/// @brief InterRotation: volume shapes, the three rotation modes, squash over life, and the
///        volume query of the volume colour and transform classes.
#include "framework/plugin_records.h"
#include "plugins/volume/inter_rotation.h"
#include "plugins/volume/volume_color.h"
#include "volume_fixture.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>

using namespace volumetest;

namespace {

class InterRotationTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_NE(rotation, nullptr); }
    void Set(int param, float v) { rotation->ParamBlock()->SetValue(param, 0, v); }
    void Set(int param, int v) { rotation->ParamBlock()->SetValue(param, 0, v); }

    /// The rotation of particle `index` (announced as the renderers do) with motion `motion`.
    Matrix3 Rotate(int index, const Point3 &motion = Point3(0, 0, 1), float age = 0.4f) {
        ParticleInfo info;
        info.particleIndex = index;
        int system = 0;
        rotation->__EnumParticle__(&info, &system, index);
        return rotation->__ComputeParticleRotate__(0, Point3(), motion, age, 1.0f);
    }

    Owned<InterRotation> rotation = New<InterRotation>();
};

void ExpectNear(const Point3 &a, const Point3 &b, const char *what) {
    for (int i = 0; i < 3; ++i) EXPECT_NEAR(a[i], b[i], 1e-5) << what << " [" << i << "]";
}

void ExpectRotation(const Matrix3 &m, const Matrix3 &expected) {
    for (int r = 0; r < 4; ++r) ExpectNear(m[r], expected[r], "row");
}

TEST_F(InterRotationTest, ShapeIsTheShapeParameterAndASphereWhenItHoldsNone) {
    for (int shape : {kVolumeSphere, kVolumeCylinder, kVolumeBox}) {
        Set(InterRotation::kShape, shape);
        EXPECT_EQ(rotation->__ComputeParticleShape__(0), shape);
    }
    Set(InterRotation::kShape, 7);
    EXPECT_EQ(rotation->__ComputeParticleShape__(0), kVolumeSphere);
}

TEST_F(InterRotationTest, NoneAndRandomWithoutSpeedOrVariationGiveIdentity) {
    for (int mode : {InterRotation::kNoRotation, InterRotation::kRandomRotation}) {
        Set(InterRotation::kRotationMode, mode);
        for (int index : {0, 1, 977})
            ExpectRotation(Rotate(index, Point3(3, -1, 2)), Matrix3());
    }
}

TEST_F(InterRotationTest, RandomTumbleIsDrawnPerParticleAndKeptOverTime) {
    Set(InterRotation::kRotationMode, int(InterRotation::kRandomRotation));
    Set(InterRotation::kSpeed, 0.05f);
    Set(InterRotation::kAxisY, 0.0f);
    Set(InterRotation::kAxisZ, 0.0f);
    for (int index : {0, 5, 31337}) {
        SCOPED_TRACE(index);
        // The first draw of the classic generator seeded with the index.
        const std::uint32_t state = std::uint32_t(index) * 214013u + 2531011u;
        const double draw = double((state >> 16) & 0x7FFF) / 32767.0;
        const Matrix3 m = Rotate(index);
        ExpectRotation(m, RotateXMatrix(float(0.05 * 40.0 * draw)));
        // Without variation the age does not move it; another particle turns otherwise.
        ExpectRotation(Rotate(index, Point3(0, 0, 1), 0.9f), m);
        EXPECT_NE(Rotate(index + 1), m);
    }
}

TEST_F(InterRotationTest, FollowParticlePutsTheMotionOnLocalZInAnOrthonormalFrame) {
    Set(InterRotation::kRotationMode, int(InterRotation::kFollowParticle));
    for (const Point3 &motion : {Point3(0, 0, 1), Point3(0, 0, -4), Point3(1, 2, 3),
                                 Point3(-5, 0, 0.1f), Point3(0, 1e-3f, 0)}) {
        const Matrix3 m = Rotate(0, motion);
        ExpectNear(m[2], Normalize(motion), "local z");
        ExpectNear(m.VectorTransform(Point3(0, 0, 1)), Normalize(motion), "z image");
        for (int a = 0; a < 3; ++a) {
            EXPECT_NEAR(Length(m[a]), 1.0f, 1e-5);
            EXPECT_NEAR(DotProd(m[a], m[(a + 1) % 3]), 0.0f, 1e-5);
        }
        EXPECT_NEAR(m.Determinant(), 1.0f, 1e-5);  // a rotation, not a mirror
    }
    // A particle at rest keeps its orientation.
    ExpectRotation(Rotate(0, Point3()), Matrix3());
}

TEST_F(InterRotationTest, SquashRunsFromBirthToDeathPerAxis) {
    const float birth[3] = {0.2f, 1.0f, 0.5f}, death[3] = {0.8f, 0.25f, 0.5f};
    for (int a = 0; a < 3; ++a) {
        Set(InterRotation::kBirthSquashX + 2 * a, birth[a]);
        Set(InterRotation::kDeathSquashX + 2 * a, death[a]);
    }
    ExpectNear(rotation->__ComputeParticleScale__(0, 0.0f), Point3(0.2f, 1.0f, 0.5f), "birth");
    ExpectNear(rotation->__ComputeParticleScale__(0, 1.0f), Point3(0.8f, 0.25f, 0.5f), "death");
}

TEST(VolumeQuery, VolumeColorAndInterRotationServeTheVolumeRenderer) {
    Owned<VolumeColor> color = New<VolumeColor>();
    Owned<InterRotation> rotation = New<InterRotation>();
    ASSERT_TRUE(color && rotation);
    for (NimbraPlugIn *p : {static_cast<NimbraPlugIn *>(color.get()),
                            static_cast<NimbraPlugIn *>(rotation.get())}) {
        EXPECT_EQ(p->__SupportProcessing__(), kVolumeRendererSupport);
        int answer = 0;
        p->__EnumParticle__(reinterpret_cast<ParticleInfo *>(&answer), nullptr,
                            kVolumeQueryIndex);
        EXPECT_EQ(answer, 1);
    }
}

}  // namespace
