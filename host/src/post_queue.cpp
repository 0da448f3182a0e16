/// @file post_queue.cpp
/// @brief Running the post-production queue frame by frame: the frame bitmap, scene renders,
///        plates, filters with their configuration blocks, outputs, progress and aborts.
#include "host/post_queue.h"

#include "host/image_file.h"
#include "host/interface.h"
#include "host/messages.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>

namespace {

/// Largest configuration block the queue accepts from a filter.
constexpr DWORD kMaxConfigBytes = 1 << 20;

struct FilterDeleter {
    void operator()(ImageFilter *f) const {
        if (f) f->DeleteThis();
    }
};

struct RendererDeleter {
    void operator()(Renderer *r) const {
        if (r) r->DeleteThis();
    }
};

std::string Hex(ULONG v) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "0x%X", v);
    return buf;
}

std::string ClassText(Class_ID id) {
    // Appended piece by piece: "literal" + std::string trips a false -Wrestrict in g++ 12.
    std::string s(1, '(');
    s += Hex(id.PartA());
    s += ", ";
    s += Hex(id.PartB());
    s += ')';
    return s;
}

/// A filter's description without the padding some filters put around it.
std::string FilterName(ImageFilter *f) {
    const char *d = f->Description();
    std::string s = d ? d : "";
    const auto first = s.find_first_not_of(' ');
    if (first == std::string::npos) return "image filter";
    return s.substr(first, s.find_last_not_of(' ') - first + 1);
}

}  // namespace

struct PostQueue::Event {
    enum class Kind { Scene, Plate, Filter, Output };
    Kind kind = Kind::Scene;
    SceneEventSettings scene;
    std::string pattern;  // plate or output file pattern
    PlateCamera camera;
    std::unique_ptr<ImageFilter, FilterDeleter> filter;
    std::vector<std::uint8_t> config;

    std::string Name() const {
        switch (kind) {
            case Kind::Scene:
                return scene.viewNode.empty() ? "Scene" : "Scene (" + scene.viewNode + ")";
            case Kind::Plate:
                return "Plate " + std::filesystem::path(pattern).filename().string();
            case Kind::Filter:
                return FilterName(filter.get());
            case Kind::Output:
                return "Output " + std::filesystem::path(pattern).filename().string();
        }
        return {};
    }
};

/// The state of one frame while its events run.
struct PostQueue::FrameRun {
    int frame = 0;
    TimeValue time = 0;
    ProgressWindow &window;
    BitmapPtr bitmap;
    ImageFilterInfo info;
    std::vector<std::string> errors;

    bool Fail(const std::string &message) {
        errors.push_back(message);
        return false;
    }
};

PostQueue::PostQueue() = default;
PostQueue::~PostQueue() = default;

// Building
// --------------------------------------------------------------------------------------

void PostQueue::AddSceneEvent(const SceneEventSettings &settings) {
    auto e = std::make_unique<Event>();
    e->kind = Event::Kind::Scene;
    e->scene = settings;
    events_.push_back(std::move(e));
}

void PostQueue::AddPlateEvent(const std::string &pattern, PlateCamera camera) {
    if (!camera) throw PostQueueError("plate event '" + pattern + "': no camera for the plate");
    auto e = std::make_unique<Event>();
    e->kind = Event::Kind::Plate;
    e->pattern = pattern;
    e->camera = std::move(camera);
    events_.push_back(std::move(e));
}

void PostQueue::AddFilterEvent(ImageFilter *filter, std::vector<std::uint8_t> config) {
    std::unique_ptr<ImageFilter, FilterDeleter> owned(filter);
    if (!owned) throw PostQueueError("filter event: no filter");
    const std::string name = FilterName(owned.get());
    const DWORD size = owned->EvaluateConfigure();
    if (size > kMaxConfigBytes)
        throw PostQueueError("filter '" + name + "': configuration of " + std::to_string(size) +
                             " bytes is larger than the queue keeps");
    if (config.empty() && size > 0) {
        config.assign(size, 0);
        if (!owned->SaveConfigure(config.data()))
            throw PostQueueError("filter '" + name + "': cannot save its configuration");
    } else if (config.size() != size) {
        throw PostQueueError("filter '" + name + "': configuration block of " +
                             std::to_string(config.size()) + " bytes, expected " +
                             std::to_string(size));
    }
    // A copy: the filter reads the block through a plain pointer and might write to it.
    std::vector<std::uint8_t> trial = config;
    if (size > 0 && !owned->LoadConfigure(trial.data()))
        throw PostQueueError("filter '" + name + "': refuses its configuration block");

    auto e = std::make_unique<Event>();
    e->kind = Event::Kind::Filter;
    e->filter = std::move(owned);
    e->config = std::move(config);
    events_.push_back(std::move(e));
}

void PostQueue::AddFilterEvent(Class_ID id, std::vector<std::uint8_t> config) {
    // Filter classes create the ImageFilter itself (see image_filter.h).
    auto *filter = static_cast<ImageFilter *>(CreateInstance(FLT_CLASS_ID, id));
    if (!filter)
        throw PostQueueError("filter event: no image filter of class " + ClassText(id) +
                             " is installed");
    AddFilterEvent(filter, std::move(config));
}

