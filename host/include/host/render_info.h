/// @file render_info.h
/// @brief What a rendered frame knows about its camera: projection, the world-to-camera
///        transforms of both fields and the render times. Stored with a bitmap's storage.
#pragma once

#include "host/geom.h"
#include "host/types.h"

enum ProjectionType { PROJ_PERSPECTIVE = 0, PROJ_PARALLEL = 1 };

/// Camera space looks down −z (points in front of the camera have negative z; larger z is
/// nearer the viewer); screen x grows to the right and screen y downward, in image pixels.
///
/// Perspective: screen = (xc + kx·x/z, yc + ky·y/z). Because z < 0 in front of the camera,
/// kx is negative and ky positive: kx = −(width/2)/tan(fov/2), ky = −kx·aspect for square
/// pixels. Parallel (orthographic, with the same signs): screen = (xc − kx·x, yc − ky·y), so
/// |kx| and |ky| are pixels per world unit.
///
/// Depth: a rendered frame's depth channel holds, per pixel, the camera-space z of the surface
/// seen at the pixel's centre (negative, larger is nearer), and kFarDepth (−1.0e30, bitmap.h)
/// where the pixel's ray met nothing.
///
/// Fields: `renderTime` is indexed by order (0 is the first field rendered) and
/// `worldToCam`/`camToWorld` by field parity (0 belongs to the odd rows, 1 to the even rows).
/// Without field rendering only index 0 is used.
class RenderInfo {
public:
    ProjectionType projType = PROJ_PERSPECTIVE;
    float kx = -1.0f;  ///< horizontal scale (pixels per unit at depth −1 for perspective)
    float ky = 1.0f;   ///< vertical scale
    float xc = 0.0f;   ///< screen centre x in pixels
    float yc = 0.0f;   ///< screen centre y in pixels
    BOOL fieldRender = FALSE;
    BOOL fieldOdd = FALSE;  ///< the first field rendered is the odd one
    TimeValue renderTime[2] = {0, 0};
    Matrix3 worldToCam[2];
    Matrix3 camToWorld[2];

    /// Image position of a camera-space point. A point at z = 0 in perspective maps to the
    /// centre (there is no finite answer; callers test depth first).
    Point2 MapCamToScreen(Point3 p) const {
        if (projType == PROJ_PARALLEL) return Point2(xc - kx * p.x, yc - ky * p.y);
        if (p.z == 0.0f) return Point2(xc, yc);
        return Point2(xc + kx * p.x / p.z, yc + ky * p.y / p.z);
    }
    /// Image position of a world-space point seen with the camera of field `field` (0 or 1).
    Point2 MapWorldToScreen(Point3 p, int field = 0) const {
        return MapCamToScreen(worldToCam[field & 1].PointTransform(p));
    }
};
