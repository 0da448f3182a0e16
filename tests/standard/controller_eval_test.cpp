/// @file controller_eval_test.cpp
/// @brief Evaluation of the default controller: the four interpolation curves, the result
///        conversions of each overload, per-particle variation and variation by age.
#include "standard_fixture.h"
#include "host/noise.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace standardtest;

namespace {

using ControllerEval = ControllerTest;

constexpr int kLife = 4800;  // one second of ticks

/// Sets Value 1 and Value 2 and the interpolation mode.
void SetCurve(DefaultController *c, int mode, float value1, float value2) {
    c->InterpolationBlock()->SetValue(DefaultController::kValue1, 0, value1);
    c->InterpolationBlock()->SetValue(DefaultController::kValue2, 0, value2);
    ASSERT_TRUE(c->SetInterpolation(mode));
}

float EvalFloat(DefaultController *c, int t, float birth, float death) {
    float out = -12345.0f;
    c->__Eval__(&out, t, birth, death);
    return out;
}

int EvalInt(DefaultController *c, int t, int birth, int death) {
    int out = -12345;
    c->__Eval__(&out, t, birth, death);
    return out;
}

BMM_Color_64 EvalColor(DefaultController *c, int t, BMM_Color_64 birth, BMM_Color_64 death,
                       BMM_Color_64 before = {1, 2, 3, 4}) {
    BMM_Color_64 out = before;
    c->__Eval__(&out, t, birth, death);
    return out;
}

}  // namespace

TEST_F(ControllerEval, DefaultsGiveTheStraightLineFromBirthToDeath) {
    c->__Reset__(0, 100, 100 + kLife, 7);
    EXPECT_EQ(EvalFloat(c, 100, 10.0f, 50.0f), 10.0f);
    EXPECT_EQ(EvalFloat(c, 100 + kLife, 10.0f, 50.0f), 50.0f);
    for (int t = 100; t <= 100 + kLife; t += 240) {
        const float g = (t - 100) / float(kLife);
        EXPECT_NEAR(EvalFloat(c, t, 10.0f, 50.0f), 10.0f + 40.0f * g, 1e-4f) << "t " << t;
    }
    // Values keyed over time are read at the reset's time.
    c->InterpolationBlock()->SetKey(DefaultController::kValue1, 0, 0.0f);
    c->InterpolationBlock()->SetKey(DefaultController::kValue1, 4800, 1.0f);
    c->__Reset__(2400, 0, kLife, 0);
    EXPECT_FLOAT_EQ(c->State().value1, 0.5f);
}

TEST_F(ControllerEval, StepSwitchesExactlyAtValueOneOfTheLife) {
    SetCurve(c, kStep, 0.5f, 1.0f);
    c->__Reset__(0, 1000, 1000 + kLife, 0);
    EXPECT_EQ(EvalFloat(c, 1000, 3.0f, 9.0f), 3.0f);
    EXPECT_EQ(EvalFloat(c, 1000 + kLife / 2 - 1, 3.0f, 9.0f), 3.0f);
    EXPECT_EQ(EvalFloat(c, 1000 + kLife / 2, 3.0f, 9.0f), 9.0f);  // strict comparison
    EXPECT_EQ(EvalInt(c, 1000 + kLife / 2 - 1, -4, 8), -4);
    EXPECT_EQ(EvalInt(c, 1000 + kLife / 2, -4, 8), 8);

    // The step's values are copied whole: colours with their alpha, points untruncated.
    const BMM_Color_64 birth{100, 200, 300, 7}, death{400, 500, 600, 9};
    EXPECT_EQ(EvalColor(c, 1000, birth, death), birth);
    EXPECT_EQ(EvalColor(c, 1000 + kLife, birth, death), death);
    Point3 p;
    c->__Eval__(&p, 1000, Point3(0.7f, -3.25f, 1e6f), Point3(0, 0, 0));
    EXPECT_EQ(p, Point3(0.7f, -3.25f, 1e6f));
}

