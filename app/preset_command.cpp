/// @file preset_command.cpp
/// @brief `nimbra preset save` and `nimbra preset show`, their options and help text.
#include "preset_command.h"

#include "preset_io.h"
#include "render_job.h"
#include "scene_json.h"

#include "framework/class_ids.h"
#include "framework/library_block.h"
#include "setup/library_format.h"
#include "host/class_desc.h"
#include "host/inode.h"
#include "host/interface.h"
#include "host/little_endian.h"
#include "host/scene_file.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <system_error>
#include <vector>

namespace fs = std::filesystem;

namespace {

constexpr char kCommandName[] = "nimbra preset";

int Failure(const std::string &message) {
    std::fprintf(stderr, "%s: %s\n", kCommandName, message.c_str());
    return kExitFailure;
}

/// Every node below `node` (depth first) whose object keeps preset files.
void CollectPresetNodes(INode *node, std::vector<INode *> &found) {
    for (int i = 0; i < node->NumberOfChildren(); ++i) {
        INode *child = node->GetChildNode(i);
        if (GetPresetFile(child->GetObjectRef())) found.push_back(child);
        CollectPresetNodes(child, found);
    }
}

std::string QuotedNames(const std::vector<INode *> &nodes) {
    std::string names;
    for (INode *node : nodes)
        names += (names.empty() ? "\"" : ", \"") + std::string(node->GetName()) + "\"";
    return names.empty() ? "none" : names;
}

/// The node whose object's preset is saved: the one named, or the scene's only one.
INode *FindPresetNode(const std::string &name, std::string &error) {
    std::vector<INode *> candidates;
    CollectPresetNodes(GetCOREInterface()->GetRootNode(), candidates);
    if (name.empty()) {
        if (candidates.size() == 1) return candidates.front();
        error = candidates.empty()
                    ? "the scene has no object that keeps presets (a Nimbra helper)"
                    : "the scene has several helpers (" + QuotedNames(candidates) +
                          "): name one with --helper";
        return nullptr;
    }
    INode *node = GetCOREInterface()->GetINodeByName(name.c_str());
    if (!node) {
        error =
            "the scene has no node \"" + name + "\" (helpers: " + QuotedNames(candidates) + ")";
        return nullptr;
    }
    if (!GetPresetFile(node->GetObjectRef())) {
        error = "node \"" + name +
                "\" carries no object that keeps presets (helpers: " + QuotedNames(candidates) +
                ")";
        return nullptr;
    }
    return node;
}

// preset show
// ---------------------------------------------------------------------------------------------

std::string Hex(std::uint32_t v) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", v);
    return text;
}

/// "FireBall (0x364A42DD, 0x...)", or "(class not installed)" in place of the name.
std::string PlugInClassText(ULONG key, std::uint32_t id) {
    ClassDesc *desc = ClassDirectory::Instance().Find(REF_MAKER_CLASS_ID, Class_ID(key, id));
    const std::string name =
        desc && desc->ClassName() ? desc->ClassName() : "(class not installed)";
    return name + " (" + Hex(key) + ", " + Hex(id) + ")";
}

std::string FieldText(const LibraryHelperField &field, const LibraryHelperRecord::Value &v) {
    char text[64];
    switch (field.kind) {
        case LibraryFieldKind::Float:
            std::snprintf(text, sizeof text, "%g", v.f);
            break;
        case LibraryFieldKind::Ticks:
            std::snprintf(text, sizeof text, "%d ticks (%g s)", v.i,
                          double(v.i) / double(TIME_TICKSPERSEC));
            break;
        case LibraryFieldKind::Switch:
            if (v.i == 0 || v.i == 1)
                std::snprintf(text, sizeof text, "%s", v.i ? "on" : "off");
            else
                std::snprintf(text, sizeof text, "%d (not a switch value)", v.i);
            break;
        case LibraryFieldKind::Int:
            std::snprintf(text, sizeof text, "%d", v.i);
            break;
    }
    return text;
}

