/// @file fuzz_support.h
/// @brief What the libFuzzer targets share: messages answered without printing (a damaged
///        file makes many), a scratch configuration folder per process, and the modules of the
///        build's plug-in folder.
#pragma once

#include "host/interface.h"
#include "host/messages.h"
#include "host/module_loader.h"

#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include <unistd.h>

namespace fuzz {

/// Answers every message with its default button, without printing.
class QuietInterface : public UserInterfaceService {
public:
    int ShowMessage(const MessageRequest &request) override {
        return DefaultAnswer(request.flags);
    }
};

/// A scratch folder of this process, made the host's configuration folder (where the
/// registry lives), with messages answered quietly. Removed when the run ends.
class Workspace {
public:
    explicit Workspace(const std::string &name)
        : folder_(std::filesystem::temp_directory_path() /
                  ("nimbra_" + name + "_" + std::to_string(::getpid()))) {
        SetUserInterface(&quiet_);
        std::filesystem::create_directories(folder_);
        GetCOREInterface()->SetDir(APP_PLUGCFG_DIR, folder_.c_str());
    }
    ~Workspace() {
        std::error_code error;
        std::filesystem::remove_all(folder_, error);
    }
    Workspace(const Workspace &) = delete;
    Workspace &operator=(const Workspace &) = delete;

    /// A file of the folder.
    std::string Scratch(const std::string &name) const { return (folder_ / name).string(); }

private:
    QuietInterface quiet_;
    std::filesystem::path folder_;
};

/// A workspace with the modules of NIMBRA_FUZZ_PLUGIN_DIR loaded (the registry is written
/// into the workspace). Stops the run when they do not load.
class Modules : public Workspace {
public:
    explicit Modules(const std::string &name) : Workspace(name) {
        if (loader_.LoadAll({NIMBRA_FUZZ_PLUGIN_DIR}) < 2) {
            std::fprintf(stderr, "%s: the modules of %s did not load\n", name.c_str(),
                         NIMBRA_FUZZ_PLUGIN_DIR);
            std::abort();
        }
    }

private:
    ModuleLoader loader_;
};

/// The whole of file `path` (empty when it cannot be read).
inline std::vector<char> ReadAll(const std::string &path) {
    std::vector<char> bytes;
    if (std::FILE *f = std::fopen(path.c_str(), "rb")) {
        char buffer[4096];
        for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, f)) > 0;)
            bytes.insert(bytes.end(), buffer, buffer + n);
        std::fclose(f);
    }
    return bytes;
}

/// Replaces file `path` with `size` bytes; stops the run when it cannot.
inline void WriteAll(const std::string &path, const void *data, std::size_t size) {
    std::FILE *f = std::fopen(path.c_str(), "wb");
    const bool written = f && (size == 0 || std::fwrite(data, size, 1, f) == 1);
    if (!f || std::fclose(f) != 0 || !written) {
        std::fprintf(stderr, "cannot write %s\n", path.c_str());
        std::abort();
    }
}

}  // namespace fuzz
