/// @file geometry.cpp
/// @brief Ray intersection of the analytic shapes, and the plane, box, sphere and cylinder
///        objects with their parameter tables and class descriptors.
#include "host/geometry.h"

#include "built_in_class.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <span>

namespace {

constexpr float kInf = std::numeric_limits<float>::infinity();

bool InRange(double t, float tmin, float tmax) {
    return t > tmin && t < tmax;
}

bool HitPlane(const PrimitiveShape &s, const Ray &r, float tmin, float tmax, float &t,
              Point3 &n) {
    if (r.dir.z == 0.0f) return false;
    const float at = -r.p.z / r.dir.z;
    if (!InRange(at, tmin, tmax)) return false;
    const float x = r.p.x + at * r.dir.x;
    const float y = r.p.y + at * r.dir.y;
    if (x < s.lo.x || x > s.hi.x || y < s.lo.y || y > s.hi.y) return false;
    t = at;
    n = Point3(0.0f, 0.0f, 1.0f);
    return true;
}

bool HitBox(const PrimitiveShape &s, const Ray &r, float tmin, float tmax, float &t,
            Point3 &n) {
    float tnear = -kInf, tfar = kInf;
    int nearAxis = -1, farAxis = -1;
    float nearSign = 0.0f, farSign = 0.0f;
    for (int a = 0; a < 3; ++a) {
        const float o = r.p[a], d = r.dir[a];
        if (d == 0.0f) {
            if (o < s.lo[a] || o > s.hi[a]) return false;
            continue;
        }
        float t0 = (s.lo[a] - o) / d, t1 = (s.hi[a] - o) / d;
        float s0 = -1.0f, s1 = 1.0f;  // outward normal sign of the face at t0 and t1
        if (t0 > t1) {
            std::swap(t0, t1);
            std::swap(s0, s1);
        }
        if (t0 > tnear) {
            tnear = t0;
            nearAxis = a;
            nearSign = s0;
        }
        if (t1 < tfar) {
            tfar = t1;
            farAxis = a;
            farSign = s1;
        }
        if (tnear > tfar) return false;
    }
    n = Point3();
    if (nearAxis >= 0 && InRange(tnear, tmin, tmax)) {
        t = tnear;
        n[nearAxis] = nearSign;
        return true;
    }
    if (farAxis >= 0 && InRange(tfar, tmin, tmax)) {  // from inside: the exit face
        t = tfar;
        n[farAxis] = farSign;
        return true;
    }
    return false;
}

/// Roots of a·t² + 2b·t + c = 0 in increasing order; false when there are none. Computed in
/// double precision with the cancellation-free form, so depths stay exact for rays that pass
/// far from the origin.
bool SolveQuadratic(double a, double b, double c, double &t0, double &t1) {
    if (a == 0.0) return false;
    const double disc = b * b - a * c;
    if (disc < 0.0) return false;
    const double q = -(b + std::copysign(std::sqrt(disc), b));
    t0 = q / a;
    t1 = q != 0.0 ? c / q : t0;
    if (t0 > t1) std::swap(t0, t1);
    return true;
}

bool HitSphere(const PrimitiveShape &s, const Ray &r, float tmin, float tmax, float &t,
               Point3 &n) {
    const double a =
        double(r.dir.x) * r.dir.x + double(r.dir.y) * r.dir.y + double(r.dir.z) * r.dir.z;
    const double b =
        double(r.p.x) * r.dir.x + double(r.p.y) * r.dir.y + double(r.p.z) * r.dir.z;
    const double c = double(r.p.x) * r.p.x + double(r.p.y) * r.p.y + double(r.p.z) * r.p.z -
                     double(s.radius) * s.radius;
    double t0, t1;
    if (!SolveQuadratic(a, b, c, t0, t1)) return false;
    const double at = InRange(t0, tmin, tmax) ? t0 : t1;
    if (!InRange(at, tmin, tmax)) return false;
    t = static_cast<float>(at);
    n = Normalize(r.p + r.dir * t);
    return true;
}

bool HitCylinder(const PrimitiveShape &s, const Ray &r, float tmin, float tmax, float &t,
                 Point3 &n) {
    bool hit = false;
    float best = tmax;
    // Side.
    const double a = double(r.dir.x) * r.dir.x + double(r.dir.y) * r.dir.y;
    const double b = double(r.p.x) * r.dir.x + double(r.p.y) * r.dir.y;
    const double c =
        double(r.p.x) * r.p.x + double(r.p.y) * r.p.y - double(s.radius) * s.radius;
    double roots[2];
    if (SolveQuadratic(a, b, c, roots[0], roots[1])) {
        for (double root : roots) {
            if (!InRange(root, tmin, best)) continue;
            const float z = static_cast<float>(r.p.z + root * r.dir.z);
            if (z < s.lo.z || z > s.hi.z) continue;
            best = static_cast<float>(root);
            const Point3 p = r.p + r.dir * best;
            n = Normalize(Point3(p.x, p.y, 0.0f));
            hit = true;
            break;
        }
    }
    // Caps.
    if (r.dir.z != 0.0f) {
        const float capZ[2] = {s.lo.z, s.hi.z};
        for (int i = 0; i < 2; ++i) {
            const float at = (capZ[i] - r.p.z) / r.dir.z;
            if (!InRange(at, tmin, best)) continue;
            const float x = r.p.x + at * r.dir.x, y = r.p.y + at * r.dir.y;
            if (x * x + y * y > s.radius * s.radius) continue;
            best = at;
            n = Point3(0.0f, 0.0f, i == 0 ? -1.0f : 1.0f);
            hit = true;
        }
    }
    if (hit) t = best;
    return hit;
}

}  // namespace

