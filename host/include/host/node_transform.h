/// @file node_transform.h
/// @brief A node's local transform over time: position, rotation and scale, each a constant
///        or a track of keys, and the look-at rotation that aims a node at a target.
///
/// Composition. The local matrix scales first, then rotates, then translates (row vectors:
/// Scale × Rotation × Translation); a node's world transform is its local matrix followed by
/// its parent's world transform.
///
/// Keys. Positions and scales are linear between keys, rotations are spherical (slerp, along
/// the shorter arc: keys more than 180° apart turn the short way round, so a spin needs a key
/// at least every half turn). Before the first key and after the last a track holds that key's
/// value. A track without keys holds its constant.
///
/// Setting a value at t follows the rule of parameter blocks: on a track that has keys it sets
/// or adds the key at t; on a track without keys while the animate mode is on (`Animating`) it
/// adds the key at t and, when t is not 0, a key at 0 holding the previous constant; otherwise
/// it sets the constant.
#pragma once

#include "host/animatable.h"
#include "host/geom.h"

#include <vector>

class ISave;
class ILoad;

/// One of the three parts of a local transform.
enum TransformTrack { TRACK_POSITION = 0, TRACK_ROTATION = 1, TRACK_SCALE = 2 };

/// The rotation of Euler angles in degrees: about x first, then y, then z, each about the
/// fixed axes of the parent frame (positive angles turn as `RotateXMatrix` and the like do).
Quat EulerToQuat(const Point3 &degrees);

/// Splits an affine transform into translation, rotation and scale such that
/// ScaleMatrix(scale) × rotation × TransMatrix(pos) gives `tm` back when `tm` has no shear.
/// Shear is dropped (the rotation is the nearest one found by orthonormalising the rows in
/// order x, y, z); a mirroring transform gets a negative z scale. A row of length zero keeps
/// a zero scale and takes a perpendicular axis for the rotation.
void DecomposeTM(const Matrix3 &tm, Point3 &pos, Quat &rot, Point3 &scale);

/// The rotation (as a matrix without translation) that aims −z from `eye` at `target`, with
/// the local y axis as near world +z as possible; when the view runs along world z the local
/// y axis is world +y instead. Returns false (leaving `rot`) when eye and target coincide.
bool LookAtRotation(const Point3 &eye, const Point3 &target, Matrix3 &rot);

/// Keyed values of one type, keys in increasing time.
template <typename V>
struct TransformKeys {
    struct Key {
        TimeValue t;
        V v;
    };
    V constant{};
    std::vector<Key> keys;
};

/// Position, rotation and scale of a node relative to its parent.
class PRSTransform {
public:
    PRSTransform() { scale_.constant = Point3(1.0f, 1.0f, 1.0f); }

    // Values at a time; `valid` is narrowed to the times around t with the same value.
    Point3 GetPosition(TimeValue t, Interval &valid) const;
    Quat GetRotation(TimeValue t, Interval &valid) const;
    Point3 GetScale(TimeValue t, Interval &valid) const;
    /// Scale × Rotation × Translation at t.
    Matrix3 GetMatrix(TimeValue t, Interval &valid) const;

    // Values set by the animate-mode rule (see the top of this file)
    void SetPosition(TimeValue t, const Point3 &p);
    void SetRotation(TimeValue t, const Quat &q);
    void SetScale(TimeValue t, const Point3 &s);
    /// Sets all three from a local matrix (see `DecomposeTM`).
    void SetMatrix(TimeValue t, const Matrix3 &local);

    // Keys, whatever the animate mode
    void SetPositionKey(TimeValue t, const Point3 &p);
    void SetRotationKey(TimeValue t, const Quat &q);
    void SetScaleKey(TimeValue t, const Point3 &s);
    int NumKeys(TransformTrack track) const;
    /// Time of key `k` (keys in increasing time); a host assertion when out of range.
    TimeValue GetKeyTime(TransformTrack track, int k) const;
    /// Removes every key of `track`; the track then holds its value at time 0 as constant.
    void DeleteKeys(TransformTrack track);
    bool HasKeys() const;

    // Scene-file chunks
    /// Writes the three tracks as chunks of the node's data.
    bool Save(ISave &s) const;
    enum class LoadResult { kNotMine, kLoaded, kError };
    /// Reads the open chunk when it is one of the tracks; kError for a malformed one (too many
    /// keys for its length, times not increasing, values not finite).
    LoadResult LoadChunk(ILoad &l);

private:
    /// Calls `f` with the keys of `track`.
    template <typename Self, typename F>
    static decltype(auto) Visit(Self &self, TransformTrack track, F &&f);

    TransformKeys<Point3> pos_;
    TransformKeys<Quat> rot_;
    TransformKeys<Point3> scale_;
};
