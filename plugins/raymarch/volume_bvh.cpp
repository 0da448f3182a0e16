/// @file volume_bvh.cpp
/// @brief The volume hierarchy: median splits along the widest axis of the volume centres,
///        a few volumes per leaf, an explicit stack for queries.
#include "plugins/raymarch/volume_bvh.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace {

/// Volumes per leaf: enough that leaf tests, not node tests, dominate.
constexpr int kLeafSize = 4;

/// Whether the ray meets `box` within [0, length] (slab test; `inv` is 1/dir per axis).
bool HitsBox(const Box3 &box, const Point3 &origin, const Point3 &inv, float length) {
    float t0 = 0.0f, t1 = length;
    for (int axis = 0; axis < 3; ++axis) {
        float near = (box.pmin[axis] - origin[axis]) * inv[axis];
        float far = (box.pmax[axis] - origin[axis]) * inv[axis];
        if (near > far) std::swap(near, far);
        // A ray parallel to the slab gives ±inf, or NaN when it lies on a face: NaN keeps
        // the interval (max and min return their first argument then), which errs on the
        // side of testing the volumes inside.
        t0 = std::max(t0, near);
        t1 = std::min(t1, far);
        if (t0 > t1) return false;
    }
    return true;
}

}  // namespace

void VolumeBvh::Build(const std::vector<MarchVolume> &volumes) {
    volumes_ = &volumes;
    nodes_.clear();
    order_.resize(volumes.size());
    for (int i = 0; i < static_cast<int>(order_.size()); ++i) order_[i] = i;
    if (!order_.empty()) {
        nodes_.reserve(2 * order_.size() / kLeafSize + 1);
        BuildNode(0, static_cast<int>(order_.size()));
    }
}

int VolumeBvh::BuildNode(int begin, int end) {
    const int index = static_cast<int>(nodes_.size());
    nodes_.emplace_back();
    Box3 bounds, centres;
    for (int i = begin; i < end; ++i) {
        const Box3 &b = (*volumes_)[order_[i]].bounds;
        bounds += b;
        centres += b.Center();
    }
    nodes_[index].bounds = bounds;
    if (end - begin <= kLeafSize) {
        nodes_[index].first = begin;
        nodes_[index].count = end - begin;
        return index;
    }
    const Point3 width = centres.Width();
    const int axis =
        width.x >= width.y && width.x >= width.z ? 0 : (width.y >= width.z ? 1 : 2);
    const int mid = begin + (end - begin) / 2;
    std::nth_element(
        order_.begin() + begin, order_.begin() + mid, order_.begin() + end, [&](int a, int b) {
            return (*volumes_)[a].bounds.Center()[axis] < (*volumes_)[b].bounds.Center()[axis];
        });
    const int left = BuildNode(begin, mid);
    const int right = BuildNode(mid, end);
    nodes_[index].first = left;
    nodes_[index].right = right;
    return index;
}

bool VolumeBvh::Query(const Point3 &origin, const Point3 &dir, float length, int exclude,
                      std::vector<VolumeHit> &hits) const {
    hits.clear();
    if (nodes_.empty() || !(length > 0.0f)) return false;
    const Point3 inv(1.0f / dir.x, 1.0f / dir.y, 1.0f / dir.z);
    // Depth is logarithmic in the volume count: 64 levels hold any array that fits in memory.
    int stack[64];
    int top = 0;
    stack[top++] = 0;
    while (top > 0) {
        const Node &node = nodes_[stack[--top]];
        if (!HitsBox(node.bounds, origin, inv, length)) continue;
        if (node.count == 0) {
            stack[top++] = node.right;
            stack[top++] = node.first;
            continue;
        }
        for (int i = node.first; i < node.first + node.count; ++i) {
            const int v = order_[i];
            VolumeHit hit{v};
            if (v != exclude &&
                IntersectVolume((*volumes_)[v], origin, dir, length, hit.entry, hit.exit))
                hits.push_back(hit);
        }
    }
    std::sort(hits.begin(), hits.end(), [](const VolumeHit &a, const VolumeHit &b) {
        return a.entry < b.entry || (a.entry == b.entry && a.volume < b.volume);
    });
    return !hits.empty();
}
