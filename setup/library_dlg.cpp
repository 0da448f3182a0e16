/// @file library_dlg.cpp
/// @brief Writing and reading effect library files, and the file choice of the helper's
///        "Save" and "Load" buttons.
#include "setup/library_dlg.h"

#include "framework/library_block.h"
#include "framework/nimbra_interface.h"
#include "framework/plugin_interface.h"
#include "framework/plugin_registry.h"
#include "setup/helper.h"
#include "setup/library_format.h"
#include "host/inode.h"
#include "host/interface.h"
#include "host/little_endian.h"
#include "host/messages.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <filesystem>
#include <system_error>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

/// The entry name of a helper that is in no scene.
constexpr char kUndefinedEntryName[] = "Undefined";
/// File offset just past the helper block: where the first plug-in section can begin.
constexpr long kFirstSectionOffset =
    long(kLibraryHelperBlockOffset + kLibraryVersionBlockSize + kLibraryHelperRecordSize);
/// Tries at finding an unused name for the file a save writes before moving it into place.
constexpr int kScratchNameTries = 100;

/// The last file chosen since the module was loaded.
std::string lastPath = kLibraryDefaultPath;

/// `text` with its "%s" replaced by `path`.
std::string WithPath(const char *text, const std::string &path) {
    std::string s = text;
    const std::size_t at = s.find("%s");
    if (at != std::string::npos) s.replace(at, 2, path);
    return s;
}

void ShowError(const std::string &text) {
    MessageBox(GetCOREInterface()->GetMainHWnd(), text.c_str(), kLibraryErrorTitle,
               MB_OK | MB_ICONERROR);
}

void ShowBlockMessage(const char *text, const char *title) {
    MessageBox(GetCOREInterface()->GetMainHWnd(), text, title, MB_OK);
}

/// Gives an open file to the interface object, so that plug-ins and controllers read and
/// write it through `fread` / `fwrite`, and takes it back when it goes (the file must not be
/// reachable once it is closed).
class GivenFile {
public:
    GivenFile(NimbraInterface *io, std::FILE *file) : io_(io), previous_(io->file) {
        io_->file = file;
    }
    ~GivenFile() { io_->file = previous_; }
    GivenFile(const GivenFile &) = delete;
    GivenFile &operator=(const GivenFile &) = delete;

private:
    NimbraInterface *io_;
    std::FILE *previous_;
};

