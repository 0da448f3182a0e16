/// @file farm_job.h
/// @brief A shot split for a render farm: the frames in chunks, the command each chunk runs,
///        and the job folder that keeps the job's description, its tasks' logs and their
///        outcomes.
///
/// Job folder layout:
///   job.json          what was asked (scene, output, frames, chunks, program, options) and the
///                     IDs of the submissions made from it
///   logs/task-N.log   what task N printed
///   status/task-N     task N's exit code, written when it ends
#pragma once

#include "app_context.h"

#include <filesystem>
#include <string>
#include <vector>

/// A shot and how it is split. Paths are absolute, so a task runs the same from any folder of
/// any machine that sees the same file system.
struct FarmJob {
    std::string name;                        ///< the job's name (the scene's file stem)
    std::filesystem::path scene;             ///< the scene file
    std::string output;                      ///< the output pattern, absolute
    std::vector<int> frames;                 ///< every frame of the shot, in render order
    std::vector<std::vector<int>> chunks;    ///< `frames` cut into chunks, in order
    std::filesystem::path program;           ///< the `nimbra` program the tasks run
    std::vector<std::string> globalOptions;  ///< --plugins / --config-dir, forwarded
    std::vector<std::string> renderOptions;  ///< further `render` options (--size, --camera)
    std::filesystem::path folder;            ///< the job folder
    std::vector<std::string> submissions;    ///< scheduler job IDs, oldest first
};

/// `frames` cut into chunks of at most `chunkSize` consecutive entries.
std::vector<std::vector<int>> ChunkFrames(const std::vector<int> &frames, int chunkSize);

/// `frames` written as a range list that the frame grammar reads back as the same frames in
/// the same order: runs of a constant step become "a-b" or "a-b:s", the rest stand alone,
/// joined by commas ("1-5", "1-41:10", "3,7,10-12").
std::string CompactFrameList(const std::vector<int> &frames);

/// The `nimbra` program running now (its absolute path).
std::filesystem::path CurrentProgram();

/// The global options to forward to the tasks (absolute paths).
std::vector<std::string> ForwardedGlobalOptions(const GlobalOptions &global);

/// The arguments of `nimbra` that render `frames` of the job (the program excluded), with the
/// given progress mode.
std::vector<std::string> RenderArguments(const FarmJob &job, const std::string &frames,
                                         const std::string &progress);

/// Writes `job.json` into the job's folder (created with its `logs` and `status` folders).
/// Throws std::runtime_error naming the file when it cannot.
void SaveFarmJob(const FarmJob &job);
/// Reads the job of `folder`. Throws std::runtime_error saying what is missing or wrong.
FarmJob LoadFarmJob(const std::filesystem::path &folder);

/// One task's outcome as its status file tells it.
struct TaskOutcome {
    enum class State { kNotFinished, kDone, kFailed } state = State::kNotFinished;
    int exitCode = 0;  ///< when finished
};

/// The outcome of every chunk of `job`, by chunk index.
std::vector<TaskOutcome> ReadTaskOutcomes(const FarmJob &job);
/// Forgets the outcome of chunk `index` (before it runs again).
void ClearTaskOutcome(const FarmJob &job, std::size_t index);

/// The file task `index` writes its exit code to, and its log.
std::filesystem::path TaskStatusFile(const FarmJob &job, std::size_t index);
std::filesystem::path TaskLogFile(const FarmJob &job, std::size_t index);

/// `text` quoted for a POSIX shell: in single quotes, each single quote written as '\''.
std::string ShellQuote(const std::string &text);
