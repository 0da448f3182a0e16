/// @file openjd_template.cpp
/// @brief The job template.
#include "openjd_template.h"

#include <algorithm>

namespace {

/// The template format's own name for its version field (the format requires this key), and
/// the version this template follows.
constexpr char kFormatVersionKey[] = "specificationVersion";
constexpr char kFormatVersion[] = "jobtemplate-2023-09";

/// The job parameters' names, as the template's format strings name them.
constexpr char kFrames[] = "Frames";
constexpr char kChunkSize[] = "ChunkSize";
constexpr char kScene[] = "SceneFile";
constexpr char kOutput[] = "OutputPattern";
constexpr char kProgram[] = "NimbraProgram";

std::string Param(const char *name) {
    return std::string("{{Param.") + name + "}}";
}

}  // namespace

std::filesystem::path OpenJdTemplateFile(const FarmJob &job) {
    return job.folder / "template.json";
}

nlohmann::json OpenJdTemplate(const FarmJob &job, int chunkSize) {
    // The format's range expressions list frames in increasing order without overlaps; the
    // shot's order does not matter to a farm.
    std::vector<int> frames = job.frames;
    std::sort(frames.begin(), frames.end());

    FarmJob templated = job;
    templated.scene = Param(kScene);
    templated.output = Param(kOutput);
    const std::vector<std::string> args =
        RenderArguments(templated, "{{Task.Param.Frame}}", "openjd");

    using nlohmann::json;
    return json{
        {kFormatVersionKey, kFormatVersion},
        {"extensions", {"TASK_CHUNKING"}},
        {"name", "Nimbra " + job.name},
        {"description", "Renders frames of a Nimbra scene, a chunk of frames per task."},
        {"parameterDefinitions",
         {{{"name", kScene},
           {"type", "PATH"},
           {"objectType", "FILE"},
           {"dataFlow", "IN"},
           {"default", job.scene.string()},
           {"description", "The scene file (JSON or binary)."}},
          {{"name", kOutput},
           {"type", "STRING"},
           {"default", job.output},
           {"description",
            "Output file pattern: #### is the frame number, the extension picks "
            "the format."}},
          {{"name", kFrames},
           {"type", "STRING"},
           {"default", CompactFrameList(frames)},
           {"description", "Frames to render: 1-100, 1-100:5 (step), lists by commas."}},
          {{"name", kChunkSize},
           {"type", "INT"},
           {"default", chunkSize},
           {"minValue", 1},
           {"description", "Frames per task."}},
          {{"name", kProgram},
           {"type", "PATH"},
           {"objectType", "FILE"},
           {"dataFlow", "NONE"},
           {"default", job.program.string()},
           {"description", "The nimbra program on the workers."}}}},
        {"steps",
         {{{"name", "Render"},
           {"parameterSpace",
            {{"taskParameterDefinitions",
              {{{"name", "Frame"},
                {"type", "CHUNK[INT]"},
                {"range", Param(kFrames)},
                {"chunks",
                 {{"defaultTaskCount", Param(kChunkSize)},
                  // A chunk may be any set of the shot's frames: stepped shots chunk too.
                  {"rangeConstraint", "NONCONTIGUOUS"}}}}}}}},
           {"script",
            {{"actions", {{"onRun", {{"command", Param(kProgram)}, {"args", args}}}}}}}}}}};
}
