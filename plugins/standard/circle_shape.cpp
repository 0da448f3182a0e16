/// @file circle_shape.cpp
/// @brief The Circle shape and its class descriptor.
#include "plugins/standard/circle_shape.h"

#include "framework/plugin_class_desc.h"

namespace {

constexpr PlugInLayout kCircleLayout{};

}  // namespace

ClassDesc *GetCircleShapeDesc() {
    return PlugInClassDesc<CircleShape>::Get("Circle", "Simple Smoke");
}

CircleShape::CircleShape() : SpriteShape(kCircleLayout, false) {}

CircleShape::~CircleShape() = default;

bool CircleShape::Coverage(unsigned short &density, int radius, int dx, int dy, int,
                           int) const {
    if (!table_.Built() || diameter_ <= 0.0f) return false;
    const std::uint16_t e = table_.Lookup(radius, diameter_, dx, dy);
    if (e == 0) return false;
    density = Scaled(e);
    return true;
}
