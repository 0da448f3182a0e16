/// @file farm_job.cpp
/// @brief Chunks, the job folder and its job.json, and the tasks' outcomes.
#include "farm_job.h"

#include <nlohmann/json.hpp>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace fs = std::filesystem;

namespace {

constexpr char kJobFile[] = "job.json";
constexpr int kJobFileVersion = 1;

std::string TaskName(std::size_t index) {
    return "task-" + std::to_string(index);
}

}  // namespace

std::vector<std::vector<int>> ChunkFrames(const std::vector<int> &frames, int chunkSize) {
    if (chunkSize < 1) throw std::invalid_argument("a chunk holds at least one frame");
    std::vector<std::vector<int>> chunks;
    for (std::size_t at = 0; at < frames.size(); at += std::size_t(chunkSize)) {
        const std::size_t end = std::min(frames.size(), at + std::size_t(chunkSize));
        chunks.emplace_back(frames.begin() + long(at), frames.begin() + long(end));
    }
    return chunks;
}

std::string CompactFrameList(const std::vector<int> &frames) {
    std::string text;
    for (std::size_t i = 0; i < frames.size();) {
        // The longest run from i with one step; three frames make a run worth a range (two
        // when they are neighbours: "4-5" reads as well as "4,5").
        std::size_t end = i + 1;
        if (end < frames.size()) {
            const long step = long(frames[end]) - frames[i];
            while (end + 1 < frames.size() && long(frames[end + 1]) - frames[end] == step)
                ++end;
            const std::size_t length = end - i + 1;
            if (step != 0 && (length >= 3 || step == 1 || step == -1)) {
                if (!text.empty()) text += ',';
                text += std::to_string(frames[i]) + '-' + std::to_string(frames[end]);
                if (step != 1 && step != -1) text += ':' + std::to_string(std::labs(step));
                i = end + 1;
                continue;
            }
        }
        if (!text.empty()) text += ',';
        text += std::to_string(frames[i]);
        ++i;
    }
    return text;
}

fs::path CurrentProgram() {
    std::error_code error;
    const fs::path self = fs::read_symlink("/proc/self/exe", error);
    if (error) throw std::runtime_error("cannot find the nimbra program: " + error.message());
    return self;
}

std::vector<std::string> ForwardedGlobalOptions(const GlobalOptions &global) {
    std::vector<std::string> options;
    for (const std::string &dir : global.pluginDirs)
        options.insert(options.end(), {"--plugins", fs::absolute(dir).string()});
    if (!global.configDir.empty())
        options.insert(options.end(),
                       {"--config-dir", fs::absolute(global.configDir).string()});
    return options;
}

std::vector<std::string> RenderArguments(const FarmJob &job, const std::string &frames,
                                         const std::string &progress) {
    std::vector<std::string> args = job.globalOptions;
    args.insert(args.end(), {"render", job.scene.string(), "-o", job.output, "--frames", frames,
                             "--progress", progress});
    args.insert(args.end(), job.renderOptions.begin(), job.renderOptions.end());
    return args;
}

void SaveFarmJob(const FarmJob &job) {
    for (const char *sub : {"logs", "status"}) fs::create_directories(job.folder / sub);
    const nlohmann::json data = {{"version", kJobFileVersion},
                                 {"name", job.name},
                                 {"scene", job.scene.string()},
                                 {"output", job.output},
                                 {"frames", job.frames},
                                 {"chunks", job.chunks},
                                 {"program", job.program.string()},
                                 {"globalOptions", job.globalOptions},
                                 {"renderOptions", job.renderOptions},
                                 {"submissions", job.submissions}};
    // Written beside and renamed, so that a job folder never holds half a description.
    const fs::path target = job.folder / kJobFile, temporary = job.folder / "job.json.tmp";
    {
        std::ofstream out(temporary);
        out << data.dump(2) << '\n';
        if (!out) throw std::runtime_error(temporary.string() + ": cannot write");
    }
    fs::rename(temporary, target);
}

FarmJob LoadFarmJob(const fs::path &folder) {
    const fs::path file = folder / kJobFile;
    std::ifstream in(file);
    if (!in)
        throw std::runtime_error(file.string() + ": not a job folder (no " + kJobFile + ")");
    FarmJob job;
    try {
        const nlohmann::json data = nlohmann::json::parse(in);
        if (data.at("version").get<int>() != kJobFileVersion)
            throw std::runtime_error("a job file of another version");
        job.name = data.at("name").get<std::string>();
        job.scene = data.at("scene").get<std::string>();
        job.output = data.at("output").get<std::string>();
        job.frames = data.at("frames").get<std::vector<int>>();
        job.chunks = data.at("chunks").get<std::vector<std::vector<int>>>();
        job.program = data.at("program").get<std::string>();
        job.globalOptions = data.at("globalOptions").get<std::vector<std::string>>();
        job.renderOptions = data.at("renderOptions").get<std::vector<std::string>>();
        job.submissions = data.at("submissions").get<std::vector<std::string>>();
    } catch (const std::exception &e) {
        throw std::runtime_error(file.string() + ": " + e.what());
    }
    job.folder = fs::absolute(folder);
    return job;
}

fs::path TaskStatusFile(const FarmJob &job, std::size_t index) {
    return job.folder / "status" / TaskName(index);
}

fs::path TaskLogFile(const FarmJob &job, std::size_t index) {
    return job.folder / "logs" / (TaskName(index) + ".log");
}

std::vector<TaskOutcome> ReadTaskOutcomes(const FarmJob &job) {
    std::vector<TaskOutcome> outcomes(job.chunks.size());
    for (std::size_t i = 0; i < outcomes.size(); ++i) {
        std::ifstream in(TaskStatusFile(job, i));
        int code = 0;
        if (!(in >> code)) continue;  // not written yet (or cut short): not finished
        outcomes[i].exitCode = code;
        outcomes[i].state = code == 0 ? TaskOutcome::State::kDone : TaskOutcome::State::kFailed;
    }
    return outcomes;
}

void ClearTaskOutcome(const FarmJob &job, std::size_t index) {
    std::error_code ignored;
    fs::remove(TaskStatusFile(job, index), ignored);
}

std::string ShellQuote(const std::string &text) {
    std::string quoted = "'";
    for (const char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}
