/// @file pixel_color.h
/// @brief Colours as 16-bit pixel channels: how a host `Color` channel (nominally 0 … 1)
///        becomes a channel of a `BMM_Color_64` pixel.
#pragma once

#include "host/bitmap.h"
#include "host/geom.h"

#include <cstdint>

/// A colour channel as 16 bits: c × 65535 truncated toward zero. Channels outside 0 … 1
/// saturate instead of wrapping around; NaN gives 0.
inline std::uint16_t ToChannel16(float c) {
    const float v = c * 65535.0f;
    if (!(v > 0.0f)) return 0;
    if (v >= 65535.0f) return 65535;
    return static_cast<std::uint16_t>(v);
}

/// `c` as a 16-bit pixel colour; alpha 0.
inline BMM_Color_64 ToPixelColor(const Color &c) {
    return {ToChannel16(c.r), ToChannel16(c.g), ToChannel16(c.b), 0};
}
