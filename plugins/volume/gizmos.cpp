/// @file gizmos.cpp
/// @brief The sphere, cylinder and box gizmos: parameter tables, outlines, bounding boxes.
#include "plugins/volume/gizmos.h"

#include <chrono>
#include <cmath>
#include <cstdlib>

namespace {

/// Largest size of a gizmo, in world units.
constexpr float kMaxSize = 1e10f;
const ParamRange kSizeRange{0.0f, kMaxSize};
const ParamRange kSeedRange{0.0f, kMaxSize};
const Color kDefaultWire = VolumeGizmo::DefaultWireColor();

// Parameter blocks (version 0). Only the sizes are named; the others answer "??".
const ParamSpec kSphereParams[NBSphereGizmoObject::kParams] = {
    {"Radius", TYPE_FLOAT, TRUE, 0.0f, stdWorldDim, {}, kParamIDIsIndex, kSizeRange},
    {"??", TYPE_INT, FALSE, 0.0f, defaultDim, {}, kParamIDIsIndex, {0.0f, 1.0f}},
    {"??", TYPE_INT, FALSE, 0.0f, defaultDim, {}, kParamIDIsIndex, kSeedRange},
    {"??", TYPE_RGBA, TRUE, 0.0f, defaultDim, kDefaultWire},
};
const ParamSpec kCylinderParams[NBCylGizmoObject::kParams] = {
    {"Radius", TYPE_FLOAT, TRUE, 0.0f, stdWorldDim, {}, kParamIDIsIndex, kSizeRange},
    {"Height", TYPE_FLOAT, TRUE, 0.0f, stdWorldDim, {}, kParamIDIsIndex, kSizeRange},
    {"??", TYPE_INT, FALSE, 0.0f, defaultDim, {}, kParamIDIsIndex, kSeedRange},
    {"??", TYPE_RGBA, TRUE, 0.0f, defaultDim, kDefaultWire},
};
const ParamSpec kBoxParams[NBBoxGizmoObject::kParams] = {
    {"Length", TYPE_FLOAT, TRUE, 0.0f, stdWorldDim, {}, kParamIDIsIndex, kSizeRange},
    {"Width", TYPE_FLOAT, TRUE, 0.0f, stdWorldDim, {}, kParamIDIsIndex, kSizeRange},
    {"Height", TYPE_FLOAT, TRUE, 0.0f, stdWorldDim, {}, kParamIDIsIndex, kSizeRange},
    {"??", TYPE_INT, FALSE, 0.0f, defaultDim, {}, kParamIDIsIndex, kSeedRange},
    {"??", TYPE_RGBA, TRUE, 0.0f, defaultDim, kDefaultWire},
};

/// Describes gizmo class `T`: created by code only, so not public.
template <typename T>
class GizmoClassDesc final : public ClassDesc {
public:
    explicit GizmoClassDesc(const TCHAR *name) : name_(name) {}
    int IsPublic() override { return FALSE; }
    void *Create(BOOL loading) override {
        return static_cast<Animatable *>(new T(loading != FALSE));
    }
    const TCHAR *ClassName() override { return name_; }
    SClass_ID SuperClassID() override { return HELPER_CLASS_ID; }
    Class_ID ClassID() override { return T::kClassID; }
    const TCHAR *Category() override { return "Nimbra Helpers"; }

private:
    const TCHAR *name_;
};

constexpr const TCHAR *kSphereName = "NBSphere";
constexpr const TCHAR *kCylinderName = "NBCylinder";
constexpr const TCHAR *kBoxName = "NBBox";

/// The point at step k of a circle of radius r, as (r cos a, r sin a) with a = k × 2π / 16.
Point2 CirclePoint(float r, int k) {
    const float a = float(k) * (VolumeGizmo::kTwoPi / float(VolumeGizmo::kCircleSegments));
    return Point2(r * std::cos(a), r * std::sin(a));
}

/// Appends the segments joining `points` in order.
void AppendPolyline(std::vector<GizmoSegment> &out, const std::vector<Point3> &points) {
    for (std::size_t i = 1; i < points.size(); ++i) out.push_back({points[i - 1], points[i]});
}

}  // namespace

ClassDesc *GetSphereGizmoDesc() {
    static GizmoClassDesc<NBSphereGizmoObject> desc(kSphereName);
    return &desc;
}
ClassDesc *GetCylinderGizmoDesc() {
    static GizmoClassDesc<NBCylGizmoObject> desc(kCylinderName);
    return &desc;
}
ClassDesc *GetBoxGizmoDesc() {
    static GizmoClassDesc<NBBoxGizmoObject> desc(kBoxName);
    return &desc;
}

