/// @file library_format.cpp
/// @brief Encoding and decoding of the header, the entry record and the helper's age record.
#include "setup/library_format.h"

#include "host/little_endian.h"

#include <algorithm>
#include <cstring>

namespace {

static_assert(sizeof kLibrarySignature == 55, "54 characters and the terminating zero");

// Entry record fields (byte offsets)
constexpr char kTopMarker[] = "##TOP###";     // 8 bytes, no terminator
constexpr char kBottomMarker[] = "##BOT###";  // 8 bytes and a zero byte
constexpr std::size_t kMarkerLength = 8;
constexpr std::size_t kTopAt = 0;
constexpr std::size_t kEntryVersionAt = 8;
constexpr std::size_t kNameAt = 10;
constexpr std::size_t kNameField = 20;
constexpr std::size_t kDescriptionAt = 30;
constexpr std::size_t kDescriptionField = 30;
constexpr std::size_t kIncludeAt = 60;
constexpr std::size_t kOffsetsAt = 72;
constexpr std::size_t kPlugInIdsAt = 84;
constexpr std::size_t kBottomAt = 146;
static_assert(kNameField == kLibraryEntryNameLength + 1);
static_assert(kDescriptionField == kLibraryEntryDescriptionLength + 1);

/// Copies at most `length` characters of `text` into the zeroed field at `at`.
void PutText(std::uint8_t *at, const std::string &text, std::size_t length) {
    std::memcpy(at, text.data(), std::min(text.size(), length));
}

/// The text of a zero-terminated field, cut to `length` characters when it has no zero.
std::string GetText(const std::uint8_t *at, std::size_t length) {
    const auto *begin = reinterpret_cast<const char *>(at);
    return std::string(begin, std::find(begin, begin + length, '\0'));
}

}  // namespace

std::array<std::uint8_t, kLibraryHeaderSize> EncodeLibraryHeader() {
    std::array<std::uint8_t, kLibraryHeaderSize> bytes{};
    std::memcpy(bytes.data(), kLibrarySignature, sizeof kLibrarySignature);
    PutLE16(bytes.data() + kLibraryVersionOffset, kLibraryFileVersion);
    return bytes;
}

LibraryHeaderCheck CheckLibraryHeader(std::span<const std::uint8_t, kLibraryHeaderSize> bytes,
                                      std::uint16_t *version) {
    if (std::memcmp(bytes.data(), kLibrarySignature, sizeof kLibrarySignature) != 0)
        return LibraryHeaderCheck::WrongSignature;
    const std::uint16_t v = GetLE16(bytes.data() + kLibraryVersionOffset);
    if (version) *version = v;
    const bool readable =
        std::find(std::begin(kLibraryReadableVersions), std::end(kLibraryReadableVersions),
                  v) != std::end(kLibraryReadableVersions);
    return readable ? LibraryHeaderCheck::Ok : LibraryHeaderCheck::WrongVersion;
}

std::array<std::uint8_t, kLibraryEntrySize> EncodeLibraryEntry(const LibraryEntry &entry) {
    std::array<std::uint8_t, kLibraryEntrySize> bytes{};
    std::uint8_t *b = bytes.data();
    std::memcpy(b + kTopAt, kTopMarker, kMarkerLength);
    PutLE16(b + kEntryVersionAt, kLibraryEntryVersion);
    PutText(b + kNameAt, entry.name, kLibraryEntryNameLength);
    PutText(b + kDescriptionAt, entry.description, kLibraryEntryDescriptionLength);
    for (int s = 0; s < kLibrarySections; ++s) {
        PutLE32(b + kIncludeAt + 4 * s, entry.include[s] ? 1 : 0);
        PutLE32(b + kOffsetsAt + 4 * s, entry.offsets[s]);
        PutLE32(b + kPlugInIdsAt + 4 * s, entry.plugInIds[s]);
    }
    std::memcpy(b + kBottomAt, kBottomMarker, sizeof kBottomMarker);
    return bytes;
}

std::optional<LibraryEntry> DecodeLibraryEntry(
    std::span<const std::uint8_t, kLibraryEntrySize> bytes) {
    const std::uint8_t *b = bytes.data();
    if (std::memcmp(b + kTopAt, kTopMarker, kMarkerLength) != 0 ||
        GetLE16(b + kEntryVersionAt) != kLibraryEntryVersion ||
        std::memcmp(b + kBottomAt, kBottomMarker, sizeof kBottomMarker) != 0)
        return std::nullopt;
    LibraryEntry entry;
    entry.name = GetText(b + kNameAt, kLibraryEntryNameLength);
    entry.description = GetText(b + kDescriptionAt, kLibraryEntryDescriptionLength);
    for (int s = 0; s < kLibrarySections; ++s) {
        entry.include[s] = GetLE32(b + kIncludeAt + 4 * s) != 0;
        entry.offsets[s] = GetLE32(b + kOffsetsAt + 4 * s);
        entry.plugInIds[s] = GetLE32(b + kPlugInIdsAt + 4 * s);
    }
    return entry;
}

std::array<std::uint8_t, kLibraryHelperRecordSize> EncodeLibraryHelperRecord(
    const LibraryHelperRecord &record) {
    std::array<std::uint8_t, kLibraryHelperRecordSize> bytes{};
    for (std::size_t k = 0; k < kLibraryHelperFields.size(); ++k) {
        std::uint8_t *at = bytes.data() + 4 * k;
        if (kLibraryHelperFields[k].IsFloat())
            PutLEFloat(at, record.values[k].f);
        else
            PutLEInt(at, record.values[k].i);
    }
    return bytes;
}

LibraryHelperRecord DecodeLibraryHelperRecord(
    std::span<const std::uint8_t, kLibraryHelperRecordSize> bytes) {
    LibraryHelperRecord record;
    for (std::size_t k = 0; k < kLibraryHelperFields.size(); ++k) {
        const std::uint8_t *at = bytes.data() + 4 * k;
        if (kLibraryHelperFields[k].IsFloat())
            record.values[k].f = GetLEFloat(at);
        else
            record.values[k].i = GetLEInt(at);
    }
    return record;
}
