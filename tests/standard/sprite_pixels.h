/// @file sprite_pixels.h
/// @brief What the tests of sprite shapes share: a particle at an age, all of its pixels
///        through the per-pixel call (the row call is checked against
///        them with common/shape_rows_check.h).
#pragma once

#include "framework/plugin_interface.h"
#include "common/shape_rows_check.h"
#include "standard_fixture.h"

#include <gtest/gtest.h>

#include <vector>

namespace standardtest {

/// A new shape of class `Shape` made through the host for each test, its frame ended after.
template <typename Shape>
class ShapeTest : public ::testing::Test {
protected:
    void SetUp() override {
        shape = NewPlugIn<Shape>(Shape::kClassID);
        ASSERT_NE(shape, nullptr);
    }
    void TearDown() override {
        if (shape) shape->__EndFrame__(0);
    }

    /// Birth and death value `v` of the quantity whose birth parameter is `birth`.
    void SetBoth(int birth, float v) {
        shape->ParamBlock()->SetValue(birth, 0, v);
        shape->ParamBlock()->SetValue(birth + 1, 0, v);
    }

    Owned<Shape> shape;
};

/// A particle of index `index` at `ageFraction` of a life from 0 to 4800 ticks.
inline ParticleInfo AgedParticle(int index, float ageFraction = 0.5f) {
    ParticleInfo p;
    p.lifeEnd = 4800;
    p.age = static_cast<int>(4800 * ageFraction);
    p.particleIndex = index;
    return p;
}

/// Begins particle `p` of radius r and asks for every pixel of its square through the
/// per-pixel call, row by row: the density, or -1 where the pixel is not covered.
inline std::vector<int> ParticlePixels(NimbraPlugIn &shape, int r, ParticleInfo p,
                                       float transparency = 1.0f) {
    shape.__BeginParticle__(transparency, r, &p);
    std::vector<int> out;
    for (int y = -r; y <= r; ++y)
        for (int x = -r; x <= r; ++x) {
            unsigned short d = 0;
            out.push_back(shape.__ParticleShape__(&d, r, x, y, x, y) ? d : -1);
        }
    return out;
}

}  // namespace standardtest
