/// @file library_dlg.h
/// @brief Effect library files: saving a helper's whole set-up (age parameters, the four age
///        controllers, the shape, colour and composite plug-ins with their controllers) to a
///        `*.nbr` file and applying such a file to a helper. The layout is in
///        library_format.h.
#pragma once

#include "framework/nimbra_api.h"
#include "host/preset_file.h"

#include <cstdio>
#include <optional>
#include <string>

class NimbraHelper;

/// The library file offered before any was chosen.
constexpr char kLibraryDefaultPath[] = "nimbra.sav";
/// Extension of library files (appended to a chosen name that has none).
constexpr char kLibraryExtension[] = "nbr";
/// Titles of the file choices.
constexpr char kLibrarySaveTitle[] = "Save Nimbra Library";
constexpr char kLibraryLoadTitle[] = "Load Nimbra Library";

// Message titles
constexpr char kLibraryErrorTitle[] = "Error";
constexpr char kLibraryBlockTitle[] = "Nimbra";
constexpr char kLibraryWarningTitle[] = "Warning";

// Saving ("%s" is the chosen path)
constexpr char kLibraryCannotCreateText[] = "Unable to open/create the file \"%s\"";
constexpr char kLibraryCannotWriteText[] = "Unable to write to file \"%s\"";
constexpr char kLibraryCannotRewriteText[] = "Unable to write to the file \"%s\"";
constexpr char kHelperSaveFailedText[] = "Helper object failed saving to the library.";
constexpr char kHelperControllerSaveFailedText[] =
    "Helper object controller failed saving to the library.";
/// By section: shape, colour, composite.
constexpr const char *kPlugInSaveFailedTexts[] = {
    "Particle shape failed saving to the library.",
    "Particle color failed saving to the library.",
    "Particle composite failed saving to the library."};
constexpr const char *kPlugInControllerSaveFailedTexts[] = {
    "Particle shape controller failed saving to the library.",
    "Particle color controller failed saving to the library.",
    "Particle composite controller failed saving to the library."};

// Loading
constexpr char kLibraryCannotOpenText[] = "Unable to open file \"%s\".";
constexpr char kLibraryWrongVersionText[] =
    "File was not created by this version of Nimbra, can not load.";
constexpr char kHelperLoadFailedText[] = "Helper object failed loading from the library.";
constexpr char kHelperControllerLoadFailedText[] =
    "Helper object controller failed loading from the library.";
constexpr const char *kPlugInLoadFailedTexts[] = {
    "Particle shape failed loading from the library.",
    "Particle color failed loading from the library.",
    "Particle composite failed loading from the library."};
constexpr const char *kPlugInControllerLoadFailedTexts[] = {
    "Particle shape controller failed loading from the library.",
    "Particle color controller failed loading from the library.",
    "Particle composite controller failed loading from the library."};
/// The load ends early: a block could not be read to its end, and the entry record locates no
/// further block.
constexpr char kLibraryLoadStoppedText[] =
    "Loading \"%s\" stopped here: the rest of the file cannot be located without the part "
    "that could not be read. The rest of the set-up was left as it was.";

// Controller blocks (titled kLibraryBlockTitle, the missing class kLibraryWarningTitle)
constexpr char kControllerVersionReadText[] = "Error reading control version from nimbra file.";
constexpr char kControllerVersionText[] = "Unsupported controller version.";
constexpr char kControllerInfoReadText[] = "Error reading control info from nimbra file.";
constexpr char kControllerReferenceText[] = "Internal error: Reference not found?";
constexpr char kControllerMissingText[] =
    "Controller plug-in's DLL not found. Using default controller.";

/// The helper's "Load" and "Save" buttons (group "Presets" of "Parameter Selection").
///
/// The file is chosen through the user-interface service (`ChooseFile`) with the filters
/// "Nimbra *.nbr" and "Any file *.*", starting from the last path chosen since the module was
/// loaded; a chosen name without an extension gets ".nbr". A save choice asks before
/// overwriting a file, and a file that cannot be written is refused.
class NIMBRA_API LibraryDlg {
public:
    /// Asks for a file and writes the helper's set-up to it. Failures are told to the user.
    static void Save(NimbraHelper *helper);
    /// Asks for a file and applies it to the helper. Always 1: what failed was told to the
    /// user; a cancelled choice changes nothing.
    static int Load(NimbraHelper *helper);

    /// `Save` and `Load` with what became of the file.
    static PresetOutcome SaveWithOutcome(NimbraHelper &helper);
    static PresetOutcome LoadWithOutcome(NimbraHelper &helper);

    /// The file choice: the chosen path (remembered), or nothing when cancelled.
    static std::optional<std::string> ChooseFile(bool save);
    /// The last path chosen, kLibraryDefaultPath before any.
    static std::string LastPath();
    /// Forgets the last path (a module load starts without one).
    static void ForgetLastPath();
};

/// Writes `helper`'s set-up to `path`. The file is written beside the path and moved into
/// place when complete, so a failed save leaves any earlier file as it was.
///
/// The helper block and the helper's controllers must save: when one fails, nothing is
/// written (Failed). A plug-in that fails to save, or one of its controllers, is told to the
/// user and left out of the file (its section is not included, Partial), which keeps the file
/// readable. A plug-in the helper lacks is left out silently.
NIMBRA_API PresetOutcome WriteLibraryFile(NimbraHelper &helper, const std::string &path);

/// Applies the library file at `path` to `helper` (see `ReadLibraryStream`).
NIMBRA_API PresetOutcome ReadLibraryFile(NimbraHelper &helper, const std::string &path);

/// Applies the library file open in `file` (read from its start; it stays open) to `helper`;
/// `path` names it in messages.
///
/// - A file too short for its header or entry record is ignored without a message; a header
///   or entry record of another format or version is refused with kLibraryWrongVersionText.
///   The helper is unchanged then (Failed), and also when its own block fails.
/// - A helper controller block that cannot be read (a missing controller class, whose data
///   cannot be skipped) or whose controller fails ends the load there (Partial).
/// - A plug-in section whose class is missing (the category's default takes its place) or
///   that fails to load is abandoned; the load goes on at the next section the entry record
///   locates, or ends when it locates none (Partial).
/// - A controller is replaced only once its data has loaded; one that fails leaves the old
///   controller in place.
NIMBRA_API PresetOutcome ReadLibraryStream(NimbraHelper &helper, std::FILE *file,
                                           const std::string &path);

/// The helper's `IPresetFile`: its library files, the file chosen as `LibraryDlg` does.
class NIMBRA_API HelperPresetFile : public IPresetFile {
public:
    explicit HelperPresetFile(NimbraHelper &helper) : helper_(helper) {}
    const char *PresetExtension() override { return kLibraryExtension; }
    PresetOutcome SavePreset() override;
    PresetOutcome LoadPreset() override;

private:
    NimbraHelper &helper_;
};
