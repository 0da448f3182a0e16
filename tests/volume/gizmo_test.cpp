/// @file gizmo_test.cpp
/// @brief The gizmo helpers: outlines, bounding boxes, parameters and clones.
#include "plugins/volume/gizmos.h"
#include "volume_fixture.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace volumetest;

namespace {

constexpr float kTolerance = 1e-4f;

void ExpectNear(const Point3 &a, const Point3 &b) {
    EXPECT_NEAR(a.x, b.x, kTolerance);
    EXPECT_NEAR(a.y, b.y, kTolerance);
    EXPECT_NEAR(a.z, b.z, kTolerance);
}

Box3 BoundBox(VolumeGizmo &gizmo, const Matrix3 &tm = Matrix3()) {
    Box3 box;
    gizmo.GetBoundBox(tm, 0, box);
    return box;
}

}  // namespace

class SphereOutline : public ::testing::TestWithParam<bool> {};

TEST_P(SphereOutline, LiesOnTheSphereAndHemisphereKeepsOnlyTheUpperHalf) {
    const bool hemisphere = GetParam();
    Owned<NBSphereGizmoObject> sphere = New<NBSphereGizmoObject>(HELPER_CLASS_ID);
    ASSERT_NE(sphere, nullptr);
    const float r = 2.5f;
    sphere->GetParamBlock()->SetValue(NBSphereGizmoObject::kRadius, 0, r);
    sphere->GetParamBlock()->SetValue(NBSphereGizmoObject::kHemisphere, 0, hemisphere ? 1 : 0);

    const std::vector<GizmoSegment> outline = sphere->Outline(0);
    // Three circles of 16 segments; the hemisphere's two vertical ones stop halfway.
    EXPECT_EQ(outline.size(), hemisphere ? 32u : 48u);
    for (std::size_t i = 0; i < outline.size(); ++i) {
        EXPECT_NEAR(Length(outline[i].a), r, kTolerance) << i;
        EXPECT_NEAR(Length(outline[i].b), r, kTolerance) << i;
        if (i > 0 && i != 16 && i != 16 + (outline.size() - 16) / 2)
            ExpectNear(outline[i].a, outline[i - 1].b);  // each circle is one polyline
    }
    const Box3 box = BoundBox(*sphere);
    ExpectNear(box.pmax, Point3(r, r, r));
    ExpectNear(box.pmin, Point3(-r, -r, hemisphere ? 0.0f : -r));
}

INSTANTIATE_TEST_SUITE_P(Gizmo, SphereOutline, ::testing::Bool());

TEST(Gizmo, CylinderAndBoxBoundTheirSizesUnderTheNodeTransform) {
    Owned<NBCylGizmoObject> cylinder = New<NBCylGizmoObject>(HELPER_CLASS_ID);
    Owned<NBBoxGizmoObject> box = New<NBBoxGizmoObject>(HELPER_CLASS_ID);
    ASSERT_TRUE(cylinder && box);
    cylinder->GetParamBlock()->SetValue(NBCylGizmoObject::kRadius, 0, 3.0f);
    cylinder->GetParamBlock()->SetValue(NBCylGizmoObject::kHeight, 0, 4.0f);
    box->GetParamBlock()->SetValue(NBBoxGizmoObject::kLength, 0, 6.0f);
    box->GetParamBlock()->SetValue(NBBoxGizmoObject::kWidth, 0, 2.0f);
    box->GetParamBlock()->SetValue(NBBoxGizmoObject::kHeight, 0, 8.0f);

    // A quarter turn about z swaps the box's x and y extents; the translation moves both.
    Matrix3 tm = RotateZMatrix(VolumeGizmo::kTwoPi / 4.0f);
    tm.Translate(Point3(10.0f, 0.0f, -1.0f));
    Box3 both = BoundBox(*cylinder, tm);
    ExpectNear(both.pmin, Point3(7.0f, -3.0f, -3.0f));
    ExpectNear(both.pmax, Point3(13.0f, 3.0f, 1.0f));
    box->GetBoundBox(tm, 0, both);  // added to the box given
    ExpectNear(both.pmin, Point3(7.0f, -3.0f, -5.0f));
    ExpectNear(both.pmax, Point3(13.0f, 3.0f, 3.0f));
    ExpectNear(BoundBox(*box, tm).pmin, Point3(7.0f, -1.0f, -5.0f));
}

TEST(Gizmo, SizeZeroGivesAPointOutlineAndADegenerateBoxAtTheOrigin) {
    std::vector<Owned<VolumeGizmo>> gizmos;
    gizmos.emplace_back(New<NBSphereGizmoObject>(HELPER_CLASS_ID).release());
    gizmos.emplace_back(New<NBCylGizmoObject>(HELPER_CLASS_ID).release());
    gizmos.emplace_back(New<NBBoxGizmoObject>(HELPER_CLASS_ID).release());
    for (const Owned<VolumeGizmo> &gizmo : gizmos) {
        ASSERT_NE(gizmo, nullptr);
        SCOPED_TRACE(gizmo->GetObjectName());
        for (const GizmoSegment &s : gizmo->Outline(0)) {
            ExpectNear(s.a, Point3());
            ExpectNear(s.b, Point3());
        }
        const Box3 box = BoundBox(*gizmo, TransMatrix(Point3(1.0f, 2.0f, 3.0f)));
        EXPECT_FALSE(box.IsEmpty());
        ExpectNear(box.pmin, Point3(1.0f, 2.0f, 3.0f));
        ExpectNear(box.pmax, Point3(1.0f, 2.0f, 3.0f));
    }
}
