/// @file studio_server.h
/// @brief The studio: a web server on the loopback address that serves the page and a JSON
///        API over the loaded scene — its helpers, their plug-ins' parameter tables, the
///        current frame, the preview window and saving.
///
/// Every request must carry the session's token (`?token=` or the `X-Nimbra-Token` header).
/// Scene edits and the preview window are serialised by one mutex, and an edit first stops a
/// running preview and waits for it, so the render worker never sees a scene in change.
#pragma once

#include "scene_json.h"

#include <cstddef>
#include <memory>
#include <string>

struct StudioOptions {
    std::string host = "127.0.0.1";
    int port = 0;  ///< 0: any free port
    std::size_t maxBodyBytes = 64 * 1024;
    std::string sceneName;  ///< how messages and the page name the scene
    std::string camera;     ///< the preview's camera; empty: the scene's render camera
};

class StudioServer {
public:
    /// Serves the scene already read into the host (`desc` its file's settings). Modules
    /// must be loaded.
    StudioServer(SceneDescription desc, StudioOptions options);
    ~StudioServer();
    StudioServer(const StudioServer &) = delete;
    StudioServer &operator=(const StudioServer &) = delete;

    /// Binds the socket; returns false (with `Error`) when it cannot.
    bool Bind();
    /// Serves until `Stop` (from any thread or a signal's watcher).
    void Run();
    void Stop();

    int Port() const;
    const std::string &Token() const;
    /// The address to open, with the token.
    std::string Url() const;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};
