/// @file render_job.cpp
/// @brief Loading the scene, building the post-production queue from the scene's settings and
///        the command line, running it and answering the exit code.
#include "render_job.h"

#include "demo_scene.h"
#include "frame_range.h"
#include "plate_depth.h"
#include "scene_json.h"

#include "host/bitmap.h"
#include "host/camera.h"
#include "host/image_file.h"
#include "host/inode.h"
#include "host/interface.h"
#include "host/post_queue.h"
#include "host/progress.h"
#include "host/scene_file.h"

#include <OpenImageIO/imageio.h>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <set>
#include <thread>

namespace fs = std::filesystem;

namespace {

/// How messages name the embedded demo scene.
constexpr char kDemoSceneName[] = "(built-in demo scene)";
/// The binary scene file's first bytes (scene_file.h).
constexpr char kSceneFileMagic[] = "NIMBRASC";
/// Frame size when neither the scene nor the command line gives one.
constexpr int kDefaultWidth = 640;
constexpr int kDefaultHeight = 480;

int Usage(const std::string &message) {
    std::fprintf(stderr, "nimbra render: %s\n", message.c_str());
    return kExitUsage;
}

int Failure(const std::string &message) {
    std::fprintf(stderr, "nimbra render: %s\n", message.c_str());
    return kExitFailure;
}

/// A scene-side problem found while planning the job (exit code 1).
class JobError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

/// The first node, depth first, that carries a camera; null when none does.
INode *FirstCamera(INode *node) {
    for (int i = 0; i < node->NumberOfChildren(); ++i) {
        INode *child = node->GetChildNode(i);
        if (Object *obj = child->GetObjectRef(); obj && obj->SuperClassID() == CAMERA_CLASS_ID)
            return child;
        if (INode *found = FirstCamera(child)) return found;
    }
    return nullptr;
}

bool IsCamera(INode *node) {
    Object *obj = node ? node->GetObjectRef() : nullptr;
    return obj && obj->SuperClassID() == CAMERA_CLASS_ID;
}

/// The scene as loaded: a JSON scene has a description, a binary scene only its graph.
struct LoadedScene {
    std::string name;
    std::optional<SceneDescription> desc;
};

LoadedScene LoadScene(const RenderRequest &request) {
    LoadedScene scene;
    if (request.scene.empty()) {
        scene.name = kDemoSceneName;
        scene.desc =
            ReadSceneJson(std::string(DemoSceneJson()), kDemoSceneName, fs::current_path());
    } else if (IsBinarySceneFile(request.scene)) {
        scene.name = request.scene;
        LoadSceneFile(request.scene);
    } else {
        scene.name = request.scene;
        scene.desc = ReadSceneJsonFile(request.scene);
    }
    return scene;
}

/// An output pattern and whether the command line gave it (its problems are usage errors).
struct OutputSpec {
    std::string pattern;
    bool fromCommandLine = false;
};

/// The plate's camera: the named camera node's view for the queue's frame settings.
PlateCamera CameraOfPlate(const std::string &camera, const RendParams &params) {
    return [camera, params](TimeValue t, int width, int height, RenderInfo &ri) {
        INode *node = GetCOREInterface()->GetINodeByName(camera.c_str());
        if (!node) return false;
        RendParams rp = params;
        rp.width = width;
        rp.height = height;
        return MakeCameraRenderInfo(node, t, rp, ri);
    };
}

/// Everything the run needs, planned from the scene and the command line.
class RenderJob {
public:
    RenderJob(const RenderRequest &request, LoadedScene &scene,
              const std::optional<std::vector<int>> &cliFrames)
        : request_(request), scene_(scene) {
        PlanSettings(cliFrames);
        PlanQueue();
        CheckOutputs();
    }

    PostQueue &Queue() { return queue_; }
    const std::vector<int> &Frames() const { return frames_; }

