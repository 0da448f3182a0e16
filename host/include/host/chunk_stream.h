/// @file chunk_stream.h
/// @brief In-memory chunk writer and reader behind `ISave` and `ILoad`.
///
/// Wire form of a chunk: identifier (uint16 LE), body length in bytes (uint32 LE), body. A
/// chunk's body holds raw bytes or nested chunks; the reader checks that every nested chunk
/// fits inside its parent.
#pragma once

#include "host/ioapi.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

/// Size of a chunk header: identifier and body length.
constexpr std::size_t kChunkHeaderSize = 6;

/// Collects chunks in memory; the caller writes `Bytes()` where it wants them.
class ChunkWriter final : public ISave {
public:
    void BeginChunk(USHORT id) override;
    /// Ending a chunk that was never begun is a host assertion.
    void EndChunk() override;
    IOResult Write(const void *buf, ULONG nbytes, ULONG *nwrit) override;

    /// Number of chunks begun and not yet ended.
    int OpenChunks() const { return static_cast<int>(open_.size()); }
    const std::vector<std::uint8_t> &Bytes() const { return bytes_; }

private:
    std::vector<std::uint8_t> bytes_;
    std::vector<std::size_t> open_;  // offsets of the headers of open chunks
};

/// Reads chunks from a byte range it does not own. The first failure is kept (`Failed`,
/// `Error`) with its offset, so a caller can report where a file went wrong even when the
/// object that was reading ignored the result.
class ChunkReader final : public ILoad {
public:
    /// `baseOffset` is the offset of `data` within its file, used in error messages.
    explicit ChunkReader(std::span<const std::uint8_t> data, std::size_t baseOffset = 0);
    /// Deletes the post-load callbacks that never ran.
    ~ChunkReader() override;
    ChunkReader(const ChunkReader &) = delete;
    ChunkReader &operator=(const ChunkReader &) = delete;

    IOResult OpenChunk() override;
    USHORT CurChunkID() override;
    ULONG CurChunkLength() override;
    IOResult CloseChunk() override;
    IOResult Read(void *buf, ULONG nbytes, ULONG *nread) override;
    void RegisterPostLoadCallback(PostLoadCallback *cb) override;
    void SetObsolete() override { obsolete_ = true; }

    bool Obsolete() const { return obsolete_; }
    bool Failed() const { return !error_.empty(); }
    /// What went wrong first; empty when nothing did.
    const std::string &Error() const { return error_; }
    /// Offset within the file of the first failure.
    std::size_t ErrorOffset() const { return errorOffset_; }
    /// Offset of the read position within the file.
    std::size_t Offset() const { return base_ + pos_; }
    /// Number of open chunks.
    int Depth() const { return static_cast<int>(open_.size()); }
    /// Bytes left to read in the innermost open chunk (or in the whole range).
    std::size_t Remaining() const { return Limit() - pos_; }

    /// Runs the registered callbacks in registration order, including any registered while
    /// they run. Each callback deletes itself at the end of its `proc`.
    void RunPostLoadCallbacks();

private:
    struct Open {
        USHORT id;
        std::size_t begin;  // first byte of the body
        std::size_t end;    // one past the last byte of the body
    };
    std::size_t Limit() const { return open_.empty() ? data_.size() : open_.back().end; }
    IOResult Fail(std::size_t at, const std::string &what);

    std::span<const std::uint8_t> data_;
    std::size_t base_;
    std::size_t pos_ = 0;
    std::vector<Open> open_;
    std::vector<PostLoadCallback *> callbacks_;
    std::string error_;
    std::size_t errorOffset_ = 0;
    bool obsolete_ = false;
};
