/// @file spark_shape_test.cpp
/// @brief The Spark shape: its stroke buffer against the box areas its strokes cover, the
///        direction it takes from the particle's velocity (through the renderer too), the
///        flicker, the odd sample counts, and its library record.
#include "plugins/standard/spark_shape.h"
#include "renderer/shader_filter.h"
#include "setup/helper.h"
#include "host/bitmap.h"
#include "host/inode.h"
#include "host/interface.h"
#include "host/messages.h"
#include "host/noise.h"
#include "host/particles.h"
#include "common/scripted_user_interface.h"
#include "standard_fixture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>

using namespace standardtest;

namespace {

constexpr int kR = 16;             // sprite radius of most tests
constexpr int kCentre = 64;        // where the test camera sees the world's z axis
constexpr float kDepth = -100.0f;  // one world unit is one pixel there

/// A particle system whose particles the test places.
class TestParticles : public ParticleObject {
public:
    Class_ID ClassID() override { return Class_ID(0x54505254, 0x53504B31); }
    void Update(TimeValue, INode *) override {}
    void Set(std::initializer_list<std::pair<Point3, Point3>> particles) {
        Resize(int(particles.size()));
        int i = 0;
        for (const auto &[position, velocity] : particles)
            SetParticle(i++, position, velocity, 100);
    }
};

/// A frame whose camera sits at the origin looking down −z, 100 pixels per unit at depth −1.
BitmapPtr Frame() {
    constexpr int side = 2 * kCentre;
    BitmapPtr frame(TheManager->Create(BitmapInfo(BMM_TRUE_64, MAP_HAS_ALPHA, side, side)));
    RenderInfo *ri = frame->Storage()->AllocRenderInfo();
    ri->kx = -100.0f;
    ri->ky = 100.0f;
    ri->xc = ri->yc = float(kCentre);
    return frame;
}

/// Particle `index` of `system` at the camera's centre, half way through its life.
ParticleInfo Particle(TestParticles *system, int index = 0) {
    ParticleInfo p;
    p.screenX = p.screenY = kCentre;
    p.position = Point3(0.0f, 0.0f, kDepth);
    p.lifeEnd = 4800;
    p.age = 2400;
    p.particles = system;
    p.particleIndex = index;
    return p;
}

/// The sprite that boxes give when every pixel (c, row), covering [c, c + 1) × [row, row + 1),
/// receives trunc(I × the area the box covers of it) / 255 of full scale, saturating.
class ExpectedSprite {
public:
    explicit ExpectedSprite(int r) : r_(r), e_((2 * r + 1) * (2 * r + 1)) {}
    void Box(double cx, double cy, double bw, double bh, int intensity) {
        const auto overlap = [](double lo, double hi, int pixel) {
            return std::max(0.0, std::min(hi, pixel + 1.0) - std::max(lo, double(pixel)));
        };
        for (int row = 0; row <= 2 * r_; ++row)
            for (int c = 0; c <= 2 * r_; ++c)
                e_[c + row * (2 * r_ + 1)] +=
                    int(intensity * overlap(cx - bw / 2, cx + bw / 2, c) *
                        overlap(cy - bh / 2, cy + bh / 2, row)) *
                    257;
    }
    int At(int c, int row) const { return std::min(e_[c + row * (2 * r_ + 1)], 65535); }

private:
    int r_;
    std::vector<int> e_;
};

class Spark : public ::testing::Test {
protected:
    void SetUp() override {
        shape = NewPlugIn<SparkShape>(SparkShape::kClassID);
        ASSERT_NE(shape, nullptr);
        system.reset(new TestParticles);
    }
    void TearDown() override {
        if (shape) shape->__EndFrame__(0);
    }
    void Set(int birth, float v) {
        shape->ParamBlock()->SetValue(birth, 0, v);
        shape->ParamBlock()->SetValue(birth + 1, 0, v);
    }
    /// Every pixel of the current particle's square: its coverage, or -1 where uncovered.
    std::vector<int> Pixels(int r = kR) {
        std::vector<int> out;
        for (int y = -r; y <= r; ++y)
            for (int x = -r; x <= r; ++x) {
                unsigned short d = 0;
                out.push_back(shape->__ParticleShape__(&d, r, x, y, x, y) ? d : -1);
            }
        return out;
    }

