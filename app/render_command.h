/// @file render_command.h
/// @brief `nimbra render`: its options and help; the work is in render_job.h.
#pragma once

#include "app_context.h"

#include <CLI/CLI.hpp>

/// Adds the `render` command to the program.
Command AddRenderCommand(CLI::App &app);