TEST_F(ControllerEval, SmoothStepBlendsBetweenValueOneAndValueTwo) {
    SetCurve(c, kSmoothStep, 0.25f, 0.75f);
    c->__Reset__(0, 0, kLife, 0);
    EXPECT_EQ(EvalFloat(c, 1199, 10.0f, 20.0f), 10.0f);
    EXPECT_EQ(EvalFloat(c, 1200, 10.0f, 20.0f), 10.0f);  // s = 0 at Value 1
    EXPECT_FLOAT_EQ(EvalFloat(c, 2400, 10.0f, 20.0f), 15.0f);
    EXPECT_FLOAT_EQ(EvalFloat(c, 1800, 10.0f, 20.0f), 10.0f + 10.0f * 0.15625f);  // s = 1/4
    EXPECT_FLOAT_EQ(EvalFloat(c, 3000, 10.0f, 20.0f), 10.0f + 10.0f * 0.84375f);  // s = 3/4
    // The death value itself from Value 2 on: copied whole, alpha included.
    const BMM_Color_64 birth{0, 0, 0, 1}, death{60000, 60000, 60000, 2};
    EXPECT_EQ(EvalColor(c, 3600, birth, death), death);
    EXPECT_EQ(EvalColor(c, kLife, birth, death), death);
    // Rising smoothly and monotonically in between.
    float last = 10.0f;
    for (int t = 1200; t <= 3600; t += 40) {
        const float v = EvalFloat(c, t, 10.0f, 20.0f);
        EXPECT_GE(v, last) << "t " << t;
        last = v;
    }
}

TEST_F(ControllerEval, ClampSwitchesToTheDeathValueOnlyAboveValueTwo) {
    SetCurve(c, kClamp, 0.25f, 0.75f);
    c->__Reset__(0, 0, kLife, 0);
    EXPECT_EQ(EvalFloat(c, 1199, 10.0f, 20.0f), 10.0f);
    EXPECT_FLOAT_EQ(EvalFloat(c, 2400, 10.0f, 20.0f), 15.0f);
    EXPECT_FLOAT_EQ(EvalFloat(c, 1800, 10.0f, 20.0f), 12.5f);  // straight, not smooth
    EXPECT_FLOAT_EQ(EvalFloat(c, 3600, 10.0f, 20.0f), 20.0f);
    // At Value 2 the colour is still blended (the output's alpha stays); above, copied.
    const BMM_Color_64 birth{0, 0, 0, 1}, death{60000, 30000, 0, 2};
    const BMM_Color_64 atValue2 = EvalColor(c, 3600, birth, death, {9, 9, 9, 77});
    EXPECT_EQ(atValue2, (BMM_Color_64{60000, 30000, 0, 77}));
    EXPECT_EQ(EvalColor(c, 3601, birth, death), death);
}

TEST_F(ControllerEval, ClampWithEqualValuesStaysAtTheBirthValueAtThatPoint) {
    SetCurve(c, kClamp, 0.5f, 0.5f);
    c->__Reset__(0, 0, kLife, 0);
    EXPECT_EQ(EvalFloat(c, 2399, 10.0f, 20.0f), 10.0f);
    EXPECT_EQ(EvalFloat(c, 2400, 10.0f, 20.0f), 10.0f);  // a number, not 0/0
    EXPECT_EQ(EvalInt(c, 2400, 10, 20), 10);
    EXPECT_EQ(EvalFloat(c, 2401, 10.0f, 20.0f), 20.0f);
}

TEST_F(ControllerEval, PointOverloadsTruncateComputedComponentsToSixteenBits) {
    c->__Reset__(0, 0, kLife, 0);
    Point2 p2(-1, -1);
    c->__Eval__(&p2, 0, Point2(-1.5f, 70000.7f), Point2(-1.5f, 70000.7f));
    EXPECT_EQ(p2, Point2(65535.0f, 70000.0f - 65536.0f));  // −1 and 70000 in their low bits
    Point3 p3(-1, -1, -1);
    c->__Eval__(&p3, 2400, Point3(0.0f, 10.0f, 100.0f), Point3(3.0f, 20.0f, 0.0f));
    EXPECT_EQ(p3, Point3(1.0f, 15.0f, 50.0f));  // 1.5 truncated to 1

    // Clamp: the Point2 overload computes it, the Point3 overload writes nothing.
    SetCurve(c, kClamp, 0.25f, 0.75f);
    c->__Reset__(0, 0, kLife, 0);
    p2 = Point2(-7, -7);
    c->__Eval__(&p2, 2400, Point2(0.0f, 0.0f), Point2(10.0f, 100.0f));
    EXPECT_EQ(p2, Point2(5.0f, 50.0f));
    p3 = Point3(-7, -7, -7);
    for (int t : {0, 2400, kLife}) {
        c->__Eval__(&p3, t, Point3(0.0f, 0.0f, 0.0f), Point3(10.0f, 10.0f, 10.0f));
        EXPECT_EQ(p3, Point3(-7, -7, -7)) << "t " << t;
    }
}

