/// @file app_context.cpp
/// @brief Global options, plug-in directories and the program's shared state.
#include "app_context.h"

#include <cstdlib>
#include <sstream>
#include <system_error>

namespace fs = std::filesystem;

namespace {

/// Environment variable with extra plug-in directories, colon-separated.
constexpr char kPluginPathVariable[] = "NIMBRA_PLUGIN_PATH";
/// Environment variable through which the host finds its configuration directory.
constexpr char kConfigDirVariable[] = "NIMBRA_CONFIG_DIR";

fs::path ExecutableDirectory() {
    std::error_code error;
    const fs::path exe = fs::read_symlink("/proc/self/exe", error);
    return error ? fs::current_path() : exe.parent_path();
}

}  // namespace

void AddGlobalOptions(CLI::App &app, GlobalOptions &options) {
    // Without its description the check would print as "DIR:DIR" in the help.
    const CLI::Validator existingDirectory =
        CLI::Validator(CLI::ExistingDirectory).description("");
    app.add_option("--plugins", options.pluginDirs,
                   "Load the modules of DIR instead of the default plug-in directories "
                   "(repeatable)")
        ->type_name("DIR")
        ->allow_extra_args(false)
        ->check(existingDirectory);
    app.add_option("--config-dir", options.configDir,
                   "Keep the configuration (the plug-in registry) in DIR")
        ->type_name("DIR")
        ->check(existingDirectory);
    app.set_version_flag("--version", std::string("nimbra ") + NIMBRA_VERSION,
                         "Print the version and exit");
}

std::vector<fs::path> DefaultPluginDirectories() {
    std::vector<fs::path> directories;
    if (const char *path = std::getenv(kPluginPathVariable)) {
        std::stringstream list(path);
        for (std::string entry; std::getline(list, entry, ':');)
            if (!entry.empty()) directories.push_back(fs::absolute(entry).lexically_normal());
    }
    const fs::path exeDir = ExecutableDirectory();
    for (const fs::path &candidate :
         {exeDir / "plugins", exeDir / ".." / "lib" / "nimbra" / "plugins"}) {
        std::error_code error;
        if (fs::is_directory(candidate, error))
            directories.push_back(candidate.lexically_normal());
    }
    return directories;
}

AppContext::AppContext(const GlobalOptions &options) {
    previousInterface_ = SetUserInterface(&batch_);
    if (!options.configDir.empty()) {
        configDir_ = fs::absolute(options.configDir).lexically_normal().string();
        setenv(kConfigDirVariable, configDir_.c_str(), 1);
    } else if (const char *inherited = std::getenv(kConfigDirVariable)) {
        configDir_ = inherited;
    }
    if (options.pluginDirs.empty())
        pluginDirs_ = DefaultPluginDirectories();
    else
        for (const std::string &directory : options.pluginDirs)
            pluginDirs_.push_back(fs::absolute(directory).lexically_normal());
}

AppContext::~AppContext() {
    loader_.UnloadAll();
    SetUserInterface(previousInterface_);
}

ModuleLoader &AppContext::LoadModules() {
    loader_.LoadAll(pluginDirs_);
    return loader_;
}
