/// @file preset_file.h
/// @brief Saving an object's whole set-up to a preset file and applying one, for tools that do
///        not know the object's class (the command line, scene files, a studio).
#pragma once

#include "host/animatable.h"

/// Interface identifier (`GetInterface`) of `IPresetFile`.
constexpr ULONG I_PRESETFILE = 0x00000003;

/// What became of a preset file.
enum class PresetOutcome {
    Done,       ///< written completely, or applied completely
    Partial,    ///< applied in part; the messages said what was left as it was
    Failed,     ///< nothing written or nothing applied; the messages said why, except for a
                ///< file too short to hold a preset's header, which is ignored silently
    Cancelled,  ///< no file was chosen
};

/// An object whose set-up can be kept in a preset file of its own format.
///
/// The file is chosen through the user-interface service (`ChooseFile`, messages.h): the
/// command line and the tests answer with a path, a studio with a file window. Problems are
/// told through the same service as message boxes.
class IPresetFile {
public:
    virtual ~IPresetFile() = default;
    /// The extension of the object's preset files, without the dot ("nbr").
    virtual const char *PresetExtension() = 0;
    /// Asks for a file to write and writes the set-up to it.
    virtual PresetOutcome SavePreset() = 0;
    /// Asks for a file to read and applies it to the object.
    virtual PresetOutcome LoadPreset() = 0;
};

/// The preset interface of `obj`, or null when it has none.
inline IPresetFile *GetPresetFile(Animatable *obj) {
    return obj ? static_cast<IPresetFile *>(obj->GetInterface(I_PRESETFILE)) : nullptr;
}
