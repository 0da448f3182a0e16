/// @file helper_icon.h
/// @brief The helper's viewport icon as geometry: its outline, bounding boxes and hit test, and
///        the placement rule of its interactive creation. Whoever draws viewports draws the
///        segments (white while the node is selected, yellow otherwise).
#pragma once

#include "framework/nimbra_api.h"
#include "host/geom.h"

#include <array>
#include <functional>

class INode;
class NimbraHelper;

/// Points of the icon's outline in the node's xy plane.
constexpr int kIconOutlinePoints = 10;
/// Segments of the icon: the outline at z = +k, the outline at z = −k, and the ten edges
/// joining them.
constexpr int kIconSegments = 3 * kIconOutlinePoints;

/// Icon colours: selected and not selected.
constexpr Color kIconSelectedColor(1.0f, 1.0f, 1.0f);
constexpr Color kIconColor(1.0f, 1.0f, 0.0f);

/// Width and length of an icon created by a click without a drag.
constexpr float kClickIconSize = 20.0f;
/// Screen distance in pixels below which a creation counts as a click without a drag.
constexpr float kClickDistance = 3.0f;

struct IconSegment {
    Point3 a, b;
};

/// The closed outline of an icon of size s (the larger of its width and length), with
/// h = s / 2 and k = s / 4: (−h, h), (k − h, h), (k − h, −k), (k, −k), (k, h), (h, h), (h, −k),
/// (k, −h), (−k, −h), (−h, −k).
NIMBRA_API std::array<Point2, kIconOutlinePoints> IconOutline(float size);
/// The icon's segments in object space.
NIMBRA_API std::array<IconSegment, kIconSegments> IconSegments(float size);
/// The box around the icon in object space: x and y within ±s/2, z within ±s/4.
NIMBRA_API Box3 IconLocalBox(float size);
/// The box around the icon's points transformed by `objectTM` (object to world).
NIMBRA_API Box3 IconWorldBox(float size, const Matrix3 &objectTM);

/// Maps a world point to viewport pixels; false when the point cannot be shown (behind the
/// camera of a perspective view).
using IconProjection = std::function<bool(const Point3 &world, Point2 &screen)>;

/// The viewport hit test: TRUE when some segment of the icon, placed by `objectTM` and
/// projected by `project`, passes within `radius` pixels of `pick`. The test works in screen
/// space, as a viewport's pick region does, so an icon is as easy to pick near as far. A
/// segment with an end that cannot be projected is left out.
NIMBRA_API bool IconHitTest(float size, const Matrix3 &objectTM, const IconProjection &project,
                            const Point2 &pick, float radius);

/// Where the creation of an icon puts the node and how large it makes the icon.
struct IconPlacement {
    Point3 position;  ///< of the node, in world space
    float width = 0.0f;
    float length = 0.0f;
};

/// Creation, step by step, from the snapped world points of the press (`first`) and of the
/// current mouse position (`second`):
/// - on the press: the node at `first`, the icon at its creation size (0.01 × 0.01);
NIMBRA_API IconPlacement PressPlacement(const Point3 &first);
/// - while dragging: width |x2 − x1|, length |y2 − y1|, the node at the midpoint;
NIMBRA_API IconPlacement DragPlacement(const Point3 &first, const Point3 &second);
/// - on release: as while dragging, except that screen points (of press and release) less
///   than kClickDistance pixels apart make a 20 × 20 icon.
NIMBRA_API IconPlacement ReleasePlacement(const Point3 &first, const Point3 &second,
                                          const Point2 &firstScreen,
                                          const Point2 &secondScreen);
/// Gives `helper` the placement's icon size and moves `node` (which carries it) there at t,
/// keeping the node's orientation and scale.
NIMBRA_API void ApplyPlacement(NimbraHelper &helper, INode *node,
                               const IconPlacement &placement, TimeValue t);
