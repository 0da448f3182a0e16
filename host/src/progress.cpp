/// @file progress.cpp
/// @brief The interrupt flag and its SIGINT handler, the progress window, and the four
///        progress sinks of the command line.
#include "host/progress.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <ostream>
#include <stdexcept>

#include <unistd.h>

// ---------------------------------------------------------------------------------------------
// Interruption

namespace {

std::atomic<int> interrupted{0};
static_assert(std::atomic<int>::is_always_lock_free,
              "the signal handler needs a lock-free flag");

std::mutex handlerMutex;
int handlerDepth = 0;
struct sigaction previousAction;

extern "C" void OnInterrupt(int) {
    if (interrupted.exchange(1) != 0) {
        // Second Ctrl-C: end the process the way Ctrl-C does without a handler.
        std::signal(SIGINT, SIG_DFL);
        std::raise(SIGINT);
        return;
    }
    static const char note[] =
        "\nInterrupted: stopping after the current step (Ctrl-C again to quit now).\n";
    [[maybe_unused]] ssize_t ignored = ::write(STDERR_FILENO, note, sizeof note - 1);
}

}  // namespace

void InstallInterruptHandler() {
    std::lock_guard<std::mutex> lock(handlerMutex);
    if (handlerDepth++ > 0) return;
    struct sigaction action {};
    action.sa_handler = OnInterrupt;
    // Restart interrupted system calls: a file being written when Ctrl-C comes must not fail.
    action.sa_flags = SA_RESTART;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, &previousAction);
}

void RemoveInterruptHandler() {
    std::lock_guard<std::mutex> lock(handlerMutex);
    if (handlerDepth == 0 || --handlerDepth > 0) return;
    sigaction(SIGINT, &previousAction, nullptr);
}

bool InterruptRequested() {
    return interrupted.load(std::memory_order_relaxed) != 0;
}
void RequestInterrupt() {
    interrupted.store(1);
}
void ClearInterrupt() {
    interrupted.store(0);
}

// ---------------------------------------------------------------------------------------------
// Progress state

double ProgressState::Percent() const {
    if (frameCount <= 0) return 0.0;
    const double frameShare =
        stepCount > 0 ? (step + std::clamp(stepFraction, 0.0, 1.0)) / stepCount : 0.0;
    const double p = 100.0 * (framesDone + std::min(frameShare, 1.0)) / frameCount;
    return std::clamp(p, 0.0, 100.0);
}

std::string ProgressState::Status() const {
    if (caption.empty()) return stepName;
    if (stepName.empty()) return caption;
    return stepName + ": " + caption;
}

// ---------------------------------------------------------------------------------------------
// Sinks

namespace {

using std::chrono::milliseconds;

/// The percentage as shown: one decimal.
std::string PercentText(double p) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%.1f", p);
    return buf;
}

/// `--progress bar`: one line redrawn in place.
class BarSink : public ProgressSink {
public:
    BarSink(std::ostream &out, milliseconds interval) : out_(out), interval_(interval) {}
    milliseconds Interval() const override { return interval_; }
    void Progress(const ProgressState &s) override { Draw(s); }
    void Status(const ProgressState &s) override { Draw(s); }
    void FrameDone(const ProgressState &s, const std::string &error) override {
        Draw(s);
        // A failure is reported on standard error next: give it a line of its own.
        if (!error.empty()) EndLine();
    }
    void RunDone(const ProgressState &s, int, bool) override {
        Draw(s);
        EndLine();
    }

private:
    static constexpr int kBarWidth = 30;
    static constexpr std::size_t kStatusWidth = 40;

    void Draw(const ProgressState &s) {
        const double p = s.Percent();
        const int filled = int(std::lround(p / 100.0 * kBarWidth));
        std::string status = s.Status();
        if (status.size() > kStatusWidth) status = status.substr(0, kStatusWidth - 3) + "...";
        out_ << '\r' << '[' << std::string(filled, '#') << std::string(kBarWidth - filled, '-')
             << "] " << PercentText(p) << "%  frame " << s.frame << " (" << s.framesDone << '/'
             << s.frameCount << ")  " << status << "\x1b[K" << std::flush;
        open_ = true;
    }
    void EndLine() {
        if (open_) out_ << '\n' << std::flush;
        open_ = false;
    }

