/// @file geom_test.cpp
/// @brief Geometry: rotation directions, inverses, quaternions against matrices, boxes.
#include "host/geom.h"

#include <gtest/gtest.h>

#include <numbers>

namespace {

constexpr float kHalfPi = std::numbers::pi_v<float> / 2.0f;

void ExpectNear(const Point3 &a, const Point3 &b, float tol = 1e-5f) {
    EXPECT_NEAR(a.x, b.x, tol);
    EXPECT_NEAR(a.y, b.y, tol);
    EXPECT_NEAR(a.z, b.z, tol);
}

void ExpectNear(const Matrix3 &a, const Matrix3 &b, float tol = 1e-5f) {
    for (int r = 0; r < 4; ++r) ExpectNear(a.GetRow(r), b.GetRow(r), tol);
}

/// A transform with rotation about a slanted axis, non-uniform scale and translation.
Matrix3 GeneralTransform() {
    Matrix3 m;
    m.Scale(Point3(2.0f, 0.5f, 3.0f));
    m.RotateX(0.3f);
    m.RotateY(-1.1f);
    m.RotateZ(2.0f);
    m.Translate(Point3(4.0f, -5.0f, 6.0f));
    return m;
}

TEST(Point3, CrossProductFollowsTheRightHand) {
    ExpectNear(CrossProd(Point3(1, 0, 0), Point3(0, 1, 0)), Point3(0, 0, 1));
    ExpectNear(CrossProd(Point3(0, 1, 0), Point3(0, 0, 1)), Point3(1, 0, 0));
    EXPECT_FLOAT_EQ(DotProd(Point3(1, 2, 3), Point3(4, -5, 6)), 12.0f);
}

TEST(Point3, NormalizeGivesUnitLengthAndKeepsZero) {
    EXPECT_NEAR(Length(Normalize(Point3(3, -4, 12))), 1.0f, 1e-6f);
    ExpectNear(Normalize(Point3(0, 0, 5)), Point3(0, 0, 1));
    EXPECT_EQ(Normalize(Point3()), Point3());
    EXPECT_EQ(FNormalize(Point3()), Point3());
    EXPECT_EQ(Normalize(Point2()), Point2());
    EXPECT_NEAR(Length(Normalize(Point2(-3, 4))), 1.0f, 1e-6f);
}

TEST(Matrix3, RotationsTurnCounterClockwiseAboutTheirAxis) {
    ExpectNear(Point3(1, 0, 0) * RotateZMatrix(kHalfPi), Point3(0, 1, 0));
    ExpectNear(Point3(0, 1, 0) * RotateXMatrix(kHalfPi), Point3(0, 0, 1));
    ExpectNear(Point3(0, 0, 1) * RotateYMatrix(kHalfPi), Point3(1, 0, 0));
}

TEST(Matrix3, PostMultiplyingOperationsApplyAfterwards) {
    // Translate first, then rotate: the translated point is rotated too.
    Matrix3 m;
    m.Translate(Point3(1, 0, 0));
    m.RotateZ(kHalfPi);
    ExpectNear(Point3(0, 0, 0) * m, Point3(0, 1, 0));
    ExpectNear(m.GetTrans(), Point3(0, 1, 0));
    // Directions ignore the translation.
    ExpectNear(VectorTransform(m, Point3(1, 0, 0)), Point3(0, 1, 0));
    // p * (A * B) == (p * A) * B
    const Matrix3 a = GeneralTransform(),
                  b = RotateXMatrix(0.7f) * TransMatrix(Point3(1, 2, 3));
    const Point3 p(0.3f, -2.0f, 5.0f);
    ExpectNear(p * (a * b), (p * a) * b, 1e-4f);
}

TEST(Matrix3, InverseUndoesAGeneralTransform) {
    const Matrix3 m = GeneralTransform();
    ExpectNear(m * Inverse(m), Matrix3(), 1e-5f);
    ExpectNear(Inverse(m) * m, Matrix3(), 1e-5f);
    const Point3 p(7.0f, -1.0f, 0.25f);
    ExpectNear(p * m * Inverse(m), p, 1e-4f);
    Matrix3 inPlace = m;
    inPlace.Invert();
    ExpectNear(inPlace, Inverse(m));
}

TEST(Matrix3, SingularMatrixInvertsToZero) {
    const Matrix3 flat = ScaleMatrix(Point3(1, 0, 1)) * TransMatrix(Point3(1, 2, 3));
    EXPECT_EQ(flat.Determinant(), 0.0f);
    EXPECT_EQ(Inverse(flat), Matrix3(FALSE));
}

TEST(Matrix2, RotateMatrixSetsAPureRotation) {
    Matrix2 m(FALSE);  // zeroed, as the particle rotation starts
    RotateMatrix(m, 0.0f);
    const Point2 p(3.0f, -2.0f);
    EXPECT_EQ(p * m, p);

    m.SetTrans(Point2(5.0f, 5.0f));  // whatever was there is replaced
    RotateMatrix(m, kHalfPi);
    const Point2 q = Point2(1.0f, 0.0f) * m;
    EXPECT_NEAR(q.x, 0.0f, 1e-6f);
    EXPECT_NEAR(q.y, 1.0f, 1e-6f);

    // 45 degrees takes the corner (r, r) onto the y axis at r * sqrt(2).
    RotateMatrix(m, kHalfPi / 2.0f);
    const Point2 corner = Point2(10.0f, 10.0f) * m;
    EXPECT_NEAR(corner.x, 0.0f, 1e-4f);
    EXPECT_NEAR(corner.y, 10.0f * std::numbers::sqrt2_v<float>, 1e-4f);
}

TEST(Quat, MatchesTheMatrixRotations) {
    Matrix3 m;
    Quat(AngAxis{Point3(0, 0, 1), kHalfPi}).MakeMatrix(m);
    ExpectNear(m, RotateZMatrix(kHalfPi));
    Quat(AngAxis{Point3(1, 0, 0), 0.4f}).MakeMatrix(m);
    ExpectNear(m, RotateXMatrix(0.4f));
    Quat(AngAxis{Point3(0, 2, 0), -1.3f}).MakeMatrix(m);  // the axis need not be unit length
    ExpectNear(m, RotateYMatrix(-1.3f));
}

TEST(Quat, MatrixRoundTripKeepsTheRotation) {
    // Rotations chosen to exercise every branch of the matrix-to-quaternion conversion.
    const Matrix3 rotations[] = {RotateXMatrix(0.3f) * RotateYMatrix(0.2f), RotateXMatrix(3.0f),
                                 RotateYMatrix(3.0f), RotateZMatrix(3.0f),
                                 RotateXMatrix(2.5f) * RotateZMatrix(-1.0f)};
    for (const Matrix3 &r : rotations) {
        Matrix3 back;
        Quat(r).MakeMatrix(back);
        ExpectNear(back, r, 1e-5f);
    }
    // Translation is ignored.
    Matrix3 back;
    Quat(RotateZMatrix(1.0f) * TransMatrix(Point3(9, 9, 9))).MakeMatrix(back);
    ExpectNear(back, RotateZMatrix(1.0f), 1e-5f);
}

TEST(Quat, SlerpFollowsTheShorterArcAtConstantSpeed) {
    const Quat a(AngAxis{Point3(0, 0, 1), 0.0f});
    const Quat b(AngAxis{Point3(0, 0, 1), 1.2f});
    Matrix3 m;
    Slerp(a, b, 0.25f).MakeMatrix(m);
    ExpectNear(m, RotateZMatrix(0.3f));
    Slerp(a, b, 0.0f).MakeMatrix(m);
    ExpectNear(m, Matrix3());
    // -b is the same rotation; the interpolation must not take the long way round.
    const Quat negB(-b.x, -b.y, -b.z, -b.w);
    Slerp(a, negB, 0.5f).MakeMatrix(m);
    ExpectNear(m, RotateZMatrix(0.6f));
    // Nearly equal rotations do not divide by zero.
    const Quat c(AngAxis{Point3(0, 0, 1), 1e-4f});
    Slerp(a, c, 0.5f).MakeMatrix(m);
    ExpectNear(m, RotateZMatrix(5e-5f));
}

TEST(Box3, GrowsContainsAndTransforms) {
    Box3 box;
    EXPECT_TRUE(box.IsEmpty());
    EXPECT_EQ(box.Width(), Point3());
    EXPECT_FALSE(box.Contains(Point3()));
    box += Point3(1, 2, 3);
    EXPECT_FALSE(box.IsEmpty());
    EXPECT_TRUE(box.Contains(Point3(1, 2, 3)));
    box += Point3(-1, 4, 0);
    EXPECT_EQ(box.pmin, Point3(-1, 2, 0));
    EXPECT_EQ(box.pmax, Point3(1, 4, 3));
    EXPECT_EQ(box.Center(), Point3(0, 3, 1.5f));
    EXPECT_EQ(box.Width(), Point3(2, 2, 3));
    EXPECT_FALSE(box.Contains(Point3(0, 5, 1)));

    Box3 other(Point3(5, 5, 5), Point3(6, 6, 6));
    box += other;
    EXPECT_EQ(box.pmax, Point3(6, 6, 6));
    box += Box3();  // adding an empty box changes nothing
    EXPECT_EQ(box.pmin, Point3(-1, 2, 0));

    const Box3 turned = Box3(Point3(0, 0, 0), Point3(2, 1, 1)) * RotateZMatrix(kHalfPi);
    ExpectNear(turned.pmin, Point3(-1, 0, 0));
    ExpectNear(turned.pmax, Point3(0, 2, 1));
    box.Init();
    EXPECT_TRUE(box.IsEmpty());
}

TEST(Color, ArithmeticAndClamping) {
    Color c = Color(0.5f, 0.25f, 1.0f) * 2.0f + Color(0.1f, 0.1f, 0.1f);
    EXPECT_FLOAT_EQ(c.r, 1.1f);
    EXPECT_FLOAT_EQ(c.g, 0.6f);
    c *= Color(0.5f, 1.0f, 0.0f);
    EXPECT_FLOAT_EQ(c.r, 0.55f);
    EXPECT_FLOAT_EQ(c.b, 0.0f);
    Color over(-0.5f, 0.5f, 3.0f);
    over.ClampMinMax();
    EXPECT_EQ(over, Color(0.0f, 0.5f, 1.0f));
    EXPECT_EQ(Point3(Color(1, 2, 3)), Point3(1, 2, 3));
    const BMM_Color_64 px{65535, 0, 1, 2};
    EXPECT_EQ(px.r, 65535);
    EXPECT_EQ(BMM_Color_64{}, (BMM_Color_64{0, 0, 0, 0}));
}

}  // namespace
