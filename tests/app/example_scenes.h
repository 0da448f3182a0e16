/// @file example_scenes.h
/// @brief The example scenes of examples/, for tests that run over every one of them.
#pragma once

#include "common/test_paths.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <string>
#include <vector>

/// The examples folder.
inline std::filesystem::path ExamplesFolder() {
    return std::filesystem::path(testpaths::SourceDir()) / "examples";
}

/// The file names of the example scenes (the JSON files of examples/), sorted.
inline std::vector<std::string> ExampleScenes() {
    std::vector<std::string> names;
    for (const auto &entry : std::filesystem::directory_iterator(ExamplesFolder()))
        if (entry.path().extension() == ".json") names.push_back(entry.path().filename());
    std::sort(names.begin(), names.end());
    return names;
}

/// Mirrors the examples folder into `folder` (a link per entry), so that a scene rendered from
/// there finds what it reads (particle files, plates, presets) and writes what its queue names
/// (outputs relative to the scene) into `folder`, never into the source tree.
inline void MirrorExamples(const std::filesystem::path &folder) {
    for (const auto &entry : std::filesystem::directory_iterator(ExamplesFolder()))
        std::filesystem::create_symlink(entry.path(), folder / entry.path().filename());
}

/// A test name for a scene parameter: its stem with anything but letters and digits as '_'.
inline std::string ExampleTestName(const ::testing::TestParamInfo<std::string> &info) {
    std::string name = std::filesystem::path(info.param).stem().string();
    for (char &c : name)
        if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
    return name;
}
