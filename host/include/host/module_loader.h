/// @file module_loader.h
/// @brief Loads the modules of the plug-in directories, attaches them and fills the class
///        directory with their classes; detaches and closes them again.
#pragma once

#include "host/class_desc.h"
#include "host/types.h"

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

/// One module that loaded, attached and listed its classes.
struct LoadedModule {
    std::string name;                  ///< file stem, e.g. "standard"; the classes' module name
    std::filesystem::path path;        ///< the file as found in its plug-in directory
    std::string description;           ///< `LibDescription`
    std::vector<ClassDesc *> classes;  ///< in `LibClassDesc` order, without the refused ones
};

/// A library that was not loaded, or not as asked, and why.
struct ModuleProblem {
    std::filesystem::path path;
    std::string reason;
};

/// Loads every shared library (`*.so`) of its plug-in directories as a module.
///
/// Order. Directories are searched in the order given and each directory's files in file-name
/// order; when two directories hold the same file name the first one found is loaded and the
/// other is skipped. A module that links against another module (the effect modules against
/// the main module `nimbra`) is attached after it, as the platform loader would do, whatever
/// their file names; the dynamic loader already maps such a dependency once, whether it is
/// reached as a dependency or through its plug-in directory. Detach and close run in reverse
/// attach order.
///
/// Refusals. A library whose `LibVersion` is missing or is not HOST_INTERFACE_VERSION (checked
/// before anything else), which lacks an entry point, whose attach answers FALSE or throws, or
/// which needs a module that was refused, is reported through the message service (title
/// "Module not loaded", text "<path>: <reason>"), closed, and listed in `Failures`. It never
/// stops the other modules.
///
/// One loader per process: a module is attached once, so a second loader refuses modules that
/// another loader holds. Objects created from a module's classes must be deleted before the
/// module is unloaded.
class ModuleLoader {
public:
    ModuleLoader();
    /// Unloads everything still loaded.
    ~ModuleLoader();
    ModuleLoader(const ModuleLoader &) = delete;
    ModuleLoader &operator=(const ModuleLoader &) = delete;

    /// Loads the modules of `directories` (after unloading any this loader holds), then
    /// broadcasts NOTIFY_SYSTEM_STARTUP. A directory that does not exist is a failure.
    /// Returns the number of modules loaded.
    int LoadAll(const std::vector<std::filesystem::path> &directories);
    /// Broadcasts NOTIFY_SYSTEM_SHUTDOWN, then for each module in reverse attach order removes
    /// its classes from the class directory, detaches it and closes it. Safe to call twice.
    void UnloadAll();

    // What happened
    /// The loaded modules in attach order.
    const std::vector<LoadedModule> &Modules() const;
    /// The module named `name` (file stem), or null.
    const LoadedModule *FindModule(const std::string &name) const;
    /// Libraries refused, in the order they were tried.
    const std::vector<ModuleProblem> &Failures() const;
    /// Libraries not loaded because a module of the same file name was found first.
    const std::vector<ModuleProblem> &Skipped() const;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};
