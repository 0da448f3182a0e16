/// @file circle_shape.cpp
/// @brief The Circle shape and its class descriptor.
#include "plugins/standard/circle_shape.h"

namespace {

constexpr PlugInLayout kCircleLayout{};

class CircleShapeDesc : public ClassDesc {
public:
    int IsPublic() override { return TRUE; }
    void *Create(BOOL) override { return static_cast<Animatable *>(new CircleShape); }
    const TCHAR *ClassName() override { return "Circle"; }
    SClass_ID SuperClassID() override { return REF_MAKER_CLASS_ID; }
    Class_ID ClassID() override { return CircleShape::kClassID; }
    const TCHAR *Category() override { return "Simple Smoke"; }
};

}  // namespace

ClassDesc *GetCircleShapeDesc() {
    static CircleShapeDesc desc;
    return &desc;
}

CircleShape::CircleShape() : SpriteShape(kCircleLayout, false) {}

CircleShape::~CircleShape() = default;

int CircleShape::__ParticleShape__(unsigned short *density, int radius, int x, int y, int,
                                   int) {
    if (!table_.Built() || diameter_ <= 0.0f) return 0;
    const std::uint16_t e = table_.Lookup(radius, diameter_, x, y);
    if (e == 0) return 0;
    *density = Scaled(e);
    return 1;
}