bool IntersectShape(const PrimitiveShape &shape, const Ray &ray, float tmin, float tmax,
                    float &t, Point3 &normal) {
    switch (shape.kind) {
        case ShapeKind::kPlane:
            return HitPlane(shape, ray, tmin, tmax, t, normal);
        case ShapeKind::kBox:
            return HitBox(shape, ray, tmin, tmax, t, normal);
        case ShapeKind::kSphere:
            return HitSphere(shape, ray, tmin, tmax, t, normal);
        case ShapeKind::kCylinder:
            return HitCylinder(shape, ray, tmin, tmax, t, normal);
        case ShapeKind::kNone:
            break;
    }
    return false;
}

int PrimitiveObject::IntersectRay(TimeValue t, Ray &ray, float &at, Point3 &norm) {
    return IntersectShape(GetShape(t), ray, 0.0f, kInf, at, norm) ? 1 : 0;
}

namespace {

// Parameter tables --------------------------------------------------------------------------

const ParamSpec kPlaneSpecs[] = {
    {"Length", TYPE_FLOAT, TRUE, 100.0f, stdWorldDim},
    {"Width", TYPE_FLOAT, TRUE, 100.0f, stdWorldDim},
    {"Length Segments", TYPE_INT, TRUE, 4.0f, defaultDim},
    {"Width Segments", TYPE_INT, TRUE, 4.0f, defaultDim},
};
const ParamSpec kBoxSpecs[] = {
    {"Length", TYPE_FLOAT, TRUE, 10.0f, stdWorldDim},
    {"Width", TYPE_FLOAT, TRUE, 10.0f, stdWorldDim},
    {"Height", TYPE_FLOAT, TRUE, 10.0f, stdWorldDim},
    {"Length Segments", TYPE_INT, TRUE, 1.0f, defaultDim},
    {"Width Segments", TYPE_INT, TRUE, 1.0f, defaultDim},
    {"Height Segments", TYPE_INT, TRUE, 1.0f, defaultDim},
};
const ParamSpec kSphereSpecs[] = {
    {"Radius", TYPE_FLOAT, TRUE, 10.0f, stdWorldDim},
    {"Segments", TYPE_INT, TRUE, 32.0f, defaultDim},
};
const ParamSpec kCylinderSpecs[] = {
    {"Radius", TYPE_FLOAT, TRUE, 5.0f, stdWorldDim},
    {"Height", TYPE_FLOAT, TRUE, 10.0f, stdWorldDim},
    {"Height Segments", TYPE_INT, TRUE, 5.0f, defaultDim},
    {"Cap Segments", TYPE_INT, TRUE, 1.0f, defaultDim},
    {"Sides", TYPE_INT, TRUE, 18.0f, defaultDim},
};

// Shapes from the parameter values (the float parameters first in every table) --------------

/// z from 0 to `height`; a negative height reaches below the pivot.
void HeightRange(float height, PrimitiveShape &s) {
    s.lo.z = std::min(0.0f, height);
    s.hi.z = std::max(0.0f, height);
}

PrimitiveShape PlaneShape(const float *v) {
    PrimitiveShape s;
    const float hl = std::fabs(v[plane_params::kLength]) * 0.5f;
    const float hw = std::fabs(v[plane_params::kWidth]) * 0.5f;
    if (hl <= 0.0f || hw <= 0.0f) return s;
    s.kind = ShapeKind::kPlane;
    s.lo = Point3(-hw, -hl, 0.0f);
    s.hi = Point3(hw, hl, 0.0f);
    return s;
}

PrimitiveShape BoxShape(const float *v) {
    PrimitiveShape s;
    const float hl = std::fabs(v[box_params::kLength]) * 0.5f;
    const float hw = std::fabs(v[box_params::kWidth]) * 0.5f;
    const float h = v[box_params::kHeight];
    if (hl <= 0.0f || hw <= 0.0f || h == 0.0f) return s;
    s.kind = ShapeKind::kBox;
    s.lo = Point3(-hw, -hl, 0.0f);
    s.hi = Point3(hw, hl, 0.0f);
    HeightRange(h, s);
    return s;
}

PrimitiveShape SphereShape(const float *v) {
    PrimitiveShape s;
    const float r = std::fabs(v[sphere_params::kRadius]);
    if (r <= 0.0f) return s;
    s.kind = ShapeKind::kSphere;
    s.radius = r;
    s.lo = Point3(-r, -r, -r);
    s.hi = Point3(r, r, r);
    return s;
}

PrimitiveShape CylinderShape(const float *v) {
    PrimitiveShape s;
    const float r = std::fabs(v[cylinder_params::kRadius]);
    const float h = v[cylinder_params::kHeight];
    if (r <= 0.0f || h == 0.0f) return s;
    s.kind = ShapeKind::kCylinder;
    s.radius = r;
    s.lo = Point3(-r, -r, 0.0f);
    s.hi = Point3(r, r, 0.0f);
    HeightRange(h, s);
    return s;
}

// The four classes --------------------------------------------------------------------------

struct PlaneTraits {
    static constexpr const char *kName = "Plane";
    static constexpr Class_ID kClassID = PLANE_CLASS_ID;
    static constexpr std::span<const ParamSpec> kSpecs = kPlaneSpecs;
    static constexpr auto Shape = PlaneShape;
};
struct BoxTraits {
    static constexpr const char *kName = "Box";
    static constexpr Class_ID kClassID = BOXOBJ_CLASS_ID;
    static constexpr std::span<const ParamSpec> kSpecs = kBoxSpecs;
    static constexpr auto Shape = BoxShape;
};
struct SphereTraits {
    static constexpr const char *kName = "Sphere";
    static constexpr Class_ID kClassID = SPHERE_CLASS_ID;
    static constexpr std::span<const ParamSpec> kSpecs = kSphereSpecs;
    static constexpr auto Shape = SphereShape;
};
struct CylinderTraits {
    static constexpr const char *kName = "Cylinder";
    static constexpr Class_ID kClassID = CYLINDER_CLASS_ID;
    static constexpr std::span<const ParamSpec> kSpecs = kCylinderSpecs;
    static constexpr auto Shape = CylinderShape;
};

/// The object an interactive preview places in the scene so that a "selected only" render
/// shades no scene geometry while atmospherics still see every ray: it has no surface.
struct PreviewObjectTraits {
    static constexpr const char *kName = "Preview Object";
    static constexpr Class_ID kClassID{0x479F422E, 0x00CD167B};
    static constexpr std::span<const ParamSpec> kSpecs{};
    static PrimitiveShape Shape(const float *) { return {}; }
};

constexpr std::size_t kMaxParams = 8;

template <class Traits>
class Primitive final : public PrimitiveObject {
public:
    static_assert(Traits::kSpecs.size() <= kMaxParams);

