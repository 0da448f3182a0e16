/// @file registry_record.cpp
/// @brief Encoding and decoding of registration records.
#include "framework/registry_record.h"

#include <algorithm>
#include <cstring>

namespace {

// Field offsets within a record.
constexpr std::size_t kTagAt = 0;
constexpr std::size_t kSuperClassAt = 4;
constexpr std::size_t kCategoryKeyAt = 8;
constexpr std::size_t kPluginIdAt = 12;
constexpr std::size_t kClassNameAt = 16;
constexpr std::size_t kDescriptionAt = kClassNameAt + kRegistryStringField;
constexpr std::size_t kAuthorAt = kDescriptionAt + kRegistryStringField;
constexpr std::size_t kNoticeAt = kAuthorAt + kRegistryStringField;
static_assert(kNoticeAt + kRegistryStringField == kRegistryRecordSize);

void PutU32(RegistryRecordBytes &bytes, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
}

std::uint32_t GetU32(const RegistryRecordBytes &bytes, std::size_t at) {
    std::uint32_t v = 0;
    for (int i = 0; i < 4; ++i) v |= std::uint32_t(bytes[at + i]) << (8 * i);
    return v;
}

void PutString(RegistryRecordBytes &bytes, std::size_t at, const std::string &s) {
    const std::size_t n = std::min(s.size(), kRegistryMaxStringLength);
    std::memcpy(bytes.data() + at, s.data(), n);  // the terminator is already there
}

std::string GetString(const RegistryRecordBytes &bytes, std::size_t at) {
    const char *field = reinterpret_cast<const char *>(bytes.data() + at);
    return std::string(field, strnlen(field, kRegistryMaxStringLength));
}

}  // namespace

RegistryRecordBytes EncodeRecord(const PlugInRecord &record) {
    RegistryRecordBytes bytes{};
    PutU32(bytes, kTagAt, record.tag);
    PutU32(bytes, kSuperClassAt, record.superClassId);
    PutU32(bytes, kCategoryKeyAt, record.categoryKey);
    PutU32(bytes, kPluginIdAt, record.pluginId);
    PutString(bytes, kClassNameAt, record.className);
    PutString(bytes, kDescriptionAt, record.description);
    PutString(bytes, kAuthorAt, record.author);
    PutString(bytes, kNoticeAt, record.notice);
    return bytes;
}

PlugInRecord DecodeRecord(const RegistryRecordBytes &bytes) {
    PlugInRecord record;
    record.tag = GetU32(bytes, kTagAt);
    record.superClassId = GetU32(bytes, kSuperClassAt);
    record.categoryKey = GetU32(bytes, kCategoryKeyAt);
    record.pluginId = GetU32(bytes, kPluginIdAt);
    record.className = GetString(bytes, kClassNameAt);
    record.description = GetString(bytes, kDescriptionAt);
    record.author = GetString(bytes, kAuthorAt);
    record.notice = GetString(bytes, kNoticeAt);
    return record;
}