/// The file a save writes: a new file beside the target, moved over the target once it is
/// complete, and removed when the save gives up.
class ScratchFile {
public:
    /// Fails (`file` stays null) when the target is a folder or a file that cannot be
    /// written, or when no file can be created beside it.
    explicit ScratchFile(const std::string &target) : target_(target) {
        struct stat existing;
        const bool exists = ::stat(target.c_str(), &existing) == 0;
        if (exists && (S_ISDIR(existing.st_mode) || ::access(target.c_str(), W_OK) != 0))
            return;
        for (int n = 0; n < kScratchNameTries && !file; ++n) {
            const std::string name =
                target + ".saving-" + std::to_string(::getpid()) + "-" + std::to_string(n);
            const int fd = ::open(name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
            if (fd < 0) {
                if (errno == EEXIST) continue;
                return;
            }
            // A file written again keeps its permissions.
            if (exists) ::fchmod(fd, existing.st_mode & 07777);
            file = ::fdopen(fd, "w+b");
            if (!file) {
                ::close(fd);
                ::unlink(name.c_str());
                return;
            }
            name_ = name;
        }
    }
    ~ScratchFile() {
        if (!file) return;
        std::fclose(file);
        ::unlink(name_.c_str());
    }
    ScratchFile(const ScratchFile &) = delete;
    ScratchFile &operator=(const ScratchFile &) = delete;

    /// Cuts the file back to `size` bytes and continues writing there.
    bool TruncateTo(long size) {
        return std::fflush(file) == 0 && ::ftruncate(::fileno(file), size) == 0 &&
               std::fseek(file, size, SEEK_SET) == 0;
    }
    /// Closes the file and moves it over the target; false (and the file removed) when
    /// either fails.
    bool Commit() {
        std::FILE *f = file;
        file = nullptr;
        const bool ok = std::fclose(f) == 0 && std::rename(name_.c_str(), target_.c_str()) == 0;
        if (!ok) ::unlink(name_.c_str());
        return ok;
    }

    std::FILE *file = nullptr;

private:
    std::string target_;
    std::string name_;
};

/// A controller block: the version block, the class ID, then the controller's own data.
bool WriteControllerBlock(NimbraInterface *io, NimbraController *controller) {
    if (!controller) return false;
    const Class_ID id = controller->ClassID();
    std::uint8_t classId[8];
    PutLE32(classId, id.PartA());
    PutLE32(classId + 4, id.PartB());
    return WriteLibraryVersion(io) && io->fwrite(classId, sizeof classId, 1) == 1 &&
           controller->LibrarySave(io) != 0;
}

/// The file offset of `file`, or -1 when it is unknown or beyond what the entry record holds.
long Position(std::FILE *file) {
    const long at = std::ftell(file);
    return at >= 0 && static_cast<unsigned long>(at) <= UINT32_MAX ? at : -1;
}

// ---------------------------------------------------------------------------------------------
// Reading

/// What became of one controller block.
enum class BlockRead {
    Loaded,   ///< the new controller holds the block's data and replaced the old one
    NotRead,  ///< the block could not be read to its end (the user was told why)
    Failed,   ///< the controller refused its data; the old controller stays
};

/// Reads one library file into one helper.
class LibraryReader {
public:
    LibraryReader(NimbraHelper &helper, std::FILE *file, const std::string &path)
        : helper_(helper), io_(helper.Iface()), file_(file), path_(path) {}

    PresetOutcome Read() {
        std::array<std::uint8_t, kLibraryHeaderSize> header;
        if (std::fread(header.data(), header.size(), 1, file_) != 1)
            return PresetOutcome::Failed;  // too short for a library file: ignored
        if (CheckLibraryHeader(header) != LibraryHeaderCheck::Ok) {
            ShowError(kLibraryWrongVersionText);
            return PresetOutcome::Failed;
        }
        GivenFile given(io_, file_);
        std::array<std::uint8_t, kLibraryEntrySize> entryBytes;
        if (io_->fread(entryBytes.data(), entryBytes.size(), 1) != 1)
            return PresetOutcome::Failed;
        const std::optional<LibraryEntry> entry = DecodeLibraryEntry(entryBytes);
        if (!entry) {
            ShowError(kLibraryWrongVersionText);
            return PresetOutcome::Failed;
        }
        fileSize_ = FileSize();

        if (!helper_.LibraryLoad(io_)) {
            ShowError(kHelperLoadFailedText);
            return PresetOutcome::Failed;
        }
        const PresetOutcome outcome = ReadControllersAndSections(*entry);
        helper_.NotifyStructureChanged();
        return outcome;
    }

private:
    PresetOutcome ReadControllersAndSections(const LibraryEntry &entry) {
        for (int i = 0; i < helper_.ControllerCount(); ++i) {
            const BlockRead read = ReadControllerBlock(helper_, helper_.GetHelperController(i),
                                                       NimbraHelper::kRefTransController + i);
            if (read == BlockRead::NotRead) {
                ShowError(WithPath(kLibraryLoadStoppedText, path_));
                return PresetOutcome::Partial;
            }
            if (read == BlockRead::Failed) {
                ShowError(kHelperControllerLoadFailedText);
                return PresetOutcome::Partial;
            }
        }

        bool complete = true;
        bool lost = false;  // the position after an abandoned section is unknown
        long floor = kFirstSectionOffset;
        for (int s = 0; s < kLibrarySections; ++s) {
            if (!entry.include[s]) continue;
            const long offset = entry.offsets[s];
            if (lost && offset != 0 && offset >= floor && offset <= fileSize_) {
                // Past the abandoned section to where the saver put this one. Sections that
                // read well are followed in order: their offsets may be stale.
                lost = std::fseek(file_, offset, SEEK_SET) != 0;
            }
            if (lost) {
                ShowError(WithPath(kLibraryLoadStoppedText, path_));
                return PresetOutcome::Partial;
            }
            floor = std::max(floor, std::ftell(file_));
            if (!ReadSection(static_cast<NimbraHelper::Role>(s), entry.plugInIds[s])) {
                complete = false;
                lost = true;
            }
        }
        return complete ? PresetOutcome::Done : PresetOutcome::Partial;
    }

