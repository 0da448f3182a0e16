/// @file ray_context.h
/// @brief The shade context of the ray-march tests: camera space is world space (no global
///        context) and the ray looks down −z.
#pragma once

#include "host/shade_context.h"

namespace raymarchtest {

class RayContext final : public ShadeContext {
public:
    IPoint2 ScreenCoord() override { return {}; }
    Point3 P() override { return {}; }
    Point3 Normal() override { return {0, 0, 1}; }
    Point3 V() override { return {0, 0, -1}; }
};

}  // namespace raymarchtest
