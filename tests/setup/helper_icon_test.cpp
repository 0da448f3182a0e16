/// @file helper_icon_test.cpp
/// @brief The helper's icon: outline, segments, bounding boxes, the screen-space hit test and
///        the creation placement.
#include "setup_fixture.h"

#include "setup/helper_icon.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

namespace {

using namespace setuptest;

/// A top view: world x to the right, world y up the screen, 10 pixels per unit, origin at
/// pixel (100, 100).
bool TopView(const Point3 &p, Point2 &screen) {
    screen = Point2(100.0f + 10.0f * p.x, 100.0f - 10.0f * p.y);
    return true;
}

TEST(HelperIcon, OutlineAtHalfAndQuarterSize) {
    const float s = 8.0f, h = 4.0f, k = 2.0f;
    const auto outline = IconOutline(s);
    const Point2 expected[10] = {{-h, h}, {k - h, h}, {k - h, -k}, {k, -k},  {k, h},
                                 {h, h},  {h, -k},    {k, -h},     {-k, -h}, {-h, -k}};
    for (int i = 0; i < 10; ++i) EXPECT_EQ(outline[i], expected[i]) << i;

    const auto segments = IconSegments(s);
    for (int i = 0; i < 10; ++i) {
        const Point2 &p = expected[i], &q = expected[(i + 1) % 10];
        EXPECT_EQ(segments[i].a, Point3(p.x, p.y, k)) << i;
        EXPECT_EQ(segments[i].b, Point3(q.x, q.y, k)) << i;
        EXPECT_EQ(segments[10 + i].a, Point3(p.x, p.y, -k)) << i;
        EXPECT_EQ(segments[10 + i].b, Point3(q.x, q.y, -k)) << i;
        EXPECT_EQ(segments[20 + i].a, Point3(p.x, p.y, -k)) << i;
        EXPECT_EQ(segments[20 + i].b, Point3(p.x, p.y, k)) << i;
    }
}

TEST(HelperIcon, BoundingBoxes) {
    const Box3 local = IconLocalBox(20.0f);
    EXPECT_EQ(local.pmin, Point3(-10, -10, -5));
    EXPECT_EQ(local.pmax, Point3(10, 10, 5));

    // Turned a quarter about z and moved: the same box, moved.
    const Box3 quarter = IconWorldBox(20.0f, RotateZMatrix(std::numbers::pi_v<float> / 2.0f) *
                                                 TransMatrix(Point3(100, 0, 0)));
    EXPECT_NEAR((quarter.pmin - Point3(90, -10, -5)).Length(), 0.0f, 1e-4f);
    EXPECT_NEAR((quarter.pmax - Point3(110, 10, 5)).Length(), 0.0f, 1e-4f);

    // Turned by 45°: the box is the tight one around the icon's points, smaller than the
    // turned local box because two corners of the outline are cut off.
    const Matrix3 tm = RotateZMatrix(std::numbers::pi_v<float> / 4.0f);
    const Box3 world = IconWorldBox(20.0f, tm);
    const Box3 loose = local * tm;
    EXPECT_LT(world.pmax.x - world.pmin.x, loose.pmax.x - loose.pmin.x - 1.0f);
    for (int axis = 0; axis < 3; ++axis) {
        bool lowTouched = false, highTouched = false;
        for (const IconSegment &s : IconSegments(20.0f)) {
            for (const Point3 &p : {s.a * tm, s.b * tm}) {
                EXPECT_TRUE(world.Contains(p));
                lowTouched = lowTouched || std::fabs(p[axis] - world.pmin[axis]) < 1e-4f;
                highTouched = highTouched || std::fabs(p[axis] - world.pmax[axis]) < 1e-4f;
            }
        }
        EXPECT_TRUE(lowTouched && highTouched) << axis;
    }
}

TEST(HelperIcon, HitTestInScreenSpace) {
    const Matrix3 tm = TransMatrix(Point3(5, 0, 0));
    // Size 8: the top edge runs from (-4, 4) to (-2, 4), i.e. world x 1 … 3 at y 4.
    Point2 edge;
    TopView(Point3(2, 4, 0), edge);
    EXPECT_TRUE(IconHitTest(8.0f, tm, TopView, edge, 1.0f));
    EXPECT_TRUE(IconHitTest(8.0f, tm, TopView, edge + Point2(0, 3), 4.0f));
    EXPECT_FALSE(IconHitTest(8.0f, tm, TopView, edge + Point2(0, -5), 4.0f));
    Point2 notch;  // inside the outline's notch, 20 pixels from its sides
    TopView(Point3(5, 2, 0), notch);
    EXPECT_FALSE(IconHitTest(8.0f, tm, TopView, notch, 4.0f));
    EXPECT_TRUE(IconHitTest(8.0f, tm, TopView, notch, 20.0f));
    EXPECT_FALSE(IconHitTest(8.0f, tm, TopView, Point2(400, 400), 4.0f));

    // Points that cannot be projected are left out.
    const IconProjection nowhere = [](const Point3 &, Point2 &) { return false; };
    EXPECT_FALSE(IconHitTest(8.0f, tm, nowhere, edge, 100.0f));
}

TEST(HelperIcon, CreationPlacement) {
    const Point3 first(10, 20, 0), second(16, 12, 0);
    const IconPlacement press = PressPlacement(first);
    EXPECT_EQ(press.position, first);
    EXPECT_EQ(press.width, 0.01f);
    EXPECT_EQ(press.length, 0.01f);

    const IconPlacement drag = DragPlacement(first, second);
    EXPECT_EQ(drag.position, Point3(13, 16, 0));
    EXPECT_EQ(drag.width, 6.0f);
    EXPECT_EQ(drag.length, 8.0f);

    // A click without a drag: screen points less than 3 pixels apart.
    const IconPlacement click =
        ReleasePlacement(first, first + Point3(0.1f, 0, 0), Point2(50, 50), Point2(52, 51));
    EXPECT_EQ(click.width, 20.0f);
    EXPECT_EQ(click.length, 20.0f);
    const IconPlacement dragged =
        ReleasePlacement(first, second, Point2(50, 50), Point2(53, 50));
    EXPECT_EQ(dragged.width, 6.0f);
    EXPECT_EQ(dragged.length, 8.0f);
}

TEST_F(HelperTest, PlacementSizesTheIconAndMovesTheNode) {
    INode *node = nullptr;
    NimbraHelper *helper = NewHelperNode(&node);
    EXPECT_FLOAT_EQ(helper->IconSize(0), 0.01f);
    ApplyPlacement(*helper, node,
                   ReleasePlacement(Point3(4, 4, 0), Point3(4, 4, 0), Point2(), Point2()), 0);
    EXPECT_FLOAT_EQ(helper->IconSize(0), 20.0f);
    EXPECT_EQ(node->GetNodeTM(0).GetTrans(), Point3(4, 4, 0));

    ApplyPlacement(*helper, node, DragPlacement(Point3(0, 0, 0), Point3(6, -30, 0)), 0);
    float width = 0.0f, length = 0.0f;
    helper->IconBlock()->GetValue(NimbraHelper::kIconWidth, 0, width);
    helper->IconBlock()->GetValue(NimbraHelper::kIconLength, 0, length);
    EXPECT_EQ(width, 6.0f);
    EXPECT_EQ(length, 30.0f);
    EXPECT_FLOAT_EQ(helper->IconSize(0), 30.0f);
    EXPECT_EQ(node->GetNodeTM(0).GetTrans(), Point3(3, -15, 0));
}

}  // namespace