    /// Installs and loads the plug-in of one section with its controllers; false when the
    /// section was abandoned (its class missing, or a block of it failed).
    bool ReadSection(NimbraHelper::Role role, ULONG plugInId) {
        if (!SelectPlugIn(role, plugInId)) return false;
        NimbraPlugIn *plugIn = helper_.GetPlugIn(role);
        if (!plugIn) return false;
        if (!plugIn->LibraryLoad(io_)) {
            ShowError(kPlugInLoadFailedTexts[role]);
            return false;
        }
        const int count = plugIn->NumControllers();
        for (int i = 0; i < count; ++i) {
            const BlockRead read =
                ReadControllerBlock(*plugIn, plugIn->GetController(i), 1 + i);
            if (read == BlockRead::NotRead) return false;
            if (read == BlockRead::Failed) {
                ShowError(kPlugInControllerLoadFailedTexts[role]);
                return false;
            }
        }
        return true;
    }

    /// A new plug-in of the stored class in `role`; false when the class is missing and the
    /// category's default took its place (the user was told).
    bool SelectPlugIn(NimbraHelper::Role role, ULONG plugInId) {
        const ULONG key = NimbraHelper::CategoryKey(role);
        const PlugInRecord *record = ThePlugInRegistry().FindById(plugInId);
        if (record && record->categoryKey != key) {
            // The ID of another category's class cannot stand for this one.
            MessageBox(GetCOREInterface()->GetMainHWnd(), kPlugInNotLocatedText,
                       kPlugInErrorTitle, MB_OK);
            helper_.SelectPlugInClass(NimbraHelper::DefaultClass(role));
            return false;
        }
        return helper_.SelectPlugIn(plugInId, 1, key) == 1;
    }

    /// Reads a controller block for `owner`'s controller `current`, which it holds as a
    /// reference (or, when it has none there, in reference `usualIndex`).
    BlockRead ReadControllerBlock(ReferenceTarget &owner, NimbraController *current,
                                  int usualIndex) {
        std::uint8_t version[kLibraryVersionBlockSize];
        if (io_->fread(version, sizeof version, 1) != 1) {
            ShowBlockMessage(kControllerVersionReadText, kLibraryBlockTitle);
            return BlockRead::NotRead;
        }
        if (GetLE16(version) != kLibraryBlockVersion) {
            ShowBlockMessage(kControllerVersionText, kLibraryBlockTitle);
            return BlockRead::NotRead;
        }
        std::uint8_t classId[8];
        if (io_->fread(classId, sizeof classId, 1) != 1) {
            ShowBlockMessage(kControllerInfoReadText, kLibraryBlockTitle);
            return BlockRead::NotRead;
        }
        const int index = ReferenceIndex(owner, current, usualIndex);
        if (index < 0) {
            ShowBlockMessage(kControllerReferenceText, kLibraryBlockTitle);
            return BlockRead::NotRead;
        }
        NimbraController *controller =
            NimbraHelper::NewController(Class_ID(GetLE32(classId), GetLE32(classId + 4)));
        if (!controller) {
            // Its data has no length: nothing after it can be found.
            ShowBlockMessage(kControllerMissingText, kLibraryWarningTitle);
            return BlockRead::NotRead;
        }
        // Loaded before it replaces the old one, so that a failure leaves the old one whole.
        if (!controller->LibraryLoad(io_) ||
            owner.ReplaceReference(index, controller) != REF_SUCCEED) {
            controller->DeleteThis();
            return BlockRead::Failed;
        }
        return BlockRead::Loaded;
    }

