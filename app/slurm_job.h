/// @file slurm_job.h
/// @brief A farm job as a Slurm job array: the batch script, its submission with sbatch, and
///        the resubmission of only the tasks that failed.
#pragma once

#include "farm_job.h"

#include <cstddef>
#include <string>
#include <vector>

/// Scheduler settings of the array; empty ones are left to the cluster's defaults.
struct SlurmSettings {
    std::string partition;  ///< --partition
    std::string timeLimit;  ///< --time (Slurm's forms: "30", "1:00:00", "1-0")
    int cpusPerTask = 0;  ///< --cpus-per-task; 0: the cluster's default (render threads follow)
};

/// The batch script: one array task per chunk, each rendering its chunk with the job's
/// program, logging to logs/task-N.log and leaving its exit code in status/task-N.
std::string SlurmScript(const FarmJob &job, const SlurmSettings &settings);

/// Where the job's script is written.
std::filesystem::path SlurmScriptFile(const FarmJob &job);

/// Submits the job's script with sbatch, the whole array or only the tasks `indices` (their
/// previous outcomes are forgotten first), and returns the scheduler's job ID. Throws
/// std::runtime_error with sbatch's own message when it refuses.
std::string SubmitSlurmJob(FarmJob &job, const std::vector<std::size_t> &indices = {});