    std::ostream &out_;
    milliseconds interval_;
    bool open_ = false;
};

/// `--progress plain`: "PROGRESS 37.5% frame=12 done=3/8".
class PlainSink : public ProgressSink {
public:
    PlainSink(std::ostream &out, milliseconds interval) : out_(out), interval_(interval) {}
    milliseconds Interval() const override { return interval_; }
    void Progress(const ProgressState &s) override { Line(s); }
    void FrameDone(const ProgressState &s, const std::string &) override { Line(s); }

private:
    void Line(const ProgressState &s) {
        out_ << "PROGRESS " << PercentText(s.Percent()) << "% frame=" << s.frame
             << " done=" << s.framesDone << '/' << s.frameCount << '\n'
             << std::flush;
    }
    std::ostream &out_;
    milliseconds interval_;
};

/// `--progress openjd`: the progress and status lines that farm managers read.
class OpenJDSink : public ProgressSink {
public:
    OpenJDSink(std::ostream &out, milliseconds interval) : out_(out), interval_(interval) {}
    milliseconds Interval() const override { return interval_; }
    void Progress(const ProgressState &s) override {
        out_ << "openjd_progress: " << PercentText(s.Percent()) << '\n' << std::flush;
    }
    void Status(const ProgressState &s) override {
        out_ << "openjd_status: Frame " << s.frame << ": " << s.Status() << '\n' << std::flush;
    }
    void FrameDone(const ProgressState &s, const std::string &error) override {
        if (!error.empty())
            out_ << "openjd_status: Frame " << s.frame << " failed: " << error << '\n';
        Progress(s);
    }
    void RunDone(const ProgressState &s, int failed, bool aborted) override {
        out_ << "openjd_status: " << (aborted ? "Interrupted" : "Finished") << ", "
             << s.framesDone << " of " << s.frameCount << " frames, " << failed << " failed\n"
             << std::flush;
    }

private:
    std::ostream &out_;
    milliseconds interval_;
};

/// `--progress json`: one object per line, with an "event" member saying what it reports.
class JsonSink : public ProgressSink {
public:
    JsonSink(std::ostream &out, milliseconds interval) : out_(out), interval_(interval) {}
    milliseconds Interval() const override { return interval_; }
    void Progress(const ProgressState &s) override {
        Write({{"event", "progress"},
               {"percent", std::round(s.Percent() * 10.0) / 10.0},
               {"frame", s.frame},
               {"done", s.framesDone},
               {"total", s.frameCount}});
    }
    void Status(const ProgressState &s) override {
        Write({{"event", "status"}, {"frame", s.frame}, {"status", s.Status()}});
    }
    void FrameDone(const ProgressState &s, const std::string &error) override {
        nlohmann::json j = {{"event", "frame"}, {"frame", s.frame}, {"ok", error.empty()}};
        if (!error.empty()) j["error"] = error;
        Write(j);
        Progress(s);
    }
    void RunDone(const ProgressState &s, int failed, bool aborted) override {
        Write({{"event", "done"},
               {"frames", s.framesDone},
               {"total", s.frameCount},
               {"failed", failed},
               {"aborted", aborted}});
    }

private:
    void Write(const nlohmann::json &j) {
        // Replace invalid UTF-8 (a caption from a module) rather than throw.
        out_ << j.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) << '\n'
             << std::flush;
    }
    std::ostream &out_;
    milliseconds interval_;
};

}  // namespace

std::unique_ptr<ProgressSink> MakeProgressSink(const std::string &mode, std::ostream &out,
                                               milliseconds interval) {
    if (mode == "bar") return std::make_unique<BarSink>(out, interval);
    if (mode == "plain") return std::make_unique<PlainSink>(out, interval);
    if (mode == "openjd") return std::make_unique<OpenJDSink>(out, interval);
    if (mode == "json") return std::make_unique<JsonSink>(out, interval);
    throw std::invalid_argument("unknown progress mode '" + mode +
                                "' (expected bar, plain, openjd or json)");
}

