/// @file program_run.h
/// @brief Runs the `nimbra` program (or another one) from a test and captures what it wrote
///        and its exit code.
#pragma once

#include "common/temp_folder.h"
#include "common/test_paths.h"

#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <spawn.h>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char **environ;

namespace apptest {

struct ProgramRun {
    int exitCode = -1;
    std::string out, err;
};

inline std::string ReadText(const std::filesystem::path &path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

/// Runs the program with `args` and the environment of the test plus `extraEnv` entries, in
/// the current folder or `workDir` when given.
inline ProgramRun RunProgram(const std::string &program, const std::vector<std::string> &args,
                             const std::vector<std::string> &extraEnv = {},
                             const std::string &workDir = {}) {
    const testfiles::TempFolder captured("run");
    const std::string outPath = captured.Path("out"), errPath = captured.Path("err");

    std::vector<std::string> argStrings{program};
    argStrings.insert(argStrings.end(), args.begin(), args.end());
    std::vector<char *> argv;
    for (std::string &a : argStrings) argv.push_back(a.data());
    argv.push_back(nullptr);
    std::vector<std::string> envStrings;
    for (char **e = environ; *e; ++e) envStrings.emplace_back(*e);
    envStrings.insert(envStrings.end(), extraEnv.begin(), extraEnv.end());
    std::vector<char *> envp;
    for (std::string &e : envStrings) envp.push_back(e.data());
    envp.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0600);
    posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0600);
    if (!workDir.empty()) posix_spawn_file_actions_addchdir_np(&actions, workDir.c_str());
    ProgramRun run;
    pid_t pid = 0;
    if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data()) == 0) {
        int status = 0;
        waitpid(pid, &status, 0);
        run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    posix_spawn_file_actions_destroy(&actions);
    run.out = ReadText(outPath);
    run.err = ReadText(errPath);
    return run;
}

/// Runs the `nimbra` program under test.
inline ProgramRun RunNimbra(const std::vector<std::string> &args,
                            const std::vector<std::string> &extraEnv = {},
                            const std::string &workDir = {}) {
    return RunProgram(testpaths::NimbraProgram(), args, extraEnv, workDir);
}

inline bool Contains(const std::string &text, const std::string &part) {
    return text.find(part) != std::string::npos;
}

}  // namespace apptest