void PostQueue::AddOutputEvent(const std::string &pattern) {
    auto e = std::make_unique<Event>();
    e->kind = Event::Kind::Output;
    e->pattern = pattern;
    events_.push_back(std::move(e));
}

ImageFilter *PostQueue::Filter(int i) const {
    if (i < 0 || i >= EventCount()) return nullptr;
    return events_[i]->filter.get();
}

const std::vector<std::uint8_t> &PostQueue::Configuration(int i) const {
    static const std::vector<std::uint8_t> none;
    if (i < 0 || i >= EventCount()) return none;
    return events_[i]->config;
}

void PostQueue::SaveConfiguration(int i) {
    ImageFilter *f = Filter(i);
    if (!f) return;
    std::vector<std::uint8_t> block(std::min(f->EvaluateConfigure(), kMaxConfigBytes), 0);
    if (block.empty() || f->SaveConfigure(block.data())) events_[i]->config = std::move(block);
}

ULONG PostQueue::ChannelsForFrames() const {
    ULONG channels = extraChannels_;
    for (const auto &e : events_)
        if (e->filter) channels |= e->filter->ChannelsRequired();
    return channels & BMM_CHAN_ALL;
}

// Running
// ---------------------------------------------------------------------------------------

std::vector<QueueFrameResult> PostQueue::Run(const std::vector<int> &frames,
                                             ProgressSink *sink) {
    std::vector<QueueFrameResult> results;
    ProgressWindow window(sink);
    window.BeginRun(static_cast<int>(frames.size()), EventCount());
    FrameRange range;
    if (!frames.empty()) {
        const auto [lo, hi] = std::minmax_element(frames.begin(), frames.end());
        range = FrameRange(*lo, *hi, frames.front());
    }
    int failed = 0;
    bool aborted = false;
    for (int frame : frames) {
        window.BeginFrame(frame);
        results.push_back(RunFrame(frame, window, range));
        const QueueFrameResult &r = results.back();
        window.EndFrame(r.error);
        failed += r.status == QueueFrameResult::Status::Failed;
        if (r.status == QueueFrameResult::Status::Aborted) {
            aborted = true;
            break;
        }
    }
    window.EndRun(failed, aborted);
    return results;
}

QueueFrameResult PostQueue::RunFrame(int frame, ProgressWindow &window, FrameRange range) {
    QueueFrameResult result;
    result.frame = frame;
    FrameRun run{frame, frame * GetTicksPerFrame(), window, nullptr, {}, {}};
    auto finish = [&](QueueFrameResult::Status status) {
        result.status = status;
        if (status == QueueFrameResult::Status::Aborted) run.errors.push_back("interrupted");
        for (std::size_t i = 0; i < run.errors.size(); ++i)
            result.error += (i ? "\n" : "") + run.errors[i];
        return result;
    };

    BitmapInfo bi(BMM_TRUE_64, MAP_HAS_ALPHA, params_.width, params_.height);
    run.bitmap.reset(TheManager->Create(bi));
    if (!run.bitmap) {
        run.Fail("cannot create a frame of " + std::to_string(params_.width) + " x " +
                 std::to_string(params_.height) + " pixels");
        return finish(QueueFrameResult::Status::Failed);
    }
    const ULONG channels = ChannelsForFrames();
    if (run.bitmap->CreateChannels(channels) != channels) {
        run.Fail("out of memory for the frame's channels");
        return finish(QueueFrameResult::Status::Failed);
    }
    range.SetCurrent(frame);
    run.info.QueueRange = range;
    run.info.width = params_.width;
    run.info.height = params_.height;

    for (int i = 0; i < EventCount(); ++i) {
        if (window.AbortRequested()) return finish(QueueFrameResult::Status::Aborted);
        const Event &e = *events_[i];
        window.BeginStep(i, e.Name());
        bool ok = false;
        try {
            switch (e.kind) {
                case Event::Kind::Scene:
                    ok = RunScene(e, run);
                    break;
                case Event::Kind::Plate:
                    ok = RunPlate(e, run);
                    break;
                case Event::Kind::Filter:
                    ok = RunFilter(e, run);
                    break;
                case Event::Kind::Output:
                    ok = RunOutput(e, run);
                    break;
            }
        } catch (const HostAssertion &a) {
            ok = run.Fail(e.Name() + ": assertion failed in " + a.file() + " line " +
                          std::to_string(a.line()) + ": " + a.what());
        } catch (const std::exception &x) {
            ok = run.Fail(e.Name() + ": " + x.what());
        }
        if (e.filter) {
            // The frame bitmap goes away with this frame.
            e.filter->SetSourceMap(nullptr);
            e.filter->SetFilterInfo(nullptr);
        }
        if (window.AbortRequested()) return finish(QueueFrameResult::Status::Aborted);
        // A frame whose picture failed is not passed on; a failed output does not stop the
        // other outputs.
        if (!ok && e.kind != Event::Kind::Output)
            return finish(QueueFrameResult::Status::Failed);
    }
    return finish(run.errors.empty() ? QueueFrameResult::Status::Ok
                                     : QueueFrameResult::Status::Failed);
}

