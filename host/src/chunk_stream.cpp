/// @file chunk_stream.cpp
/// @brief In-memory chunk writer and reader.
#include "host/chunk_stream.h"

#include "host/little_endian.h"
#include "host/messages.h"

#include <cstring>

namespace {

std::string Hex(unsigned v) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "0x%04X", v);
    return buf;
}

}  // namespace

ISave::~ISave() = default;
ILoad::~ILoad() = default;
PostLoadCallback::~PostLoadCallback() = default;

// ChunkWriter --------------------------------------------------------------------------------

void ChunkWriter::BeginChunk(USHORT id) {
    open_.push_back(bytes_.size());
    bytes_.resize(bytes_.size() + kChunkHeaderSize);
    PutLE16(&bytes_[open_.back()], id);
}

void ChunkWriter::EndChunk() {
    DbgAssert(!open_.empty());
    const std::size_t header = open_.back();
    open_.pop_back();
    const std::size_t length = bytes_.size() - header - kChunkHeaderSize;
    DbgAssert(length <= 0xFFFFFFFFu);
    PutLE32(&bytes_[header + 2], static_cast<std::uint32_t>(length));
}

IOResult ChunkWriter::Write(const void *buf, ULONG nbytes, ULONG *nwrit) {
    const auto *p = static_cast<const std::uint8_t *>(buf);
    if (nbytes) bytes_.insert(bytes_.end(), p, p + nbytes);
    if (nwrit) *nwrit = nbytes;
    return IO_OK;
}

// ChunkReader --------------------------------------------------------------------------------

ChunkReader::ChunkReader(std::span<const std::uint8_t> data, std::size_t baseOffset)
    : data_(data), base_(baseOffset) {}

ChunkReader::~ChunkReader() {
    for (PostLoadCallback *cb : callbacks_) delete cb;
}

IOResult ChunkReader::Fail(std::size_t at, const std::string &what) {
    if (error_.empty()) {
        error_ = what;
        errorOffset_ = base_ + at;
    }
    return IO_ERROR;
}

IOResult ChunkReader::OpenChunk() {
    const std::size_t limit = Limit();
    if (pos_ == limit) return IO_END;
    const std::size_t left = limit - pos_;
    const std::string where =
        open_.empty() ? std::string("the file") : "chunk " + Hex(open_.back().id);
    if (left < kChunkHeaderSize) {
        return Fail(pos_, "expected a chunk header (6 bytes), but " + where + " ends after " +
                              std::to_string(left) + " more bytes");
    }
    const auto id = GetLE16(&data_[pos_]);
    const std::uint32_t length = GetLE32(&data_[pos_ + 2]);
    if (length > left - kChunkHeaderSize) {
        return Fail(pos_, "chunk " + Hex(id) + " declares " + std::to_string(length) +
                              " bytes, but only " + std::to_string(left - kChunkHeaderSize) +
                              " remain in " + where);
    }
    pos_ += kChunkHeaderSize;
    open_.push_back({id, pos_, pos_ + length});
    return IO_OK;
}

USHORT ChunkReader::CurChunkID() {
    return open_.empty() ? 0 : open_.back().id;
}

ULONG ChunkReader::CurChunkLength() {
    return open_.empty() ? 0 : static_cast<ULONG>(open_.back().end - open_.back().begin);
}

IOResult ChunkReader::CloseChunk() {
    if (open_.empty()) return Fail(pos_, "CloseChunk without an open chunk");
    pos_ = open_.back().end;
    open_.pop_back();
    return IO_OK;
}

IOResult ChunkReader::Read(void *buf, ULONG nbytes, ULONG *nread) {
    if (nread) *nread = 0;
    if (nbytes > Remaining()) {
        const std::string where =
            open_.empty() ? std::string("the file") : "chunk " + Hex(open_.back().id);
        return Fail(pos_, "expected " + std::to_string(nbytes) + " bytes, but " + where +
                              " has only " + std::to_string(Remaining()) + " left");
    }
    if (nbytes) std::memcpy(buf, &data_[pos_], nbytes);
    pos_ += nbytes;
    if (nread) *nread = nbytes;
    return IO_OK;
}

void ChunkReader::RegisterPostLoadCallback(PostLoadCallback *cb) {
    if (cb) callbacks_.push_back(cb);
}

void ChunkReader::RunPostLoadCallbacks() {
    // Index loop: a callback may register further ones while it runs.
    for (std::size_t i = 0; i < callbacks_.size(); ++i) {
        PostLoadCallback *cb = callbacks_[i];
        callbacks_[i] = nullptr;  // from here on the callback owns itself
        try {
            cb->proc(this);
        } catch (...) {
            delete cb;  // it failed before it could delete itself
            throw;
        }
    }
    callbacks_.clear();
}
