/// @file plugin_registry.h
/// @brief The plug-in registry: effect modules register their classes in the registration
///        file `nimbra.reg`; the main module reads the file into a table that lists the
///        installed plug-ins by category, with their names and descriptions.
#pragma once

#include "framework/nimbra_api.h"
#include "framework/registry_record.h"
#include "host/module_entry.h"

#include <deque>
#include <string>

/// The registration file: the host's configuration directory followed by kRegistryFileName.
NIMBRA_API std::string RegistryPath();

/// The table of registered plug-in classes, in file order, one record per plug-in ID. Used on
/// the user-interface thread.
///
/// `Get` and `FindById` return pointers into the table; they stay valid until the table is
/// emptied (`Clear`, `Reload`), also while `Load` appends.
class NIMBRA_API PlugInRegistry {
public:
    /// What `Load` does when the registration file does not exist.
    enum class MissingFile {
        kReport,  ///< report it like an unreadable file
        kQuiet,   ///< no modules registered yet: nothing to read, nothing to say
    };

    /// Appends the registration file's records. A record whose plug-in ID is in the table
    /// already is dropped with a Yes/No warning; answering No silences the warnings for the
    /// rest of this load. A file that cannot be read is reported with its path and leaves the
    /// table as it was; a partial record at the end of the file is ignored.
    void Load(MissingFile missing = MissingFile::kReport);
    /// Appends only the records added to the file since the table last read it (modules
    /// register by appending), so that nothing read before is read, or warned about, twice.
    /// Reads the whole file when the table has not read it, or it was made anew since.
    void LoadAdded(MissingFile missing = MissingFile::kReport);
    /// Empties the table, then loads.
    void Reload(MissingFile missing = MissingFile::kReport);
    void Clear();

    int Count() const { return static_cast<int>(records_.size()); }
    /// Record `index`, or null out of range.
    const PlugInRecord *Get(int index) const;
    /// The record of plug-in ID `pluginId`, or null when no installed module registered it:
    /// callers treat such a plug-in as not available, like a class the host cannot create.
    const PlugInRecord *FindById(ULONG pluginId) const;

    /// A report of the table by category, for `nimbra info`.
    std::string Describe() const;

private:
    /// Reads the file from byte `skip` on (past the records read before).
    void Load(MissingFile missing, long skip);

    std::deque<PlugInRecord> records_;  // appending keeps the records where they are
    // What the table has read: the file and the bytes of its whole records
    std::string readPath_;
    long readBytes_ = 0;
};

/// The registry of this process (the main module's).
NIMBRA_API PlugInRegistry &ThePlugInRegistry();

/// What an effect module writes into each of its records besides the class's own data.
struct RegistrationTexts {
    const char *author = "";
    const char *notice = "";
};

/// Appends the record of `desc` to the registration file unless the file holds one of the
/// same super class and class ID. A file that cannot be written is reported with its path and
/// the class name; the caller goes on without the record. Null descriptors are skipped.
NIMBRA_API void Register(ClassDesc *desc, const RegistrationTexts &texts);
/// Registers every class that a module's `LibNumberClasses` and `LibClassDesc` list.
NIMBRA_API void RegisterClasses(LibNumberClassesProc *numberClasses,
                                LibClassDescProc *classDesc, const RegistrationTexts &texts);