bool PostQueue::RunScene(const Event &e, FrameRun &run) {
    const std::string name = e.Name();
    void *created = CreateInstance(RENDERER_CLASS_ID, e.scene.renderer);
    auto *animatable = static_cast<Animatable *>(created);
    std::unique_ptr<Renderer, RendererDeleter> renderer(dynamic_cast<Renderer *>(animatable));
    if (!renderer) {
        if (animatable) animatable->DeleteThis();
        return run.Fail(name + ": no scene renderer of class " + ClassText(e.scene.renderer) +
                        " is installed");
    }
    Interface *ip = GetCOREInterface();
    INode *view = nullptr;
    if (!e.scene.viewNode.empty()) {
        view = ip->GetINodeByName(e.scene.viewNode.c_str());
        if (!view) return run.Fail(name + ": no node named '" + e.scene.viewNode + "'");
    }
    RendParams rp = params_;
    ViewParams vp = e.scene.view;
    ViewParams *viewPar = view ? nullptr : &vp;
    HWND hwnd = &run.window;
    if (!renderer->Open(ip->GetRootNode(), view, viewPar, rp, hwnd))
        return run.Fail(name + ": the renderer cannot open the scene");

    struct Closer {
        Renderer *r;
        HWND hwnd;
        ~Closer() { r->Close(hwnd); }
    } closer{renderer.get(), hwnd};
    FrameRendParams frp = e.scene.frame;
    WindowRendProgress progress(run.window);
    const int ok = renderer->Render(run.time, run.bitmap.get(), frp, hwnd, &progress, viewPar);
    if (!ok && !run.window.AbortRequested())
        return run.Fail(name + ": rendering frame " + std::to_string(run.frame) + " failed");
    return ok != 0;
}

bool PostQueue::RunPlate(const Event &e, FrameRun &run) {
    const std::string path = ExpandFramePattern(e.pattern, run.frame);
    ImageFileContents found;
    BitmapPtr plate = ReadImageFile(path, &found);
    Bitmap &frame = *run.bitmap;
    if (plate->Width() != frame.Width() || plate->Height() != frame.Height())
        return run.Fail(path + ": plate of " + std::to_string(plate->Width()) + " x " +
                        std::to_string(plate->Height()) + " pixels, the queue renders " +
                        std::to_string(frame.Width()) + " x " + std::to_string(frame.Height()));
    std::string what = found.alpha ? "RGBA" : "RGB";
    if (!found.depthName.empty()) what += ", depth from " + found.depthName;
    if (!found.materialName.empty()) what += ", material IDs";
    run.window.SetCaption(what);

    frame.CopyImage(plate.get(), COPY_IMAGE_CROP, BMM_Color_64{});
    const std::size_t count = std::size_t(frame.Width()) * frame.Height();
    if (plate->DepthChannel()) frame.CreateChannels(BMM_CHAN_Z);
    if (float *z = frame.DepthChannel()) {
        if (const float *src = plate->DepthChannel())
            std::copy(src, src + count, z);
        else
            std::fill(z, z + count, kFarDepth);
    }
    if (plate->MaterialChannel()) frame.CreateChannels(BMM_CHAN_MTL_ID);
    if (BYTE *m = frame.MaterialChannel()) {
        if (const BYTE *src = plate->MaterialChannel())
            std::copy(src, src + count, m);
        else
            std::fill(m, m + count, BYTE(0));
    }

    RenderInfo *ri = frame.Storage()->AllocRenderInfo();
    if (!ri) return run.Fail(path + ": out of memory for the render information");
    ri->renderTime[0] = ri->renderTime[1] = run.time;
    if (!e.camera(run.time, frame.Width(), frame.Height(), *ri))
        return run.Fail(e.Name() + ": no camera for frame " + std::to_string(run.frame));
    return true;
}

bool PostQueue::RunFilter(const Event &e, FrameRun &run) {
    ImageFilter *f = e.filter.get();
    const std::string name = e.Name();
    if (!e.config.empty()) {
        std::vector<std::uint8_t> block = e.config;
        if (!f->LoadConfigure(block.data()))
            return run.Fail(name + ": refuses its configuration block");
    }
    f->SetSourceMap(run.bitmap.get());
    f->SetFilterInfo(&run.info);
    if (!f->Render(&run.window))
        return run.Fail(name + ": failed on frame " + std::to_string(run.frame));
    return true;
}

bool PostQueue::RunOutput(const Event &e, FrameRun &run) {
    const std::string path = ExpandFramePattern(e.pattern, run.frame);
    try {
        WriteImageFile(path, *run.bitmap);
    } catch (const ImageFileError &x) {
        return run.Fail(x.what());
    }
    return true;
}