    /// Creates the folders of every output file of the run.
    void CreateOutputFolders() const {
        std::set<fs::path> folders;
        for (const OutputSpec &o : outputs_)
            for (int frame : frames_)
                if (const fs::path dir =
                        fs::path(ExpandFramePattern(o.pattern, frame)).parent_path();
                    !dir.empty())
                    folders.insert(dir);
        for (const fs::path &dir : folders) {
            std::error_code error;
            fs::create_directories(dir, error);
            if (error)
                throw JobError("cannot create the output folder " + dir.string() + ": " +
                               error.message());
        }
    }

private:
    const RenderSettings &Settings() const {
        static const RenderSettings none;
        return scene_.desc ? scene_.desc->render : none;
    }

    void PlanSettings(const std::optional<std::vector<int>> &cliFrames) {
        const RenderSettings &rs = Settings();
        RendParams &rp = queue_.Params();
        rp.width = request_.size ? request_.size->first : rs.width.value_or(kDefaultWidth);
        rp.height = request_.size ? request_.size->second : rs.height.value_or(kDefaultHeight);
        rp.pixelAspect = rs.pixelAspect.value_or(1.0f);
        rp.fieldRender = rs.fieldRender.value_or(false) ? TRUE : FALSE;
        rp.fieldOrder = rs.fieldOrder.value_or(0);
        rp.frameDur = GetTicksPerFrame();
        const int cores = std::max(1u, std::thread::hardware_concurrency());
        rp.threads = ResolveThreads(
            request_.threads ? *request_.threads : rs.threads.value_or(0), cores);

        // Frames: the command line, the scene's render settings, its animation range, frame 0.
        // A binary scene keeps only its animation range.
        if (cliFrames) {
            frames_ = *cliFrames;
        } else if (rs.frames) {
            frames_ = *rs.frames;
        } else if (!scene_.desc || scene_.desc->animationRange) {
            const Interval range = GetCOREInterface()->GetAnimRange();
            const int tpf = GetTicksPerFrame();
            for (int f = range.Start() / tpf; f <= range.End() / tpf; ++f) frames_.push_back(f);
        } else {
            frames_ = {0};
        }
        // Each frame (and its second field, half a frame later) must be a time.
        const long long tpf = GetTicksPerFrame();
        for (int f : frames_)
            if (std::llabs(f * tpf) + tpf >= INT_MAX) {
                const std::string message =
                    "frame " + std::to_string(f) + " lies beyond the times a scene holds at " +
                    std::to_string(GetFrameRate()) + " frames per second";
                if (cliFrames) throw UsageError(message);
                throw JobError(message);
            }

        // The view: --camera, the scene's render camera, else its first camera.
        Interface *ip = GetCOREInterface();
        if (!request_.camera.empty()) {
            if (!ip->GetINodeByName(request_.camera.c_str()))
                throw UsageError("--camera: the scene has no node named '" + request_.camera +
                                 "'");
            camera_ = request_.camera;
        } else if (!rs.camera.empty()) {
            camera_ = rs.camera;
        } else if (INode *first = FirstCamera(ip->GetRootNode())) {
            camera_ = first->GetName();
        }
    }

    std::string ViewOf(const QueueEventSpec &e) const {
        const std::string view = e.camera.empty() ? camera_ : e.camera;
        if (view.empty())
            throw JobError(scene_.name +
                           ": the scene has no camera (add a camera node, or name a view node "
                           "with --camera)");
        return view;
    }

