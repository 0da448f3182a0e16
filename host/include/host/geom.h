/// @file geom.h
/// @brief Geometry and colour values: points, matrices (row vectors), quaternions, boxes,
///        colours, 64-bit pixels and rectangles.
#pragma once

#include "host/types.h"

#include <cmath>
#include <type_traits>

// ---------------------------------------------------------------------------------------------
// Points

class Point2 {
public:
    float x = 0.0f, y = 0.0f;

    constexpr Point2() = default;
    /// From any arithmetic values (ints, doubles, floats mixed freely).
    template <typename X, typename Y>
    requires std::is_arithmetic_v<X> && std::is_arithmetic_v<Y>
    constexpr Point2(X x_, Y y_) : x(static_cast<float>(x_)), y(static_cast<float>(y_)) {}

    float &operator[](int i) { return i == 0 ? x : y; }
    float operator[](int i) const { return i == 0 ? x : y; }

    float Length() const { return std::sqrt(x * x + y * y); }
    constexpr float LengthSquared() const { return x * x + y * y; }

    constexpr Point2 operator-() const { return {-x, -y}; }
    constexpr Point2 operator+(const Point2 &p) const { return {x + p.x, y + p.y}; }
    constexpr Point2 operator-(const Point2 &p) const { return {x - p.x, y - p.y}; }
    constexpr Point2 operator*(float f) const { return {x * f, y * f}; }
    constexpr Point2 operator/(float f) const { return {x / f, y / f}; }
    Point2 &operator+=(const Point2 &p) {
        x += p.x;
        y += p.y;
        return *this;
    }
    Point2 &operator-=(const Point2 &p) {
        x -= p.x;
        y -= p.y;
        return *this;
    }
    Point2 &operator*=(float f) {
        x *= f;
        y *= f;
        return *this;
    }
    Point2 &operator/=(float f) {
        x /= f;
        y /= f;
        return *this;
    }
    constexpr bool operator==(const Point2 &) const = default;
};

constexpr Point2 operator*(float f, const Point2 &p) {
    return p * f;
}
constexpr float DotProd(const Point2 &a, const Point2 &b) {
    return a.x * b.x + a.y * b.y;
}
inline float Length(const Point2 &p) {
    return p.Length();
}
/// The unit vector along `p`; the zero vector stays zero.
inline Point2 Normalize(const Point2 &p) {
    const float len = p.Length();
    return len > 0.0f ? p / len : Point2();
}

class Point3 {
public:
    float x = 0.0f, y = 0.0f, z = 0.0f;

    constexpr Point3() = default;
    /// From any arithmetic values (ints, doubles, floats mixed freely).
    template <typename X, typename Y, typename Z>
    requires std::is_arithmetic_v<X> && std::is_arithmetic_v<Y> && std::is_arithmetic_v<Z>
    constexpr Point3(X x_, Y y_, Z z_)
        : x(static_cast<float>(x_)), y(static_cast<float>(y_)), z(static_cast<float>(z_)) {}

    float &operator[](int i) { return i == 0 ? x : (i == 1 ? y : z); }
    float operator[](int i) const { return i == 0 ? x : (i == 1 ? y : z); }

    float Length() const { return std::sqrt(x * x + y * y + z * z); }
    constexpr float LengthSquared() const { return x * x + y * y + z * z; }

    constexpr Point3 operator-() const { return {-x, -y, -z}; }
    constexpr Point3 operator+(const Point3 &p) const { return {x + p.x, y + p.y, z + p.z}; }
    constexpr Point3 operator-(const Point3 &p) const { return {x - p.x, y - p.y, z - p.z}; }
    /// Component-wise product.
    constexpr Point3 operator*(const Point3 &p) const { return {x * p.x, y * p.y, z * p.z}; }
    constexpr Point3 operator*(float f) const { return {x * f, y * f, z * f}; }
    constexpr Point3 operator/(float f) const { return {x / f, y / f, z / f}; }
    Point3 &operator+=(const Point3 &p) {
        x += p.x;
        y += p.y;
        z += p.z;
        return *this;
    }
    Point3 &operator-=(const Point3 &p) {
        x -= p.x;
        y -= p.y;
        z -= p.z;
        return *this;
    }
    Point3 &operator*=(float f) {
        x *= f;
        y *= f;
        z *= f;
        return *this;
    }
    Point3 &operator/=(float f) {
        x /= f;
        y /= f;
        z /= f;
        return *this;
    }
    constexpr bool operator==(const Point3 &) const = default;
};

