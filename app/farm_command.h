/// @file farm_command.h
/// @brief `nimbra farm`: splitting a shot into chunks for a render farm — a Slurm job array
///        (`slurm`), an Open Job Description template (`openjd`) — and following a Slurm job
///        (`status`, `retry`).
#pragma once

#include "app_context.h"

#include <CLI/CLI.hpp>

/// Adds the `farm` command (with `slurm`, `openjd`, `status` and `retry`) to the program.
Command AddFarmCommand(CLI::App &app);