TEST_F(ControllerEval, IntegerResultsTruncateTowardZero) {
    c->__Reset__(0, 0, 100, 0);
    EXPECT_EQ(EvalInt(c, 55, 0, 10), 5);    // 5.5
    EXPECT_EQ(EvalInt(c, 55, 0, -10), -5);  // −5.5
    EXPECT_EQ(EvalInt(c, 99, 0, 10), 9);    // 9.9
    // Far outside the life the line saturates instead of overflowing.
    EXPECT_EQ(EvalInt(c, 2000000000, 0, 2000000000), INT_MAX);
}

TEST_F(ControllerEval, ColorBlendsChannelsAndLeavesTheOutputsAlpha) {
    c->__Reset__(0, 0, kLife, 0);
    const BMM_Color_64 out =
        EvalColor(c, 1200, {0, 40000, 65535, 100}, {4000, 0, 65535, 200}, {5, 5, 5, 999});
    EXPECT_EQ(out, (BMM_Color_64{1000, 30000, 65535, 999}));
}

TEST_F(ControllerEval, PulseAndOtherWriteNothing) {
    for (int mode : {kPulse, kOther}) {
        SetCurve(c, mode, 0.25f, 0.75f);
        c->__Reset__(0, 0, kLife, 0);
        for (int t : {0, 2400, kLife}) {
            EXPECT_EQ(EvalFloat(c, t, 1.0f, 2.0f), -12345.0f);
            EXPECT_EQ(EvalInt(c, t, 1, 2), -12345);
            EXPECT_EQ(EvalColor(c, t, {1, 1, 1, 1}, {2, 2, 2, 2}), (BMM_Color_64{1, 2, 3, 4}));
            Point2 p2(-3, -3);
            c->__Eval__(&p2, t, Point2(1, 1), Point2(2, 2));
            EXPECT_EQ(p2, Point2(-3, -3));
        }
    }
}

// A particle whose death time equals its birth time counts as at the end of its life from its
// birth on, and every result lies within the birth and death values.
TEST_F(ControllerEval, EqualBirthAndDeathTimesGiveTheDeathValueFromBirthOn) {
    for (int mode : {kInterpolate, kStep, kSmoothStep, kClamp}) {
        SetCurve(c, mode, 0.25f, 0.75f);
        c->__Reset__(0, 500, 500, 3);
        EXPECT_EQ(EvalFloat(c, 499, 10.0f, 20.0f), 10.0f) << kInterpolationNames[mode];
        EXPECT_EQ(EvalFloat(c, 500, 10.0f, 20.0f), 20.0f) << kInterpolationNames[mode];
        EXPECT_EQ(EvalFloat(c, 501, 10.0f, 20.0f), 20.0f) << kInterpolationNames[mode];
        EXPECT_EQ(EvalInt(c, 500, 10, 20), 20) << kInterpolationNames[mode];
        const BMM_Color_64 color = EvalColor(c, 500, {0, 0, 0, 0}, {100, 100, 100, 100});
        EXPECT_EQ(color.r, 100) << kInterpolationNames[mode];
    }
    // Value 2 beyond the end of the life: the blend stays between the two values.
    SetCurve(c, kSmoothStep, 0.5f, 2.0f);
    c->__Reset__(0, 500, 500, 3);
    const float v = EvalFloat(c, 500, 10.0f, 20.0f);
    EXPECT_GE(v, 10.0f);
    EXPECT_LE(v, 20.0f);
}

