/// @file flame_shape_test.cpp
/// @brief The Flame 2D shape: its references shared with the particle rotation, its library
///        record, and the coverage of a particle's pixels.
#include "framework/shape_rows.h"
#include "plugins/standard/flame_shape.h"
#include "host/inode.h"
#include "host/noise.h"
#include "host/scene_file.h"
#include "common/scripted_user_interface.h"
#include "standard_fixture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <numbers>
#include <vector>

using namespace standardtest;

namespace {

constexpr TimeValue kFrame = 3200;

/// A particle of index `index` at `ageFraction` of a life from 0 to 4800 ticks.
ParticleInfo Particle(int index, float ageFraction = 0.5f) {
    ParticleInfo p;
    p.lifeEnd = 4800;
    p.age = static_cast<int>(4800 * ageFraction);
    p.particleIndex = index;
    return p;
}

/// Every parameter of the shape's block and then of the rotation's, at time 0.
std::vector<float> Values(FlameShape &f) {
    std::vector<float> v;
    for (IParamBlock *pb : {f.ParamBlock(), f.Rotation().ParamBlock()})
        for (int i = 0; i < pb->NumParams(); ++i) {
            float x = 0;
            pb->GetValue(i, 0, x);
            v.push_back(x);
        }
    return v;
}

/// A distinct value in every parameter, the rotation's included.
void MakeDistinct(FlameShape &f) {
    for (int i = 0; i < FlameShape::kParams; ++i)
        f.ParamBlock()->SetValue(i, 0, 0.1f * i + 0.05f);
    f.Rotation().ParamBlock()->SetValue(ParticleRotation::kBirthRotate, 0, 0.5f);
    f.Rotation().ParamBlock()->SetValue(ParticleRotation::kDeathRotate, 0, -2.0f);
}

class Flame : public ::testing::Test {
protected:
    void SetUp() override {
        shape = NewPlugIn<FlameShape>(FlameShape::kClassID);
        ASSERT_NE(shape, nullptr);
        shape->__BeginFrame__(kFrame, nullptr, nullptr, nullptr);
        table.Build();
    }
    void TearDown() override {
        if (shape) shape->__EndFrame__(kFrame);
    }

    /// Birth and death of the quantity whose birth parameter is `birth`.
    void Set(int birth, float v) {
        shape->ParamBlock()->SetValue(birth, 0, v);
        shape->ParamBlock()->SetValue(birth + 1, 0, v);
    }
    void SetRotation(double degrees) {
        for (int i : {0, 1})
            shape->Rotation().ParamBlock()->SetValue(i, 0,
                                                     float(degrees * std::numbers::pi / 180));
    }

    /// Coverage of every pixel of one particle, row by row; -1 where it is not covered.
    std::vector<int> Coverage(int r, const ParticleInfo &p, float transparency = 1.0f) {
        ParticleInfo info = p;
        shape->__BeginParticle__(transparency, r, &info);
        std::vector<int> out;
        for (int y = -r; y <= r; ++y)
            for (int x = -r; x <= r; ++x) {
                unsigned short d = 0;
                out.push_back(shape->__ParticleShape__(&d, r, x, y, 100 + x, 100 + y) ? d : -1);
            }
        return out;
    }

    /// The upright flame's density at (x, y) from its formulas, for a noise value `noise`
    /// (−1 where the pixel is outside the flame's width).
    int Formula(int r, int x, int y, float width, float exponent, float noise,
                std::uint16_t scale) const {
        const float d = float(2 * r), h = float(r) * ((100.0f - width) * 0.01f);
        const float half = float(r) - h;
        if (float(x) < -half || float(x) > half) return -1;
        const float w = float(y + r) / d;
        const int column = int(255.0f * (float(x) + half) / (2.0f * half));
        const std::uint32_t f = table.At(int(255.0f * w), column);
        const float v = std::pow((noise + 1.0f) * 0.5f, exponent);
        std::uint32_t n = std::min<std::uint32_t>(std::uint32_t(v * 65535.0f), f);
        n = (n * std::uint32_t(w * 65535.0f)) >> 16;
        return int((n * scale) >> 16);
    }

    Owned<FlameShape> shape;
    SoftDisk table;
};

}  // namespace

