/// @file march_volumes.h
/// @brief The particle volumes the ray march works through: one record per particle of every
///        volume-rendered Nimbra helper, built once per frame, with its shape in its own space,
///        its world bounding box, and the ray and point tests the marches use.
#pragma once

#include "framework/helper_record.h"
#include "framework/plugin_records.h"
#include "host/geom.h"

#include <vector>

/// One particle volume of one frame.
///
/// The volume's own space is the particle's rotation and scale about its centre, so a shape is
/// always the canonical one: a sphere of radius `size`, a cylinder of radius `size` along z
/// from −size to +size, a box of half extents `size`. `record.worldToVolume` maps world points
/// into that space; `record.height` and `record.halfExtents` hold the same sizes for the
/// plug-ins.
struct MarchVolume {
    ParticleVolume record;
    float size = 0.0f;
    float sizeSq = 0.0f;
    Matrix3 volumeToWorld;
    Box3 bounds;  ///< world space
};

/// Normalised distance of a world point from the volume's centre: below 1 inside, 1 on the
/// surface. Spheres give the squared radius ratio; cylinders the larger of the squared radius
/// ratio and the height ratio; boxes the largest per-axis ratio.
float NormalisedDistance(const MarchVolume &v, const Point3 &world);

/// Where the ray `origin + t·dir` (any length of `dir`) runs inside the volume, clipped to
/// 0 ≤ t ≤ `length`: true with the entry and exit parameters, false when it stays outside.
bool IntersectVolume(const MarchVolume &v, const Point3 &origin, const Point3 &dir,
                     float length, float &entry, float &exit);

/// Fills the transform, sizes and bounds of `v` from a particle's placement. False, leaving
/// `v` unusable, when the volume has no extent (size 0, a scale of 0 along an axis, or values
/// that are not finite).
bool PlaceVolume(MarchVolume &v, int shape, const Point3 &center, const Matrix3 &rotation,
                 const Point3 &scale, float size);

/// A volume-rendered helper of the frame: its record (plug-ins, age window, stride, size) and
/// where its particle systems come from.
struct VolumeHelper {
    HelperRecord record;
    IHelperRecord *source = nullptr;
};

/// Appends to `out` the volumes of every particle of `helper` (index `helperIndex`) at t that
/// lies in the helper's age window, taking every Nth from the offset: size from the helper's
/// size quantity, shape, rotation and scale from its particle-transform plug-in (the third).
void CollectVolumes(TimeValue t, const VolumeHelper &helper, int helperIndex,
                    std::vector<MarchVolume> &out);
