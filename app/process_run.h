/// @file process_run.h
/// @brief Running another program (a scheduler's command) and capturing what it printed.
#pragma once

#include <string>
#include <vector>

/// What a program run gave back.
struct ProcessResult {
    int exitCode = -1;  ///< -1 when it could not be started or did not exit normally
    std::string out, err;
};

/// Runs `argv` (argv[0] searched on PATH), waits for it and returns its exit code and output.
ProcessResult RunProcess(const std::vector<std::string> &argv);
