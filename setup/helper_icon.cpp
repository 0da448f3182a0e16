/// @file helper_icon.cpp
/// @brief The helper's icon geometry, hit test and creation placement.
#include "setup/helper_icon.h"

#include "setup/helper.h"
#include "host/inode.h"

#include <algorithm>
#include <cmath>

namespace {

/// Distance from `p` to the segment a–b (to a when the segment has no length).
float DistanceToSegment(const Point2 &p, const Point2 &a, const Point2 &b) {
    const Point2 ab = b - a;
    const float len2 = ab.LengthSquared();
    const float s = len2 > 0.0f ? std::clamp(DotProd(p - a, ab) / len2, 0.0f, 1.0f) : 0.0f;
    return (p - (a + ab * s)).Length();
}

}  // namespace

std::array<Point2, kIconOutlinePoints> IconOutline(float size) {
    const float h = size / 2.0f, k = size / 4.0f;
    return {{{-h, h},
             {k - h, h},
             {k - h, -k},
             {k, -k},
             {k, h},
             {h, h},
             {h, -k},
             {k, -h},
             {-k, -h},
             {-h, -k}}};
}

std::array<IconSegment, kIconSegments> IconSegments(float size) {
    const auto outline = IconOutline(size);
    const float k = size / 4.0f;
    std::array<IconSegment, kIconSegments> segments;
    for (int i = 0; i < kIconOutlinePoints; ++i) {
        const Point2 &p = outline[i];
        const Point2 &q = outline[(i + 1) % kIconOutlinePoints];
        segments[i] = {Point3(p.x, p.y, k), Point3(q.x, q.y, k)};
        segments[kIconOutlinePoints + i] = {Point3(p.x, p.y, -k), Point3(q.x, q.y, -k)};
        segments[2 * kIconOutlinePoints + i] = {Point3(p.x, p.y, -k), Point3(p.x, p.y, k)};
    }
    return segments;
}

Box3 IconLocalBox(float size) {
    return IconWorldBox(size, Matrix3());
}

Box3 IconWorldBox(float size, const Matrix3 &objectTM) {
    const float k = size / 4.0f;
    Box3 box;
    for (const Point2 &p : IconOutline(size)) {
        box += Point3(p.x, p.y, k) * objectTM;
        box += Point3(p.x, p.y, -k) * objectTM;
    }
    return box;
}

bool IconHitTest(float size, const Matrix3 &objectTM, const IconProjection &project,
                 const Point2 &pick, float radius) {
    for (const IconSegment &s : IconSegments(size)) {
        Point2 a, b;
        if (!project(s.a * objectTM, a) || !project(s.b * objectTM, b)) continue;
        if (DistanceToSegment(pick, a, b) <= radius) return true;
    }
    return false;
}

IconPlacement PressPlacement(const Point3 &first) {
    return {first, NimbraHelper::kCreationIconSize, NimbraHelper::kCreationIconSize};
}

IconPlacement DragPlacement(const Point3 &first, const Point3 &second) {
    return {(first + second) * 0.5f, std::fabs(second.x - first.x),
            std::fabs(second.y - first.y)};
}

IconPlacement ReleasePlacement(const Point3 &first, const Point3 &second,
                               const Point2 &firstScreen, const Point2 &secondScreen) {
    IconPlacement placement = DragPlacement(first, second);
    if ((secondScreen - firstScreen).Length() < kClickDistance)
        placement.width = placement.length = kClickIconSize;
    return placement;
}

void ApplyPlacement(NimbraHelper &helper, INode *node, const IconPlacement &placement,
                    TimeValue t) {
    helper.SetIconSize(placement.width, placement.length);
    if (!node) return;
    Matrix3 tm = node->GetNodeTM(t);
    tm.SetTrans(placement.position);
    node->SetNodeTM(t, tm);
}
