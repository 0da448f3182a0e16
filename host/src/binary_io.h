/// @file binary_io.h
/// @brief Little-endian field writers and readers over `ISave` / `ILoad` for the host's own
///        objects (private to the host library).
#pragma once

#include "host/ioapi.h"

#include <bit>
#include <cstdint>
#include <cstring>
#include <string>
#include <utility>

namespace hostio {

/// Longest string the host's own objects store (node names and the like).
constexpr std::uint32_t kMaxStringBytes = 1u << 16;

inline bool WriteBytes(ISave &s, const void *p, ULONG n) {
    ULONG written = 0;
    return s.Write(p, n, &written) == IO_OK && written == n;
}

inline bool WriteU32(ISave &s, std::uint32_t v) {
    const std::uint8_t b[4] = {static_cast<std::uint8_t>(v), static_cast<std::uint8_t>(v >> 8),
                               static_cast<std::uint8_t>(v >> 16),
                               static_cast<std::uint8_t>(v >> 24)};
    return WriteBytes(s, b, 4);
}
inline bool WriteI32(ISave &s, std::int32_t v) {
    return WriteU32(s, static_cast<std::uint32_t>(v));
}
inline bool WriteF32(ISave &s, float v) {
    return WriteU32(s, std::bit_cast<std::uint32_t>(v));
}
inline bool WriteString(ISave &s, const std::string &v) {
    const auto n = static_cast<std::uint32_t>(v.size());
    return WriteU32(s, n) && WriteBytes(s, v.data(), n);
}

inline bool ReadBytes(ILoad &l, void *p, ULONG n) {
    ULONG got = 0;
    return l.Read(p, n, &got) == IO_OK && got == n;
}

inline bool ReadU32(ILoad &l, std::uint32_t &v) {
    std::uint8_t b[4];
    if (!ReadBytes(l, b, 4)) return false;
    v = std::uint32_t(b[0]) | std::uint32_t(b[1]) << 8 | std::uint32_t(b[2]) << 16 |
        std::uint32_t(b[3]) << 24;
    return true;
}
inline bool ReadI32(ILoad &l, std::int32_t &v) {
    std::uint32_t u;
    if (!ReadU32(l, u)) return false;
    v = static_cast<std::int32_t>(u);
    return true;
}
inline bool ReadF32(ILoad &l, float &v) {
    std::uint32_t u;
    if (!ReadU32(l, u)) return false;
    v = std::bit_cast<float>(u);
    return true;
}
/// Reads a length-prefixed string of at most `kMaxStringBytes` bytes.
inline bool ReadString(ILoad &l, std::string &v) {
    std::uint32_t n;
    if (!ReadU32(l, n) || n > kMaxStringBytes) return false;
    std::string s(n, '\0');
    if (n && !ReadBytes(l, s.data(), n)) return false;
    v = std::move(s);
    return true;
}

}  // namespace hostio