std::unique_ptr<ProgressSink> MakeProgressSink(const std::string &mode, std::ostream &out) {
    return MakeProgressSink(mode, out, mode == "bar" ? milliseconds(100) : milliseconds(1000));
}

std::string DefaultProgressMode() {
    return ::isatty(STDOUT_FILENO) ? "bar" : "plain";
}

// ---------------------------------------------------------------------------------------------
// Progress window

LRESULT ProgressWindow::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case FLT_PROGRESS:
            SetProgress(static_cast<long long>(wParam), static_cast<long long>(lParam));
            return 0;
        case FLT_CHECKABORT:
        case FLT_CHECKABORT2:
            if (lParam && AbortRequested()) *reinterpret_cast<int *>(lParam) = 1;
            return AbortRequested() ? 1 : 0;
        case FLT_TEXTMSG:
        case FLT_TEXTMSG2:
            SetCaption(lParam ? reinterpret_cast<const char *>(lParam) : "");
            return 0;
        default:
            return 0;
    }
}

void ProgressWindow::BeginRun(int frameCount, int stepCount) {
    std::lock_guard<std::mutex> lock(mutex_);
    state_ = ProgressState{};
    state_.frameCount = frameCount;
    state_.stepCount = stepCount;
    lastPercent_ = -1.0;
}

void ProgressWindow::BeginFrame(int frame) {
    std::lock_guard<std::mutex> lock(mutex_);
    state_.frame = frame;
    state_.step = 0;
    state_.stepFraction = 0.0;
    state_.stepName.clear();
    state_.caption.clear();
}

void ProgressWindow::BeginStep(int step, const std::string &name) {
    std::lock_guard<std::mutex> lock(mutex_);
    state_.step = step;
    state_.stepFraction = 0.0;
    state_.stepName = name;
    state_.caption.clear();
    if (sink_) sink_->Status(state_);
    Emit(true);
}

void ProgressWindow::EndFrame(const std::string &error) {
    std::lock_guard<std::mutex> lock(mutex_);
    ++state_.framesDone;
    state_.step = 0;
    state_.stepFraction = 0.0;
    lastPercent_ = state_.Percent();
    lastEmit_ = std::chrono::steady_clock::now();
    if (sink_) sink_->FrameDone(state_, error);
}

void ProgressWindow::EndRun(int failed, bool aborted) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (sink_) sink_->RunDone(state_, failed, aborted);
}

void ProgressWindow::SetProgress(long long done, long long total) {
    if (total <= 0) return;
    std::lock_guard<std::mutex> lock(mutex_);
    state_.stepFraction = std::clamp(double(done) / double(total), 0.0, 1.0);
    Emit(false);
}

void ProgressWindow::SetCaption(const std::string &caption) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (caption == state_.caption) return;
    state_.caption = caption;
    if (sink_) sink_->Status(state_);
}

ProgressState ProgressWindow::State() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return state_;
}

void ProgressWindow::Emit(bool force) {
    if (!sink_) return;
    // Only a change of the shown percentage (one decimal) is worth a report, and no more
    // often than the sink wants (unless `force`, at step starts): filters report every
    // particle.
    const double p = std::round(state_.Percent() * 10.0) / 10.0;
    if (p == lastPercent_) return;
    const auto now = std::chrono::steady_clock::now();
    if (!force && now - lastEmit_ < sink_->Interval()) return;
    lastPercent_ = p;
    lastEmit_ = now;
    sink_->Progress(state_);
}

// ---------------------------------------------------------------------------------------------

void WindowRendProgress::SetTitle(const TCHAR *title) {
    window_.SetCaption(title ? title : "");
}

int WindowRendProgress::Progress(int done, int total) {
    window_.SetProgress(done, total);
    return window_.AbortRequested() ? RENDPROG_ABORT : RENDPROG_CONTINUE;
}
