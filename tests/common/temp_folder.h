/// @file temp_folder.h
/// @brief Files in tests: a fresh folder for what a test writes, removed afterwards, and the
///        whole bytes of a file read or written at once.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <unistd.h>

namespace testfiles {

/// Creates `<temp>/nimbra-<pid>-<n>-<label>` empty and removes it with everything in it. The
/// label defaults to the running test's suite and name.
class TempFolder {
public:
    TempFolder() : TempFolder(CurrentTest()) {}
    explicit TempFolder(const std::string &label) {
        static std::atomic<int> made{0};
        path_ = std::filesystem::temp_directory_path() /
                ("nimbra-" + std::to_string(::getpid()) + "-" + std::to_string(made++) + "-" +
                 label);
        std::filesystem::remove_all(path_);
        std::filesystem::create_directories(path_);
    }
    ~TempFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    TempFolder(const TempFolder &) = delete;
    TempFolder &operator=(const TempFolder &) = delete;

    const std::filesystem::path &Root() const { return path_; }
    std::string Path(const std::string &name) const { return (path_ / name).string(); }
    /// Names of the entries in the folder, sorted.
    std::vector<std::string> Entries() const {
        std::vector<std::string> names;
        for (const auto &e : std::filesystem::directory_iterator(path_))
            names.push_back(e.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }

private:
    static std::string CurrentTest() {
        const auto *info = ::testing::UnitTest::GetInstance()->current_test_info();
        return info ? std::string(info->test_suite_name()) + "-" + info->name() : "test";
    }

    std::filesystem::path path_;
};

/// Every byte of `path` (none when it cannot be read).
inline std::vector<std::uint8_t> ReadBytes(const std::filesystem::path &path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

/// Writes `bytes` as the whole of `path`.
inline void WriteBytes(const std::filesystem::path &path,
                       const std::vector<std::uint8_t> &bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char *>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
}

}  // namespace testfiles