    void PlanQueue() {
        std::vector<QueueEventSpec> defaults(2);
        defaults[0].kind = QueueEventSpec::Kind::Scene;
        defaults[1].kind = QueueEventSpec::Kind::Output;
        std::vector<QueueEventSpec> &events =
            scene_.desc && scene_.desc->hasQueue ? scene_.desc->queue : defaults;

        const bool outputFromCli = !request_.output.empty();
        const std::string defaultOutput = outputFromCli ? request_.output : Settings().output;
        const auto addDefaultOutput = [&] {
            if (defaultOutput.empty())
                throw UsageError(
                    "nothing would be written: give an output with -o PATTERN "
                    "(or \"output\" in the scene's render settings)");
            queue_.AddOutputEvent(defaultOutput);
            outputs_.push_back({defaultOutput, outputFromCli});
        };

        bool defaultUsed = false;
        for (QueueEventSpec &e : events) {
            switch (e.kind) {
                case QueueEventSpec::Kind::Scene: {
                    SceneEventSettings settings;
                    settings.viewNode = ViewOf(e);
                    // The scene's environment: what the JSON file set, or a binary scene's.
                    Interface *ip = GetCOREInterface();
                    settings.frame.ambient = ip->GetAmbient(0);
                    settings.frame.background = ip->GetBackGround(0);
                    if (scene_.desc)
                        settings.frame.backgroundImage = scene_.desc->backgroundImage.get();
                    queue_.AddSceneEvent(settings);
                    break;
                }
                case QueueEventSpec::Kind::Plate: {
                    const std::string view = ViewOf(e);
                    if (!IsCamera(GetCOREInterface()->GetINodeByName(view.c_str())))
                        throw JobError(scene_.name + ": " + e.path + ": the plate's view '" +
                                       view + "' is not a camera");
                    queue_.AddPlateEvent(e.image, CameraOfPlate(view, queue_.Params()));
                    if (!e.depth.empty()) queue_.AddFilterEvent(new PlateDepthFilter(e.depth));
                    break;
                }
                case QueueEventSpec::Kind::Filter:
                    try {
                        queue_.AddFilterEvent(e.filter.release());
                    } catch (const PostQueueError &x) {
                        throw JobError(scene_.name + ": " + e.path + ": " + x.what());
                    }
                    break;
                case QueueEventSpec::Kind::Output:
                    if (e.file.empty()) {
                        addDefaultOutput();
                        defaultUsed = true;
                    } else {
                        queue_.AddOutputEvent(e.file);
                        outputs_.push_back({e.file, false});
                    }
                    break;
            }
        }
        // The output the command line names is always written; so is the scene's own output
        // when the queue writes nothing else.
        if ((outputFromCli && !defaultUsed) || outputs_.empty()) addDefaultOutput();

        // EXR files carry depth and material IDs: give every frame those channels.
        for (const OutputSpec &o : outputs_) {
            std::string ext = fs::path(o.pattern).extension().string();
            std::transform(ext.begin(), ext.end(), ext.begin(),
                           [](unsigned char c) { return std::tolower(c); });
            if (ext == ".exr") queue_.RequireChannels(BMM_CHAN_ALL);
        }
    }

    void CheckOutputs() const {
        for (const OutputSpec &o : outputs_) {
            const std::string problem = OutputPatternProblem(o.pattern, frames_.size());
            if (problem.empty()) continue;
            if (o.fromCommandLine) throw UsageError("-o " + o.pattern + ": " + problem);
            throw JobError(scene_.name + ": output " + o.pattern + ": " + problem);
        }
    }

    const RenderRequest &request_;
    LoadedScene &scene_;
    PostQueue queue_;
    std::vector<int> frames_;
    std::string camera_;
    std::vector<OutputSpec> outputs_;
};

/// Each line of a multi-line message indented below the first.
std::string Indented(const std::string &text) {
    std::string out;
    for (char c : text) {
        out += c;
        if (c == '\n') out += "    ";
    }
    return out;
}

}  // namespace

int ResolveThreads(int requested, int cores) {
    cores = std::max(cores, 1);
    if (requested > 0) return requested;
    if (requested == 0) return cores;
    return std::max(1, cores + std::max(requested, -cores));
}

std::string OutputPatternProblem(const std::string &pattern, std::size_t frameCount) {
    if (pattern.empty()) return "empty file name";
    const std::string first = ExpandFramePattern(pattern, 1);
    if (frameCount > 1 && first == ExpandFramePattern(pattern, 2))
        return "no frame number in the file name (use #### or %04d), so each of the " +
               std::to_string(frameCount) + " frames would overwrite the last";
    const std::string ext = fs::path(first).extension().string();
    // "beauty.####" ends in the frame number, not in an extension.
    if (ext.size() < 2 || ext.find_first_not_of("0123456789", 1) == std::string::npos)
        return "no extension to pick the image format by (.exr, .png, .tif …)";
    std::unique_ptr<OIIO::ImageOutput> out = OIIO::ImageOutput::create(first);
    if (!out) return "no image format writes '" + ext + "' files";
    return {};
}

