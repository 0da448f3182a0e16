/// @file shape_rows.h
/// @brief The row call of sprite shapes: the coverage of a run of pixels of one row of a
///        particle at once, for shapes that can evaluate their pattern a run at a time.
#pragma once

#include "framework/nimbra_api.h"
#include "host/animatable.h"

/// Interface identifier of `IShapeRows` (`GetInterface` of a particle shape).
constexpr ULONG I_SHAPEROWS = 0x4E420002;

/// Offered by a particle shape beside its per-pixel `__ParticleShape__`. Between
/// `__BeginParticle__` and `__EndParticle__`, pixel i of a call (0 ≤ i < count), at offset
/// (dx + i, dy) from the particle's centre and at image position (x + i, y), gets exactly what
/// `__ParticleShape__ (density, radius, dx + i, dy, x + i, y)` would give it: `covered[i]`
/// nonzero and `density[i]` its coverage where the pixel is covered, `covered[i]` 0 where not.
/// The call changes nothing in the shape, so rows may be asked for in any order and only where
/// they are needed.
class NIMBRA_API IShapeRows {
public:
    virtual void ParticleShapeRow(unsigned short *density, unsigned char *covered, int radius,
                                  int dx, int dy, int x, int y, int count) const = 0;

protected:
    ~IShapeRows() = default;
};

/// The row call of `shape`, or null when it offers none.
inline IShapeRows *GetShapeRows(Animatable *shape) {
    return shape ? static_cast<IShapeRows *>(shape->GetInterface(I_SHAPEROWS)) : nullptr;
}
