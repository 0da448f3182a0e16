/// @file registry_record.h
/// @brief One record of the registration file `nimbra.reg` and its byte layout: 1036 bytes,
///        little-endian, written and read field by field.
#pragma once

#include "framework/nimbra_api.h"
#include "host/class_desc.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

/// File name of the registry in the host's configuration directory.
constexpr char kRegistryFileName[] = "nimbra.reg";
/// Bytes of one record. The file is a plain sequence of records without a header.
constexpr std::size_t kRegistryRecordSize = 1036;
/// First field of every record (the record format's version).
constexpr ULONG kRegistryRecordTag = 256;
/// Bytes of each string field; a string keeps at most one less, plus its terminator.
constexpr std::size_t kRegistryStringField = 255;
constexpr std::size_t kRegistryMaxStringLength = kRegistryStringField - 1;

/// One registered plug-in class.
struct PlugInRecord {
    ULONG tag = kRegistryRecordTag;
    SClass_ID superClassId = 0;
    ULONG categoryKey = 0;  ///< first half of the class ID
    ULONG pluginId = 0;     ///< second half of the class ID
    std::string className;
    std::string description;  ///< the class descriptor's category text
    std::string author;       ///< the registering module's author text
    std::string notice;       ///< the registering module's notice text

    Class_ID ClassID() const { return Class_ID(categoryKey, pluginId); }
    /// The same class: super class and both halves of the class ID.
    bool SameClass(const PlugInRecord &o) const {
        return superClassId == o.superClassId && categoryKey == o.categoryKey &&
               pluginId == o.pluginId;
    }
};

using RegistryRecordBytes = std::array<std::uint8_t, kRegistryRecordSize>;

/// The record's bytes: zero-filled, then tag at 0, super class at 4, category key at 8,
/// plug-in ID at 12 (all uint32), class name at 16, description at 271, author at 526, notice
/// at 781 (each 255 bytes, NUL-terminated, longer strings cut to 254 characters).
NIMBRA_API RegistryRecordBytes EncodeRecord(const PlugInRecord &record);
/// The record in `bytes`; a string field without a terminator is read up to 254 characters.
NIMBRA_API PlugInRecord DecodeRecord(const RegistryRecordBytes &bytes);
