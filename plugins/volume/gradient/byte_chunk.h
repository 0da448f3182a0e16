/// @file byte_chunk.h
/// @brief The one-chunk scene data of gradients and data nodes: written whole, read by a
///        reader for that chunk while other chunks are skipped.
#pragma once

#include "host/ioapi.h"

#include <cstdint>
#include <vector>

/// Writes `bytes` as chunk `id`; IO_ERROR when not all of it was written.
inline IOResult SaveByteChunk(ISave *isave, USHORT id, const std::vector<std::uint8_t> &bytes) {
    isave->BeginChunk(id);
    ULONG written = 0;
    const IOResult result = isave->Write(bytes.data(), ULONG(bytes.size()), &written);
    isave->EndChunk();
    return result == IO_OK && written == bytes.size() ? IO_OK : IO_ERROR;
}

/// Calls `read (iload)` for every chunk `id` at this level and skips the others. The first
/// result other than IO_OK stops the load and is returned.
template <typename Reader>
IOResult LoadByteChunks(ILoad *iload, USHORT id, Reader read) {
    IOResult result;
    while ((result = iload->OpenChunk()) == IO_OK) {
        if (iload->CurChunkID() == id && (result = read(iload)) != IO_OK) return result;
        iload->CloseChunk();
    }
    return result == IO_END ? IO_OK : result;
}