constexpr Point3 operator*(float f, const Point3 &p) {
    return p * f;
}
constexpr float DotProd(const Point3 &a, const Point3 &b) {
    return a.x * b.x + a.y * b.y + a.z * b.z;
}
constexpr Point3 CrossProd(const Point3 &a, const Point3 &b) {
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
inline float Length(const Point3 &p) {
    return p.Length();
}
/// The unit vector along `p`; the zero vector stays zero.
inline Point3 Normalize(const Point3 &p) {
    const float len = p.Length();
    return len > 0.0f ? p / len : Point3();
}
/// Same as `Normalize` (kept for callers that ask for the fast variant).
inline Point3 FNormalize(const Point3 &p) {
    return Normalize(p);
}

// ---------------------------------------------------------------------------------------------
// Matrices. Points are row vectors multiplied on the left (p * M); a matrix applied after
// another is multiplied on the right (p * A * B applies A first).

/// A 2-D affine transform: two rows of the linear part and a translation row.
class Matrix2 {
public:
    float m[3][2];

    /// Identity.
    Matrix2() { IdentityMatrix(); }
    /// Identity when `init` is TRUE, all zeros otherwise.
    explicit Matrix2(BOOL init) {
        if (init)
            IdentityMatrix();
        else
            Zero();
    }
    void IdentityMatrix();
    void Zero();
    void SetTrans(const Point2 &p) {
        m[2][0] = p.x;
        m[2][1] = p.y;
    }
    Point2 GetTrans() const { return {m[2][0], m[2][1]}; }
};

/// `p` transformed by `m` (rotation, then translation).
Point2 operator*(const Point2 &p, const Matrix2 &m);
/// Sets `m` to the pure rotation by `angle` radians (counter-clockwise: (1, 0) turns towards
/// (0, 1)); whatever `m` held before is replaced.
void RotateMatrix(Matrix2 &m, float angle);

/// A 3-D affine transform: three rows of the linear part (the images of the x, y and z axes)
/// and a translation row.
class Matrix3 {
public:
    /// Identity.
    Matrix3() { IdentityMatrix(); }
    /// Identity when `init` is TRUE, all zeros otherwise.
    explicit Matrix3(BOOL init) {
        if (init)
            IdentityMatrix();
        else
            Zero();
    }
    Matrix3(const Point3 &row0, const Point3 &row1, const Point3 &row2, const Point3 &trans)
        : rows_{row0, row1, row2, trans} {}

    void IdentityMatrix();
    void Zero();

    void SetRow(int i, const Point3 &p) { rows_[i] = p; }
    const Point3 &GetRow(int i) const { return rows_[i]; }
    Point3 &operator[](int i) { return rows_[i]; }
    const Point3 &operator[](int i) const { return rows_[i]; }
    void SetTrans(const Point3 &p) { rows_[3] = p; }
    const Point3 &GetTrans() const { return rows_[3]; }
    void NoTrans() { rows_[3] = Point3(); }

    // Post-multiplying operations: each applies after what the matrix already does. Angles in
    // radians; a positive angle turns counter-clockwise looking from the positive axis towards
    // the origin (RotateZ turns x towards y, RotateX turns y towards z, RotateY turns z
    // towards x).
    void RotateX(float angle);
    void RotateY(float angle);
    void RotateZ(float angle);
    void Translate(const Point3 &p) { rows_[3] += p; }
    void Scale(const Point3 &s);

    /// `p` transformed as a point (with translation).
    Point3 PointTransform(const Point3 &p) const;
    /// `v` transformed as a direction (without translation).
    Point3 VectorTransform(const Point3 &v) const;

    float Determinant() const { return DotProd(CrossProd(rows_[0], rows_[1]), rows_[2]); }
    /// Inverts in place; see `Inverse`.
    void Invert();

    Matrix3 &operator*=(const Matrix3 &b);
    bool operator==(const Matrix3 &) const = default;

private:
    Point3 rows_[4];
};

/// A applied first, then B.
Matrix3 operator*(const Matrix3 &a, const Matrix3 &b);
inline Point3 operator*(const Point3 &p, const Matrix3 &m) {
    return m.PointTransform(p);
}
inline Point3 VectorTransform(const Matrix3 &m, const Point3 &v) {
    return m.VectorTransform(v);
}
/// The inverse transform. A singular matrix (determinant zero, such as a transform scaled to
/// nothing along one axis) has no inverse: the result is then the zero matrix, which maps
/// every point to the origin; callers that may meet such transforms test `Determinant` first.
Matrix3 Inverse(const Matrix3 &m);
Matrix3 RotateXMatrix(float angle);
Matrix3 RotateYMatrix(float angle);
Matrix3 RotateZMatrix(float angle);
Matrix3 TransMatrix(const Point3 &p);
Matrix3 ScaleMatrix(const Point3 &s);

// ---------------------------------------------------------------------------------------------
// Rotations

/// A rotation by `angle` radians about `axis` (turning as the Matrix3 rotations do).
struct AngAxis {
    Point3 axis{0.0f, 0.0f, 1.0f};
    float angle = 0.0f;
};

/// A unit quaternion (x, y, z vector part, w scalar part) standing for a rotation.
class Quat {
public:
    float x = 0.0f, y = 0.0f, z = 0.0f, w = 1.0f;

    constexpr Quat() = default;
    constexpr Quat(float x_, float y_, float z_, float w_) : x(x_), y(y_), z(z_), w(w_) {}
    explicit Quat(const AngAxis &aa);
    /// The rotation part of `m` (which must be a rotation, possibly with translation).
    explicit Quat(const Matrix3 &m);

    /// Writes the rotation into `mat` (translation zero).
    void MakeMatrix(Matrix3 &mat) const;
    void Normalize();
    constexpr bool operator==(const Quat &) const = default;
};

/// Spherical interpolation from `p` (t = 0) to `q` (t = 1) along the shorter arc.
Quat Slerp(const Quat &p, const Quat &q, float t);

// ---------------------------------------------------------------------------------------------
// Boxes

/// An axis-aligned box; empty until a point is added.
class Box3 {
public:
    Point3 pmin, pmax;

    Box3() { Init(); }
    Box3(const Point3 &lo, const Point3 &hi) : pmin(lo), pmax(hi) {}

    /// Makes the box empty.
    void Init();
    bool IsEmpty() const { return pmin.x > pmax.x || pmin.y > pmax.y || pmin.z > pmax.z; }
    Box3 &operator+=(const Point3 &p);
    Box3 &operator+=(const Box3 &b);
    /// TRUE when `p` lies inside or on the boundary.
    bool Contains(const Point3 &p) const;
    Point3 Center() const { return (pmin + pmax) * 0.5f; }
    /// Extent along each axis (zero for an empty box).
    Point3 Width() const { return IsEmpty() ? Point3() : pmax - pmin; }
    /// The box around the eight transformed corners.
    Box3 operator*(const Matrix3 &tm) const;
};

// ---------------------------------------------------------------------------------------------
// Colours and pixels

/// An RGB colour, nominally 0 … 1 per channel.
class Color {
public:
    float r = 0.0f, g = 0.0f, b = 0.0f;

    constexpr Color() = default;
    /// From any arithmetic values (ints, doubles, floats mixed freely).
    template <typename R, typename G, typename B>
    requires std::is_arithmetic_v<R> && std::is_arithmetic_v<G> && std::is_arithmetic_v<B>
    constexpr Color(R r_, G g_, B b_)
        : r(static_cast<float>(r_)), g(static_cast<float>(g_)), b(static_cast<float>(b_)) {}
    constexpr explicit Color(const Point3 &p) : r(p.x), g(p.y), b(p.z) {}
    constexpr explicit operator Point3() const { return {r, g, b}; }

    float &operator[](int i) { return i == 0 ? r : (i == 1 ? g : b); }
    float operator[](int i) const { return i == 0 ? r : (i == 1 ? g : b); }

    constexpr Color operator+(const Color &c) const { return {r + c.r, g + c.g, b + c.b}; }
    constexpr Color operator-(const Color &c) const { return {r - c.r, g - c.g, b - c.b}; }
    constexpr Color operator*(const Color &c) const { return {r * c.r, g * c.g, b * c.b}; }
    constexpr Color operator*(float f) const { return {r * f, g * f, b * f}; }
    constexpr Color operator/(float f) const { return {r / f, g / f, b / f}; }
    Color &operator+=(const Color &c) {
        r += c.r;
        g += c.g;
        b += c.b;
        return *this;
    }
    Color &operator-=(const Color &c) {
        r -= c.r;
        g -= c.g;
        b -= c.b;
        return *this;
    }
    Color &operator*=(const Color &c) {
        r *= c.r;
        g *= c.g;
        b *= c.b;
        return *this;
    }
    Color &operator*=(float f) {
        r *= f;
        g *= f;
        b *= f;
        return *this;
    }
    constexpr bool operator==(const Color &) const = default;

    /// Clamps every channel to 0 … 1.
    void ClampMinMax();
};

constexpr Color operator*(float f, const Color &c) {
    return c * f;
}

/// An RGB colour with alpha.
class AColor {
public:
    float r = 0.0f, g = 0.0f, b = 0.0f, a = 0.0f;

    constexpr AColor() = default;
    constexpr AColor(float r_, float g_, float b_, float a_ = 1.0f)
        : r(r_), g(g_), b(b_), a(a_) {}
    constexpr AColor(const Color &c, float a_ = 1.0f) : r(c.r), g(c.g), b(c.b), a(a_) {}
    constexpr explicit operator Color() const { return {r, g, b}; }

    constexpr AColor operator+(const AColor &c) const {
        return {r + c.r, g + c.g, b + c.b, a + c.a};
    }
    constexpr AColor operator*(float f) const { return {r * f, g * f, b * f, a * f}; }
    constexpr bool operator==(const AColor &) const = default;
};

/// A 64-bit pixel: four unsigned 16-bit channels, full scale 65535.
struct BMM_Color_64 {
    unsigned short r = 0, g = 0, b = 0, a = 0;
    constexpr bool operator==(const BMM_Color_64 &) const = default;
};

/// A rectangle in pixels; right and bottom are inclusive or exclusive as each caller states.
struct RECT {
    long left = 0, top = 0, right = 0, bottom = 0;
    constexpr bool operator==(const RECT &) const = default;
};
