/// @file geom.h
/// @brief TEMPORARY minimal points for the noise functions; replaced by the full geometry
///        header at merge.
#pragma once

struct Point2 {
    float x = 0.0f, y = 0.0f;
    constexpr Point2() = default;
    constexpr Point2(float x_, float y_) : x(x_), y(y_) {}
};

class Point3 {
public:
    float x = 0.0f, y = 0.0f, z = 0.0f;
    constexpr Point3() = default;
    constexpr Point3(float x_, float y_, float z_) : x(x_), y(y_), z(z_) {}
    constexpr Point3 operator+(const Point3 &o) const { return {x + o.x, y + o.y, z + o.z}; }
    constexpr Point3 operator-(const Point3 &o) const { return {x - o.x, y - o.y, z - o.z}; }
    constexpr Point3 operator*(float s) const { return {x * s, y * s, z * s}; }
};
