/// @file binary_io.h
/// @brief Little-endian field writers and readers over `ISave` / `ILoad` for the host's own
///        objects (private to the host library).
#pragma once

#include "host/ioapi.h"
#include "host/little_endian.h"

#include <bit>
#include <cstdint>
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
    std::uint8_t b[4];
    PutLE32(b, v);
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

/// Reads one 4-byte field decoded by `Get`.
template <typename T, T (*Get)(const std::uint8_t *)>
bool ReadField(ILoad &l, T &v) {
    std::uint8_t b[4];
    if (!ReadBytes(l, b, 4)) return false;
    v = Get(b);
    return true;
}
inline bool ReadU32(ILoad &l, std::uint32_t &v) {
    return ReadField<std::uint32_t, GetLE32>(l, v);
}
inline bool ReadI32(ILoad &l, std::int32_t &v) {
    return ReadField<std::int32_t, GetLEInt>(l, v);
}
inline bool ReadF32(ILoad &l, float &v) {
    return ReadField<float, GetLEFloat>(l, v);
}
/// Reads a count of elements of `elementBytes` each; false when the open chunk could not hold
/// that many, so that a damaged count never sizes an allocation.
inline bool ReadCount(ILoad &l, std::uint32_t &n, std::uint32_t elementBytes) {
    return ReadU32(l, n) && n <= l.CurChunkLength() / elementBytes;
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
