/// @file post_queue.h
/// @brief The post-production queue: a list of events run in order for every frame — scene
///        renders or plate reads that fill the frame, image filters that change it, outputs
///        that write it.
///
/// One frame, step by step: the frame bitmap is created at the queue's size with the channels
/// that any filter's `ChannelsRequired` asks for (plus `RequireChannels`); then every event
/// runs in the order added. Filters may stand before the scene event (a filter that prepares
/// shadow maps does); they then see the empty frame without render information. Between steps
/// the queue checks for an abort (Ctrl-C or the window's request): the frame then stops where
/// it is and nothing more is written.
#pragma once

#include "host/image_filter.h"
#include "host/progress.h"
#include "host/renderer.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

/// A queue that cannot be built as asked (unknown filter class, configuration block of the
/// wrong size, …). `what()` says which event and why.
class PostQueueError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

/// How a scene event renders.
struct SceneEventSettings {
    /// Node seen through: a camera, or a spot or directional light. Looked up by name every
    /// frame, so a node deleted meanwhile fails the frame instead of dangling. Empty: `view`.
    std::string viewNode;
    ViewParams view;                     ///< the view when `viewNode` is empty
    FrameRendParams frame;               ///< background and ambient light
    Class_ID renderer = SREND_CLASS_ID;  ///< renderer class (super class RENDERER_CLASS_ID)
};

/// The camera of a plate: fills `ri` (projection, world-to-camera matrices, render times,
/// fields) for time `t` and a frame of `width` × `height`; false when there is none. The
/// render times arrive preset to `t`.
using PlateCamera = std::function<bool(TimeValue t, int width, int height, RenderInfo &ri)>;

/// What happened to one frame.
struct QueueFrameResult {
    enum class Status { Ok, Failed, Aborted };
    int frame = 0;
    Status status = Status::Ok;
    std::string error;  ///< every problem of the frame, one per line; empty when Ok
    bool ok() const { return status == Status::Ok; }
};

class PostQueue {
public:
    PostQueue();
    /// Deletes the queue's filters.
    ~PostQueue();
    PostQueue(const PostQueue &) = delete;
    PostQueue &operator=(const PostQueue &) = delete;

    // Settings
    /// Size, pixel aspect, fields and threads of every frame (its `width`, `height`,
    /// `pixelAspect`, `fieldRender`, `fieldOrder` and `threads` are used).
    RendParams &Params() { return params_; }
    /// Channels every frame bitmap gets besides what the filters ask for (for example depth
    /// and material for EXR outputs of a plate without them).
    void RequireChannels(ULONG channels) { extraChannels_ |= channels; }

    // Events, run in the order added
    void AddSceneEvent(const SceneEventSettings &settings);
    /// Reads the plate `pattern` (frame-numbered, see ExpandFramePattern): colour, and depth
    /// and material when the file has them. The plate must have the queue's size. Throws
    /// PostQueueError when `camera` is empty.
    void AddPlateEvent(const std::string &pattern, PlateCamera camera);
    /// Adds a filter (owned from now on, even when this throws). `config` is its
    /// configuration block; empty takes the filter's current settings (`SaveConfigure`).
    /// Throws PostQueueError when the block's size differs from `EvaluateConfigure()` or the
    /// filter refuses it.
    void AddFilterEvent(ImageFilter *filter, std::vector<std::uint8_t> config = {});
    /// Creates the filter of class `id` (super class FLT_CLASS_ID) and adds it. Throws
    /// PostQueueError when the class is not installed.
    void AddFilterEvent(Class_ID id, std::vector<std::uint8_t> config = {});
    /// Writes the frame to `pattern` (frame-numbered; the extension picks the format).
    void AddOutputEvent(const std::string &pattern);

    int EventCount() const { return static_cast<int>(events_.size()); }
    /// The filter of event `i`, or null when it is another kind of event.
    ImageFilter *Filter(int i) const;
    /// The configuration block of filter event `i` (empty for other events).
    const std::vector<std::uint8_t> &Configuration(int i) const;
    /// Takes filter event `i`'s current settings (after its setup dialog) as its block.
    void SaveConfiguration(int i);
    /// Channels the frame bitmaps get: the filters' requirements and `RequireChannels`.
    ULONG ChannelsForFrames() const;

    // Running
    /// Renders `frames` in order, reporting to `sink` (may be null). Stops after a frame that
    /// was aborted; the frames after it are not in the result.
    std::vector<QueueFrameResult> Run(const std::vector<int> &frames, ProgressSink *sink);
    /// Renders one frame with `window` as the progress window; `range` is what the filters see
    /// as the run's frames (`FrameRange::Current` is `frame`).
    QueueFrameResult RunFrame(int frame, ProgressWindow &window, FrameRange range);

private:
    struct Event;
    struct FrameRun;
    bool RunScene(const Event &e, FrameRun &run);
    bool RunPlate(const Event &e, FrameRun &run);
    bool RunFilter(const Event &e, FrameRun &run);
    bool RunOutput(const Event &e, FrameRun &run);

    RendParams params_;
    ULONG extraChannels_ = BMM_CHAN_NONE;
    std::vector<std::unique_ptr<Event>> events_;
};
