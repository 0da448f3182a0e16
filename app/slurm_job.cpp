/// @file slurm_job.cpp
/// @brief The batch script and sbatch.
#include "slurm_job.h"

#include "process_run.h"

#include <sstream>
#include <stdexcept>

namespace fs = std::filesystem;

namespace {

/// Placeholders replaced by shell expansions in the task's command line.
constexpr char kChunkFrames[] = "\x01";
constexpr char kThreads[] = "\x02";

/// The task's command line: every argument quoted, the placeholders expanded by the shell.
std::string TaskCommand(const FarmJob &job) {
    std::vector<std::string> args = RenderArguments(job, kChunkFrames, "plain");
    args.insert(args.end(), {"-t", kThreads});
    std::string line = ShellQuote(job.program.string());
    for (const std::string &a : args) {
        line += " \\\n    ";
        if (a == kChunkFrames)
            line += "\"${chunks[$task]}\"";
        else if (a == kThreads)
            line += "\"$threads\"";
        else
            line += ShellQuote(a);
    }
    return line;
}

/// "0,3,4" for sbatch's --array.
std::string IndexList(const std::vector<std::size_t> &indices) {
    std::string list;
    for (const std::size_t i : indices) list += (list.empty() ? "" : ",") + std::to_string(i);
    return list;
}

}  // namespace

fs::path SlurmScriptFile(const FarmJob &job) {
    return job.folder / "job.sbatch";
}

std::string SlurmScript(const FarmJob &job, const SlurmSettings &settings) {
    if (job.chunks.empty()) throw std::invalid_argument("a job without frames");
    std::size_t largest = 0;
    for (const auto &chunk : job.chunks) largest = std::max(largest, chunk.size());
    std::ostringstream s;
    s << "#!/bin/bash\n"
      << "# Nimbra farm job \"" << job.name << "\": " << job.frames.size() << " frames of "
      << job.scene.string() << " in " << job.chunks.size() << " tasks of at most " << largest
      << " frames.\n"
      << "# Written by `nimbra farm slurm`. Submit it with sbatch; `nimbra farm status` and\n"
      << "# `nimbra farm retry` read and resubmit it from its folder.\n"
      // sbatch reads #SBATCH lines without a shell: the paths go in as they are.
      << "#SBATCH --job-name=nimbra-" << job.name << '\n'
      << "#SBATCH --array=0-" << job.chunks.size() - 1 << '\n'
      << "#SBATCH --output=" << (job.folder / "logs" / "task-%a.log").string()
      << '\n'
      // A task whose node fails is queued again rather than lost.
      << "#SBATCH --requeue\n";
    if (!settings.partition.empty()) s << "#SBATCH --partition=" << settings.partition << '\n';
    if (!settings.timeLimit.empty()) s << "#SBATCH --time=" << settings.timeLimit << '\n';
    if (settings.cpusPerTask > 0)
        s << "#SBATCH --cpus-per-task=" << settings.cpusPerTask << '\n';
    s << "\nset -u\nchunks=(\n";
    for (const auto &chunk : job.chunks)
        s << "    " << ShellQuote(CompactFrameList(chunk)) << '\n';
    s << ")\n"
      << "task=${SLURM_ARRAY_TASK_ID:?this script runs as a Slurm array task: submit it with "
         "sbatch}\n"
      << "status_file=" << ShellQuote((job.folder / "status").string()) << "/task-$task\n"
      << "rm -f \"$status_file\"\n"
      << "echo \"nimbra: task $task of job ${SLURM_ARRAY_JOB_ID:-?} renders frames "
         "${chunks[$task]} on $(hostname)\"\n"
      // Render threads: the CPUs Slurm gave the task ("2" or "2(x1)" per node).
      << "threads=${SLURM_CPUS_PER_TASK:-${SLURM_JOB_CPUS_PER_NODE:-1}}\n"
      << "threads=${threads%%(*}\n"
      << TaskCommand(job) << "\n"
      << "code=$?\n"
      << "echo \"$code\" > \"$status_file\"\n"
      << "echo \"nimbra: task $task ended with exit code $code\"\n"
      << "exit \"$code\"\n";
    return s.str();
}

std::string SubmitSlurmJob(FarmJob &job, const std::vector<std::size_t> &indices) {
    std::vector<std::string> command = {"sbatch", "--parsable"};
    if (!indices.empty()) {
        for (const std::size_t i : indices) ClearTaskOutcome(job, i);
        // The command line's array replaces the script's.
        command.push_back("--array=" + IndexList(indices));
    }
    command.push_back(SlurmScriptFile(job).string());
    const ProcessResult run = RunProcess(command);
    if (run.exitCode != 0) {
        std::string message = run.err.empty() ? run.out : run.err;
        while (!message.empty() && message.back() == '\n') message.pop_back();
        throw std::runtime_error(
            "sbatch refused the job: " +
            (message.empty() ? "exit code " + std::to_string(run.exitCode) : message));
    }
    // --parsable prints "jobid" or "jobid;cluster".
    std::string id = run.out.substr(0, run.out.find_first_of(";\n"));
    if (id.empty()) throw std::runtime_error("sbatch did not print a job ID");
    job.submissions.push_back(id);
    SaveFarmJob(job);
    return id;
}
