/// @file gizmos.h
/// @brief The three gizmo helpers that mark out volumes in a scene (sphere, cylinder, box):
///        their parameters, their wire outlines and the bounding boxes of those outlines.
#pragma once

#include "plugins/volume/volume_api.h"

#include "host/geom.h"
#include "host/object.h"
#include "host/param_object.h"

#include <vector>

/// Descriptors of the gizmo classes ("NBSphere", "NBCylinder", "NBBox", category
/// "Nimbra Helpers", helper super class). They are not offered for creation: code creates them
/// by class identifier.
ZEPHRAVOLUME_API ClassDesc *GetSphereGizmoDesc();
ZEPHRAVOLUME_API ClassDesc *GetCylinderGizmoDesc();
ZEPHRAVOLUME_API ClassDesc *GetBoxGizmoDesc();

/// One straight line of a gizmo's wire outline, in the gizmo's local space.
struct GizmoSegment {
    Point3 a, b;
};

/// What the three gizmos share: a parameter block (version 0) as their only reference, sizes
/// in world units, a seed that the gizmo does not use itself (it is there for whoever reads the
/// gizmo) and a wire colour. Whoever draws viewports draws `Outline` in the wire colour.
class ZEPHRAVOLUME_API VolumeGizmo : public ParamObject<HelperObject> {
public:
    /// Angle step of the circles: a sixteenth of a turn.
    static constexpr int kCircleSegments = 16;
    static constexpr float kTwoPi = 6.2831855f;

    const TCHAR *GetObjectName() override { return name_; }
    void GetClassName(TSTR &s) override { s = name_; }

    /// The outline at t, in local space.
    virtual std::vector<GizmoSegment> Outline(TimeValue t) = 0;
    /// Grows `box` by the box around the outline at t transformed by `tm`.
    void GetBoundBox(const Matrix3 &tm, TimeValue t, Box3 &box);
    /// The colour a gizmo is drawn in when the scene gives none.
    static Color DefaultWireColor() { return Color(1.0f, 1.0f, 0.0f); }
    Color WireColor(TimeValue t) const { return GetColor(wireColorParam_, t); }
    /// A gizmo never changes on its own: valid for all time.
    Interval ObjectValidity(TimeValue) { return FOREVER; }

    int Seed() const { return GetInt(seedParam_, 0); }
    /// "New Seed": seeds the C library's generator with the current tick count and stores the
    /// next random number as the seed at time 0.
    void NewSeed();

protected:
    VolumeGizmo(const TCHAR *name, const ParamSpec *specs, int count, int seedParam,
                int wireColorParam, bool loading)
        : ParamObject(specs, count, loading),
          name_(name),
          seedParam_(seedParam),
          wireColorParam_(wireColorParam) {}

    /// A new `T` (made for loading) holding a clone of this gizmo's block.
    template <typename T>
    ReferenceTarget *CloneAs(RemapDir &remap) {
        auto *copy = new T(true);
        CloneBlockInto(*copy, remap);
        return copy;
    }

private:
    const TCHAR *name_;
    int seedParam_;
    int wireColorParam_;
};

/// A sphere of a radius, optionally only its upper half.
class ZEPHRAVOLUME_API NBSphereGizmoObject final : public VolumeGizmo {
public:
    static constexpr Class_ID kClassID{0x77753B82, 0x69DF4D72};
    enum Param { kRadius, kHemisphere, kSeed, kWireColor, kParams };

    explicit NBSphereGizmoObject(bool loading = false);
    Class_ID ClassID() override { return kClassID; }
    ReferenceTarget *Clone(RemapDir &remap) override;

    /// Three circles of 16 segments: in the XY plane from (r, 0, 0), in the YZ plane from
    /// (0, r, 0) and in the XZ plane from (r, 0, 0). With Hemisphere on, the two vertical
    /// circles stop after 8 segments (z >= 0).
    std::vector<GizmoSegment> Outline(TimeValue t) override;
};

/// A cylinder of a radius and a height, centred on the origin along z.
class ZEPHRAVOLUME_API NBCylGizmoObject final : public VolumeGizmo {
public:
    static constexpr Class_ID kClassID{0x45CB674D, 0x5CA422FC};
    enum Param { kRadius, kHeight, kSeed, kWireColor, kParams };

    explicit NBCylGizmoObject(bool loading = false);
    Class_ID ClassID() override { return kClassID; }
    ReferenceTarget *Clone(RemapDir &remap) override;

    /// The 16 segments of the circle at z = −h/2, each followed by the vertical line from its
    /// end up to z = +h/2, then the 16 segments of the circle at z = +h/2.
    std::vector<GizmoSegment> Outline(TimeValue t) override;
};

/// A box centred on the origin: x across the width, y along the length, z up the height.
class ZEPHRAVOLUME_API NBBoxGizmoObject final : public VolumeGizmo {
public:
    static constexpr Class_ID kClassID{0x359D1840, 0x58F34F7C};
    enum Param { kLength, kWidth, kHeight, kSeed, kWireColor, kParams };

    explicit NBBoxGizmoObject(bool loading = false);
    Class_ID ClassID() override { return kClassID; }
    ReferenceTarget *Clone(RemapDir &remap) override;

    /// The closed top rectangle, the closed bottom rectangle and the four vertical edges.
    std::vector<GizmoSegment> Outline(TimeValue t) override;
};
