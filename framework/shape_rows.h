/// @file shape_rows.h
/// @brief The row call of sprite shapes: the coverage of a run of pixels of one row of a
///        particle at once, for shapes that can evaluate their pattern a run at a time.
#pragma once

#include "framework/nimbra_api.h"
#include "host/animatable.h"

#include <algorithm>

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

/// Pixel (dx, dy) of the current particle alone through the row call: true and `density` set
/// where it is covered.
inline bool RowPixel(const IShapeRows &rows, unsigned short &density, int radius, int dx,
                     int dy, int x, int y) {
    unsigned char covered = 0;
    rows.ParticleShapeRow(&density, &covered, radius, dx, dy, x, y, 1);
    return covered != 0;
}

/// The per-pixel call of a shape answered from its row call, for shapes whose row call is
/// much faster than pixel by pixel. Callers of the per-pixel call ask for a particle's pixels
/// row by row, so the first pixel of a run evaluates up to kRun pixels to its right and the
/// next ones read them back: each pixel still gets what the row call gives it, whatever the
/// order of the calls. `Clear` whenever what the row call answers changes (a new particle, a
/// new table).
class RowRunCache {
public:
    static constexpr int kRun = 64;

    /// Pixel (dx, dy) of the current particle: true and `density` set where it is covered.
    bool Pixel(const IShapeRows &rows, unsigned short &density, int radius, int dx, int dy,
               int x, int y) {
        // The offset wraps below the run's start, so one comparison tests both ends.
        unsigned at = static_cast<unsigned>(dx) - static_cast<unsigned>(x_);
        if (dy != y_ || at >= static_cast<unsigned>(count_)) {
            // Up to the square's right edge, in 64 bits: a caller may ask for any offset.
            const int count = static_cast<int>(std::clamp(
                static_cast<long long>(radius) - dx + 1, 1LL, static_cast<long long>(kRun)));
            rows.ParticleShapeRow(density_, covered_, radius, dx, dy, x, y, count);
            x_ = dx;
            y_ = dy;
            count_ = count;
            at = 0;
        }
        if (!covered_[at]) return false;
        density = density_[at];
        return true;
    }
    void Clear() { count_ = 0; }

private:
    // The run evaluated last: pixels x_ … x_ + count_ − 1 of row y_ (offsets)
    int x_ = 0;
    int y_ = 0;
    int count_ = 0;
    unsigned short density_[kRun] = {};
    unsigned char covered_[kRun] = {};
};
