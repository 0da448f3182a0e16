/// @file geom.cpp
/// @brief Matrix, quaternion, box and colour operations.
#include "host/geom.h"

#include <algorithm>
#include <limits>

// Matrix2 ------------------------------------------------------------------------------------

void Matrix2::IdentityMatrix() {
    Zero();
    m[0][0] = m[1][1] = 1.0f;
}

void Matrix2::Zero() {
    for (auto &row : m) row[0] = row[1] = 0.0f;
}

Point2 operator*(const Point2 &p, const Matrix2 &m) {
    return {p.x * m.m[0][0] + p.y * m.m[1][0] + m.m[2][0],
            p.x * m.m[0][1] + p.y * m.m[1][1] + m.m[2][1]};
}

void RotateMatrix(Matrix2 &m, float angle) {
    const float c = std::cos(angle), s = std::sin(angle);
    m.m[0][0] = c;
    m.m[0][1] = s;
    m.m[1][0] = -s;
    m.m[1][1] = c;
    m.m[2][0] = m.m[2][1] = 0.0f;
}

// Matrix3 ------------------------------------------------------------------------------------

void Matrix3::IdentityMatrix() {
    rows_[0] = {1.0f, 0.0f, 0.0f};
    rows_[1] = {0.0f, 1.0f, 0.0f};
    rows_[2] = {0.0f, 0.0f, 1.0f};
    rows_[3] = {0.0f, 0.0f, 0.0f};
}

void Matrix3::Zero() {
    for (Point3 &row : rows_) row = Point3();
}

Point3 Matrix3::PointTransform(const Point3 &p) const {
    return rows_[0] * p.x + rows_[1] * p.y + rows_[2] * p.z + rows_[3];
}

Point3 Matrix3::VectorTransform(const Point3 &v) const {
    return rows_[0] * v.x + rows_[1] * v.y + rows_[2] * v.z;
}

Matrix3 operator*(const Matrix3 &a, const Matrix3 &b) {
    Matrix3 r;
    for (int i = 0; i < 3; ++i) r.SetRow(i, b.VectorTransform(a.GetRow(i)));
    r.SetTrans(b.PointTransform(a.GetTrans()));
    return r;
}

Matrix3 &Matrix3::operator*=(const Matrix3 &b) {
    *this = *this * b;
    return *this;
}

void Matrix3::RotateX(float angle) {
    *this *= RotateXMatrix(angle);
}
void Matrix3::RotateY(float angle) {
    *this *= RotateYMatrix(angle);
}
void Matrix3::RotateZ(float angle) {
    *this *= RotateZMatrix(angle);
}
void Matrix3::Scale(const Point3 &s) {
    *this *= ScaleMatrix(s);
}

Matrix3 Inverse(const Matrix3 &m) {
    const Point3 &a = m.GetRow(0), &b = m.GetRow(1), &c = m.GetRow(2);
    const float det = m.Determinant();
    if (det == 0.0f || !std::isfinite(det)) return Matrix3(FALSE);
    // The inverse of the linear part is the transposed cofactor matrix over the determinant;
    // in row form its columns are the cross products of pairs of rows.
    const Point3 c0 = CrossProd(b, c) / det;
    const Point3 c1 = CrossProd(c, a) / det;
    const Point3 c2 = CrossProd(a, b) / det;
    Matrix3 r(Point3(c0.x, c1.x, c2.x), Point3(c0.y, c1.y, c2.y), Point3(c0.z, c1.z, c2.z),
              Point3());
    r.SetTrans(-r.VectorTransform(m.GetTrans()));
    return r;
}

void Matrix3::Invert() {
    *this = Inverse(*this);
}

Matrix3 RotateXMatrix(float angle) {
    const float c = std::cos(angle), s = std::sin(angle);
    return {Point3(1.0f, 0.0f, 0.0f), Point3(0.0f, c, s), Point3(0.0f, -s, c), Point3()};
}

Matrix3 RotateYMatrix(float angle) {
    const float c = std::cos(angle), s = std::sin(angle);
    return {Point3(c, 0.0f, -s), Point3(0.0f, 1.0f, 0.0f), Point3(s, 0.0f, c), Point3()};
}

Matrix3 RotateZMatrix(float angle) {
    const float c = std::cos(angle), s = std::sin(angle);
    return {Point3(c, s, 0.0f), Point3(-s, c, 0.0f), Point3(0.0f, 0.0f, 1.0f), Point3()};
}

Matrix3 TransMatrix(const Point3 &p) {
    Matrix3 m;
    m.SetTrans(p);
    return m;
}

Matrix3 ScaleMatrix(const Point3 &s) {
    return {Point3(s.x, 0.0f, 0.0f), Point3(0.0f, s.y, 0.0f), Point3(0.0f, 0.0f, s.z),
            Point3()};
}

// Quat ---------------------------------------------------------------------------------------

Quat::Quat(const AngAxis &aa) {
    const Point3 axis = ::Normalize(aa.axis);
    const float s = std::sin(aa.angle * 0.5f);
    x = axis.x * s;
    y = axis.y * s;
    z = axis.z * s;
    w = std::cos(aa.angle * 0.5f);
}