    Owned<SparkShape> shape;
    Owned<TestParticles> system;
};

// ---------------------------------------------------------------------------------------------
// The stroke buffer

enum class Motion { kResting, kTowardsCamera, kLevel, kPreview };

struct StrokeCase {
    Motion motion;
    float width;  ///< Width 50 makes strokes 4 … 20 pixels wide, 43 makes them 0.5 … 2.5
};

class SparkStrokes : public Spark, public ::testing::WithParamInterface<StrokeCase> {};

TEST_P(SparkStrokes, BufferIsTheSumOfTheStrokesBoxes) {
    const StrokeCase c = GetParam();
    Set(SparkShape::kBirthSample, 5.0f);
    Set(SparkShape::kBirthWidth, c.width);
    const Point3 velocity = c.motion == Motion::kLevel           ? Point3(3, 0, 0)
                            : c.motion == Motion::kTowardsCamera ? Point3(0, 0, 2)
                                                                 : Point3();
    system->Set({{Point3(0.0f, 0.0f, kDepth), velocity}});
    BitmapPtr frame = Frame();
    if (c.motion != Motion::kPreview) shape->__BeginFrame__(0, frame.get(), nullptr, nullptr);
    ParticleInfo p = Particle(c.motion == Motion::kPreview ? nullptr : system.get());
    shape->__BeginParticle__(0.5f, kR, &p);
    const std::vector<int> pixels = Pixels();

    // Five strokes: half-lengths a = 50, 37.5 … 0 (pixels at depth −100), widths growing by
    // r / (51 − Width) / 4, intensity 4 × (256 div 5) dimmed by w / (length + w).
    ExpectedSprite expected(kR);
    const double step = kR / (51.0 - c.width) / 4;
    for (int k = 0; k < 5; ++k) {
        const double w = step * (k + 1);
        double h = 0.0;  // half the stroke's length
        if (c.motion == Motion::kLevel) h = 50.0 - 12.5 * k;
        if (c.motion == Motion::kPreview) h = (50.0 - 12.5 * k) / 50.0 * kR;
        const int intensity = int(204 / ((2 * h + w) / w));
        if (c.motion == Motion::kPreview)
            expected.Box(kR, kR, w, 2 * h + w, intensity);
        else
            expected.Box(kR, kR, 2 * h + w, w, intensity);
    }
    for (int y = 0; y <= 2 * kR; ++y)
        for (int x = 0; x <= 2 * kR; ++x) {
            const int e = expected.At(x, y);
            ASSERT_EQ(shape->Sprite().At(x, y), e) << x << ", " << y;
            ASSERT_EQ(pixels[y * (2 * kR + 1) + x], e ? int((e * 32767u) >> 16) : -1)
                << x << ", " << y;
        }
    // Level strokes 100 pixels long leave the 33-pixel sprite: its row is lit edge to edge.
    if (c.motion == Motion::kLevel) {
        EXPECT_GT(shape->Sprite().At(0, kR), 0);
        EXPECT_GT(shape->Sprite().At(2 * kR - 1, kR), 0);
    }
}

std::string StrokeCaseName(const ::testing::TestParamInfo<StrokeCase> &info) {
    static constexpr const char *kMotions[] = {"Resting", "TowardsCamera", "Level", "Preview"};
    return std::string(kMotions[static_cast<int>(info.param.motion)]) + "Width" +
           std::to_string(static_cast<int>(info.param.width));
}

INSTANTIATE_TEST_SUITE_P(
    Motions, SparkStrokes,
    ::testing::Values(StrokeCase{Motion::kResting, 50}, StrokeCase{Motion::kResting, 43},
                      StrokeCase{Motion::kTowardsCamera, 50}, StrokeCase{Motion::kLevel, 50},
                      StrokeCase{Motion::kLevel, 43}, StrokeCase{Motion::kPreview, 50},
                      StrokeCase{Motion::kPreview, 43}),
    StrokeCaseName);

TEST(SparkSprite, StrokeFarBeyondTheSpriteIsCutAtItsEdges) {
    // So long that only a walk cut to the sprite ends: along x, and along y backwards.
    SparkSprite sprite;
    for (const auto &[dx, dy] : {std::pair(1.0, 0.5), std::pair(-0.3, -1.0)}) {
        const double n = std::hypot(dx, dy), ux = 1e7 * dx / n, uy = 1e7 * dy / n;
        sprite.Reset(kR);
        sprite.Stroke(kR - ux, kR - uy, kR + ux, kR + uy, 3.0, 1 << 30);
        int lo = 2 * kR, hi = 0;  // the lit pixels' extent along the longer axis
        for (int y = 0; y <= 2 * kR; ++y)
            for (int x = 0; x <= 2 * kR; ++x) {
                if (!sprite.At(x, y)) continue;
                // Within half the width, and a pixel and a half, of the line.
                EXPECT_LE(std::fabs((x + 0.5 - kR) * dy - (y + 0.5 - kR) * dx) / n, 3.0)
                    << x << ", " << y;
                lo = std::min(lo, std::fabs(dx) > std::fabs(dy) ? x : y);
                hi = std::max(hi, std::fabs(dx) > std::fabs(dy) ? x : y);
            }
        EXPECT_EQ(lo, 0);
        EXPECT_EQ(hi, 2 * kR);
    }
}

TEST(SparkSprite, SlantedStrokeIsWalkedStepByStepWithItsCapsDimmed) {
    // From (2, 2) to (10, 6), width 1.5, intensity 200, dimmed by its length to
    // trunc(200 / ((√80 + 1.5) / 1.5)) = 28. Along x with slope 0.5: the first cap at
    // round(2 − 0.75) = 1, y 1.5, intensity trunc(28 × 0.75) = 21; the last one at
    // trunc(10.75) + 0.5, y 6.25, intensity trunc(28 × 0.75) = 21; eight steps of 28 between,
    // at x = 2 … 9, y = 2 … 5.5.
    const struct {
        int x, y, deposit;
    } pixels[] = {
        {0, 1, 10},       // first cap: 21 × ½ × 1
        {1, 1, 10 + 10},  // first cap, and the step at x 2: trunc(28 × ½ × ¾)
        {10, 6, 21},      // last cap: 21 × 1 × 1
        {10, 5, 10},      // last cap: 21 × 1 × ½
        {9, 6, 3},        // the step at x 9: 28 × ½ × ¼
        {11, 6, 0},       // the last cap ends at 11
    };
    SparkSprite sprite;
    for (bool upright : {false, true}) {  // the same stroke mirrored onto the y axis
        for (bool backwards : {false, true}) {
            sprite.Reset(8);
            double x0 = 2, y0 = 2, x1 = 10, y1 = 6;
            if (upright) std::swap(x0, y0), std::swap(x1, y1);
            if (backwards) std::swap(x0, x1), std::swap(y0, y1);
            sprite.Stroke(x0, y0, x1, y1, 1.5, 200);
            for (const auto &p : pixels)
                EXPECT_EQ(upright ? sprite.At(p.y, p.x) : sprite.At(p.x, p.y), p.deposit * 257)
                    << p.x << ", " << p.y << (upright ? " upright" : "")
                    << (backwards ? " backwards" : "");
        }
    }
}

// ---------------------------------------------------------------------------------------------
// Per-particle quantities

TEST_F(Spark, FlickerDimsOnlyWhereTheNoiseIsNotPositive) {
    Set(SparkShape::kBirthSample, 5.0f);
    Set(SparkShape::kBirthSpeed, 1.3f);
    int dimmed = 0, kept = 0;
    for (float amount : {0.0f, 60.0f}) {
        Set(SparkShape::kBirthAmount, amount);
        for (int index = 0; index < 40; ++index) {
            ParticleInfo p = Particle(nullptr, index);
            shape->__BeginParticle__(1.0f, kR, &p);
            const double n = noise2(Point2(0.5f * 1.3f, float(index)));
            const double g = n > 0.0 ? 0.0 : n + 1.0;
            EXPECT_EQ(shape->BaseIntensity(), int(204 - 204 * (amount / 100.0 * g))) << index;
            (shape->BaseIntensity() < 204 ? dimmed : kept) += amount > 0;
        }
    }
    EXPECT_GT(dimmed, 5);
    EXPECT_GT(kept, 5);
}

TEST_F(Spark, OddSampleCountsDrawSoundly) {
    Set(SparkShape::kBirthWidth, 43.0f);  // r / 8 = 2 pixels for a single stroke
    // One sample: a single full-length stroke of the widest width, not a division by zero.
    for (float samples : {1.0f, 0.0f, -3.0f}) {
        Set(SparkShape::kBirthSample, samples);
        ParticleInfo p = Particle(nullptr);
        shape->__BeginParticle__(1.0f, kR, &p);
        ExpectedSprite expected(kR);
        expected.Box(kR, kR, 2.0, 2 * kR + 2.0, int(1024 * 2.0 / (2 * kR + 2.0)));
        for (int y = 0; y <= 2 * kR; ++y)
            for (int x = 0; x <= 2 * kR; ++x)
                ASSERT_EQ(shape->Sprite().At(x, y), expected.At(x, y)) << samples;
    }
    // More samples than intensity steps leave nothing to draw.
    Set(SparkShape::kBirthSample, 300.0f);
    ParticleInfo p = Particle(nullptr);
    shape->__BeginParticle__(1.0f, kR, &p);
    for (int v : Pixels()) EXPECT_EQ(v, -1);
}

// ---------------------------------------------------------------------------------------------
// Where the direction comes from

TEST_F(Spark, CollectedParticlesKeepTheirDirectionUntilTheFrameEnds) {
    // Two systems share particle index 0; the renderer hands particles over without their
    // systems.
    Set(SparkShape::kBirthSample, 5.0f);
    Set(SparkShape::kBirthWidth, 50.0f);
    Owned<TestParticles> other(new TestParticles);
    system->Set({{Point3(0.0f, 0.0f, kDepth), Point3(1, 0, 0)}});
    other->Set({{Point3(0.2f, 0.0f, kDepth), Point3(0, 1, 0)}});
    BitmapPtr frame = Frame();
    const auto sprite = [&](TestParticles *s, float x) {
        ParticleInfo p = Particle(s);
        p.position.x = x;
        shape->__BeginParticle__(1.0f, kR, &p);
        return Pixels();
    };
    shape->__BeginFrame__(0, frame.get(), nullptr, nullptr);
    const std::vector<int> level = sprite(system.get(), 0.0f);
    const std::vector<int> upright = sprite(other.get(), 0.2f);
    ASSERT_NE(level, upright);
    shape->__EndFrame__(0);

    for (TestParticles *s : {system.get(), other.get()}) {
        ParticleInfo p = Particle(s);
        shape->__EnumParticle__(&p, s, 0);
    }
    ParticleInfo projected = Particle(nullptr);
    shape->__EnumParticle__(&projected, nullptr, -1);
    shape->__BeginFrame__(0, frame.get(), nullptr, nullptr);
    EXPECT_EQ(sprite(nullptr, 0.0f), level);
    EXPECT_EQ(sprite(nullptr, 0.2f), upright);
    shape->__EndFrame__(0);
    // The frame is over: no camera and nothing collected, so the preview's upright streak.
    shape->__RollUpPreviewBegin__(nullptr, 1.0f, kR, &projected);
    const std::vector<int> preview = Pixels();
    EXPECT_GE(preview[(kR - 12) * (2 * kR + 1) + kR], 0);
    EXPECT_EQ(preview[kR * (2 * kR + 1) + kR - 12], -1);
    shape->__RollUpPreviewEnd__();
    EXPECT_EQ(Pixels(), std::vector<int>((2 * kR + 1) * (2 * kR + 1), -1));
}

TEST_F(Spark, RenderedSparksStreakAlongTheirVelocity) {
    GetCOREInterface()->ResetScene();
    auto *helper = dynamic_cast<NimbraHelper *>(
        static_cast<Animatable *>(CreateInstance(HELPER_CLASS_ID, kNimbraHelperClassID)));
    ASSERT_NE(helper, nullptr);
    GetCOREInterface()->CreateObjectNode(helper);
    ASSERT_TRUE(helper->SelectPlugInClass(SparkShape::kClassID));
    auto *spark = dynamic_cast<SparkShape *>(helper->Shape());
    ASSERT_NE(spark, nullptr);
    spark->ParamBlock()->SetValue(SparkShape::kBirthWidth, 0, 50.0f);
    spark->ParamBlock()->SetValue(SparkShape::kDeathWidth, 0, 50.0f);
    for (int i : {NimbraHelper::kBirthSize, NimbraHelper::kDeathSize})
        helper->AgeBlock()->SetValue(i, 0, kR - 1.5f);
    for (int i : {NimbraHelper::kBirthTrans, NimbraHelper::kDeathTrans})
        helper->AgeBlock()->SetValue(i, 0, 1.0f);
    auto *particles = new TestParticles;
    ASSERT_TRUE(helper->AddParticleSystem(GetCOREInterface()->CreateObjectNode(particles)));

    for (const Point3 velocity : {Point3(5, 0, 0), Point3(0, 5, 0)}) {
        particles->Set({{Point3(0.0f, 0.0f, kDepth), velocity}});
        BitmapPtr frame = Frame();
        NimbraShaderFilter filter;
        filter.SetSourceMap(frame.get());
        ASSERT_TRUE(filter.Render(nullptr));
        const auto lit = [&](int dx, int dy) {
            return frame->Pixel(kCentre + dx, kCentre + dy).a > 0;
        };
        const bool level = velocity.x != 0.0f;
        EXPECT_EQ(lit(-14, 0), level);
        EXPECT_EQ(lit(14, 0), level);
        EXPECT_EQ(lit(0, -14), !level);
        EXPECT_EQ(lit(0, 14), !level);
    }
    GetCOREInterface()->ResetScene();
}

TEST_F(Spark, FrameWithoutRenderInformationIsTheHostsAssertion) {
    ScriptedUserInterface ui;
    BitmapPtr plain(TheManager->Create(BitmapInfo(BMM_TRUE_64, MAP_HAS_ALPHA, 8, 8)));
    EXPECT_THROW(shape->__BeginFrame__(0, plain.get(), nullptr, nullptr), HostAssertion);
    EXPECT_THROW(shape->__BeginFrame__(0, nullptr, nullptr, nullptr), HostAssertion);
    EXPECT_EQ(ui.MessagesTitled("Assertion failed").size(), 2u);
}

// ---------------------------------------------------------------------------------------------
// Set-up and library record

TEST_F(Spark, ControllersAndEditorsAreNamedAsTheRollUpShowsThem) {
    const char *const subs[] = {"Parameters", "Samples", "Width", "Flicker Amount",
                                "Flicker Speed"};
    const char *const editors[] = {"Samples", "Width", "Flicker", "Speed"};
    ASSERT_EQ(shape->NumSubs(), 5);
    ICustButton button;
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(shape->SubAnimName(i), subs[i]);
        if (i == 0) continue;
        auto *c = dynamic_cast<DefaultController *>(shape->GetController(i - 1));
        ASSERT_NE(c, nullptr);
        shape->ControllerButtonReleased(i - 1, true, &button);
        EXPECT_EQ(c->EditorTitle(), std::string("IPC - ") + editors[i - 1]);
    }
    shape->EndControllerEditors();
}

