/// @file studio_context.h
/// @brief What the studio's route files share: the served scene, the preview window, the
///        message log, the scene lock, and the helpers that read requests and answer them.
///
/// Each group of routes lives in a file of its own and registers itself through one of the
/// `Add…Routes` functions below. A route's function runs with the scene lock held; throwing
/// `RequestError` answers with its status and message, and nothing has changed by then.
#pragma once

#include "scene_json.h"
#include "studio_server.h"

#include "setup/preview_window.h"
#include "host/messages.h"
#include "host/viewport.h"

#include <httplib.h>

#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

class Animatable;
class Bitmap;
class INode;

using ojson = nlohmann::ordered_json;

/// A failed request: HTTP status and the message the page shows.
struct RequestError {
    int status;
    std::string message;
};

/// Records every message box for the page and answers its default button, as batch mode
/// does: nobody is there to click while a request waits.
class MessageLog : public UserInterfaceService {
public:
    int ShowMessage(const MessageRequest &request) override;
    /// Messages numbered above `since`.
    ojson Since(long since) const;

private:
    struct Entry {
        long id;
        std::string title, text;
    };
    mutable std::mutex mutex_;
    std::vector<Entry> messages_;
    long count_ = 0;
};

/// Every node below the root, depth first.
std::vector<INode *> SceneNodes();
/// Helpers are the objects that keep effect presets.
bool IsHelper(INode *node);
/// The sub-objects a roll-up is generated for: plug-ins and controllers, not blocks or nodes.
std::vector<std::pair<std::string, Animatable *>> Slots(Animatable *obj);

/// `image` as PNG file bytes, written through a temporary file named `fileName`.
std::string PngBytes(Bitmap &image, const std::string &fileName);

/// The body as a JSON object, or RequestError 400.
ojson ParseBody(const httplib::Request &req);
/// `body[key]` as a non-empty string, or RequestError 400.
std::string StringMember(const ojson &body, const char *key);
/// Applies `settings` (as a scene file gives an object's settings) to `obj`, checked by the
/// scene-file reader's own code. Throws RequestError 400 with the reader's message.
void Configure(Animatable *obj, const ojson &settings);

class StudioContext {
public:
    StudioContext(SceneDescription desc, StudioOptions options);
    ~StudioContext();

    SceneDescription desc;
    StudioOptions options;
    const std::string token;  ///< every request must carry it
    httplib::Server server;
    MessageLog messages;
    ViewExp view;
    std::unique_ptr<PreviewWindow> window;
    std::mutex sceneMutex;  ///< scene edits and the preview window

    // Scene access (sceneMutex held)

    /// Stops a running preview and waits for its end, so that the scene can change. A render
    /// stopped this way starts again once the request is answered (see `Answer`).
    void StopPreview();
    /// Set by StopPreview when it stopped a render; cleared when a render is asked for.
    bool renderInterrupted = false;
    /// The window's poll; counts the renders it sees end.
    void TickPreview();
    /// Renders ended so far (finished or stopped): tells a new image from a redraw.
    int rendersEnded = 0;
    /// The helper node `name`, or RequestError 404.
    INode *Helper(const std::string &name);
    /// The helper's object, or the sub-object its `body["slot"]` names (RequestError 404).
    Animatable *Target(INode *helper, const ojson &body);
    /// A helper with its parameter table and one per plug-in and controller slot.
    ojson HelperJson(INode *helper);
    /// Scene name, frame, range, nodes and helpers.
    ojson SceneJson();

    // Routes: `f` runs under the scene lock and its answer is sent as JSON.

    using Handler = std::function<ojson(const httplib::Request &)>;
    void Get(const std::string &pattern, Handler f);
    void Post(const std::string &pattern, Handler f);
    /// Runs `fill` (which sets the response's content) under the scene lock; an error
    /// becomes the response instead. A render that the request stopped starts again after
    /// it, so the preview never stays half drawn.
    void Answer(httplib::Response &res, const std::function<void()> &fill);

private:
    UserInterfaceService *previousInterface_ = nullptr;
    INode *PreviewCamera() const;
};

/// Scene, nodes, helpers, parameters, plug-in choice, presets, frame, save, messages.
void AddSceneRoutes(StudioContext &studio);
/// The preview window: status, start, stop, switches, region, image.
void AddPreviewRoutes(StudioContext &studio);
/// Controllers: the Controllers dialog, replacing a controller, the controller's editor.
void AddControllerRoutes(StudioContext &studio);
/// The helper's own roll-ups and the filters' setup dialogs.
void AddRollupRoutes(StudioContext &studio);
