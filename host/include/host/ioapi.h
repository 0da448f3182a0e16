/// @file ioapi.h
/// @brief Nested chunk streams through which objects save and load their own data in scene
///        files, and the post-load callbacks that run once a whole file has been read.
#pragma once

#include "host/types.h"

enum IOResult {
    IO_OK = 0,
    IO_END = 1,    ///< no further chunk at this level
    IO_ERROR = 2,  ///< malformed or truncated data, or a read past the end of a chunk
};

/// Where an object writes its data. A chunk is a 16-bit identifier and a body; bodies hold raw
/// bytes or further chunks. Multi-byte values are written little-endian by the caller.
class ISave {
public:
    virtual ~ISave();
    virtual void BeginChunk(USHORT id) = 0;
    /// Ends the chunk most recently begun.
    virtual void EndChunk() = 0;
    /// Appends `nbytes` to the current chunk; `nwrit` (may be null) receives the count written.
    virtual IOResult Write(const void *buf, ULONG nbytes, ULONG *nwrit) = 0;
};

class ILoad;

/// Work that must wait until the whole file has been read and every reference restored, such
/// as upgrading an old parameter block. Registered from an object's `Load`.
///
/// Ownership: the loader holds the callback until it runs. `proc` runs once, after the whole
/// load, and must end by deleting the callback (`delete this`); the loader never touches it
/// again. A callback that never runs (the load failed first), or whose `proc` throws, is
/// deleted by the loader; so `proc` deletes itself last, after anything that may throw.
class PostLoadCallback {
public:
    virtual ~PostLoadCallback();
    virtual void proc(ILoad *iload) = 0;
};

/// Where an object reads its data back, chunk by chunk, at the level its `Save` wrote them.
class ILoad {
public:
    virtual ~ILoad();
    /// Opens the next chunk at the current level: IO_OK, IO_END when there is none, IO_ERROR
    /// when the next chunk header is damaged or claims more bytes than its parent holds.
    virtual IOResult OpenChunk() = 0;
    /// Identifier of the innermost open chunk (0 when none is open).
    virtual USHORT CurChunkID() = 0;
    /// Body length in bytes of the innermost open chunk.
    virtual ULONG CurChunkLength() = 0;
    /// Closes the innermost open chunk, skipping whatever of it was not read.
    virtual IOResult CloseChunk() = 0;
    /// Reads `nbytes` from the innermost open chunk. Asking for more than remains in the chunk
    /// reads nothing and returns IO_ERROR. `nread` (may be null) receives the count read.
    virtual IOResult Read(void *buf, ULONG nbytes, ULONG *nread) = 0;
    virtual void RegisterPostLoadCallback(PostLoadCallback *cb) = 0;
    /// Marks the file as written by an older version (data was upgraded while loading), so the
    /// user can be told that saving again will rewrite it in the current form.
    virtual void SetObsolete() = 0;
};
