/// @file registry_record.cpp
/// @brief Encoding and decoding of registration records.
#include "framework/registry_record.h"

#include "host/little_endian.h"

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
    PutLE32(bytes.data() + kTagAt, record.tag);
    PutLE32(bytes.data() + kSuperClassAt, record.superClassId);
    PutLE32(bytes.data() + kCategoryKeyAt, record.categoryKey);
    PutLE32(bytes.data() + kPluginIdAt, record.pluginId);
    PutString(bytes, kClassNameAt, record.className);
    PutString(bytes, kDescriptionAt, record.description);
    PutString(bytes, kAuthorAt, record.author);
    PutString(bytes, kNoticeAt, record.notice);
    return bytes;
}

PlugInRecord DecodeRecord(const RegistryRecordBytes &bytes) {
    PlugInRecord record;
    record.tag = GetLE32(bytes.data() + kTagAt);
    record.superClassId = GetLE32(bytes.data() + kSuperClassAt);
    record.categoryKey = GetLE32(bytes.data() + kCategoryKeyAt);
    record.pluginId = GetLE32(bytes.data() + kPluginIdAt);
    record.className = GetString(bytes, kClassNameAt);
    record.description = GetString(bytes, kDescriptionAt);
    record.author = GetString(bytes, kAuthorAt);
    record.notice = GetString(bytes, kNoticeAt);
    return record;
}
