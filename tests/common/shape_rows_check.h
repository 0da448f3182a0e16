/// @file shape_rows_check.h
/// @brief Checking a sprite shape's row call against its per-pixel call.
#pragma once

#include "framework/shape_rows.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

/// Asks `rows` for every row of the current particle (radius r), bottom row first and each row
/// in pieces of uneven lengths, and checks every pixel against `pixels`: the per-pixel call's
/// coverage of the particle's square, row by row, −1 where a pixel is not covered.
inline void ExpectRowsGiveThePixels(const IShapeRows &rows, int r,
                                    const std::vector<int> &pixels) {
    constexpr int kLongestPiece = 97;
    for (int y = r; y >= -r; --y) {
        for (int x = -r, piece = 1; x <= r; x += piece, piece = piece * 3 % kLongestPiece) {
            const int count = std::min(piece, r - x + 1);
            unsigned short d[kLongestPiece];
            unsigned char covered[kLongestPiece];
            rows.ParticleShapeRow(d, covered, r, x, y, 100 + x, 100 + y, count);
            for (int i = 0; i < count; ++i)
                ASSERT_EQ(covered[i] ? d[i] : -1, pixels[(y + r) * (2 * r + 1) + x + i + r])
                    << "pixel " << x + i << ", " << y;
        }
    }
}
