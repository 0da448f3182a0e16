/// @file registry_file.h
/// @brief Reading a plug-in registration file in tests: its whole records decoded one by one.
#pragma once

#include "common/temp_folder.h"
#include "framework/registry_record.h"

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <vector>

namespace testfiles {

/// The records of a registration file (whole records only).
inline std::vector<PlugInRecord> RecordsIn(const std::filesystem::path &path) {
    const std::vector<std::uint8_t> bytes = ReadBytes(path);
    std::vector<PlugInRecord> records;
    for (std::size_t at = 0; at + kRegistryRecordSize <= bytes.size();
         at += kRegistryRecordSize) {
        RegistryRecordBytes b;
        std::copy_n(bytes.begin() + static_cast<std::ptrdiff_t>(at), kRegistryRecordSize,
                    b.begin());
        records.push_back(DecodeRecord(b));
    }
    return records;
}

}  // namespace testfiles