    /// The reference through which `owner` holds `controller` (the first, when several); for
    /// an empty controller slot, `usualIndex` while that reference is empty; -1 otherwise.
    static int ReferenceIndex(ReferenceTarget &owner, NimbraController *controller,
                              int usualIndex) {
        const int refs = owner.NumRefs();
        if (!controller)
            return usualIndex < refs && !owner.GetReference(usualIndex) ? usualIndex : -1;
        for (int i = 0; i < refs; ++i)
            if (owner.GetReference(i) == controller) return i;
        return -1;
    }

    /// Bytes in the file (the position is kept); 0 when unknown, so that no offset is used.
    long FileSize() {
        const long at = std::ftell(file_);
        if (at < 0 || std::fseek(file_, 0, SEEK_END) != 0) return 0;
        const long size = std::ftell(file_);
        if (std::fseek(file_, at, SEEK_SET) != 0) return 0;
        return size < 0 ? 0 : size;
    }

    NimbraHelper &helper_;
    NimbraInterface *io_;
    std::FILE *file_;
    const std::string &path_;
    long fileSize_ = 0;
};

}  // namespace

// ---------------------------------------------------------------------------------------------
// Writing

PresetOutcome WriteLibraryFile(NimbraHelper &helper, const std::string &path) {
    NimbraInterface *io = helper.Iface();
    LibraryEntry entry;
    INode *node = helper.FindNode();
    entry.name = node && node->GetName() ? node->GetName() : kUndefinedEntryName;
    for (int s = 0; s < kLibrarySections; ++s) {
        const auto role = static_cast<NimbraHelper::Role>(s);
        NimbraPlugIn *plugIn = helper.GetPlugIn(role);
        // A plug-in the helper lacks is left out: there is nothing to restore.
        entry.include[s] = plugIn != nullptr;
        entry.plugInIds[s] = plugIn ? plugIn->ClassID().PartB() : helper.PlugInId(role);
    }

    ScratchFile scratch(path);
    if (!scratch.file) {
        ShowError(WithPath(kLibraryCannotCreateText, path));
        return PresetOutcome::Failed;
    }
    GivenFile given(io, scratch.file);
    const auto header = EncodeLibraryHeader();
    if (io->fwrite(header.data(), header.size(), 1) != 1) {
        ShowError(WithPath(kLibraryCannotWriteText, path));
        return PresetOutcome::Failed;
    }
    const long recordAt = Position(scratch.file);
    auto record = EncodeLibraryEntry(entry);
    if (recordAt < 0 || io->fwrite(record.data(), record.size(), 1) != 1) {
        ShowError(WithPath(kLibraryCannotWriteText, path));
        return PresetOutcome::Failed;
    }

    // The helper's part is what every file has: without it there is no file.
    if (!helper.LibrarySave(io)) {
        ShowError(kHelperSaveFailedText);
        return PresetOutcome::Failed;
    }
    for (int i = 0; i < helper.ControllerCount(); ++i) {
        if (!WriteControllerBlock(io, helper.GetHelperController(i))) {
            ShowError(kHelperControllerSaveFailedText);
            return PresetOutcome::Failed;
        }
    }

    bool complete = true;
    for (int s = 0; s < kLibrarySections; ++s) {
        if (!entry.include[s]) continue;
        NimbraPlugIn *plugIn = helper.GetPlugIn(static_cast<NimbraHelper::Role>(s));
        const long start = Position(scratch.file);
        if (start < 0) {
            ShowError(WithPath(kLibraryCannotWriteText, path));
            return PresetOutcome::Failed;
        }
        const char *failure = nullptr;
        if (!plugIn->LibrarySave(io)) {
            failure = kPlugInSaveFailedTexts[s];
        } else {
            const int count = plugIn->NumControllers();
            for (int i = 0; i < count && !failure; ++i)
                if (!WriteControllerBlock(io, plugIn->GetController(i)))
                    failure = kPlugInControllerSaveFailedTexts[s];
        }
        if (!failure) {
            entry.offsets[s] = static_cast<std::uint32_t>(start);
            continue;
        }
        // A section cut short would make every later block unreadable: the section goes,
        // and the entry record says it is not in the file.
        ShowError(failure);
        complete = false;
        entry.include[s] = false;
        if (!scratch.TruncateTo(start)) {
            ShowError(WithPath(kLibraryCannotWriteText, path));
            return PresetOutcome::Failed;
        }
    }

    record = EncodeLibraryEntry(entry);
    if (std::fseek(scratch.file, recordAt, SEEK_SET) != 0 ||
        io->fwrite(record.data(), record.size(), 1) != 1 || !scratch.Commit()) {
        ShowError(WithPath(kLibraryCannotRewriteText, path));
        return PresetOutcome::Failed;
    }
    return complete ? PresetOutcome::Done : PresetOutcome::Partial;
}

