/// @file plasma_shape_test.cpp
/// @brief The Plasma shape: the five-layer noise average cut by the soft disk, the hot
///        centre's wrap-around, the corners, and the row call.
#include "framework/shape_rows.h"
#include "plugins/standard/plasma_shape.h"
#include "host/noise.h"
#include "sprite_pixels.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

using namespace standardtest;

namespace {

constexpr TimeValue kFrame = 800;

class Plasma : public ShapeTest<PlasmaShape> {};

}  // namespace

TEST(PlasmaDensity, HotCentreWrapsAroundSixteenBits) {
    // (2n − f) modulo 65 536, then the smaller of that and f.
    EXPECT_EQ(PlasmaShape::Density(20000, 40000, true), 0) << "2n = f";
    EXPECT_EQ(PlasmaShape::Density(0, 32768, true), 32768) << "n = 0, f ≤ 32 768: f";
    EXPECT_EQ(PlasmaShape::Density(0, 1000, true), 1000);
    EXPECT_EQ(PlasmaShape::Density(0, 40000, true), 65536 - 40000) << "n = 0, f > 32 768";
    EXPECT_EQ(PlasmaShape::Density(20100, 40000, true), 200);
    EXPECT_EQ(PlasmaShape::Density(50000, 40000, true), 40000);
    EXPECT_EQ(PlasmaShape::Density(65535, 65535, true), 65535);
    EXPECT_EQ(PlasmaShape::Density(20100, 40000, false), 20100);
    EXPECT_EQ(PlasmaShape::Density(50000, 40000, false), 40000);
}

TEST_F(Plasma, CoverageIsTheAverageOfFiveNoiseLayersCutByTheDisk) {
    SoftDisk disk;
    disk.Build();
    const struct {
        bool hot;
        float size, phase, motion;
        int index, r;
    } cases[] = {
        {false, 20.0f, 1.0f, 0.5f, 0, 30},  // the defaults
        {true, 20.0f, 1.1f, 0.5f, 4, 30},
        {false, 7.0f, 0.0f, 0.0f, 9, 25},  // layers 1 … 4 at the noise's origin
        {true, 5.0f, 3.0f, 1.0f, 2, 25},   // five equal layers
        {true, 12.0f, 0.4f, 0.8f, 77, 45},
    };
    int compared = 0, onTheWrap = 0;
    for (const auto &c : cases) {
        SCOPED_TRACE(testing::Message() << "hot " << c.hot << ", motion " << c.motion);
        shape->ParamBlock()->SetValue(PlasmaShape::kCore, 0, c.hot ? 1 : 0);
        SetBoth(PlasmaShape::kBirthSize, c.size);
        SetBoth(PlasmaShape::kBirthPhase, c.phase);
        SetBoth(PlasmaShape::kBirthMotion, c.motion);
        shape->__BeginFrame__(kFrame, nullptr, nullptr, nullptr);
        const std::vector<int> got = ParticlePixels(*shape, c.r, AgedParticle(c.index), 0.7f);
        const auto scale = std::uint32_t(0.7f * 65535.0f);
        const float d = 2.0f * c.r;
        for (int y = -c.r; y <= c.r; ++y)
            for (int x = -c.r; x <= c.r; ++x) {
                float px = float(x + c.r) / d - 0.5f, py = float(y + c.r) / d - 0.5f,
                      pz = float(c.index) + c.phase;
                double sum = 0.0;
                for (int k = 0; k < 5; ++k) {
                    sum += (noise3(Point3(px, py, pz) * c.size) + 1.0) * 0.5;
                    px *= c.motion;
                    py *= c.motion;
                    pz *= c.motion;
                }
                const auto n = static_cast<int>(std::clamp(sum / 5.0, 0.0, 1.0) * 65535.0);
                const int f =
                    disk.At(int(float(y + c.r) / d * 255.0f), int(float(x + c.r) / d * 255.0f));
                const int at = (y + c.r) * (2 * c.r + 1) + x + c.r;
                ASSERT_GE(got[at], 0) << "every pixel is covered: " << x << ", " << y;
                // Noise along a row agrees with noise3 to float rounding; where 2n is
                // within that of f the hot centre may wrap either way.
                if (c.hot && f != 0 && std::abs(2 * n - f) <= 4) {
                    ++onTheWrap;
                    continue;
                }
                const int hot = ((2 * n - f) % 65536 + 65536) % 65536;
                const int want =
                    int((std::uint32_t(std::min(c.hot ? hot : n, f)) * scale) >> 16);
                ASSERT_NEAR(got[at], want, 2) << x << ", " << y;
                ++compared;
            }
    }
    EXPECT_GT(compared, 10000);
    EXPECT_LT(onTheWrap, compared / 200);
}

