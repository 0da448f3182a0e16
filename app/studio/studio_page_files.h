/// @file studio_page_files.h
/// @brief The page's files, embedded in the program at build time (every file of
///        app/studio/page), served under their own names.
#pragma once

#include <cstddef>

struct StudioPageFile {
    const char *path;  ///< "/studio.js"
    const char *data;
    const std::size_t *size;  ///< bytes of data
};

extern const StudioPageFile kStudioPageFiles[];
extern const std::size_t kStudioPageFileCount;