    explicit Primitive(bool loading = false)
        : PrimitiveObject(Traits::kSpecs.data(), static_cast<int>(Traits::kSpecs.size()),
                          loading) {}

    Class_ID ClassID() override { return Traits::kClassID; }
    void GetClassName(TSTR &s) override { s = Traits::kName; }
    const TCHAR *GetObjectName() override { return Traits::kName; }

    PrimitiveShape GetShape(TimeValue t) override {
        float v[kMaxParams] = {};
        for (std::size_t i = 0; i < Traits::kSpecs.size(); ++i)
            v[i] = GetFloat(static_cast<int>(i), t);
        return Traits::Shape(v);
    }

    ReferenceTarget *Clone(RemapDir &remap) override {
        auto *copy = new Primitive(true);
        CloneBlockInto(*copy, remap);
        return copy;
    }
};

constexpr const char *kCategory = "Standard Primitives";

BuiltInClassDesc<Primitive<PlaneTraits>> planeDesc("Plane", GEOMOBJECT_CLASS_ID, PLANE_CLASS_ID,
                                                   kCategory);
BuiltInClassDesc<Primitive<BoxTraits>> boxDesc("Box", GEOMOBJECT_CLASS_ID, BOXOBJ_CLASS_ID,
                                               kCategory);
BuiltInClassDesc<Primitive<SphereTraits>> sphereDesc("Sphere", GEOMOBJECT_CLASS_ID,
                                                     SPHERE_CLASS_ID, kCategory);
BuiltInClassDesc<Primitive<CylinderTraits>> cylinderDesc("Cylinder", GEOMOBJECT_CLASS_ID,
                                                         CYLINDER_CLASS_ID, kCategory);
BuiltInClassDesc<Primitive<PreviewObjectTraits>> previewObjectDesc(
    "Preview Object", GEOMOBJECT_CLASS_ID, PreviewObjectTraits::kClassID);

}  // namespace
