/// @file preview_manager.h
/// @brief Renders one still of the current frame with its particle effects for the preview
///        window: the scene renderer, then "Nimbra Shader", on a worker thread that the window
///        can stop or ask to restart at any time.
#pragma once

#include "framework/nimbra_api.h"
#include "host/bitmap.h"
#include "host/renderer.h"
#include "host/viewport.h"
#include "host/window.h"

#include <atomic>
#include <string>
#include <thread>

/// What the manager needs of the window that asks for previews. The window also receives the
/// filters' progress, abort and caption messages (window.h), which it answers through
/// `PreviewManager::SetFilterProgress` and `PreviewManager::AbortRequested`.
class PreviewClient : public HostWindow {
public:
    // Read and called on the worker thread while a preview renders
    /// The "Preview" switch: off stops a render at its next progress report.
    virtual bool PreviewSwitch() const = 0;
    /// The "Scene" switch: on lets the scene render to the end and shows its titles.
    virtual bool SceneSwitch() const = 0;
    virtual void SetCaption(const std::string &caption) = 0;
};

/// The preview renderer. Everything but the progress callback is called on the window's
/// thread; the worker shares only atomic flags and counters with it, and the bitmap once the
/// worker is done. Destroying the manager stops a running render and waits for its end.
class NIMBRA_API PreviewManager : public RendProgressCallback {
public:
    static constexpr int kWidth = 314, kHeight = 199;
    static constexpr int kHalfWidth = 157, kHalfHeight = 99;
    static constexpr char kMessageTitle[] = "Nimbra";
    static constexpr char kBusyText[] = "Error: Preview engine already threaded.";
    static constexpr char kCannotOpenText[] = "Unable to open renderer!";
    static constexpr char kNoRenderInfoText[] =
        "PreviewManager:: error allocing render information.";
    static constexpr char kFilterCaption[] = "Nimbra image filter...";
    /// The node placed in the scene while a ray-marching atmospheric is previewed alone.
    static constexpr char kPreviewNodeName[] = "Nimbra_Preview_xxx";
    /// Class of its object (super class GEOMOBJECT_CLASS_ID), a host object without surface.
    static constexpr Class_ID kPreviewObjectClassID{0x479F422E, 0x00CD167B};

    PreviewManager() = default;
    ~PreviewManager() override;
    PreviewManager(const PreviewManager &) = delete;
    PreviewManager &operator=(const PreviewManager &) = delete;

    // Requests
    /// Starts a preview for `window` and returns at once; refused with a message while busy.
    /// When a ray-marching atmospheric is previewed without the scene, a temporary node is
    /// selected in place of the scene so that only the atmospheric renders.
    void Start(PreviewClient *window);
    /// A running render stops at its next progress report (a new one starts only on request).
    void RequestRestart() { restartRequest_ = true; }
    /// A running render stops at its next progress report.
    void RequestStop() { stopRequest_ = true; }
    /// Once the worker has ended: waits for its thread, and removes the temporary node.
    void Finish();
    /// Waits for the worker to end (ask it to stop first for a quick end).
    void Wait();
    void SetIncludeScene(bool on) { includeScene_ = on; }
    /// The view of the next `Start` (copied then); null is the active viewport.
    void SetView(const ViewExp *view) { view_ = view; }

    // State
    bool Busy() const { return busy_; }
    bool Abortable() const { return abortable_; }
    bool StopRequested() const { return stopRequest_; }
    bool RestartRequested() const { return restartRequest_; }
    /// What the filters' abort query answers while a preview renders.
    bool AbortRequested() const { return stopRequest_ || restartRequest_; }
    bool RaymarchPresent() const { return raymarchPresent_; }
    int ProgressDone() const { return progressDone_; }
    int ProgressTotal() const { return progressTotal_; }
    /// Stores a filter's progress report.
    void SetFilterProgress(int done, int total);
    /// The last preview (314 × 199 once finished), or null; read it only while not busy.
    Bitmap *GetBitmap() const { return bitmap_.get(); }

    // Progress callback of the scene renderer (worker thread)
    void SetTitle(const TCHAR *title) override;
    int Progress(int done, int total) override;

private:
    void Run(ViewExp view);
    void Render(const ViewExp &view);
    void AddPreviewNode();

    PreviewClient *window_ = nullptr;
    const ViewExp *view_ = nullptr;
    BitmapPtr bitmap_;
    std::thread worker_;

    std::atomic<bool> busy_{false};
    std::atomic<bool> abortable_{true};
    std::atomic<bool> stopRequest_{false};
    std::atomic<bool> restartRequest_{false};
    std::atomic<bool> includeScene_{false};
    std::atomic<bool> raymarchPresent_{false};
    std::atomic<int> progressDone_{0};
    std::atomic<int> progressTotal_{0};
};
