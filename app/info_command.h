/// @file info_command.h
/// @brief `nimbra info`: the plug-in directories, the loaded modules with their classes, what
///        the modules report (the plug-in registry), and the modules that failed to load.
#pragma once

#include "app_context.h"

#include <CLI/CLI.hpp>

/// Adds the `info` command to the program.
Command AddInfoCommand(CLI::App &app);
