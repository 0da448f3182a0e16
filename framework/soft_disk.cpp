/// @file soft_disk.cpp
/// @brief Filling the soft disk table.
#include "framework/soft_disk.h"

void SoftDisk::Build() {
    if (!entries_) entries_ = std::make_unique<std::uint16_t[]>(kEntries);  // zero-filled
    constexpr int kRimSquared = kRadius * kRadius;
    // Rows and columns ascending: where a row's last column and the next row's first column
    // share an entry, the later write (the next row's) stays.
    for (int i = -kRadius; i < kRadius; ++i) {
        for (int j = -kRadius; j < kRadius; ++j) {
            const int d2 = i * i + j * j;
            std::uint16_t e = 0;
            if (d2 != 0 && d2 <= kRimSquared) {
                const double b = double(kRimSquared - d2) / kRimSquared;
                const double s = b * b * (3.0 - 2.0 * b);
                e = static_cast<std::uint16_t>(s * s * 65535.0);
            }
            entries_[(i + kRadius) * kStride + (j + kRadius)] = e;
        }
    }
}
