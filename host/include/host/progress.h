/// @file progress.h
/// @brief Progress of a queue run: the progress window that filters and the scene renderer
///        report to, the sinks that show it (terminal bar, plain lines, farm-manager lines,
///        JSON lines), and the Ctrl-C flag that answers their abort queries.
#pragma once

#include "host/renderer.h"
#include "host/window.h"

#include <atomic>
#include <chrono>
#include <iosfwd>
#include <memory>
#include <mutex>
#include <string>

// ---------------------------------------------------------------------------------------------
// Interruption

/// Installs a SIGINT handler: the first Ctrl-C sets the interrupt flag (the run stops after
/// the current step, and filters asking whether to abort are told yes); a second one ends the
/// process as Ctrl-C normally does. Calls nest with `RemoveInterruptHandler`.
void InstallInterruptHandler();
/// Restores the handler that was in place before the matching `InstallInterruptHandler`.
void RemoveInterruptHandler();
/// TRUE once an interruption was asked for (Ctrl-C or `RequestInterrupt`).
bool InterruptRequested();
void RequestInterrupt();
/// Clears the flag (before a new run).
void ClearInterrupt();

// ---------------------------------------------------------------------------------------------
// What is shown

/// Where a run stands. Frames are counted in the order rendered; steps are the events of the
/// queue, so a frame's share of the run is divided evenly among its steps.
struct ProgressState {
    int frameCount = 0;         ///< frames in the run
    int framesDone = 0;         ///< frames finished (rendered, failed or skipped)
    int frame = 0;              ///< frame number being rendered
    int stepCount = 0;          ///< steps of a frame
    int step = 0;               ///< current step, 0-based
    double stepFraction = 0.0;  ///< 0 … 1 within the step
    std::string stepName;       ///< what the step is ("Scene", a filter's name, "Output …")
    std::string caption;        ///< what the step last said it was doing, may be empty

    /// The whole run's progress, 0 … 100.
    double Percent() const;
    /// The step and its caption in one line: "stepName: caption", or the step name alone.
    std::string Status() const;
};

/// Shows progress. The progress window calls it on the run's thread (one call at a time).
class ProgressSink {
public:
    virtual ~ProgressSink() = default;
    /// Shortest time between two `Progress` calls; the window drops updates in between (not
    /// the first one of a step).
    virtual std::chrono::milliseconds Interval() const { return std::chrono::milliseconds(0); }
    virtual void Progress(const ProgressState &state) {}
    /// The step or its caption changed.
    virtual void Status(const ProgressState &state) {}
    /// A frame ended; `error` is empty when it succeeded.
    virtual void FrameDone(const ProgressState &state, const std::string &error) {}
    /// The run ended; `failed` frames failed; `aborted` when it was interrupted.
    virtual void RunDone(const ProgressState &state, int failed, bool aborted) {}
};

/// The progress modes of the command line: "bar" (one terminal line redrawn), "plain"
/// ("PROGRESS 37.5% frame=12 done=3/8" lines), "openjd" ("openjd_progress: 37.5" and
/// "openjd_status: …" lines for farm managers), "json" (one JSON object per line).
/// Throws std::invalid_argument naming the mode for any other. `interval` overrides the mode's
/// shortest time between progress updates (bar 100 ms, the others 1 s).
std::unique_ptr<ProgressSink> MakeProgressSink(const std::string &mode, std::ostream &out);
std::unique_ptr<ProgressSink> MakeProgressSink(const std::string &mode, std::ostream &out,
                                               std::chrono::milliseconds interval);
/// "bar" when standard output is a terminal, else "plain".
std::string DefaultProgressMode();

// ---------------------------------------------------------------------------------------------
// The progress window

/// The window a queue run hands to filters (`Render (hWnd)`) and to the scene renderer. It
/// turns their progress and caption messages into the run's progress for a sink, and answers
/// abort queries with the interrupt flag or its own abort request. Safe to call from several
/// render threads.
class ProgressWindow : public HostWindow {
public:
    /// `sink` may be null (nothing shown); it is not owned.
    explicit ProgressWindow(ProgressSink *sink = nullptr) : sink_(sink) {}

    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

    // Run structure (called by the queue)
    void BeginRun(int frameCount, int stepCount);
    void BeginFrame(int frame);
    void BeginStep(int step, const std::string &name);
    void EndFrame(const std::string &error);
    void EndRun(int failed, bool aborted);

    // Reports from the step being run
    /// `done` of `total` (0 or less: unknown, ignored).
    void SetProgress(long long done, long long total);
    void SetCaption(const std::string &caption);

    // Aborting
    /// Asks the run to stop (as Ctrl-C does, but for this window only).
    void RequestAbort() { abort_ = true; }
    bool AbortRequested() const { return abort_ || InterruptRequested(); }

    ProgressState State() const;

private:
    void Emit(bool force);

    ProgressSink *sink_;
    mutable std::mutex mutex_;
    ProgressState state_;
    std::chrono::steady_clock::time_point lastEmit_{};
    double lastPercent_ = -1.0;
    std::atomic<bool> abort_{false};
};

/// A renderer's progress callback that reports to a progress window: titles become captions,
/// progress the step's fraction, and it answers abort when the window would.
class WindowRendProgress : public RendProgressCallback {
public:
    explicit WindowRendProgress(ProgressWindow &window) : window_(window) {}
    void SetTitle(const TCHAR *title) override;
    int Progress(int done, int total) override;

private:
    ProgressWindow &window_;
};
