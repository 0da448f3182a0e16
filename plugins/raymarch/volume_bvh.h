/// @file volume_bvh.h
/// @brief A bounding-volume hierarchy over the frame's particle volumes, and the query that
///        returns the volumes a ray segment crosses, nearest entry first.
#pragma once

#include "plugins/raymarch/march_volumes.h"

#include <vector>

/// One volume crossed by a ray: its index in the frame's volume array and the ray parameters
/// where the ray enters and leaves it.
struct VolumeHit {
    int volume = 0;
    float entry = 0.0f;
    float exit = 0.0f;
};

/// Built once per frame and then only read, so any number of threads may query it at once;
/// each passes its own hit buffer.
class VolumeBvh {
public:
    /// Rebuilds the hierarchy over `volumes`, which must outlive it unchanged.
    void Build(const std::vector<MarchVolume> &volumes);

    /// Replaces `hits` by the volumes that the ray `origin + t·dir` (unit `dir`) crosses
    /// within 0 ≤ t ≤ `length`, except volume `exclude` (−1 for none), sorted by entry
    /// (ties by volume index). True when there is at least one.
    bool Query(const Point3 &origin, const Point3 &dir, float length, int exclude,
               std::vector<VolumeHit> &hits) const;

    bool Empty() const { return nodes_.empty(); }

private:
    struct Node {
        Box3 bounds;
        int first = 0;  ///< leaf: first entry of order_; interior: index of the left child
        int count = 0;  ///< leaf: number of volumes; interior: 0 (the right child follows
                        ///< the left child's subtree, at `right`)
        int right = 0;
    };
    /// Builds the node for order_[begin, end) and returns its index.
    int BuildNode(int begin, int end);

    const std::vector<MarchVolume> *volumes_ = nullptr;
    std::vector<Node> nodes_;
    std::vector<int> order_;  ///< volume indices, grouped by leaf
};
