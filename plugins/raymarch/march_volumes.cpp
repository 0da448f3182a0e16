/// @file march_volumes.cpp
/// @brief Particle volumes: placement, point and ray tests, collection from the helpers.
#include "plugins/raymarch/march_volumes.h"

#include "framework/plugin_interface.h"
#include "host/particles.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace {

bool Finite(const Point3 &p) {
    return std::isfinite(p.x) && std::isfinite(p.y) && std::isfinite(p.z);
}

/// Clips [t0, t1] to where a + t·b lies within ±limit along one axis.
bool ClipSlab(float a, float b, float limit, float &t0, float &t1) {
    if (b == 0.0f) return std::fabs(a) <= limit;
    float near = (-limit - a) / b, far = (limit - a) / b;
    if (near > far) std::swap(near, far);
    t0 = std::max(t0, near);
    t1 = std::min(t1, far);
    return t0 <= t1;
}

/// Clips [t0, t1] to where o + t·d lies within the circle x² + y² ≤ r² (in x and y only).
bool ClipCircle(const Point3 &o, const Point3 &d, float r, float &t0, float &t1) {
    const float a = d.x * d.x + d.y * d.y;
    const float c = o.x * o.x + o.y * o.y - r * r;
    if (a == 0.0f) return c <= 0.0f;
    const float b = o.x * d.x + o.y * d.y;
    const float disc = b * b - a * c;
    if (disc < 0.0f) return false;
    const float root = std::sqrt(disc);
    t0 = std::max(t0, (-b - root) / a);
    t1 = std::min(t1, (-b + root) / a);
    return t0 <= t1;
}

/// `m` applied to a point and to a direction, inline: the march does this for every sample.
Point3 ToVolume(const Matrix3 &m, const Point3 &p) {
    return m[0] * p.x + m[1] * p.y + m[2] * p.z + m[3];
}
Point3 DirectionToVolume(const Matrix3 &m, const Point3 &d) {
    return m[0] * d.x + m[1] * d.y + m[2] * d.z;
}

}  // namespace

float NormalisedDistance(const MarchVolume &v, const Point3 &world) {
    const Point3 p = ToVolume(v.record.worldToVolume, world);
    switch (v.record.shape) {
        case kVolumeCylinder:
            return std::max((p.x * p.x + p.y * p.y) / v.sizeSq, std::fabs(p.z) / v.size);
        case kVolumeBox:
            return std::max({std::fabs(p.x), std::fabs(p.y), std::fabs(p.z)}) / v.size;
        default:
            return (p.x * p.x + p.y * p.y + p.z * p.z) / v.sizeSq;
    }
}

bool IntersectVolume(const MarchVolume &v, const Point3 &origin, const Point3 &dir,
                     float length, float &entry, float &exit) {
    // The ray parameter is the same in both spaces, as the transform is affine.
    const Point3 o = ToVolume(v.record.worldToVolume, origin);
    const Point3 d = DirectionToVolume(v.record.worldToVolume, dir);
    float t0 = 0.0f, t1 = length;
    const float r = v.size;
    bool hit;
    switch (v.record.shape) {
        case kVolumeCylinder:
            hit = ClipCircle(o, d, r, t0, t1) && ClipSlab(o.z, d.z, r, t0, t1);
            break;
        case kVolumeBox:
            hit = ClipSlab(o.x, d.x, r, t0, t1) && ClipSlab(o.y, d.y, r, t0, t1) &&
                  ClipSlab(o.z, d.z, r, t0, t1);
            break;
        default: {
            const float a = DotProd(d, d);
            const float b = DotProd(o, d);
            const float c = DotProd(o, o) - v.sizeSq;
            const float disc = b * b - a * c;
            hit = a > 0.0f && disc >= 0.0f;
            if (hit) {
                const float root = std::sqrt(disc);
                t0 = std::max(t0, (-b - root) / a);
                t1 = std::min(t1, (-b + root) / a);
                hit = t0 <= t1;
            }
        }
    }
    if (!hit || t0 >= t1) return false;
    entry = t0;
    exit = t1;
    return true;
}

bool PlaceVolume(MarchVolume &v, int shape, const Point3 &center, const Matrix3 &rotation,
                 const Point3 &scale, float size) {
    if (!(size > 0.0f) || !std::isfinite(size) || !Finite(center) || !Finite(scale))
        return false;
    Matrix3 tm = ScaleMatrix(scale);
    Matrix3 turn = rotation;
    turn.NoTrans();
    tm = tm * turn * TransMatrix(center);
    const float det = tm.Determinant();
    if (det == 0.0f || !std::isfinite(det)) return false;

    v.record.shape = shape == kVolumeCylinder || shape == kVolumeBox ? shape : kVolumeSphere;
    v.record.center = center;
    v.record.worldToVolume = Inverse(tm);
    v.record.height = size;
    v.record.halfExtents = Point3(size, size, size);
    v.size = size;
    v.sizeSq = size * size;
    v.volumeToWorld = tm;
    v.bounds = Box3(Point3(-size, -size, -size), Point3(size, size, size)) * tm;
    return true;
}

void CollectVolumes(TimeValue t, const VolumeHelper &helper, int helperIndex,
                    std::vector<MarchVolume> &out) {
    const HelperRecord &h = helper.record;
    NimbraPlugIn *transform = h.plugIns[HelperRecord::kComposite];
    if (!helper.source || !transform) return;
    const int stride = std::max(h.everyNth, 1);
    const float span = static_cast<float>(h.lifeEnd - h.lifeStart);

    const int systems = helper.source->ParticleSystemCount();
    for (int j = 1; j <= systems; ++j) {
        ParticleObject *system = helper.source->ParticleSystemState(j, t);
        if (!system) continue;
        const int count = system->NumParticles();
        for (long long k = std::max(h.nthOffset, 0); k < count; k += stride) {
            const int index = static_cast<int>(k);
            const int age = system->GetParticleAge(index);
            if (age < 0 || age < h.lifeStart || age > h.lifeEnd) continue;

            const Point3 position = system->GetParticlePosition(index);
            const Point3 motion = Normalize(system->GetParticleVelocity(index));
            const float fraction = span > 0.0f ? (age - h.lifeStart) / span : 0.0f;
            const float size = h.size.At(t, h.lifeStart, h.lifeEnd, index, age);

            MarchVolume v;
            // Announce the particle, so that a transform that turns each particle its own
            // way knows which one it turns.
            ParticleInfo info;
            info.position = position;
            info.age = age;
            info.particleIndex = index;
            transform->__EnumParticle__(&info, system, index);
            const int shape = transform->__ComputeParticleShape__(t);
            const Matrix3 rotation =
                transform->__ComputeParticleRotate__(t, position, motion, fraction, 1.0f);
            const Point3 scale = transform->__ComputeParticleScale__(t, fraction);
            if (!PlaceVolume(v, shape, position, rotation, scale, size)) continue;
            v.record.motion = motion;
            v.record.phase = static_cast<float>(index);
            v.record.age = age;
            v.record.lifeStart = h.lifeStart;
            v.record.lifeEnd = h.lifeEnd;
            v.record.pluginSet = helperIndex;
            v.record.lit = 1;
            out.push_back(v);
        }
    }
}