TEST_F(ControllerEval, StrengthOneHundredPutsParticlesAtTheEndsOfTheirVariation) {
    c->__SetupFloat__(0.0f, 1000.0f, 1.0f);
    IParamBlock *pb = c->VariationBlock();
    pb->SetValue(DefaultController::kBirthVariation, 0, 100.0f);
    pb->SetValue(DefaultController::kDeathVariation, 0, 200.0f);
    c->SetUseVariation(true);

    auto atEnds = [&](float strength) {
        pb->SetValue(DefaultController::kVariationStrength, 0, strength);
        int ends = 0, low = 0, high = 0;
        for (int i = 1; i <= 200; ++i) {
            c->__Reset__(0, 0, kLife, i);
            const float birth = EvalFloat(c, 0, 10.0f, 20.0f);
            const float death = EvalFloat(c, kLife, 10.0f, 20.0f);
            // One weight per particle: the same share of both variations.
            EXPECT_NEAR((birth - 10.0f) / 100.0f, (death - 20.0f) / 200.0f, 1e-5f);
            EXPECT_GE(birth, 10.0f);
            EXPECT_LE(birth, 110.0f);
            low += birth == 10.0f;
            high += birth == 110.0f;
        }
        ends = low + high;
        if (strength > 1.0f) {
            EXPECT_GT(low, 0);
            EXPECT_GT(high, 0);
        }
        return ends;
    };
    EXPECT_GE(atEnds(100.0f), 190);  // "almost every particle"
    EXPECT_LE(atEnds(1.0f), 10);     // a spread of weights

    // The variation never leaves the controller's range.
    c->__SetupFloat__(0.0f, 50.0f, 1.0f);
    c->VariationBlock()->SetValue(DefaultController::kBirthVariation, 0, 100.0f);
    c->VariationBlock()->SetValue(DefaultController::kVariationStrength, 0, 100.0f);
    for (int i = 1; i <= 50; ++i) {
        c->__Reset__(0, 0, kLife, i);
        EXPECT_LE(EvalFloat(c, 0, 10.0f, 20.0f), 50.0f);
    }
}

TEST_F(ControllerEval, VariationAppliesOnlyToTheKindsOverload) {
    c->__SetupInt__(0, 1000);
    c->VariationBlock()->SetValue(DefaultController::kBirthVariation, 0, 500);
    c->VariationBlock()->SetValue(DefaultController::kNoiseSeed, 0, 7);
    c->SetUseVariation(true);
    for (int i = 1; i <= 20; ++i) {
        c->__Reset__(0, 0, kLife, i);
        EXPECT_EQ(EvalFloat(c, 0, 10.0f, 20.0f), 10.0f);  // a float on an integer controller
        EXPECT_EQ(EvalFloat(c, kLife, 10.0f, 20.0f), 20.0f);
    }
}

TEST_F(ControllerEval, SeedZeroSwitchesTheAgeNoiseOff) {
    c->__SetupFloat__(-1000.0f, 1000.0f, 1.0f);
    IParamBlock *pb = c->VariationBlock();
    pb->SetValue(DefaultController::kNoiseFrequency, 0, 50.0f);
    pb->SetValue(DefaultController::kNoiseStrength, 0, 100.0f);
    pb->SetValue(DefaultController::kFractalNoise, 0, 1);
    pb->SetValue(DefaultController::kNoiseRoughness, 0, 0.5f);

    int changed = 0;
    for (int seed : {0, 5}) {
        pb->SetValue(DefaultController::kNoiseSeed, 0, seed);
        for (int i = 1; i <= 10; ++i) {
            c->__Reset__(0, 0, kLife, i);
            for (int t = 0; t <= kLife; t += 480) {
                const float line = 10.0f + 10.0f * (t / float(kLife));
                const float v = EvalFloat(c, t, 10.0f, 20.0f);
                if (seed == 0) {
                    EXPECT_NEAR(v, line, 1e-4f) << "particle " << i << " t " << t;
                } else {
                    changed += std::fabs(v - line) > 1e-3f;
                    EXPECT_GE(v, -1000.0f);
                    EXPECT_LE(v, 1000.0f);
                }
            }
        }
    }
    EXPECT_GT(changed, 50);  // with a seed the noise moves most samples
}

TEST_F(ControllerEval, AgeNoiseIsFixedPerParticleAndFractalDiffersFromPlain) {
    c->__SetupFloat__(-1000.0f, 1000.0f, 1.0f);
    IParamBlock *pb = c->VariationBlock();
    pb->SetValue(DefaultController::kNoiseSeed, 0, 3);
    pb->SetValue(DefaultController::kNoiseFrequency, 0, 20.0f);
    pb->SetValue(DefaultController::kNoiseRoughness, 0, 0.3f);
    auto samples = [&](int particle) {
        std::vector<float> v;
        c->__Reset__(0, 0, kLife, particle);
        for (int t = 0; t <= kLife; t += 300) v.push_back(EvalFloat(c, t, 10.0f, 20.0f));
        return v;
    };
    const std::vector<float> plain = samples(4);
    EXPECT_EQ(samples(4), plain);  // the same particle gets the same noise
    EXPECT_NE(samples(5), plain);
    pb->SetValue(DefaultController::kFractalNoise, 0, 1);
    EXPECT_NE(samples(4), plain);
}

