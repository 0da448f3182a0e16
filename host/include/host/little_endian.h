/// @file little_endian.h
/// @brief Little-endian fields in byte buffers, the one encoding of every binary format here
///        (scene files and their chunks, the registration file, library files and blocks,
///        configuration blocks), and a reader over a byte span that checks every read.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <span>

// Fields at a given place (the caller keeps the field inside its buffer)

inline void PutLE16(std::uint8_t *at, std::uint16_t v) {
    at[0] = static_cast<std::uint8_t>(v);
    at[1] = static_cast<std::uint8_t>(v >> 8);
}
inline void PutLE32(std::uint8_t *at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) at[i] = static_cast<std::uint8_t>(v >> (8 * i));
}
inline void PutLEInt(std::uint8_t *at, std::int32_t v) {
    PutLE32(at, static_cast<std::uint32_t>(v));
}
inline void PutLEFloat(std::uint8_t *at, float v) {
    PutLE32(at, std::bit_cast<std::uint32_t>(v));
}

inline std::uint16_t GetLE16(const std::uint8_t *at) {
    return static_cast<std::uint16_t>(at[0] | at[1] << 8);
}
inline std::uint32_t GetLE32(const std::uint8_t *at) {
    std::uint32_t v = 0;
    for (int i = 0; i < 4; ++i) v |= std::uint32_t(at[i]) << (8 * i);
    return v;
}
inline std::int32_t GetLEInt(const std::uint8_t *at) {
    return static_cast<std::int32_t>(GetLE32(at));
}
inline float GetLEFloat(const std::uint8_t *at) {
    return std::bit_cast<float>(GetLE32(at));
}

/// Reads fields one after another from a byte span, starting at `at`. A read that would pass
/// the end reads nothing and gives zero, and the reader stays failed from then on.
class ByteReader {
public:
    explicit ByteReader(std::span<const std::uint8_t> bytes, std::size_t at = 0)
        : bytes_(bytes), at_(at), ok_(at <= bytes.size()) {}

    std::uint16_t U16() { return Read<std::uint16_t, GetLE16>(); }
    std::uint32_t U32() { return Read<std::uint32_t, GetLE32>(); }
    std::int32_t I32() { return Read<std::int32_t, GetLEInt>(); }
    float F32() { return Read<float, GetLEFloat>(); }

    /// True while every read stayed inside the span.
    bool Ok() const { return ok_; }

private:
    template <typename T, T (*Get)(const std::uint8_t *)>
    T Read() {
        if (!ok_ || bytes_.size() - at_ < sizeof(T)) {
            ok_ = false;
            return T{};
        }
        const std::uint8_t *field = bytes_.data() + at_;
        at_ += sizeof(T);
        return Get(field);
    }

    std::span<const std::uint8_t> bytes_;
    std::size_t at_;
    bool ok_;
};