// ---------------------------------------------------------------------------------------------
// What the gizmos share

void VolumeGizmo::GetBoundBox(const Matrix3 &tm, TimeValue t, Box3 &box) {
    Box3 outline;
    for (const GizmoSegment &s : Outline(t)) {
        outline += s.a * tm;
        outline += s.b * tm;
    }
    box += outline;
}

void VolumeGizmo::NewSeed() {
    const auto ticks = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now().time_since_epoch());
    std::srand(static_cast<unsigned>(ticks.count()));
    SetParam(seedParam_, 0, std::rand());
}

// ---------------------------------------------------------------------------------------------
// Sphere

NBSphereGizmoObject::NBSphereGizmoObject(bool loading)
    : VolumeGizmo(kSphereName, kSphereParams, kParams, kSeed, kWireColor, loading) {}

ReferenceTarget *NBSphereGizmoObject::Clone(RemapDir &remap) {
    return CloneAs<NBSphereGizmoObject>(remap);
}

std::vector<GizmoSegment> NBSphereGizmoObject::Outline(TimeValue t) {
    const float r = GetFloat(kRadius, t);
    const int vertical = GetInt(kHemisphere, t) ? kCircleSegments / 2 : kCircleSegments;
    std::vector<Point3> xy, yz, xz;
    for (int k = 0; k <= kCircleSegments; ++k) {
        const Point2 c = CirclePoint(r, k);
        xy.emplace_back(c.x, c.y, 0.0f);
        if (k > vertical) continue;
        yz.emplace_back(0.0f, c.x, c.y);
        xz.emplace_back(c.x, 0.0f, c.y);
    }
    std::vector<GizmoSegment> out;
    AppendPolyline(out, xy);
    AppendPolyline(out, yz);
    AppendPolyline(out, xz);
    return out;
}

// ---------------------------------------------------------------------------------------------
// Cylinder

NBCylGizmoObject::NBCylGizmoObject(bool loading)
    : VolumeGizmo(kCylinderName, kCylinderParams, kParams, kSeed, kWireColor, loading) {}

ReferenceTarget *NBCylGizmoObject::Clone(RemapDir &remap) {
    return CloneAs<NBCylGizmoObject>(remap);
}

std::vector<GizmoSegment> NBCylGizmoObject::Outline(TimeValue t) {
    const float r = GetFloat(kRadius, t);
    const float half = GetFloat(kHeight, t) * 0.5f;
    std::vector<GizmoSegment> out;
    for (int k = 0; k < kCircleSegments; ++k) {
        const Point2 a = CirclePoint(r, k), b = CirclePoint(r, k + 1);
        out.push_back({Point3(a.x, a.y, -half), Point3(b.x, b.y, -half)});
        out.push_back({Point3(b.x, b.y, -half), Point3(b.x, b.y, half)});
    }
    for (int k = 0; k < kCircleSegments; ++k) {
        const Point2 a = CirclePoint(r, k), b = CirclePoint(r, k + 1);
        out.push_back({Point3(a.x, a.y, half), Point3(b.x, b.y, half)});
    }
    return out;
}

// ---------------------------------------------------------------------------------------------
// Box

NBBoxGizmoObject::NBBoxGizmoObject(bool loading)
    : VolumeGizmo(kBoxName, kBoxParams, kParams, kSeed, kWireColor, loading) {}

ReferenceTarget *NBBoxGizmoObject::Clone(RemapDir &remap) {
    return CloneAs<NBBoxGizmoObject>(remap);
}

std::vector<GizmoSegment> NBBoxGizmoObject::Outline(TimeValue t) {
    const float y = GetFloat(kLength, t) * 0.5f;
    const float x = GetFloat(kWidth, t) * 0.5f;
    const float z = GetFloat(kHeight, t) * 0.5f;
    // The rectangle's corners in turn, at height h.
    const auto rectangle = [&](float h) {
        return std::vector<Point3>{Point3(-x, -y, h), Point3(x, -y, h), Point3(x, y, h),
                                   Point3(-x, y, h), Point3(-x, -y, h)};
    };
    std::vector<GizmoSegment> out;
    AppendPolyline(out, rectangle(z));
    AppendPolyline(out, rectangle(-z));
    const std::vector<Point3> bottom = rectangle(-z);
    for (int i = 0; i < 4; ++i)  // the fifth corner closes the rectangle
        out.push_back({bottom[i], Point3(bottom[i].x, bottom[i].y, z)});
    return out;
}
