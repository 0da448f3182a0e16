/// @file controller_graph_test.cpp
/// @brief The content of the controller editor's curve views for a given view size.
#include "plugins/standard/controller_graph.h"
#include "standard_fixture.h"

#include <gtest/gtest.h>

using namespace standardtest;

namespace {

using ControllerGraphView = ControllerTest;

std::vector<int> CurveYs(const ControllerGraph &g) {
    std::vector<int> ys;
    for (const GraphPoint &p : g.curve) ys.push_back(p.y);
    return ys;
}

std::vector<int> StripReds(const ControllerGraph &g) {
    std::vector<int> reds;
    for (const GraphColor &c : g.strip) reds.push_back(c.r);
    return reds;
}

}  // namespace

// An 8 × 10 view: the life spans columns 1 … 6; the curve runs from 2 to 8, the strip from
// black to white (the last column lies past the death and stays white).
TEST_F(ControllerGraphView, SmallViewOfTheStraightLine) {
    const ControllerGraph g = ComputeControllerGraph(*c, 0, 8, 10);
    ASSERT_EQ(g.curve.size(), 8u);
    EXPECT_EQ(g.curve.front(), (GraphPoint{1, 1}));
    for (int x = 1; x < 8; ++x) EXPECT_EQ(g.curve[x].x, x);
    // value = trunc(2 + (x − 1) / 5 × 6), drawn at value + 1
    EXPECT_EQ(CurveYs(g), (std::vector<int>{1, 3, 4, 5, 6, 7, 9, 10}));
    ASSERT_EQ(g.strip.size(), 7u);
    // high byte of trunc((x − 1) / 5 × 65535)
    EXPECT_EQ(StripReds(g), (std::vector<int>{0, 51, 102, 153, 204, 255, 255}));
    for (const GraphColor &col : g.strip) {
        EXPECT_EQ(col.g, col.r);
        EXPECT_EQ(col.b, col.r);
    }
    // The controller's own evaluation state is the view's reset.
    EXPECT_EQ(c->State().birthTime, 1);
    EXPECT_EQ(c->State().deathTime, 6);
}

TEST_F(ControllerGraphView, StepShowsTheJumpAndVariationsDoNotShow) {
    c->__SetupInt__(0, 1000);
    c->VariationBlock()->SetValue(DefaultController::kBirthVariation, 0, 900);
    c->VariationBlock()->SetValue(DefaultController::kVariationStrength, 0, 100.0f);
    c->VariationBlock()->SetValue(DefaultController::kNoiseSeed, 0, 3);
    c->SetUseVariation(true);
    c->InterpolationBlock()->SetValue(DefaultController::kValue1, 0, 0.5f);
    c->SetInterpolation(kStep);

    const ControllerGraph g = ComputeControllerGraph(*c, 0, 12, 20);
    // Life 1 … 10: (x − 1) < 9 × 0.5 holds up to x = 5.
    EXPECT_EQ(CurveYs(g), (std::vector<int>{1, 3, 3, 3, 3, 3, 19, 19, 19, 19, 19, 19}));
    EXPECT_EQ(StripReds(g), (std::vector<int>{0, 0, 0, 0, 0, 255, 255, 255, 255, 255, 255}));
    EXPECT_FALSE(c->GraphMode());  // switched back on for rendering
}

TEST_F(ControllerGraphView, ParametersAreReadAtTheGivenTime) {
    c->InterpolationBlock()->SetKey(DefaultController::kValue1, 0, 0.0f);
    c->InterpolationBlock()->SetKey(DefaultController::kValue1, 4800, 1.0f);
    c->SetInterpolation(kStep);
    const ControllerGraph early = ComputeControllerGraph(*c, 0, 12, 20);
    const ControllerGraph late = ComputeControllerGraph(*c, 4800, 12, 20);
    EXPECT_EQ(early.curve[1].y, 19);  // Value 1 = 0: the death value at once
    EXPECT_EQ(late.curve[9].y, 3);    // Value 1 = 1: the birth value through the life
}

TEST_F(ControllerGraphView, TinyViewsAreEmptyNotBroken) {
    for (int w : {0, 1, 2, 3}) {
        const ControllerGraph g = ComputeControllerGraph(*c, 0, w, 2);
        EXPECT_EQ(g.strip.size(), static_cast<std::size_t>(w > 1 ? w - 1 : 0)) << "width " << w;
        EXPECT_EQ(g.curve.size(), g.strip.size() + 1) << "width " << w;
    }
}
