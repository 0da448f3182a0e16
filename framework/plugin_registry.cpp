/// @file plugin_registry.cpp
/// @brief Reading and appending the registration file; the registry table.
#include "framework/plugin_registry.h"

#include "framework/class_ids.h"
#include "host/interface.h"
#include "host/messages.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <system_error>

namespace fs = std::filesystem;

namespace {

// Message titles and texts.
constexpr char kRegistryTitle[] = "Nimbra";
constexpr char kRegisterTitle[] = "Nimbra PlugIn";
constexpr char kCannotOpenText[] = "Error: Unable to open plugin registry!";
constexpr char kCutShortText[] =
    "Error: Unable to open plugin registry!\nYou should exit 3D Studio MAX, and then reload 3D "
    "Studio MAX.";
constexpr char kDuplicateText[] =
    "Class <Nimbra:%s> has duplicate class ID: not loading.\nThis may be due to a duplicate "
    "plug-in path.\n\nContinue showing this warning for other duplicates?";
constexpr char kCannotRegisterText[] = "Unable to open registeration file:\n\n%s\n\nPlugIn:%s";
constexpr char kDamagedText[] =
    "%d record(s) of the plugin registry are damaged (record tag not %u) and were "
    "skipped:\n\n%s";

std::string Format(const char *format, auto... values) {
    const int n = std::snprintf(nullptr, 0, format, values...);
    std::string text(n > 0 ? n : 0, '\0');
    std::snprintf(text.data(), text.size() + 1, format, values...);
    return text;
}

/// What reading the registration file gave.
struct RecordFile {
    enum Status {
        kComplete,    ///< every whole record read
        kMissing,     ///< there is no file
        kUnreadable,  ///< the file exists but cannot be opened or is no regular file
        kCutShort,    ///< reading failed part way; `records` holds those read before
    };
    Status status = kComplete;
    std::vector<PlugInRecord> records;
    long size = 0;  ///< bytes, when read
};

/// The whole records of the file from byte `skip` on (a multiple of the record size); none
/// when the file is shorter than that.
RecordFile ReadRecordFile(const std::string &path, long skip = 0) {
    RecordFile file;
    std::error_code error;
    const fs::file_status status = fs::status(path, error);
    if (status.type() == fs::file_type::not_found) {
        file.status = RecordFile::kMissing;
        return file;
    }
    std::FILE *f =
        status.type() == fs::file_type::regular ? std::fopen(path.c_str(), "rb") : nullptr;
    if (!f || std::fseek(f, 0, SEEK_END) != 0 || (file.size = std::ftell(f)) < 0 ||
        std::fseek(f, 0, SEEK_SET) != 0) {
        if (f) std::fclose(f);
        file.status = RecordFile::kUnreadable;
        return file;
    }
    // Whole records only: a partial record at the end is a write that was cut short.
    const long count = skip <= file.size && std::fseek(f, skip, SEEK_SET) == 0
                           ? (file.size - skip) / static_cast<long>(kRegistryRecordSize)
                           : 0;
    RegistryRecordBytes bytes;
    for (long i = 0; i < count; ++i) {
        if (std::fread(bytes.data(), kRegistryRecordSize, 1, f) != 1) {
            file.status = RecordFile::kCutShort;
            break;
        }
        file.records.push_back(DecodeRecord(bytes));
    }
    std::fclose(f);
    return file;
}

/// Appends `record` to the file as read in `file`. A partial record at the end would put the
/// new record off the record boundaries, where nobody could read it: it is cut off first (its
/// bytes could never be read either).
bool AppendRecord(const std::string &path, const RecordFile &file, const PlugInRecord &record) {
    if (file.status != RecordFile::kComplete && file.status != RecordFile::kMissing)
        return false;  // the file might hold the record already: better none than two
    const long whole = file.size - file.size % static_cast<long>(kRegistryRecordSize);
    if (whole != file.size) {
        std::error_code error;
        fs::resize_file(path, static_cast<std::uintmax_t>(whole), error);
        if (error) return false;
    }
    std::FILE *f = std::fopen(path.c_str(), "a+b");
    if (!f) return false;
    const RegistryRecordBytes bytes = EncodeRecord(record);
    const bool written = std::fwrite(bytes.data(), bytes.size(), 1, f) == 1;
    return std::fclose(f) == 0 && written;
}

const char *Text(const TCHAR *text) {
    return text ? text : "";
}

void Report(HWND owner, const std::string &text, const char *title) {
    MessageBox(owner, text.c_str(), title, MB_OK | MB_ICONERROR);
}

/// Heading of a category in the report, in the order the selection dialog lists them.
struct CategoryHeading {
    ULONG key;
    const char *name;
};
constexpr CategoryHeading kHeadings[] = {{kParticleShapeKey, "Particle shapes"},
                                         {kHiddenCategoryKey, "Hidden category"},
                                         {kColorShaderKey, "Color shaders"},
                                         {kCompositeKey, "Composites"},
                                         {kControllerKey, "Controllers"}};

}  // namespace

std::string RegistryPath() {
    return std::string(GetCOREInterface()->GetDir(APP_PLUGCFG_DIR)) + kRegistryFileName;
}

// ---------------------------------------------------------------------------------------------
// The table

void PlugInRegistry::Load(MissingFile missing) {
    Load(missing, 0);
}

