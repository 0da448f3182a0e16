/// @file node_transform.cpp
/// @brief Keyed position, rotation and scale tracks, their evaluation and scene-file chunks,
///        transform decomposition and the look-at rotation.
#include "host/node_transform.h"

#include "host/interface.h"
#include "host/messages.h"

#include "binary_io.h"
#include "key_track.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace {

// Chunks of the three tracks inside a node's data: the constant, the key count (uint32), then
// per key its time (int32) and value (3 floats x y z; rotations 4 floats x y z w).
constexpr USHORT kChunkPosition = 0x0150;
constexpr USHORT kChunkRotation = 0x0160;
constexpr USHORT kChunkScale = 0x0170;

constexpr float kDegToRad = std::numbers::pi_v<float> / 180.0f;

Point3 Interpolate(const Point3 &a, const Point3 &b, float u) {
    return a + (b - a) * u;
}
Quat Interpolate(const Quat &a, const Quat &b, float u) {
    return Slerp(a, b, u);
}

template <typename V>
V Evaluate(const TransformKeys<V> &track, TimeValue t, Interval &valid) {
    if (track.keys.empty()) return track.constant;
    const auto span = hostkeys::Locate(track.keys, t, valid);
    if (span.prev == span.next) return span.prev->v;
    return Interpolate(span.prev->v, span.next->v, static_cast<float>(span.u));
}

template <typename V>
void DropKeys(TransformKeys<V> &track) {
    Interval valid = FOREVER;
    track.constant = Evaluate(track, 0, valid);
    track.keys.clear();
}

// Values in the file.
bool WriteValue(ISave &s, const Point3 &p) {
    return hostio::WriteF32(s, p.x) && hostio::WriteF32(s, p.y) && hostio::WriteF32(s, p.z);
}
bool WriteValue(ISave &s, const Quat &q) {
    return hostio::WriteF32(s, q.x) && hostio::WriteF32(s, q.y) && hostio::WriteF32(s, q.z) &&
           hostio::WriteF32(s, q.w);
}
bool ReadValue(ILoad &l, Point3 &p) {
    return hostio::ReadF32(l, p.x) && hostio::ReadF32(l, p.y) && hostio::ReadF32(l, p.z) &&
           std::isfinite(p.x) && std::isfinite(p.y) && std::isfinite(p.z);
}
bool ReadValue(ILoad &l, Quat &q) {
    if (!hostio::ReadF32(l, q.x) || !hostio::ReadF32(l, q.y) || !hostio::ReadF32(l, q.z) ||
        !hostio::ReadF32(l, q.w)) {
        return false;
    }
    const float n = q.x * q.x + q.y * q.y + q.z * q.z + q.w * q.w;
    if (!std::isfinite(n) || n == 0.0f) return false;
    // Saved rotations are unit quaternions; only a damaged one is renormalised, so that a
    // file read and written again keeps its bytes.
    if (std::fabs(n - 1.0f) > 1.0e-4f) q.Normalize();
    return true;
}
template <typename V>
constexpr std::uint32_t ValueBytes() {
    return std::is_same_v<V, Quat> ? 16 : 12;
}

template <typename V>
bool WriteTrack(ISave &s, USHORT id, const TransformKeys<V> &track) {
    s.BeginChunk(id);
    bool ok = WriteValue(s, track.constant) &&
              hostio::WriteU32(s, static_cast<std::uint32_t>(track.keys.size()));
    for (const auto &k : track.keys) ok = ok && hostio::WriteI32(s, k.t) && WriteValue(s, k.v);
    s.EndChunk();
    return ok;
}

template <typename V>
bool ReadTrack(ILoad &l, TransformKeys<V> &track) {
    TransformKeys<V> read;
    std::uint32_t n = 0;
    if (!ReadValue(l, read.constant) || !hostio::ReadCount(l, n, 4 + ValueBytes<V>()))
        return false;
    read.keys.resize(n);
    for (std::uint32_t k = 0; k < n; ++k) {
        if (!hostio::ReadI32(l, read.keys[k].t) || !ReadValue(l, read.keys[k].v)) return false;
        if (k > 0 && read.keys[k].t <= read.keys[k - 1].t) return false;
    }
    track = std::move(read);
    return true;
}

/// A unit vector perpendicular to `v` (which is a unit vector).
Point3 Perpendicular(const Point3 &v) {
    const Point3 other = std::fabs(v.x) < 0.9f ? Point3(1, 0, 0) : Point3(0, 1, 0);
    return Normalize(CrossProd(v, other));
}

}  // namespace

// Free functions -----------------------------------------------------------------------------

Quat EulerToQuat(const Point3 &degrees) {
    const Matrix3 m = RotateXMatrix(degrees.x * kDegToRad) *
                      RotateYMatrix(degrees.y * kDegToRad) *
                      RotateZMatrix(degrees.z * kDegToRad);
    return Quat(m);
}

