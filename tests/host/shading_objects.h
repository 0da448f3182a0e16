/// @file shading_objects.h
/// @brief A shade context and a light that the shading tests set up by hand.
#pragma once

#include "host/shade_context.h"

#include <vector>

namespace hosttest {

/// A shade context at a fixed camera-space point, normal and view direction.
class FixedShadeContext : public ShadeContext {
public:
    Point3 p;
    Point3 n{0.0f, 0.0f, 1.0f};
    Point3 view{0.0f, 0.0f, -1.0f};
    IPoint2 screen;
    std::vector<LightDesc *> lights;

    void SetLights(std::vector<LightDesc *> l) {
        lights = std::move(l);
        nLights = static_cast<int>(lights.size());
    }
    LightDesc *Light(int i) override { return lights.at(i); }
    IPoint2 ScreenCoord() override { return screen; }
    Point3 P() override { return p; }
    Point3 Normal() override { return n; }
    Point3 V() override { return view; }
};

/// A light from a fixed direction with a fixed colour; the diffuse weight is N·L.
class DirectionalTestLight : public LightDesc {
public:
    DirectionalTestLight(Point3 towardsLight, Color c) : dir_(Normalize(towardsLight)), c_(c) {}
    BOOL Illuminate(ShadeContext &, Point3 &normal, Color &color, Point3 &dir, float &dot_nl,
                    float &diffuseCoef) override {
        color = c_;
        dir = dir_;
        dot_nl = DotProd(normal, dir_);
        diffuseCoef = dot_nl > 0.0f ? dot_nl : 0.0f;
        return TRUE;
    }

private:
    Point3 dir_;
    Color c_;
};

}  // namespace hosttest
