/// @file library_record.h
/// @brief A plug-in's library record as bytes: written to and read from a temporary file
///        through the interface object, as the effect library code does.
#pragma once

#include "framework/nimbra_interface.h"
#include "framework/plugin_interface.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <vector>

namespace testfiles {

using Bytes = std::vector<std::uint8_t>;

/// The record `plugin` writes; a failed save fails the test.
inline Bytes LibraryRecordOf(NimbraPlugIn &plugin) {
    std::FILE *file = std::tmpfile();
    GetNimbraInterface()->file = file;
    EXPECT_EQ(plugin.LibrarySave(GetNimbraInterface()), 1);
    Bytes bytes(std::ftell(file));
    std::rewind(file);
    EXPECT_EQ(std::fread(bytes.data(), 1, bytes.size(), file), bytes.size());
    std::fclose(file);
    GetNimbraInterface()->file = nullptr;
    return bytes;
}

/// What `plugin`'s `LibraryLoad` answers to `bytes`.
inline int LoadLibraryRecord(NimbraPlugIn &plugin, const Bytes &bytes) {
    std::FILE *file = std::tmpfile();
    std::fwrite(bytes.data(), 1, bytes.size(), file);
    std::rewind(file);
    GetNimbraInterface()->file = file;
    const int result = plugin.LibraryLoad(GetNimbraInterface());
    std::fclose(file);
    GetNimbraInterface()->file = nullptr;
    return result;
}

}  // namespace testfiles