/// Reads `size` bytes at the stream's position; false at the end of the file.
bool ReadBytes(std::ifstream &in, std::uint8_t *data, std::size_t size) {
    return static_cast<bool>(in.read(reinterpret_cast<char *>(data), std::streamsize(size)));
}

}  // namespace

int RunPresetShow(const std::string &file, const GlobalOptions &global) {
    std::error_code error;
    if (fs::is_directory(file, error)) return Failure(file + ": is a folder, not a file");
    std::ifstream in(file, std::ios::binary);
    if (!in) return Failure(file + ": cannot be opened");
    const std::uintmax_t size = fs::file_size(file, error);

    std::array<std::uint8_t, kLibraryHeaderSize> header;
    if (!ReadBytes(in, header.data(), header.size()))
        return Failure(file + ": not a Nimbra library file (it ends inside the " +
                       std::to_string(kLibraryHeaderSize) + "-byte header)");
    std::uint16_t version = 0;
    switch (CheckLibraryHeader(header, &version)) {
        case LibraryHeaderCheck::WrongSignature:
            return Failure(file + ": not a Nimbra library file (its header has no signature)");
        case LibraryHeaderCheck::WrongVersion: {
            char text[160];
            std::snprintf(text, sizeof text,
                          ": a library file of version 0x%04X, which this program does not "
                          "read (it reads 0x0100, 0x0110 and 0x0120)",
                          version);
            return Failure(file + text);
        }
        case LibraryHeaderCheck::Ok:
            break;
    }
    std::array<std::uint8_t, kLibraryEntrySize> entryBytes;
    if (!ReadBytes(in, entryBytes.data(), entryBytes.size()))
        return Failure(file + ": the file ends inside its entry record");
    const std::optional<LibraryEntry> entry = DecodeLibraryEntry(entryBytes);
    if (!entry)
        return Failure(file + ": the entry record is damaged (its markers or version word)");

    // The modules name the plug-in classes.
    AppContext context(global);
    context.LoadModules();

    std::printf("%s: Nimbra library file, version 0x%04X, %ju bytes\n", file.c_str(), version,
                error ? std::uintmax_t(0) : size);
    std::printf("Entry:        \"%s\"\n", entry->name.c_str());
    std::printf("Description:  \"%s\"\n", entry->description.c_str());
    std::printf("Plug-ins:\n");
    constexpr const char *sections[kLibrarySections] = {"shape", "color", "composite"};
    constexpr ULONG keys[kLibrarySections] = {kParticleShapeKey, kColorShaderKey,
                                              kCompositeKey};
    for (int s = 0; s < kLibrarySections; ++s) {
        std::string where = "not included";
        if (entry->include[s])
            where = entry->offsets[s] ? "data at byte " + std::to_string(entry->offsets[s])
                                      : "included";
        std::printf("  %-10s %s, %s\n", sections[s],
                    PlugInClassText(keys[s], entry->plugInIds[s]).c_str(), where.c_str());
    }

    std::uint8_t versionBlock[kLibraryVersionBlockSize];
    std::array<std::uint8_t, kLibraryHelperRecordSize> record;
    if (!ReadBytes(in, versionBlock, sizeof versionBlock) ||
        !ReadBytes(in, record.data(), record.size()))
        return Failure(file + ": the file ends inside the helper block");
    if (GetLE16(versionBlock) != kLibraryBlockVersion)
        return Failure(file + ": the helper block has version " +
                       std::to_string(GetLE16(versionBlock)) + ", not " +
                       std::to_string(kLibraryBlockVersion));
    const LibraryHelperRecord values = DecodeLibraryHelperRecord(record);
    std::printf("Helper:\n");
    for (std::size_t k = 0; k < kLibraryHelperFields.size(); ++k)
        std::printf("  %-20s %s\n", kLibraryHelperFields[k].name,
                    FieldText(kLibraryHelperFields[k], values.values[k]).c_str());
    std::fflush(stdout);
    return kExitSuccess;
}

