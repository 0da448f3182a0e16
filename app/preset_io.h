/// @file preset_io.h
/// @brief Saving and applying an object's preset file (`IPresetFile`) from the command line
///        and from scene files: the object's file choice is answered with a given path and its
///        messages are kept for the report instead of being shown.
#pragma once

#include "host/messages.h"
#include "host/preset_file.h"

#include <string>
#include <vector>

/// What became of a preset file, and the messages the object gave on the way.
struct PresetResult {
    PresetOutcome outcome = PresetOutcome::Failed;
    std::vector<MessageRequest> messages;

    bool Done() const { return outcome == PresetOutcome::Done; }
    /// The messages' texts in one line (new lines as spaces, "; " between them), or what a
    /// failure without a message means.
    std::string Summary() const;
};

/// `path` with the object's preset extension appended when its file name has none (as the
/// object's own file choice would append it).
std::string PresetPath(IPresetFile &presets, const std::string &path);

/// Writes the object's set-up to `path` (taken as `PresetPath` gives it).
PresetResult SaveObjectPreset(IPresetFile &presets, const std::string &path);
/// Applies the preset file `path` to the object.
PresetResult LoadObjectPreset(IPresetFile &presets, const std::string &path);
