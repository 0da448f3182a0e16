/// @file library_block.h
/// @brief What every plug-in's and controller's block in an effect library file shares: the
///        8-byte version block it begins with, and little-endian packing of its fields.
#pragma once

#include "framework/nimbra_api.h"

#include <bit>
#include <cstddef>
#include <cstdint>

class NimbraInterface;

/// The version word of the library blocks this build writes and reads.
constexpr std::uint16_t kLibraryBlockVersion = 256;
/// Bytes of the version block: the version word (little-endian), then six bytes that readers
/// ignore and writers leave zero.
constexpr std::size_t kLibraryVersionBlockSize = 8;

/// Writes the version block through `io->fwrite`. False when the write does not report one
/// whole block written.
NIMBRA_API bool WriteLibraryVersion(NimbraInterface *io);
/// Reads a version block through `io->fread`. False when the read does not deliver one whole
/// block or its version word is not kLibraryBlockVersion.
NIMBRA_API bool ReadLibraryVersion(NimbraInterface *io);

// Little-endian fields in a byte buffer (the caller keeps `at` inside the buffer)

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