// In row-vector form the matrix is the transpose of the usual column-vector rotation matrix.
void Quat::MakeMatrix(Matrix3 &mat) const {
    const float xx = x * x, yy = y * y, zz = z * z;
    const float xy = x * y, xz = x * z, yz = y * z;
    const float wx = w * x, wy = w * y, wz = w * z;
    mat.SetRow(0, Point3(1.0f - 2.0f * (yy + zz), 2.0f * (xy + wz), 2.0f * (xz - wy)));
    mat.SetRow(1, Point3(2.0f * (xy - wz), 1.0f - 2.0f * (xx + zz), 2.0f * (yz + wx)));
    mat.SetRow(2, Point3(2.0f * (xz + wy), 2.0f * (yz - wx), 1.0f - 2.0f * (xx + yy)));
    mat.SetTrans(Point3());
}

Quat::Quat(const Matrix3 &m) {
    // Element (i, j) of the column-vector rotation matrix is row j, component i here.
    auto e = [&m](int i, int j) { return m.GetRow(j)[i]; };
    const float trace = e(0, 0) + e(1, 1) + e(2, 2);
    if (trace > 0.0f) {
        const float s = std::sqrt(trace + 1.0f) * 2.0f;
        w = 0.25f * s;
        x = (e(2, 1) - e(1, 2)) / s;
        y = (e(0, 2) - e(2, 0)) / s;
        z = (e(1, 0) - e(0, 1)) / s;
    } else if (e(0, 0) > e(1, 1) && e(0, 0) > e(2, 2)) {
        const float s = std::sqrt(1.0f + e(0, 0) - e(1, 1) - e(2, 2)) * 2.0f;
        w = (e(2, 1) - e(1, 2)) / s;
        x = 0.25f * s;
        y = (e(0, 1) + e(1, 0)) / s;
        z = (e(0, 2) + e(2, 0)) / s;
    } else if (e(1, 1) > e(2, 2)) {
        const float s = std::sqrt(1.0f + e(1, 1) - e(0, 0) - e(2, 2)) * 2.0f;
        w = (e(0, 2) - e(2, 0)) / s;
        x = (e(0, 1) + e(1, 0)) / s;
        y = 0.25f * s;
        z = (e(1, 2) + e(2, 1)) / s;
    } else {
        const float s = std::sqrt(1.0f + e(2, 2) - e(0, 0) - e(1, 1)) * 2.0f;
        w = (e(1, 0) - e(0, 1)) / s;
        x = (e(0, 2) + e(2, 0)) / s;
        y = (e(1, 2) + e(2, 1)) / s;
        z = 0.25f * s;
    }
    Normalize();
}

void Quat::Normalize() {
    const float len = std::sqrt(x * x + y * y + z * z + w * w);
    if (len == 0.0f) {
        *this = Quat();
        return;
    }
    x /= len;
    y /= len;
    z /= len;
    w /= len;
}

Quat Slerp(const Quat &p, const Quat &q, float t) {
    float cosom = p.x * q.x + p.y * q.y + p.z * q.z + p.w * q.w;
    // q and -q are the same rotation; take the one nearer p so the path is the shorter arc.
    const float sign = cosom < 0.0f ? -1.0f : 1.0f;
    cosom *= sign;
    float a, b;
    if (cosom > 0.9995f) {
        // Nearly the same rotation: linear interpolation avoids dividing by sin(0).
        a = 1.0f - t;
        b = t;
    } else {
        const float omega = std::acos(cosom);
        const float sinom = std::sin(omega);
        a = std::sin((1.0f - t) * omega) / sinom;
        b = std::sin(t * omega) / sinom;
    }
    b *= sign;
    Quat r(a * p.x + b * q.x, a * p.y + b * q.y, a * p.z + b * q.z, a * p.w + b * q.w);
    r.Normalize();
    return r;
}

// Box3 ---------------------------------------------------------------------------------------

void Box3::Init() {
    const float big = std::numeric_limits<float>::max();
    pmin = Point3(big, big, big);
    pmax = Point3(-big, -big, -big);
}

Box3 &Box3::operator+=(const Point3 &p) {
    pmin = Point3(std::min(pmin.x, p.x), std::min(pmin.y, p.y), std::min(pmin.z, p.z));
    pmax = Point3(std::max(pmax.x, p.x), std::max(pmax.y, p.y), std::max(pmax.z, p.z));
    return *this;
}

Box3 &Box3::operator+=(const Box3 &b) {
    if (b.IsEmpty()) return *this;
    *this += b.pmin;
    *this += b.pmax;
    return *this;
}

bool Box3::Contains(const Point3 &p) const {
    return p.x >= pmin.x && p.x <= pmax.x && p.y >= pmin.y && p.y <= pmax.y && p.z >= pmin.z &&
           p.z <= pmax.z;
}

Box3 Box3::operator*(const Matrix3 &tm) const {
    Box3 r;
    if (IsEmpty()) return r;
    for (int i = 0; i < 8; ++i) {
        r += tm.PointTransform(
            Point3(i & 1 ? pmax.x : pmin.x, i & 2 ? pmax.y : pmin.y, i & 4 ? pmax.z : pmin.z));
    }
    return r;
}

// Color --------------------------------------------------------------------------------------

void Color::ClampMinMax() {
    r = std::clamp(r, 0.0f, 1.0f);
    g = std::clamp(g, 0.0f, 1.0f);
    b = std::clamp(b, 0.0f, 1.0f);
}
