/// @file farm_command.cpp
/// @brief The options of `nimbra farm` and what each sub-command prints.
#include "farm_command.h"

#include "farm_job.h"
#include "frame_range.h"
#include "openjd_template.h"
#include "render_job.h"
#include "slurm_job.h"

#include <nlohmann/json.hpp>

#include <cstdio>
#include <fstream>
#include <memory>

namespace fs = std::filesystem;

namespace {

/// What `slurm` and `openjd` share.
struct ShotOptions {
    std::string scene, output, jobDir, size, camera;
    std::vector<std::string> frames;
    int chunk = 10;
};

/// The part of a JSON scene's render settings a shot falls back on.
struct SceneRenderSettings {
    std::string frames, output;
};

SceneRenderSettings ReadSceneRenderSettings(const fs::path &scene) {
    SceneRenderSettings settings;
    if (IsBinarySceneFile(scene.string())) return settings;
    std::ifstream in(scene);
    const nlohmann::json data = nlohmann::json::parse(in, nullptr, /*allow_exceptions=*/false);
    if (!data.is_object()) return settings;  // the render itself reports what is wrong
    const auto render = data.find("render");
    if (render == data.end() || !render->is_object()) return settings;
    if (const auto f = render->find("frames"); f != render->end() && f->is_string())
        settings.frames = *f;
    if (const auto o = render->find("output"); o != render->end() && o->is_string())
        settings.output = *o;
    return settings;
}

/// A Slurm job name: the scene's stem with anything but letters, digits, '.', '-' and '_'
/// replaced.
std::string JobName(const fs::path &scene) {
    std::string name = scene.stem().string();
    for (char &c : name)
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '.' && c != '-' && c != '_')
            c = '_';
    return name.empty() ? "shot" : name;
}

/// The job the options describe. Throws UsageError for what the user must change.
FarmJob MakeJob(const ShotOptions &o, const GlobalOptions &global) {
    FarmJob job;
    job.scene = fs::absolute(o.scene).lexically_normal();
    if (!fs::is_regular_file(job.scene)) throw UsageError(o.scene + ": no such scene file");
    const SceneRenderSettings fromScene = ReadSceneRenderSettings(job.scene);

    try {
        job.frames = !o.frames.empty()           ? ParseFrameRanges(o.frames)
                     : !fromScene.frames.empty() ? ParseFrameRange(fromScene.frames)
                                                 : std::vector<int>{};
    } catch (const FrameRangeError &e) {
        throw UsageError(e.what());
    }
    if (job.frames.empty()) throw UsageError("no frames: give --frames (the scene names none)");

    // Like `render`: -o is relative to the current folder, the scene's output to its folder.
    if (!o.output.empty())
        job.output = fs::absolute(o.output).lexically_normal().string();
    else if (!fromScene.output.empty())
        job.output = (job.scene.parent_path() / fromScene.output).lexically_normal().string();
    else
        throw UsageError("no output: give -o PATTERN (the scene names none)");
    if (const std::string problem = OutputPatternProblem(job.output, job.frames.size());
        !problem.empty())
        throw UsageError(problem);

    if (o.chunk < 1) throw UsageError("--chunk: a chunk holds at least one frame");
    job.chunks = ChunkFrames(job.frames, o.chunk);
    job.name = JobName(job.scene);
    job.folder =
        fs::absolute(o.jobDir.empty() ? fs::path("farm") / job.name : fs::path(o.jobDir))
            .lexically_normal();
    job.program = CurrentProgram();
    job.globalOptions = ForwardedGlobalOptions(global);
    if (!o.size.empty()) {
        ParseImageSize(o.size);  // refused here rather than in every task
        job.renderOptions.insert(job.renderOptions.end(), {"--size", o.size});
    }
    if (!o.camera.empty())
        job.renderOptions.insert(job.renderOptions.end(), {"--camera", o.camera});
    return job;
}

void AddShotOptions(CLI::App *command, ShotOptions &o) {
    command->add_option("SCENE", o.scene, "Scene file: JSON or a binary scene file")
        ->required();
    command
        ->add_option("-o,--output", o.output,
                     "Output file pattern (#### is the frame number); default: the scene's")
        ->type_name("PATTERN");
    command
        ->add_option("--frames", o.frames,
                     "Frames of the shot, in the grammar of `nimbra render --frames`; "
                     "default: the scene's")
        ->type_name("RANGE")
        ->allow_extra_args(false);
    command->add_option("--chunk", o.chunk, "Frames per task (default 10)")->type_name("N");
    command
        ->add_option("--job-dir", o.jobDir,
                     "Folder for the job's files, logs and task outcomes (default: "
                     "farm/<scene name>)")
        ->type_name("DIR");
    command->add_option("--size", o.size, "Frame size instead of the scene's")
        ->type_name("WxH");
    command->add_option("--camera", o.camera, "View through this node")->type_name("NODE");
}

