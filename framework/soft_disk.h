/// @file soft_disk.h
/// @brief The soft disk table: the 256 × 256 radial falloff that the Circle shape draws and
///        that the noise-patterned sprite shapes cut their patterns out with.
#pragma once

#include "framework/nimbra_api.h"

#include <cstdint>
#include <memory>

/// The table: 65 536 entries of 16 bits addressed as rows of kSoftDiskStride entries, so
/// entry (row, column) for row, column 0 … 255 is at row × 255 + column. Column 255 of a row
/// and column 0 of the next row are one entry; the fill (rows, then columns, ascending) leaves
/// the later row's value there, which is 0 (column 0 lies on or outside the disk's rim).
///
/// Entry (i + 128, j + 128) for i, j in −128 … 127, with d² = i² + j²: 0 at the centre
/// (d² = 0) and outside the rim (d² > 16 384); otherwise trunc(s² × 65535) with
/// b = (16 384 − d²) / 16 384 and s = b² (3 − 2b).
class NIMBRA_API SoftDisk {
public:
    static constexpr int kEntries = 65536;
    /// Entries per row: one less than the 256 columns a row addresses.
    static constexpr int kStride = 255;
    /// Entries across the disk's radius.
    static constexpr int kRadius = 128;

    /// Allocates and fills the table (again, if it exists).
    void Build();
    void Free() { entries_.reset(); }
    bool Built() const { return entries_ != nullptr; }

    /// Entry (row, column); both 0 … 255.
    std::uint16_t At(int row, int column) const { return entries_[row * kStride + column]; }

    /// The entry that pixel offset (x, y) of a sprite of radius r and diameter d = 2r reads:
    /// row trunc((r + y) / d × 255), column trunc((r + x) / d × 255), each held to 0 … 255.
    /// Only valid while built and with d > 0.
    std::uint16_t Lookup(int r, float diameter, int x, int y) const {
        return AtUnit(Unit(x, r, diameter), Unit(y, r, diameter));
    }

    /// Where pixel offset `offset` of a sprite of radius r and diameter d lies across the
    /// sprite's square: (r + offset) / d, 0 … 1 inside it. Any offset is safe.
    static float Unit(int offset, int r, float diameter) {
        return static_cast<float>(static_cast<long long>(offset) + r) / diameter;
    }
    /// The entry at (u, w) across the square: row trunc(w × 255), column trunc(u × 255),
    /// each held to 0 … 255 (NaN reads 0).
    std::uint16_t AtUnit(float u, float w) const { return At(Index(w), Index(u)); }
    /// Row `row`'s entries, column 0 first.
    const std::uint16_t *Row(int row) const { return entries_.get() + row * kStride; }
    /// The row or column that unit position u reads.
    static int Index(float u) {
        const float v = u * 255.0f;
        return v > 0.0f ? (v < 255.0f ? static_cast<int>(v) : 255) : 0;
    }

private:
    std::unique_ptr<std::uint16_t[]> entries_;
};
