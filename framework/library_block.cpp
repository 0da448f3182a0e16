/// @file library_block.cpp
/// @brief The version block of library blocks.
#include "framework/library_block.h"

#include "framework/nimbra_interface.h"

bool WriteLibraryVersion(NimbraInterface *io) {
    std::uint8_t block[kLibraryVersionBlockSize] = {};
    PutLE16(block, kLibraryBlockVersion);
    return io->fwrite(block, sizeof block, 1) == 1;
}

bool ReadLibraryVersion(NimbraInterface *io) {
    std::uint8_t block[kLibraryVersionBlockSize];
    if (io->fread(block, sizeof block, 1) != 1) return false;
    return GetLE16(block) == kLibraryBlockVersion;
}
