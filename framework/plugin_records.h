/// @file plugin_records.h
/// @brief The records that cross module boundaries: one screen-space particle, one volume
///        sample, one particle or gizmo volume.
#pragma once

#include "host/geom.h"

#include <cstdint>

class ShadeContext;
struct ParticleVolume;

/// One particle of one helper for one frame, as the particle renderer builds it and hands it
/// to the plug-ins.
struct ParticleInfo {
    int screenX = 0;  ///< centre in image pixels, rounded (value + 0.5, truncated)
    int screenY = 0;
    Point3 position;      ///< world position when collected; camera space after projection
    int age = 0;          ///< ticks, as the particle system reports it
    int helperIndex = 0;  ///< the owning helper in the frame's helper list
    /// World size from the helper's size controller when collected; after projection the
    /// screen radius in pixels.
    float size = 0.0f;
    int lifeStart = 0;  ///< the helper's age window, ticks
    int lifeEnd = 0;
    Point3 light;               ///< light arriving at the particle (the renderer sets 0)
    Point3 atmosColor;          ///< atmosphere colour at the particle, 0..1
    Point3 atmosTransmission;   ///< per-channel atmosphere transmission, 0..1
    int visible = 0;            ///< survived the projection tests
    void *particles = nullptr;  ///< the particle object it came from; null after projection
    int particleIndex = 0;      ///< index in that particle system
};

/// One sample point that the volume renderer hands to the density, shadow and colour queries.
struct SampleInfo {
    ParticleVolume *volume = nullptr;
    ShadeContext *shadeContext = nullptr;  ///< of the ray being marched
    Point3 worldPoint;
    /// Relative to the volume's centre; density functions may change it in place.
    Point3 point;
    float sunbeam = 0.0f;  ///< 0..1, written by the volume renderer
    /// 0 at the volume's centre, 1 at its rim (squared for spheres).
    float radius = 0.0f;
    float noise = 0.0f;    ///< first density result: the raw noise or shape value
    float density = 0.0f;  ///< second density result: what the volume renderer accumulates
    Color color;
    int materialId[2] = {0, 0};
};

/// Volume shapes of `ParticleVolume::shape` and `__ComputeParticleShape__`.
enum ParticleVolumeShape { kVolumeSphere = 0, kVolumeCylinder = 1, kVolumeBox = 2 };

/// Per-volume cache slots, one per plug-in role of a helper.
enum CacheSlot { kShapeCache = 0, kColorCache = 1, kTransformCache = 2 };

/// One particle (or gizmo) volume; the volume renderer owns the array and fills it.
struct ParticleVolume {
    Point3 center;  ///< world centre
    Point3 motion;  ///< direction along which density functions move their noise
    /// Added to the noise phase; truncated, the per-particle number passed to `__Reset__`.
    float phase = 0.0f;
    int age = 0;  ///< passed to controller `__Eval__`
    int lifeStart = 0;
    int lifeEnd = 0;
    std::int32_t rendererOwn[3] = {0, 0, 0};  ///< the volume renderer's own; plug-ins ignore it
    /// Caches of the helper's three plug-ins, indexed by `CacheSlot`: `__CreateCache__` stores
    /// its record in its own slot, `__DestroyCache__` frees it and clears the slot.
    void *cache[3] = {nullptr, nullptr, nullptr};
    int pluginSet = 0;  ///< the owning helper's plug-in set in the volume renderer
    int lit = 0;        ///< takes part in lighting and shadows
    int shape = kVolumeSphere;
    Matrix3 worldToVolume;
    float height = 0.0f;  ///< cylinder height
    Point3 halfExtents;   ///< box half extents, stored in the order z, x, y
};