TEST_F(Spark, LibraryRecordIsTheVersionBlockAndEightFloatsAndRefusesOtherVersions) {
    for (int i = 0; i < SparkShape::kParams; ++i)
        shape->ParamBlock()->SetValue(i, 0, 5.5f + 3.0f * i);
    LibraryFile file;
    ASSERT_EQ(shape->LibrarySave(file.io()), 1);
    const std::vector<std::uint8_t> bytes = file.Bytes();
    ASSERT_EQ(bytes.size(), 40u);
    EXPECT_EQ(U16At(bytes, 0), 256);
    for (int i = 2; i < 8; ++i) EXPECT_EQ(bytes[i], 0);
    for (int i = 0; i < 8; ++i) EXPECT_EQ(FloatAt(bytes, 8 + 4 * i), 5.5f + 3.0f * i);

    auto loaded = NewPlugIn<SparkShape>(SparkShape::kClassID);
    const auto values = [](SparkShape &s) {
        std::vector<float> v(SparkShape::kParams);
        for (int i = 0; i < SparkShape::kParams; ++i) s.ParamBlock()->GetValue(i, 0, v[i]);
        return v;
    };
    const std::vector<float> defaults = values(*loaded);
    EXPECT_EQ(defaults, (std::vector<float>{20, 20, 40, 40, 0, 0, 1, 1}));
    std::vector<std::uint8_t> other = bytes;
    other[0] = 1;  // version 257
    file.Replace(other);
    EXPECT_EQ(loaded->LibraryLoad(file.io()), 0);
    EXPECT_EQ(values(*loaded), defaults);
    file.Replace(bytes);
    ASSERT_EQ(loaded->LibraryLoad(file.io()), 1);
    EXPECT_EQ(values(*loaded), values(*shape));
}

}  // namespace