/// Runs `body`, turning its errors into messages and exit codes.
template <typename Body>
int Guarded(const char *command, Body body) {
    try {
        return body();
    } catch (const UsageError &e) {
        std::fprintf(stderr, "nimbra farm %s: %s\n", command, e.what());
        return kExitUsage;
    } catch (const std::exception &e) {
        std::fprintf(stderr, "nimbra farm %s: %s\n", command, e.what());
        return kExitFailure;
    }
}

std::string FrameCount(const FarmJob &job) {
    return std::to_string(job.frames.size()) + (job.frames.size() == 1 ? " frame" : " frames");
}

int RunSlurm(const ShotOptions &o, const SlurmSettings &settings, bool submit,
             const GlobalOptions &global) {
    FarmJob job = MakeJob(o, global);
    SaveFarmJob(job);
    const fs::path script = SlurmScriptFile(job);
    {
        std::ofstream out(script);
        out << SlurmScript(job, settings);
        if (!out) throw std::runtime_error(script.string() + ": cannot write");
    }
    fs::permissions(script, fs::perms::owner_exec, fs::perm_options::add);
    std::printf("Wrote %s: %s in %zu tasks of at most %d frames.\n", script.c_str(),
                FrameCount(job).c_str(), job.chunks.size(), o.chunk);
    if (!submit) {
        std::printf("Submit it with:  sbatch %s\n", ShellQuote(script.string()).c_str());
        std::printf("Then follow it:  nimbra farm status %s\n",
                    ShellQuote(job.folder.string()).c_str());
        return kExitSuccess;
    }
    const std::string id = SubmitSlurmJob(job);
    std::printf("Submitted Slurm job %s (%zu tasks).\n", id.c_str(), job.chunks.size());
    std::printf("Follow it:  squeue -j %s    logs: %s\n", id.c_str(),
                (job.folder / "logs").c_str());
    std::printf("When it ends:  nimbra farm status %s\n",
                ShellQuote(job.folder.string()).c_str());
    return kExitSuccess;
}

int RunOpenJd(const ShotOptions &o, const GlobalOptions &global) {
    FarmJob job = MakeJob(o, global);
    SaveFarmJob(job);
    const fs::path file = OpenJdTemplateFile(job);
    {
        std::ofstream out(file);
        out << OpenJdTemplate(job, o.chunk).dump(2) << '\n';
        if (!out) throw std::runtime_error(file.string() + ": cannot write");
    }
    std::printf("Wrote %s: %s, %d frames per task.\n", file.c_str(), FrameCount(job).c_str(),
                o.chunk);
    std::printf(
        "Its folder is a job bundle: submit it to your scheduler (for example\n"
        "  deadline bundle submit %s\n"
        "or run it locally with an Open Job Description runner), and set the Frames,\n"
        "ChunkSize, SceneFile and OutputPattern parameters there.\n",
        ShellQuote(job.folder.string()).c_str());
    return kExitSuccess;
}

const char *StateName(const TaskOutcome &t) {
    switch (t.state) {
        case TaskOutcome::State::kDone:
            return "done";
        case TaskOutcome::State::kFailed:
            return "FAILED";
        default:
            return "not finished";
    }
}

int RunStatus(const std::string &folder) {
    const FarmJob job = LoadFarmJob(folder);
    const std::vector<TaskOutcome> outcomes = ReadTaskOutcomes(job);
    std::size_t done = 0, failed = 0;
    std::string ids;
    for (const std::string &id : job.submissions) ids += (ids.empty() ? "" : " ") + id;
    std::printf("Job %s: %s in %zu tasks%s%s\n", job.name.c_str(), FrameCount(job).c_str(),
                job.chunks.size(), ids.empty() ? "" : ", Slurm jobs ", ids.c_str());
    for (std::size_t i = 0; i < outcomes.size(); ++i) {
        const TaskOutcome &t = outcomes[i];
        std::printf("  task %zu  frames %-12s %s", i, CompactFrameList(job.chunks[i]).c_str(),
                    StateName(t));
        if (t.state == TaskOutcome::State::kFailed)
            std::printf(" (exit code %d; log %s)", t.exitCode, TaskLogFile(job, i).c_str());
        std::printf("\n");
        done += t.state == TaskOutcome::State::kDone;
        failed += t.state == TaskOutcome::State::kFailed;
    }
    std::printf("%zu done, %zu failed, %zu not finished.\n", done, failed,
                outcomes.size() - done - failed);
    if (failed > 0)
        std::printf("Run the failed tasks again:  nimbra farm retry %s --submit\n",
                    ShellQuote(job.folder.string()).c_str());
    return done == outcomes.size() ? kExitSuccess : kExitFailure;
}