TEST_F(ControllerEval, IntegerResultsStayWithinTheRangeOnceAVariationApplied) {
    c->__SetupInt__(2, 40);
    IParamBlock *pb = c->VariationBlock();
    pb->SetValue(DefaultController::kBirthVariation, 0, 1000);
    pb->SetValue(DefaultController::kDeathVariation, 0, -1000);
    pb->SetValue(DefaultController::kVariationStrength, 0, 100.0f);
    pb->SetValue(DefaultController::kNoiseSeed, 0, 11);
    pb->SetValue(DefaultController::kNoiseStrength, 0, 100.0f);
    pb->SetValue(DefaultController::kNoiseFrequency, 0, 30.0f);
    bool sawLow = false, sawHigh = false;
    for (bool perParticle : {true, false}) {
        c->SetUseVariation(perParticle);
        for (int i = 1; i <= 60; ++i) {
            c->__Reset__(0, 0, kLife, i);
            for (int t = 0; t <= kLife; t += 600) {
                const int v = EvalInt(c, t, 10, 30);
                EXPECT_GE(v, 2);
                EXPECT_LE(v, 40);
                sawLow |= v == 2;
                sawHigh |= v == 40;
            }
        }
    }
    EXPECT_TRUE(sawLow && sawHigh);  // the variations reach the bounds and stop there

    // Without a variation nothing is clamped.
    pb->SetValue(DefaultController::kNoiseSeed, 0, 0);
    c->SetUseVariation(false);
    c->__Reset__(0, 0, kLife, 1);
    EXPECT_EQ(EvalInt(c, 0, 100, 300), 100);
    EXPECT_EQ(EvalInt(c, kLife, -100, -300), -300);
}

TEST_F(ControllerEval, ColorVariationMovesTowardsTheVariantColors) {
    c->__SetupColor__(Color(1.0f, 0.5f, 0.0f), Color(0.0f, 0.0f, 1.0f), FALSE);
    SetCurve(c, kStep, 0.5f, 1.0f);  // the (varied) values themselves
    c->SetUseVariation(true);
    const BMM_Color_64 birth{0, 0, 40000, 11}, death{65535, 65535, 0, 22};
    int varied = 0;
    for (int i = 1; i <= 40; ++i) {
        c->__Reset__(0, 0, kLife, i);
        const BMM_Color_64 b = EvalColor(c, 0, birth, death);
        const BMM_Color_64 d = EvalColor(c, kLife, birth, death);
        EXPECT_EQ(b.a, 11);  // alpha is not varied
        EXPECT_EQ(d.a, 22);
        // Every channel of both colours moved the same share w of the way to its variant
        // (birth variant (65535, 32767, 0), death variant (0, 0, 65535)).
        const float w = b.r / 65535.0f;
        EXPECT_NEAR(b.g / 32767.0f, w, 1e-4f);
        EXPECT_NEAR(1.0f - b.b / 40000.0f, w, 1e-4f);
        EXPECT_NEAR(1.0f - d.r / 65535.0f, w, 1e-4f);
        EXPECT_NEAR(d.b / 65535.0f, w, 1e-4f);
        varied += std::fabs(w - 0.5f) > 0.01f;
    }
    EXPECT_GT(varied, 20);

    // Age noise pushes at most as far as the variant colour, and is limited by nothing the
    // other way (the channels then stop at 0).
    c->SetUseVariation(false);
    c->VariationBlock()->SetValue(DefaultController::kNoiseSeed, 0, 9);
    c->VariationBlock()->SetValue(DefaultController::kNoiseStrength, 0, 100.0f);
    c->VariationBlock()->SetValue(DefaultController::kNoiseFrequency, 0, 30.0f);
    c->VariationBlock()->SetValue(DefaultController::kBirthVariation, 0,
                                  Color(0.5f, 0.5f, 0.5f));
    bool moved = false, atZero = false;
    for (int i = 1; i <= 40; ++i) {
        c->__Reset__(0, 0, kLife, i);
        for (int t = 0; t < kLife / 2; t += 300) {
            const BMM_Color_64 b = EvalColor(c, t, {0, 0, 0, 5}, {0, 0, 0, 5});
            EXPECT_LE(b.r, 32767);
            moved |= b.r > 0;
            atZero |= b.r == 0;
        }
    }
    EXPECT_TRUE(moved && atZero);
}