TEST(Flame2D, ReferencesAreTheBlocksThenTheControllersWithTheRotationsLast) {
    auto flame = NewPlugIn<FlameShape>(FlameShape::kClassID);
    ASSERT_NE(flame, nullptr);
    const char *names[] = {
        "Parameters", "Particle Rotation", "Width", "Size", "Phase", "Motion",
        "Threshold",  "Additive Rotation"};
    ASSERT_EQ(flame->NumRefs(), 8);
    ASSERT_EQ(flame->NumSubs(), 8);
    for (int i = 0; i < 8; ++i) {
        EXPECT_EQ(flame->SubAnimName(i), names[i]);
        EXPECT_EQ(flame->SubAnim(i), flame->GetReference(i));
        EXPECT_NE(flame->GetReference(i), nullptr) << i;
    }
    EXPECT_EQ(flame->GetReference(0), flame->ParamBlock());
    EXPECT_EQ(flame->GetReference(1), flame->Rotation().ParamBlock());
    ASSERT_EQ(flame->NumControllers(), 6);
    const float ranges[6][3] = {{0, 100, 1},    {0.001f, 9999, 0.005f}, {0, 9999, 0.05f},
                                {0, 5, 0.005f}, {0, 1, 0.05f},          {-99999, 99999, 1}};
    for (int i = 0; i < 6; ++i) {
        auto *c = dynamic_cast<DefaultController *>(flame->GetController(i));
        ASSERT_NE(c, nullptr) << i;
        EXPECT_EQ(c, flame->GetReference(i < 5 ? 2 + i : 7));
        EXPECT_EQ(c->State().minFloat, ranges[i][0]) << i;
        EXPECT_EQ(c->State().maxFloat, ranges[i][1]) << i;
        EXPECT_EQ(c->State().stepFloat, ranges[i][2]) << i;
    }
    // Each block answers its own names and dimensions.
    EXPECT_EQ(flame->ParamBlock()->GetParamName(8), "Birth Thres.");
    EXPECT_EQ(flame->ParamBlock()->GetParamDimension(8), defaultDim);
    EXPECT_EQ(flame->Rotation().ParamBlock()->GetParamName(1), "Death Rotate");
    EXPECT_EQ(flame->Rotation().ParamBlock()->GetParamDimension(1), stdAngleDim);
}

TEST(Flame2D, RightClickReplacesTheControllerInItsOwnReference) {
    ScriptedUserInterface ui;
    auto flame = NewPlugIn<FlameShape>(FlameShape::kClassID);
    flame->__BeginEdit__(GetCOREInterface(), GetNimbraInterface());
    EXPECT_TRUE(flame->Rotation().IsEditing());
    EXPECT_EQ(flame->ControllerForButton(1062), int(FlameShape::kRotationController));
    for (int i : {int(FlameShape::kWidthController), int(FlameShape::kRotationController)}) {
        NimbraController *before = flame->GetController(i);
        ui.ScriptListChoice(0);  // "Default"
        flame->ControllerButtonRightClicked(i);
        auto *replacement = dynamic_cast<DefaultController *>(flame->GetController(i));
        ASSERT_NE(replacement, nullptr);
        EXPECT_NE(replacement, before);
        EXPECT_EQ(replacement->State().maxFloat, i == 0 ? 100.0f : 99999.0f);
        EXPECT_EQ(flame->GetReference(1), flame->Rotation().ParamBlock());
    }
    flame->__EndEdit__(GetCOREInterface(), GetNimbraInterface());
    EXPECT_FALSE(flame->Rotation().IsEditing());
}

TEST(Flame2D, CloneClonesAllEightReferences) {
    auto flame = NewPlugIn<FlameShape>(FlameShape::kClassID);
    MakeDistinct(*flame);
    RemapDir remap;
    Owned<FlameShape> copy(dynamic_cast<FlameShape *>(flame->Clone(remap)));
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(Values(*copy), Values(*flame));
    for (int i = 0; i < 8; ++i) {
        EXPECT_NE(copy->GetReference(i), nullptr) << i;
        EXPECT_NE(copy->GetReference(i), flame->GetReference(i)) << i;
    }
}

TEST_F(OwnerTest, Flame2DGoesThroughSceneFilesWithItsRotation) {
    auto *flame = new FlameShape;
    MakeDistinct(*flame);
    const std::vector<float> values = Values(*flame);
    GetCOREInterface()->CreateObjectNode(new PlugInOwner(flame));
    const std::vector<std::uint8_t> bytes = SaveSceneToMemory("flame");
    GetCOREInterface()->ResetScene();
    LoadSceneFromMemory(bytes, "flame");
    auto *owner = dynamic_cast<PlugInOwner *>(
        GetCOREInterface()->GetRootNode()->GetChildNode(0)->GetObjectRef());
    auto *loaded = dynamic_cast<FlameShape *>(owner ? owner->plugIn : nullptr);
    ASSERT_NE(loaded, nullptr);
    ASSERT_NE(loaded->Rotation().ParamBlock(), nullptr);
    EXPECT_EQ(Values(*loaded), values);
    EXPECT_NE(loaded->GetController(FlameShape::kRotationController), nullptr);
}