// ---------------------------------------------------------------------------------------------
// Reading

PresetOutcome ReadLibraryStream(NimbraHelper &helper, std::FILE *file,
                                const std::string &path) {
    return LibraryReader(helper, file, path).Read();
}

PresetOutcome ReadLibraryFile(NimbraHelper &helper, const std::string &path) {
    std::error_code error;
    // A folder opens for reading here, but is no file.
    std::FILE *file = fs::is_directory(path, error) ? nullptr : std::fopen(path.c_str(), "rb");
    if (!file) {
        ShowError(WithPath(kLibraryCannotOpenText, path));
        return PresetOutcome::Failed;
    }
    const PresetOutcome outcome = ReadLibraryStream(helper, file, path);
    std::fclose(file);
    return outcome;
}

// ---------------------------------------------------------------------------------------------
// The buttons

std::optional<std::string> LibraryDlg::ChooseFile(bool save) {
    FileChoiceRequest request;
    request.owner = GetCOREInterface()->GetMainHWnd();
    request.title = save ? kLibrarySaveTitle : kLibraryLoadTitle;
    request.initialPath = lastPath;
    request.defaultExtension = kLibraryExtension;
    request.filters = {{"Nimbra *.nbr", "*.nbr"}, {"Any file *.*", "*.*"}};
    request.save = save;
    std::optional<std::string> chosen = GetUserInterface().ChooseFile(request);
    if (!chosen || chosen->empty()) return std::nullopt;
    if (fs::path(*chosen).extension().empty()) *chosen += std::string(".") + kLibraryExtension;
    lastPath = *chosen;
    return chosen;
}

std::string LibraryDlg::LastPath() {
    return lastPath;
}

void LibraryDlg::ForgetLastPath() {
    lastPath = kLibraryDefaultPath;
}

PresetOutcome LibraryDlg::SaveWithOutcome(NimbraHelper &helper) {
    const std::optional<std::string> path = ChooseFile(true);
    return path ? WriteLibraryFile(helper, *path) : PresetOutcome::Cancelled;
}

PresetOutcome LibraryDlg::LoadWithOutcome(NimbraHelper &helper) {
    const std::optional<std::string> path = ChooseFile(false);
    return path ? ReadLibraryFile(helper, *path) : PresetOutcome::Cancelled;
}

void LibraryDlg::Save(NimbraHelper *helper) {
    if (helper) SaveWithOutcome(*helper);
}

int LibraryDlg::Load(NimbraHelper *helper) {
    if (helper) LoadWithOutcome(*helper);
    return 1;
}

PresetOutcome HelperPresetFile::SavePreset() {
    return LibraryDlg::SaveWithOutcome(helper_);
}

PresetOutcome HelperPresetFile::LoadPreset() {
    return LibraryDlg::LoadWithOutcome(helper_);
}
