/// @file preset_command.h
/// @brief `nimbra preset`: saving a helper of a scene as an effect library file (`save`) and
///        describing a library file (`show`).
#pragma once

#include "app_context.h"

#include <CLI/CLI.hpp>

#include <string>

/// Adds the `preset` command (with `save` and `show`) to the program.
Command AddPresetCommand(CLI::App &app);

/// `nimbra preset save`: loads `scene` (JSON or binary), finds the helper node `helper` (or
/// the scene's only object that keeps presets, when empty) and writes its set-up to `output`.
int RunPresetSave(const std::string &scene, const std::string &helper,
                  const std::string &output, const GlobalOptions &global);
/// `nimbra preset show`: prints the header, the entry record, the plug-in classes (named
/// through the loaded modules) and the helper's stored values of `file`.
int RunPresetShow(const std::string &file, const GlobalOptions &global);
