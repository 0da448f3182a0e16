/// @file disk_pattern_shape.cpp
/// @brief The soft disk and the runs of pattern of the disk-pattern sprite shapes.
#include "framework/disk_pattern_shape.h"

#include <algorithm>

DiskPatternShape::DiskPatternShape(const PlugInLayout &layout, bool loading, bool coversSquare)
    : SpriteShape(layout, loading), coversSquare_(coversSquare) {}

void DiskPatternShape::__BeginParticle__(float transparency, int radius, ParticleInfo *info) {
    SpriteShape::__BeginParticle__(transparency, radius, info);
    runs_.Clear();
}

void DiskPatternShape::BuildTable() {
    disk_.Build();
    runs_.Clear();
}

void DiskPatternShape::FreeTable() {
    disk_.Free();
    runs_.Clear();
}

bool DiskPatternShape::Coverage(unsigned short &density, int radius, int dx, int dy, int x,
                                int y) const {
    return RowPixel(*this, density, radius, dx, dy, x, y);
}

void DiskPatternShape::ParticleShapeRow(unsigned short *density, unsigned char *covered,
                                        int radius, int dx, int dy, int, int, int count) const {
    if (!disk_.Built() || diameter_ <= 0.0f) {
        std::fill_n(covered, count, static_cast<unsigned char>(0));
        return;
    }
    const float w = SoftDisk::Unit(dy, radius, diameter_);
    const std::uint16_t *row = disk_.Row(SoftDisk::Index(w));
    for (int start = 0; start < count; start += kRun) {
        const int n = std::min(kRun, count - start);
        // The pixels inside the disk, packed: only they need the pattern.
        int at[kRun];
        float u[kRun];
        std::uint16_t entries[kRun], pattern[kRun];
        int inside = 0;
        for (int i = 0; i < n; ++i) {
            const float ui = SoftDisk::Unit(dx + start + i, radius, diameter_);
            const std::uint16_t e = row[SoftDisk::Index(ui)];
            covered[start + i] = e != 0 || coversSquare_;
            density[start + i] = 0;
            if (e == 0) continue;
            at[inside] = start + i;
            u[inside] = ui;
            entries[inside] = e;
            ++inside;
        }
        if (inside == 0) continue;
        PatternRun(u, entries, inside, w, pattern);
        for (int j = 0; j < inside; ++j) density[at[j]] = Scaled(pattern[j]);
    }
}
