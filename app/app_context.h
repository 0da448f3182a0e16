/// @file app_context.h
/// @brief What every command of the `nimbra` program shares: the global options, the
///        installed user-interface service and the loaded modules.
#pragma once

#include "host/messages.h"
#include "host/module_loader.h"

#include <CLI/CLI.hpp>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

// Exit codes of the program.
constexpr int kExitSuccess = 0;
constexpr int kExitFailure = 1;  ///< the job failed (a module, a frame, a file)
constexpr int kExitUsage = 2;    ///< the command line was wrong

/// Options that come before (or after) any command.
struct GlobalOptions {
    std::vector<std::string> pluginDirs;  ///< empty: the default plug-in directories
    std::string configDir;                ///< empty: the host's default
};

/// Adds --plugins, --config-dir and --version to the program.
void AddGlobalOptions(CLI::App &app, GlobalOptions &options);

/// The plug-in directories when --plugins is not given: each directory of NIMBRA_PLUGIN_PATH
/// (colon-separated), then `<exe dir>/plugins` (the build tree) and
/// `<exe dir>/../lib/nimbra/plugins` (an installation), those two only when they exist.
std::vector<std::filesystem::path> DefaultPluginDirectories();

/// One command of the program: its sub-app, and what runs it once the line is parsed.
struct Command {
    CLI::App *app = nullptr;
    std::function<int(const GlobalOptions &)> run;
};

/// The running program: installs the batch user-interface (messages go to standard error and
/// answer their default), points the host at the configuration directory and owns the module
/// loader. Modules are unloaded before the previous user-interface comes back.
class AppContext {
public:
    explicit AppContext(const GlobalOptions &options);
    ~AppContext();
    AppContext(const AppContext &) = delete;
    AppContext &operator=(const AppContext &) = delete;

    /// Loads the modules of the plug-in directories; the loader tells what happened.
    ModuleLoader &LoadModules();
    ModuleLoader &Modules() { return loader_; }
    const std::vector<std::filesystem::path> &PluginDirectories() const { return pluginDirs_; }
    /// The configuration directory given to the host (--config-dir, or NIMBRA_CONFIG_DIR as
    /// inherited), or empty for the host's default.
    const std::string &ConfigDirectory() const { return configDir_; }

private:
    UserInterfaceService batch_;
    UserInterfaceService *previousInterface_ = nullptr;
    std::vector<std::filesystem::path> pluginDirs_;
    std::string configDir_;
    ModuleLoader loader_;
};
