/// @file same_frames.h
/// @brief Whether two rendered frames are the same in every channel: colour, alpha, depth and
///        material ID, exactly.
#pragma once

#include "host/bitmap.h"
#include "host/image_file.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

/// Success when the images of `a` and `b` hold the same pixels in every channel; otherwise a
/// failure naming the first pixel and channel that differ.
inline ::testing::AssertionResult SameFrames(const std::string &a, const std::string &b) {
    BitmapPtr x, y;
    try {
        x = ReadImageFile(a);
        y = ReadImageFile(b);
    } catch (const std::exception &e) {
        return ::testing::AssertionFailure() << e.what();
    }
    if (x->Width() != y->Width() || x->Height() != y->Height())
        return ::testing::AssertionFailure() << a << " and " << b << " differ in size";
    if (x->ChannelsPresent() != y->ChannelsPresent())
        return ::testing::AssertionFailure() << a << " and " << b << " differ in channels";
    const int w = x->Width(), h = x->Height();
    for (int py = 0; py < h; ++py)
        for (int px = 0; px < w; ++px) {
            const BMM_Color_64 p = x->Pixel(px, py), q = y->Pixel(px, py);
            const std::size_t i = std::size_t(py) * w + px;
            const char *channel =
                p.r != q.r || p.g != q.g || p.b != q.b ? "colour"
                : p.a != q.a                           ? "alpha"
                : x->DepthChannel() && std::memcmp(&x->DepthChannel()[i], &y->DepthChannel()[i],
                                                   sizeof(float)) != 0
                    ? "depth"
                : x->MaterialChannel() && x->MaterialChannel()[i] != y->MaterialChannel()[i]
                    ? "material ID"
                    : nullptr;
            if (channel)
                return ::testing::AssertionFailure()
                       << a << " and " << b << " differ in " << channel << " at (" << px << ", "
                       << py << ")";
        }
    return ::testing::AssertionSuccess();
}