int RunRetry(const std::string &folder, bool unfinished, bool submit) {
    FarmJob job = LoadFarmJob(folder);
    const std::vector<TaskOutcome> outcomes = ReadTaskOutcomes(job);
    std::vector<std::size_t> indices;
    for (std::size_t i = 0; i < outcomes.size(); ++i)
        if (outcomes[i].state == TaskOutcome::State::kFailed ||
            (unfinished && outcomes[i].state == TaskOutcome::State::kNotFinished))
            indices.push_back(i);
    if (indices.empty()) {
        std::printf("Nothing to retry: no task %s.\n",
                    unfinished ? "failed or is unfinished" : "failed");
        return kExitSuccess;
    }
    std::string list;
    for (const std::size_t i : indices) list += (list.empty() ? "" : ",") + std::to_string(i);
    if (!submit) {
        std::printf(
            "Tasks to run again: %s\nSubmit them with:  nimbra farm retry %s%s --submit\n"
            "(or: sbatch --array=%s %s)\n",
            list.c_str(), ShellQuote(job.folder.string()).c_str(),
            unfinished ? " --unfinished" : "", list.c_str(),
            ShellQuote(SlurmScriptFile(job).string()).c_str());
        return kExitSuccess;
    }
    const std::string id = SubmitSlurmJob(job, indices);
    std::printf("Submitted Slurm job %s: tasks %s again.\n", id.c_str(), list.c_str());
    std::printf("When it ends:  nimbra farm status %s\n",
                ShellQuote(job.folder.string()).c_str());
    return kExitSuccess;
}

}  // namespace

Command AddFarmCommand(CLI::App &app) {
    struct Options {
        ShotOptions shot;
        SlurmSettings slurm;
        bool submit = false;
        bool unfinished = false;
        std::string folder;
    };
    auto o = std::make_shared<Options>();

    CLI::App *farm = app.add_subcommand(
        "farm",
        "Split a shot into chunks of frames for a render farm (Slurm, Open Job Description)");
    farm->require_subcommand(1);

    CLI::App *slurm = farm->add_subcommand(
        "slurm", "Write (and with --submit, submit) a Slurm job array: one task per chunk");
    AddShotOptions(slurm, o->shot);
    slurm->add_option("--partition", o->slurm.partition, "Slurm partition")->type_name("P");
    slurm->add_option("--time", o->slurm.timeLimit, "Time limit per task (Slurm's forms)")
        ->type_name("T");
    slurm->add_option("--cpus", o->slurm.cpusPerTask, "CPUs per task (render threads)")
        ->type_name("N");
    slurm->add_flag("--submit", o->submit, "Submit the array with sbatch");
    slurm->footer(
        "Writes job.sbatch and job.json into the job folder; each array task renders its "
        "chunk\n"
        "with this nimbra program, logs to logs/task-N.log and leaves its exit code in\n"
        "status/task-N. Paths are made absolute: the farm's nodes must see the same files.\n\n"
        "Examples:\n"
        "  nimbra farm slurm shot.json -o /shared/out/shot.####.exr --frames 1-240 --chunk 10 "
        "--submit\n"
        "  nimbra farm status farm/shot          what finished, what failed and why\n"
        "  nimbra farm retry farm/shot --submit  run only the failed tasks again");

    CLI::App *openjd = farm->add_subcommand(
        "openjd", "Write an Open Job Description job template with chunked render tasks");
    AddShotOptions(openjd, o->shot);
    openjd->footer(
        "Writes template.json into the job folder, which is then a job bundle: the frame "
        "range,\n"
        "chunk size, scene and output pattern are job parameters; each task runs\n"
        "`nimbra render ... --frames <its chunk> --progress openjd`.\n\n"
        "Example:\n"
        "  nimbra farm openjd shot.json -o /shared/out/shot.####.exr --frames 1-240 --chunk "
        "10");

    CLI::App *status =
        farm->add_subcommand("status", "Show which tasks of a Slurm job finished or failed");
    status->add_option("JOB_DIR", o->folder, "The job folder")->required();
    status->footer("Exit code 0 when every task is done, 1 otherwise.");

    CLI::App *retry =
        farm->add_subcommand("retry", "Submit the failed tasks of a Slurm job again");
    retry->add_option("JOB_DIR", o->folder, "The job folder")->required();
    retry->add_flag("--unfinished", o->unfinished,
                    "Also the tasks that left no outcome (killed, or still running)");
    retry->add_flag("--submit", o->submit, "Submit them (otherwise print the command)");

    return {farm, [o, slurm, openjd, status, retry](const GlobalOptions &global) {
                if (slurm->parsed())
                    return Guarded("slurm", [&] {
                        return RunSlurm(o->shot, o->slurm, o->submit, global);
                    });
                if (openjd->parsed())
                    return Guarded("openjd", [&] { return RunOpenJd(o->shot, global); });
                if (status->parsed())
                    return Guarded("status", [&] { return RunStatus(o->folder); });
                return Guarded("retry",
                               [&] { return RunRetry(o->folder, o->unfinished, o->submit); });
            }};
}
