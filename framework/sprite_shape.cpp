/// @file sprite_shape.cpp
/// @brief Frame, particle and preview calls shared by the sprite particle shapes.
#include "framework/sprite_shape.h"

#include "host/interface.h"

void *SpriteShape::GetInterface(ULONG id) {
    if (id == I_SHAPEROWS) return static_cast<IShapeRows *>(this);
    return TablePlugIn::GetInterface(id);
}

void SpriteShape::ParticleShapeRow(unsigned short *density, unsigned char *covered, int radius,
                                   int dx, int dy, int x, int y, int count) const {
    for (int i = 0; i < count; ++i)
        covered[i] = Coverage(density[i], radius, dx + i, dy, x + i, y) ? 1 : 0;
}

void SpriteShape::__BeginFrame__(TimeValue time, Bitmap *, ImageFilter *, Bitmap *) {
    frameTime_ = time;
    BuildTable();
}

void SpriteShape::__EndFrame__(TimeValue) {
    FreeTable();
}

void SpriteShape::__BeginParticle__(float transparency, int radius, ParticleInfo *) {
    // Transparency is nominally 0 … 1; a controller may overshoot, and NaN counts as 0.
    coverageScale_ = static_cast<std::uint16_t>(Clamp01(transparency) * 65535.0f);
    // A particle without a positive radius covers nothing (and its offsets would divide by 0).
    diameter_ = radius > 0 ? 2.0f * static_cast<float>(radius) : 0.0f;
}

void SpriteShape::__RollUpPreviewBegin__(Bitmap *, float transparency, int radius,
                                         ParticleInfo *info) {
    frameTime_ = GetCOREInterface()->GetTime();
    BuildTable();
    __BeginParticle__(transparency, radius, info);
}