int RunPresetSave(const std::string &scene, const std::string &helper,
                  const std::string &output, const GlobalOptions &global) {
    AppContext context(global);
    context.LoadModules();  // the loader reports modules that fail; the scene may not need them
    try {
        if (IsBinarySceneFile(scene)) {
            LoadSceneFile(scene);
        } else {
            const SceneDescription desc = ReadSceneJsonFile(scene);
            for (const std::string &warning : desc.warnings)
                std::fprintf(stderr, "%s: warning: %s\n", kCommandName, warning.c_str());
        }
    } catch (const std::exception &e) {
        return Failure(e.what());
    }

    std::string problem;
    INode *node = FindPresetNode(helper, problem);
    if (!node) return Failure(scene + ": " + problem);
    std::error_code error;
    IPresetFile *presets = GetPresetFile(node->GetObjectRef());
    const std::string path = PresetPath(*presets, output);
    // A folder that cannot be made is reported by the save itself.
    if (const fs::path dir = fs::path(path).parent_path(); !dir.empty())
        fs::create_directories(dir, error);
    const PresetResult result = SaveObjectPreset(*presets, path);
    switch (result.outcome) {
        case PresetOutcome::Done:
            std::fprintf(stderr, "%s: wrote %s (helper \"%s\")\n", kCommandName, path.c_str(),
                         node->GetName());
            return kExitSuccess;
        case PresetOutcome::Partial:
            return Failure("wrote " + path + " without what failed: " + result.Summary());
        default:
            return Failure(path + ": not written: " + result.Summary());
    }
}

Command AddPresetCommand(CLI::App &app) {
    struct Options {
        std::string scene, helper, output, file;
    };
    auto options = std::make_shared<Options>();

    CLI::App *preset = app.add_subcommand(
        "preset", "Save a helper's effect set-up as a library file (.nbr), or describe one");
    preset->require_subcommand(1);
    CLI::App *save = preset->add_subcommand(
        "save", "Write the set-up of a scene's Nimbra helper to an effect library file");
    save->add_option("SCENE", options->scene,
                     "Scene file: JSON (docs/scene-format.md) or binary")
        ->required();
    save->add_option("--helper", options->helper,
                     "The helper node to save; without it, the scene's only helper")
        ->type_name("NAME");
    save->add_option("-o,--output", options->output,
                     "The library file to write (\".nbr\" is added to a name without an "
                     "extension); folders are created, an existing file is replaced")
        ->type_name("FILE.nbr")
        ->required();
    save->footer(
        "Writes the helper's age parameters, its four age controllers and its shape, colour\n"
        "and composite plug-ins with their controllers. A scene's helper takes such a file\n"
        "with \"preset\": \"FILE.nbr\" in its object (docs/scene-format.md).\n\n"
        "Exit codes: 0 written, 1 the scene, the helper or the file failed (a plug-in that\n"
        "cannot save is left out of the file, and the exit code is 1), 2 a usage error.\n\n"
        "Examples:\n"
        "  nimbra preset save examples/presets/fireball-fire.json -o fire.nbr\n"
        "  nimbra preset save shot.json --helper Smoke -o presets/smoke.nbr");

    CLI::App *show = preset->add_subcommand("show", "Print what an effect library file holds");
    show->add_option("FILE", options->file, "The library file (.nbr)")->required();
    show->footer(
        "Prints the file's version, its entry (name, description), the plug-in classes of\n"
        "the shape, colour and composite sections (named through the loaded modules) and the\n"
        "helper's stored age parameters.\n\n"
        "Exit codes: 0 success, 1 the file is missing, damaged or not a library file of a\n"
        "version this program reads, 2 a usage error.\n\n"
        "Example:\n"
        "  nimbra preset show examples/presets/fireball-fire.nbr");

    return {preset, [options, save, show](const GlobalOptions &global) {
                if (save->parsed())
                    return RunPresetSave(options->scene, options->helper, options->output,
                                         global);
                if (show->parsed()) return RunPresetShow(options->file, global);
                return kExitUsage;
            }};
}
