/// @file particle_rotation_test.cpp
/// @brief The particle rotation: offsets turned by the particle's angle, those that leave the
///        square dropped, the angle over the life, and the library record.
#include "plugins/standard/particle_rotation.h"
#include "host/little_endian.h"
#include "standard_fixture.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <numbers>

using namespace standardtest;

namespace {

constexpr double kRadiansPerDegree = std::numbers::pi / 180.0;

/// A rotation with a block of its own.
struct RotationWithBlock {
    RotationWithBlock() : block(ParticleRotation::MakeParamBlock()) {
        rotation.SetParamBlock(block.get());
    }
    void SetAngles(double birth, double death) {
        block->SetValue(ParticleRotation::kBirthRotate, 0, float(birth * kRadiansPerDegree));
        block->SetValue(ParticleRotation::kDeathRotate, 0, float(death * kRadiansPerDegree));
    }
    /// Turned to `degrees` (no controller: the birth angle).
    void TurnTo(double degrees) {
        SetAngles(degrees, 0.0);
        rotation.Update(0, ParticleInfo{}, nullptr);
    }
    float Value(int param) {
        float v = 0;
        block->GetValue(param, 0, v);
        return v;
    }

    Owned<IParamBlock> block;
    ParticleRotation rotation;
};

class Rotation : public ::testing::Test, public RotationWithBlock {};

}  // namespace

TEST_F(Rotation, TurnsOffsetsByTheAngleAndDropsThoseLeavingTheSquare) {
    int kept = 0, dropped = 0;
    for (double degrees : {0.0, 30.0, 45.0, 90.0, -60.0, 135.0, 200.0, 725.0}) {
        TurnTo(degrees);
        EXPECT_NEAR(rotation.Angle(), degrees, 1e-3 * std::max(1.0, std::fabs(degrees)));
        EXPECT_EQ(rotation.Upright(), degrees == 0.0);
        // (x, y) turned counter-clockwise by the angle, truncated, kept inside −r … r.
        const double a = degrees * 0.017453292;
        for (int r : {1, 6, 17}) {
            for (int y = -r - 3; y <= r + 3; ++y) {
                for (int x = -r - 3; x <= r + 3; ++x) {
                    const double tx = x * std::cos(a) - y * std::sin(a);
                    const double ty = x * std::sin(a) + y * std::cos(a);
                    const auto onEdge = [&](double t) {
                        return degrees != 0.0 && std::fabs(t - std::round(t)) < 1e-4;
                    };
                    if (onEdge(tx) || onEdge(ty)) continue;  // float rounding decides
                    const int ex = int(tx), ey = int(ty);
                    const bool inside = ex >= -r && ex <= r && ey >= -r && ey <= r;
                    int rx = x, ry = y;
                    ASSERT_EQ(rotation.Rotate(rx, ry, r), inside)
                        << degrees << "°, r " << r << ", " << x << ", " << y;
                    if (inside) {
                        EXPECT_EQ(rx, ex);
                        EXPECT_EQ(ry, ey);
                    }
                    (inside ? kept : dropped)++;
                }
            }
        }
    }
    EXPECT_GT(kept, 1000);
    EXPECT_GT(dropped, 1000);

    // 45 degrees takes the corner (r, r) onto the y axis at 1.41 r: dropped.
    TurnTo(45.0);
    int x = 10, y = 10;
    EXPECT_FALSE(rotation.Rotate(x, y, 10));
    x = 10, y = 0;
    EXPECT_TRUE(rotation.Rotate(x, y, 10));
    EXPECT_EQ(x, 7);
    EXPECT_EQ(y, 7);
    // Far offsets, and angles that are not numbers, keep nothing.
    x = INT_MIN, y = INT_MAX;
    EXPECT_FALSE(rotation.Rotate(x, y, 10));
    TurnTo(std::nan(""));
    x = 0, y = 0;
    EXPECT_FALSE(rotation.Rotate(x, y, 10));
}

TEST_F(Rotation, AngleFollowsTheControllerFromBirthToDeathInDegrees) {
    auto controller = Owned<DefaultController>(NewController());
    const ControllerSpec &angles = ParticleRotation::kController;
    controller->__SetupFloat__(angles.minimum, angles.maximum, angles.step);
    SetAngles(30.0, 90.0);
    ParticleInfo p;
    p.lifeEnd = 4800;
    p.age = 1200;
    rotation.Update(160, p, controller.get());
    EXPECT_NEAR(rotation.Angle(), 45.0f, 1e-3f);
    SetAngles(-1000.0, 1000.0);  // far beyond a turn, within the controller's range
    rotation.Update(160, p, controller.get());
    EXPECT_NEAR(rotation.Angle(), -500.0f, 1e-2f);
    rotation.Update(160, p, nullptr);
    EXPECT_NEAR(rotation.Angle(), -1000.0f, 1e-2f) << "no controller: the birth angle";

    rotation.ResetParameters();
    EXPECT_EQ(Value(ParticleRotation::kBirthRotate), 0.0f);
    EXPECT_EQ(Value(ParticleRotation::kDeathRotate), 0.0f);
}

TEST_F(Rotation, LibraryRecordHoldsTheAnglesInDegreesAndRefusesBadOnes) {
    SetAngles(30.0, -720.0);
    LibraryFile file;
    ASSERT_EQ(rotation.LibrarySave(file.io()), 1);
    const std::vector<std::uint8_t> good = file.Bytes();
    ASSERT_EQ(good.size(), ParticleRotation::kRecordSize);
    EXPECT_EQ(U16At(good, 0), 256);
    EXPECT_FLOAT_EQ(FloatAt(good, 8), 30.0f);
    EXPECT_FLOAT_EQ(FloatAt(good, 12), -720.0f);

    RotationWithBlock other;
    const auto refused = [&](std::vector<std::uint8_t> bytes, const char *what) {
        file.Replace(bytes);
        EXPECT_EQ(other.rotation.LibraryLoad(file.io()), 0) << what;
        EXPECT_EQ(other.Value(ParticleRotation::kBirthRotate), 0.0f) << what;
        EXPECT_EQ(other.Value(ParticleRotation::kDeathRotate), 0.0f) << what;
    };
    std::vector<std::uint8_t> bad = good;
    bad[0] = 1;  // version 257
    refused(bad, "another version");
    refused({good.begin(), good.end() - 1}, "short");
    bad = good;
    PutLEFloat(bad.data() + 12, INFINITY);
    refused(bad, "an angle that is not finite");

    file.Replace(good);
    ASSERT_EQ(other.rotation.LibraryLoad(file.io()), 1);
    EXPECT_FLOAT_EQ(other.Value(ParticleRotation::kBirthRotate),
                    Value(ParticleRotation::kBirthRotate));
    EXPECT_FLOAT_EQ(other.Value(ParticleRotation::kDeathRotate),
                    Value(ParticleRotation::kDeathRotate));
}