void DecomposeTM(const Matrix3 &tm, Point3 &pos, Quat &rot, Point3 &scale) {
    pos = tm.GetTrans();
    // Gram-Schmidt on the rows in order: x keeps its direction, y loses its part along x, z is
    // made perpendicular to both. The lengths after removing those parts are the scales.
    Point3 x = tm.GetRow(0), y = tm.GetRow(1), z = tm.GetRow(2);
    scale.x = x.Length();
    x = scale.x > 0.0f ? x / scale.x : Point3(1, 0, 0);
    y = y - x * DotProd(x, y);
    scale.y = y.Length();
    y = scale.y > 0.0f ? y / scale.y : Perpendicular(x);
    const Point3 zAxis = CrossProd(x, y);
    scale.z = DotProd(z, zAxis);  // negative for a mirroring transform
    rot = Quat(Matrix3(x, y, zAxis, Point3()));
}

bool LookAtRotation(const Point3 &eye, const Point3 &target, Matrix3 &rot) {
    const Point3 back = eye - target;  // local +z points away from the target
    const float len = back.Length();
    if (!(len > 0.0f) || !std::isfinite(len)) return false;
    const Point3 z = back / len;
    // World +z as up unless the view runs (almost) along it; then world +y.
    const Point3 up = std::fabs(z.z) > 0.9999f ? Point3(0, 1, 0) : Point3(0, 0, 1);
    const Point3 x = Normalize(CrossProd(up, z));
    const Point3 y = CrossProd(z, x);
    rot = Matrix3(x, y, z, Point3());
    return true;
}

// PRSTransform -------------------------------------------------------------------------------

Point3 PRSTransform::GetPosition(TimeValue t, Interval &valid) const {
    return Evaluate(pos_, t, valid);
}
Quat PRSTransform::GetRotation(TimeValue t, Interval &valid) const {
    return Evaluate(rot_, t, valid);
}
Point3 PRSTransform::GetScale(TimeValue t, Interval &valid) const {
    return Evaluate(scale_, t, valid);
}

Matrix3 PRSTransform::GetMatrix(TimeValue t, Interval &valid) const {
    Matrix3 rot;
    GetRotation(t, valid).MakeMatrix(rot);
    Matrix3 m = ScaleMatrix(GetScale(t, valid)) * rot;
    m.SetTrans(GetPosition(t, valid));
    return m;
}

void PRSTransform::SetPosition(TimeValue t, const Point3 &p) {
    hostkeys::SetByAnimateRule(pos_.keys, pos_.constant, t, p);
}
void PRSTransform::SetRotation(TimeValue t, const Quat &q) {
    Quat n = q;
    n.Normalize();
    hostkeys::SetByAnimateRule(rot_.keys, rot_.constant, t, n);
}
void PRSTransform::SetScale(TimeValue t, const Point3 &s) {
    hostkeys::SetByAnimateRule(scale_.keys, scale_.constant, t, s);
}

void PRSTransform::SetMatrix(TimeValue t, const Matrix3 &local) {
    Point3 p, s;
    Quat q;
    DecomposeTM(local, p, q, s);
    SetPosition(t, p);
    SetRotation(t, q);
    SetScale(t, s);
}

void PRSTransform::SetPositionKey(TimeValue t, const Point3 &p) {
    hostkeys::SetKey(pos_.keys, t, p);
}
void PRSTransform::SetRotationKey(TimeValue t, const Quat &q) {
    Quat n = q;
    n.Normalize();
    hostkeys::SetKey(rot_.keys, t, n);
}
void PRSTransform::SetScaleKey(TimeValue t, const Point3 &s) {
    hostkeys::SetKey(scale_.keys, t, s);
}

template <typename Self, typename F>
decltype(auto) PRSTransform::Visit(Self &self, TransformTrack track, F &&f) {
    switch (track) {
        case TRACK_ROTATION:
            return f(self.rot_);
        case TRACK_SCALE:
            return f(self.scale_);
        case TRACK_POSITION:
        default:
            return f(self.pos_);
    }
}

int PRSTransform::NumKeys(TransformTrack track) const {
    return Visit(*this, track, [](const auto &tr) { return static_cast<int>(tr.keys.size()); });
}

TimeValue PRSTransform::GetKeyTime(TransformTrack track, int k) const {
    DbgAssert(k >= 0 && k < NumKeys(track));
    return Visit(*this, track, [k](const auto &tr) { return tr.keys[k].t; });
}

void PRSTransform::DeleteKeys(TransformTrack track) {
    Visit(*this, track, [](auto &tr) { DropKeys(tr); });
}

bool PRSTransform::HasKeys() const {
    return !pos_.keys.empty() || !rot_.keys.empty() || !scale_.keys.empty();
}

bool PRSTransform::Save(ISave &s) const {
    return WriteTrack(s, kChunkPosition, pos_) && WriteTrack(s, kChunkRotation, rot_) &&
           WriteTrack(s, kChunkScale, scale_);
}

PRSTransform::LoadResult PRSTransform::LoadChunk(ILoad &l) {
    bool ok;
    switch (l.CurChunkID()) {
        case kChunkPosition:
            ok = ReadTrack(l, pos_);
            break;
        case kChunkRotation:
            ok = ReadTrack(l, rot_);
            break;
        case kChunkScale:
            ok = ReadTrack(l, scale_);
            break;
        default:
            return LoadResult::kNotMine;
    }
    return ok ? LoadResult::kLoaded : LoadResult::kError;
}
