/// @file library_block.h
/// @brief What every plug-in's and controller's block in an effect library file shares: the
///        8-byte version block it begins with.
#pragma once

#include "framework/nimbra_api.h"
#include "host/little_endian.h"  // the blocks' fields: PutLE16 … GetLEFloat

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