TEST_F(Plasma, CornersAreCoveredWithNothingAndOutsideAFrameNothingIs) {
    unsigned short d = 1;
    ParticleInfo p = AgedParticle(3);
    shape->__BeginParticle__(1.0f, 20, &p);
    EXPECT_EQ(shape->__ParticleShape__(&d, 20, 0, 0, 0, 0), 0) << "no frame, no table";

    shape->__BeginFrame__(kFrame, nullptr, nullptr, nullptr);
    for (bool hot : {false, true}) {
        shape->ParamBlock()->SetValue(PlasmaShape::kCore, 0, hot ? 1 : 0);
        shape->__BeginParticle__(1.0f, 20, &p);
        EXPECT_EQ(shape->HotCore(), hot);
        for (int x : {-20, 20})
            for (int y : {-20, 20}) {
                d = 1;
                ASSERT_EQ(shape->__ParticleShape__(&d, 20, x, y, 0, 0), 1);
                EXPECT_EQ(d, 0) << x << ", " << y;
            }
        d = 0;
        ASSERT_EQ(shape->__ParticleShape__(&d, 20, 0, 0, 0, 0), 1);
        EXPECT_GT(d, 0) << "the middle of the disk";
    }
    for (int r : {0, -2}) {
        shape->__BeginParticle__(1.0f, r, &p);
        EXPECT_EQ(shape->__ParticleShape__(&d, r, 0, 0, 0, 0), 0) << "a particle without size";
    }
}

TEST_F(Plasma, ControllersGiveTheParticlesQuantitiesAtItsAge) {
    shape->ParamBlock()->SetValue(PlasmaShape::kBirthSize, 0, 10.0f);
    shape->ParamBlock()->SetValue(PlasmaShape::kDeathSize, 0, 30.0f);
    shape->ParamBlock()->SetValue(PlasmaShape::kBirthMotion, 0, 0.2f);
    shape->ParamBlock()->SetValue(PlasmaShape::kDeathMotion, 0, 0.6f);
    std::string error;
    ASSERT_TRUE(
        GetObjectProperties(shape.get())->SetProperty("Center", std::string("Hot"), error))
        << error;
    shape->__BeginFrame__(kFrame, nullptr, nullptr, nullptr);
    ParticleInfo p = AgedParticle(42, 0.75f);
    shape->__BeginParticle__(1.0f, 9, &p);
    EXPECT_TRUE(shape->HotCore());
    EXPECT_FLOAT_EQ(shape->NoiseSize(), 25.0f);
    EXPECT_FLOAT_EQ(shape->Phase(), 1.15f);
    EXPECT_FLOAT_EQ(shape->Motion(), 0.5f);
    EXPECT_EQ(shape->ParticleIndex(), 42.0f);
}

TEST_F(Plasma, RowCallsGiveWhatThePixelCallGives) {
    shape->__BeginFrame__(kFrame, nullptr, nullptr, nullptr);
    const IShapeRows *rows = GetShapeRows(shape.get());
    ASSERT_NE(rows, nullptr);
    for (int hot : {0, 1}) {
        shape->ParamBlock()->SetValue(PlasmaShape::kCore, 0, hot);
        const int r = 70;  // rows longer than one evaluated run
        SCOPED_TRACE(hot ? "hot" : "cold");
        ExpectRowsGiveThePixels(*rows, r, ParticlePixels(*shape, r, AgedParticle(5)));
    }
}