TEST(Flame2D, LibraryRecordIsTenFloatsThenTheRotationsRecord) {
    auto source = NewPlugIn<FlameShape>(FlameShape::kClassID);
    MakeDistinct(*source);
    LibraryFile file;
    ASSERT_EQ(source->LibrarySave(file.io()), 1);
    const std::vector<std::uint8_t> good = file.Bytes();
    ASSERT_EQ(good.size(), 8u + 40u + 16u);
    EXPECT_EQ(U16At(good, 0), 256);
    for (int i = 0; i < 10; ++i) EXPECT_EQ(FloatAt(good, 8 + 4 * i), 0.1f * i + 0.05f) << i;
    EXPECT_EQ(U16At(good, 48), 256);
    EXPECT_FLOAT_EQ(FloatAt(good, 56), float(0.5 * 180 / std::numbers::pi));
    EXPECT_FLOAT_EQ(FloatAt(good, 60), float(-2.0 * 180 / std::numbers::pi));

    auto flame = NewPlugIn<FlameShape>(FlameShape::kClassID);
    const std::vector<float> before = Values(*flame);
    for (std::size_t versionAt : {std::size_t(0), std::size_t(48)}) {
        std::vector<std::uint8_t> bad = good;
        bad[versionAt] = 1;  // version 257
        file.Replace(bad);
        EXPECT_EQ(flame->LibraryLoad(file.io()), 0) << versionAt;
        EXPECT_EQ(Values(*flame), before) << versionAt;
    }
    file.Replace({good.begin(), good.end() - 1});
    EXPECT_EQ(flame->LibraryLoad(file.io()), 0);
    EXPECT_EQ(Values(*flame), before);

    file.Replace(good);
    ASSERT_EQ(flame->LibraryLoad(file.io()), 1);
    const std::vector<float> loaded = Values(*flame), saved = Values(*source);
    for (std::size_t i = 0; i < saved.size(); ++i) EXPECT_FLOAT_EQ(loaded[i], saved[i]) << i;
}

TEST_F(Flame, CoverageIsTheSqueezedDiskHeldToTheNoiseAndFadedTowardsTheTop) {
    struct Case {
        float width, size, phase, motion, exponent, transparency;
        int r, index;
    };
    const Case cases[] = {{50, 20, 1, 0.5f, 0.5f, 1, 30, 0},
                          {30, 4, 7, 2, 1, 0.6f, 11, 5},
                          {85, 9, 0, 0, 2.5f, 1, 40, 12},
                          {100, 1, 3, 5, 0.1f, 0.3f, 7, 1}};
    for (const Case &c : cases) {
        Set(FlameShape::kBirthWidth, c.width);
        Set(FlameShape::kBirthSize, c.size);
        Set(FlameShape::kBirthPhase, c.phase);
        Set(FlameShape::kBirthMotion, c.motion);
        Set(FlameShape::kBirthThreshold, c.exponent);
        const int r = c.r;
        const std::vector<int> coverage = Coverage(r, Particle(c.index), c.transparency);
        const auto scale = std::uint16_t(c.transparency * 65535.0f);
        const float d = float(2 * r);
        for (int y = -r; y <= r; ++y)
            for (int x = -r; x <= r; ++x) {
                const Point3 p((float(x + r) / d - 0.5f) * c.size,
                               (float(y + r) / d - 0.5f + c.motion) * c.size,
                               (float(c.index) + c.phase) * c.size);
                const int expected = Formula(r, x, y, c.width, c.exponent, noise3(p), scale);
                const int got = coverage[(y + r) * (2 * r + 1) + x + r];
                // Covering depends on the width alone; the density on the noise, which the
                // shape evaluates a row at a time (to float rounding of noise3).
                ASSERT_EQ(got < 0, expected < 0)
                    << "width " << c.width << ": " << x << ", " << y;
                ASSERT_NEAR(got, expected, 1) << "width " << c.width << ": " << x << ", " << y;
                if (y == -r) {
                    EXPECT_LE(got, 0) << "the top row fades to nothing";
                }
            }
    }
}

TEST_F(Flame, WidthNarrowsTheFlameAndThresholdThinsIt) {
    Set(FlameShape::kBirthThreshold, 1.0f);
    const auto covered = [](const std::vector<int> &v) {
        return std::count_if(v.begin(), v.end(), [](int c) { return c >= 0; });
    };
    const auto total = [](const std::vector<int> &v) {
        long sum = 0;
        for (int c : v) sum += std::max(c, 0);
        return sum;
    };
    const int r = 20, side = 2 * r + 1;
    Set(FlameShape::kBirthWidth, 100.0f);
    EXPECT_EQ(covered(Coverage(r, Particle(3))), side * side);
    Set(FlameShape::kBirthWidth, 50.0f);
    EXPECT_EQ(covered(Coverage(r, Particle(3))), (r + 1) * side);  // |x| ≤ 10
    Set(FlameShape::kBirthWidth, 0.0f);
    const std::vector<int> line = Coverage(r, Particle(3));
    EXPECT_EQ(covered(line), side) << "only the centre column";
    EXPECT_EQ(total(line), 0) << "which has no table column: density 0";

    Set(FlameShape::kBirthWidth, 60.0f);
    long previous = LONG_MAX;
    for (float exponent : {0.2f, 0.5f, 1.0f, 2.0f, 5.0f}) {
        Set(FlameShape::kBirthThreshold, exponent);
        const long sum = total(Coverage(r, Particle(3)));
        EXPECT_LT(sum, previous) << "threshold " << exponent;
        previous = sum;
    }
}