TEST_F(ControllerEval, GraphModeSkipsBothVariations) {
    c->__SetupFloat__(-1000.0f, 1000.0f, 1.0f);
    c->VariationBlock()->SetValue(DefaultController::kBirthVariation, 0, 300.0f);
    c->VariationBlock()->SetValue(DefaultController::kNoiseSeed, 0, 4);
    c->SetUseVariation(true);
    c->SetGraphMode(true);
    c->__Reset__(0, 0, kLife, 3);
    EXPECT_EQ(EvalFloat(c, 0, 10.0f, 20.0f), 10.0f);
    EXPECT_FLOAT_EQ(EvalFloat(c, 2400, 10.0f, 20.0f), 15.0f);
    c->SetGraphMode(false);
    EXPECT_NE(EvalFloat(c, 0, 10.0f, 20.0f), 10.0f);
}

namespace {

// The noise the controller adds, recomputed from its formula with the host's noise: particle
// i has the phase i × 3.478353; the per-particle weight is (noise1(phase) + 1) / 2 at
// strength 1; the age noise at t is noise1(n), or fBm1(n, 1 − roughness, 2, 6) when fractal,
// with n = t × 0.005 × (frequency × 0.1) + seed + phase.
constexpr float kPhaseStep = 3.478353f;

struct AgeNoiseCase {
    bool fractal;
    float roughness;
};

class ControllerAgeNoise : public ControllerTest,
                           public ::testing::WithParamInterface<AgeNoiseCase> {};

}  // namespace

TEST_F(ControllerEval, PerParticleWeightIsNoiseAtTheParticlesPhase) {
    c->__SetupFloat__(-10.0f, 10.0f, 1.0f);
    c->VariationBlock()->SetValue(DefaultController::kBirthVariation, 0, 2.0f);
    c->SetUseVariation(true);
    SetCurve(c, kStep, 1.0f, 1.0f);  // the (varied) birth value over the whole life
    for (int particle : {1, 2, 7, 1000, 65535}) {
        c->__Reset__(0, 0, kLife, particle);
        // Birth 0 plus 2 × weight: noise1(phase) + 1.
        const float expected = noise1(float(particle) * kPhaseStep) + 1.0f;
        EXPECT_NEAR(EvalFloat(c, 0, 0.0f, 5.0f), expected, 1e-6f) << "particle " << particle;
    }
}

TEST_P(ControllerAgeNoise, IsTheNoiseOfTimeSeedAndPhase) {
    const auto [fractal, roughness] = GetParam();
    constexpr int kSeed = 3;
    constexpr float kFrequency = 2.5f;
    c->__SetupFloat__(-1000.0f, 1000.0f, 1.0f);
    IParamBlock *pb = c->VariationBlock();
    pb->SetValue(DefaultController::kNoiseSeed, 0, kSeed);
    pb->SetValue(DefaultController::kNoiseFrequency, 0, kFrequency);
    pb->SetValue(DefaultController::kFractalNoise, 0, fractal ? 1 : 0);
    pb->SetValue(DefaultController::kNoiseRoughness, 0, roughness);
    SetCurve(c, kStep, 1.0f, 1.0f);
    for (int particle : {0, 3}) {
        c->__Reset__(0, 0, kLife, particle);
        for (int t = 0; t < kLife; t += 600) {
            const float n = float(t) * 0.005f * (kFrequency * 0.1f) + float(kSeed) +
                            float(particle) * kPhaseStep;
            const float v = fractal ? fBm1(n, 1.0f - roughness, 2.0f, 6.0f) : noise1(n);
            // Birth 1 plus 1 × v × strength 1.
            EXPECT_NEAR(EvalFloat(c, t, 1.0f, 5.0f), 1.0f + v, 1e-5f)
                << "particle " << particle << ", t " << t;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(PlainAndFractal, ControllerAgeNoise,
                         ::testing::Values(AgeNoiseCase{false, 0.4f}, AgeNoiseCase{true, 0.0f},
                                           AgeNoiseCase{true, 0.35f}));