void PlugInRegistry::LoadAdded(MissingFile missing) {
    if (readPath_ != RegistryPath()) {
        Reload(missing);
        return;
    }
    Load(missing, readBytes_);
}

void PlugInRegistry::Load(MissingFile missing, long skip) {
    const std::string path = RegistryPath();
    RecordFile file = ReadRecordFile(path, skip);
    if (skip > 0 && file.size < skip) {  // made anew since it was read: read it all
        Reload(missing);
        return;
    }
    readPath_ = path;
    readBytes_ = skip + static_cast<long>(file.records.size() * kRegistryRecordSize);
    if (file.status == RecordFile::kMissing && missing == MissingFile::kQuiet) return;
    if (file.status == RecordFile::kMissing || file.status == RecordFile::kUnreadable) {
        Report(nullptr, std::string(kCannotOpenText) + "\n\n" + path, kRegistryTitle);
        return;
    }
    bool warnings = true;
    int damaged = 0;
    for (PlugInRecord &record : file.records) {
        if (record.tag != kRegistryRecordTag) {
            ++damaged;
            continue;
        }
        if (FindById(record.pluginId)) {
            // The first record of a plug-in ID wins (a module found twice, say).
            if (warnings) {
                const std::string text = Format(kDuplicateText, record.className.c_str());
                warnings = MessageBox(GetCOREInterface()->GetMainHWnd(), text.c_str(),
                                      kRegistryTitle, MB_YESNO | MB_ICONWARNING) != IDNO;
            }
            continue;
        }
        records_.push_back(std::move(record));
    }
    if (damaged > 0)
        Report(nullptr, Format(kDamagedText, damaged, kRegistryRecordTag, path.c_str()),
               kRegistryTitle);
    if (file.status == RecordFile::kCutShort)
        Report(nullptr, std::string(kCutShortText) + "\n\n" + path, kRegistryTitle);
}

void PlugInRegistry::Reload(MissingFile missing) {
    Clear();
    Load(missing, 0);
}

void PlugInRegistry::Clear() {
    records_.clear();
    readPath_.clear();
    readBytes_ = 0;
}

const PlugInRecord *PlugInRegistry::Get(int index) const {
    return index >= 0 && index < Count() ? &records_[index] : nullptr;
}

const PlugInRecord *PlugInRegistry::FindById(ULONG pluginId) const {
    auto it = std::find_if(records_.begin(), records_.end(),
                           [&](const PlugInRecord &r) { return r.pluginId == pluginId; });
    return it == records_.end() ? nullptr : &*it;
}

std::string PlugInRegistry::Describe() const {
    std::string text =
        Format("  %s: %d record%s\n", RegistryPath().c_str(), Count(), Count() == 1 ? "" : "s");
    std::size_t nameWidth = 5;
    for (const PlugInRecord &r : records_) nameWidth = std::max(nameWidth, r.className.size());
    const int width = static_cast<int>(nameWidth);
    auto listCategory = [&](ULONG key, const std::string &heading) {
        std::string rows;
        for (const PlugInRecord &r : records_)
            if (r.categoryKey == key)
                rows += Format("      %-*s  0x%08X  %s\n", width, r.className.c_str(),
                               static_cast<unsigned>(r.pluginId), r.description.c_str());
        if (!rows.empty()) text += "    " + heading + ":\n" + rows;
    };
    std::vector<ULONG> listed;
    for (const CategoryHeading &h : kHeadings) {
        listCategory(h.key, Format("%s (0x%08X)", h.name, static_cast<unsigned>(h.key)));
        listed.push_back(h.key);
    }
    // Keys of no known category, in the order they first appear.
    for (const PlugInRecord &r : records_) {
        if (std::find(listed.begin(), listed.end(), r.categoryKey) != listed.end()) continue;
        listCategory(r.categoryKey,
                     Format("Other category (0x%08X)", static_cast<unsigned>(r.categoryKey)));
        listed.push_back(r.categoryKey);
    }
    return text;
}

PlugInRegistry &ThePlugInRegistry() {
    static PlugInRegistry registry;
    return registry;
}

// ---------------------------------------------------------------------------------------------
// Registering (effect modules)

void Register(ClassDesc *desc, const RegistrationTexts &texts) {
    if (!desc) return;
    PlugInRecord record;
    record.superClassId = desc->SuperClassID();
    record.categoryKey = desc->ClassID().PartA();
    record.pluginId = desc->ClassID().PartB();
    record.className = Text(desc->ClassName());
    record.description = Text(desc->Category());
    record.author = Text(texts.author);
    record.notice = Text(texts.notice);

    const std::string path = RegistryPath();
    const RecordFile file = ReadRecordFile(path);
    for (const PlugInRecord &r : file.records)
        if (r.tag == kRegistryRecordTag && r.SameClass(record)) return;
    if (!AppendRecord(path, file, record))
        Report(nullptr, Format(kCannotRegisterText, path.c_str(), record.className.c_str()),
               kRegisterTitle);
}

void RegisterClasses(LibNumberClassesProc *numberClasses, LibClassDescProc *classDesc,
                     const RegistrationTexts &texts) {
    const int count = numberClasses();
    for (int i = 0; i < count; ++i) Register(classDesc(i), texts);
}
