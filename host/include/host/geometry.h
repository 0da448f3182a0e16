/// @file geometry.h
/// @brief Renderable geometry: rays, the analytic shapes the scene renderer intersects, and
///        the plane, box, sphere and cylinder objects with their parameter blocks.
#pragma once

#include "host/geom.h"
#include "host/object.h"
#include "host/param_object.h"

/// A ray: origin `p` and direction `dir`. Distances along it are in units of |dir|, so a ray
/// carried into another space by an affine transform keeps its distances.
class Ray {
public:
    Point3 p;
    Point3 dir;
};

// Class identifiers of the primitives (super class GEOMOBJECT_CLASS_ID).
constexpr Class_ID PLANE_CLASS_ID(0x50A1E001, 0);
constexpr Class_ID BOXOBJ_CLASS_ID(0x50A1E002, 0);
constexpr Class_ID SPHERE_CLASS_ID(0x50A1E003, 0);
constexpr Class_ID CYLINDER_CLASS_ID(0x50A1E004, 0);

enum class ShapeKind { kNone, kPlane, kBox, kSphere, kCylinder };

/// The object-space surface of a primitive at one time, evaluated once per frame so that
/// rendering does not read parameter blocks per ray.
///
/// - plane: the rectangle lo … hi in z = 0, two-sided, normal +z;
/// - box: the box lo … hi (a box stands on its pivot: z from 0 to its height);
/// - sphere: radius `radius` around the origin (lo … hi its bounds);
/// - cylinder: radius `radius` around the z axis, z from lo.z to hi.z, with caps.
/// A shape with no extent is `kNone` and is never hit.
struct PrimitiveShape {
    ShapeKind kind = ShapeKind::kNone;
    Point3 lo, hi;
    float radius = 0.0f;

    Box3 Bounds() const { return kind == ShapeKind::kNone ? Box3() : Box3(lo, hi); }
};

/// The nearest hit of `ray` on `shape` with a distance in (tmin, tmax): its distance and the
/// unit outward normal there (object space). False when there is none.
bool IntersectShape(const PrimitiveShape &shape, const Ray &ray, float tmin, float tmax,
                    float &t, Point3 &normal);

/// Base of the analytic primitives: a geometric object whose surface is a `PrimitiveShape`
/// driven by its parameter block. Segment counts are kept for tessellated display; rendering
/// uses the exact surface.
class PrimitiveObject : public ParamObject<GeomObject> {
public:
    /// The surface at t.
    virtual PrimitiveShape GetShape(TimeValue t) = 0;

    /// The nearest hit of `ray` (object space) at t: distance `at` and unit normal `norm`.
    /// Nonzero when hit.
    int IntersectRay(TimeValue t, Ray &ray, float &at, Point3 &norm);
    /// Object-space bounds at t (empty for a shape with no extent).
    Box3 GetObjectBox(TimeValue t) { return GetShape(t).Bounds(); }

protected:
    PrimitiveObject(const ParamSpec *specs, int count, bool loading)
        : ParamObject<GeomObject>(specs, count, loading) {}
};

// Parameter indices of each primitive's block (names in quotes).
namespace plane_params {
enum { kLength, kWidth, kLengthSegs, kWidthSegs };  // "Length" (y), "Width" (x), segments
}
namespace box_params {
enum { kLength, kWidth, kHeight, kLengthSegs, kWidthSegs, kHeightSegs };
}
namespace sphere_params {
enum { kRadius, kSegments };  // "Radius", "Segments"
}
namespace cylinder_params {
enum { kRadius, kHeight, kHeightSegs, kCapSegs, kSides };
}