TEST_F(Flame, TurnedFlameDropsThePixelsTurnedOutOfTheSquare) {
    Set(FlameShape::kBirthWidth, 100.0f);
    SetRotation(45.0);
    const int r = 16;
    const std::vector<int> turned = Coverage(r, Particle(2));
    EXPECT_FLOAT_EQ(shape->Rotation().Angle(), 45.0f);
    for (int y = -r; y <= r; ++y)
        for (int x = -r; x <= r; ++x) {
            int tx = x, ty = y;
            const bool kept = shape->Rotation().Rotate(tx, ty, r);
            EXPECT_EQ(turned[(y + r) * (2 * r + 1) + x + r] >= 0, kept) << x << ", " << y;
        }
    EXPECT_LT(turned[0], 0) << "a corner turns out of the square";
    EXPECT_LT(turned.back(), 0);

    // Turned by 90 degrees, the narrow flame lies across: the width limits rows, not columns.
    Set(FlameShape::kBirthWidth, 50.0f);
    SetRotation(90.0);
    const std::vector<int> across = Coverage(r, Particle(2));
    for (int y = -r; y <= r; ++y)
        for (int x = -r; x <= r; ++x)
            if (std::abs(std::abs(y) - r / 2) > 1) {  // away from the width's edge
                EXPECT_EQ(across[(y + r) * (2 * r + 1) + x + r] >= 0, std::abs(y) < r / 2)
                    << x << ", " << y;
            }
}

TEST_F(Flame, RowCallsGiveWhatThePixelCallGives) {
    const IShapeRows *rows = GetShapeRows(shape.get());
    ASSERT_NE(rows, nullptr);
    for (double degrees : {0.0, 30.0}) {
        SetRotation(degrees);
        const int r = 70;  // rows longer than one evaluated run
        const std::vector<int> pixels = Coverage(r, Particle(11));
        for (int y = r; y >= -r; --y)
            for (int x = -r, piece = 1; x <= r; x += piece, piece = piece * 3 % 97) {
                const int count = std::min(piece, r - x + 1);
                unsigned short d[97];
                unsigned char covered[97];
                rows->ParticleShapeRow(d, covered, r, x, y, 100 + x, 100 + y, count);
                for (int i = 0; i < count; ++i)
                    ASSERT_EQ(covered[i] ? d[i] : -1, pixels[(y + r) * (2 * r + 1) + x + i + r])
                        << degrees << "°, pixel " << x + i << ", " << y;
            }
    }
}

TEST_F(Flame, ControllersGiveTheParticlesQuantitiesAtItsAge) {
    shape->ParamBlock()->SetValue(FlameShape::kBirthWidth, 0, 20.0f);
    shape->ParamBlock()->SetValue(FlameShape::kDeathWidth, 0, 60.0f);
    shape->ParamBlock()->SetValue(FlameShape::kBirthMotion, 0, 0.0f);
    shape->ParamBlock()->SetValue(FlameShape::kDeathMotion, 0, 2.0f);
    ParticleInfo p = Particle(7, 0.25f);
    shape->__BeginParticle__(0.5f, 9, &p);
    EXPECT_FLOAT_EQ(shape->WidthFactor(), 0.7f);
    EXPECT_FLOAT_EQ(shape->Motion(), 0.5f);
    EXPECT_FLOAT_EQ(shape->NoiseSize(), 20.0f);
    EXPECT_FLOAT_EQ(shape->Phase(), 1.05f);
    EXPECT_FLOAT_EQ(shape->NoiseExponent(), 0.5f);
    EXPECT_EQ(shape->CoverageScale(), std::uint16_t(0.5f * 65535.0f));

    // Outside a frame, or without a radius, nothing is covered.
    unsigned short d = 0;
    for (int r : {0, -3}) {
        shape->__BeginParticle__(1.0f, r, &p);
        EXPECT_EQ(shape->__ParticleShape__(&d, r, 0, 0, 0, 0), 0);
    }
    shape->__BeginParticle__(1.0f, 9, &p);
    EXPECT_EQ(shape->__ParticleShape__(&d, 9, 0, 0, 0, 0), 1);
    shape->__EndFrame__(kFrame);
    EXPECT_EQ(shape->__ParticleShape__(&d, 9, 0, 0, 0, 0), 0);
}