std::pair<int, int> ParseImageSize(const std::string &text) {
    int width = 0, height = 0;
    char x = 0, extra = 0;
    if (std::sscanf(text.c_str(), "%d%c%d%c", &width, &x, &height, &extra) != 3 ||
        (x != 'x' && x != 'X') || width < 1 || height < 1 || width > kMaxBitmapSide ||
        height > kMaxBitmapSide || std::size_t(width) * std::size_t(height) > kMaxBitmapPixels)
        throw UsageError("--size " + text + ": expected WIDTHxHEIGHT, each 1 to " +
                         std::to_string(kMaxBitmapSide) + " and at most " +
                         std::to_string(kMaxBitmapPixels) + " pixels in all (\"1280x720\")");
    return {width, height};
}

bool IsBinarySceneFile(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    char magic[sizeof kSceneFileMagic - 1] = {};
    return in.read(magic, sizeof magic) &&
           std::memcmp(magic, kSceneFileMagic, sizeof magic) == 0;
}

int RunRender(const RenderRequest &request, const GlobalOptions &global) {
    // What the command line alone decides, before anything is loaded.
    std::optional<std::vector<int>> cliFrames;
    try {
        if (!request.frames.empty()) cliFrames = ParseFrameRanges(request.frames);
    } catch (const FrameRangeError &e) {
        return Usage(std::string("--frames: ") + e.what());
    }
    if (!request.output.empty())
        if (const std::string problem = OutputPatternProblem(request.output, 1);
            !problem.empty())
            return Usage("-o " + request.output + ": " + problem);
    std::unique_ptr<ProgressSink> sink;
    try {
        sink = MakeProgressSink(
            request.progress.empty() ? DefaultProgressMode() : request.progress, std::cout);
    } catch (const std::invalid_argument &e) {
        return Usage(std::string("--progress: ") + e.what());
    }

    AppContext context(global);
    context.LoadModules();  // the loader reports modules that fail; the scene may not need them

    LoadedScene scene;
    try {
        scene = LoadScene(request);
    } catch (const std::exception &e) {
        return Failure(e.what());
    }
    if (scene.desc)
        for (const std::string &warning : scene.desc->warnings)
            std::fprintf(stderr, "nimbra render: warning: %s\n", warning.c_str());

    if (!request.saveScene.empty()) {
        try {
            if (const fs::path dir = fs::path(request.saveScene).parent_path(); !dir.empty())
                fs::create_directories(dir);
            if (fs::path(request.saveScene).extension() == ".json") {
                const SceneDescription none;
                WriteSceneJsonFile(scene.desc ? *scene.desc : none, request.saveScene);
            } else {
                SaveSceneFile(request.saveScene);
            }
        } catch (const std::exception &e) {
            return Failure(e.what());
        }
        std::fprintf(stderr, "nimbra render: wrote %s\n", request.saveScene.c_str());
        return kExitSuccess;
    }

    std::optional<RenderJob> job;
    try {
        job.emplace(request, scene, cliFrames);
        job->CreateOutputFolders();
    } catch (const UsageError &e) {
        return Usage(e.what());
    } catch (const std::exception &e) {
        return Failure(e.what());
    }

    ClearInterrupt();
    InstallInterruptHandler();
    const std::vector<QueueFrameResult> results = job->Queue().Run(job->Frames(), sink.get());
    RemoveInterruptHandler();

    int failed = 0;
    bool aborted = false;
    for (const QueueFrameResult &r : results) {
        if (r.status == QueueFrameResult::Status::Failed) {
            ++failed;
            std::fprintf(stderr, "nimbra render: frame %d failed: %s\n", r.frame,
                         Indented(r.error).c_str());
        }
        aborted |= r.status == QueueFrameResult::Status::Aborted;
    }
    const std::size_t total = job->Frames().size();
    if (aborted)
        std::fprintf(stderr, "nimbra render: interrupted after %zu of %zu frames\n",
                     results.size() - 1, total);
    if (failed > 0)
        std::fprintf(stderr, "nimbra render: %d of %zu frames failed\n", failed, total);
    return failed > 0 || aborted ? kExitFailure : kExitSuccess;
}
