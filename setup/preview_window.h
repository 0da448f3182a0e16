/// @file preview_window.h
/// @brief The preview window "Nimbra - Preview" as a model without a screen: its switches,
///        which are the render settings of the interface object, render requests, Stop, the
///        render region drawn with the mouse, progress, and the poll that notices a finished
///        render. A user interface draws what it holds and forwards the user's actions.
#pragma once

#include "setup/preview_manager.h"

#include <array>
#include <mutex>
#include <string>

/// One per process in the program; every method but the filter messages and the switch reads
/// of `PreviewClient` runs on the user-interface thread.
class NIMBRA_API PreviewWindow : public PreviewClient {
public:
    /// The controls, in layout order.
    enum Control {
        kPreview,
        kUpdate,
        kScene,
        kMaxRegularity,
        kMaxDensity,
        kShadows,
        kStepSize,
        kShadowDetail,
        kSelectedOnly,
        kRegion,
        kHalfSize,
        kCurrentView,
        kMakeBitmap,
        kStop,
        kBackground,
        kBackgroundImage,
        kMakeAvi,
        kPlayAvi,
        kControlCount
    };
    struct ControlState {
        const char *caption;
        const char *tooltip;
        bool check;   ///< a check button (else a push button)
        bool hidden;  ///< not shown to the user
        bool checked = false;
        bool enabled = true;
    };

    static constexpr char kWindowTitle[] = "Nimbra - Preview";
    static constexpr char kTitlePrefix[] = "Nimbra - ";
    static constexpr char kUserViewName[] = "User Defined View";
    static constexpr char kBusyText[] =
        "The render engine is currently busy, and can not be closed.\n\nPlease wait...";
    static constexpr char kCollectingCaption[] = "Collecting particles (please wait)";
    static constexpr char kShadowsCaption[] = "Computing shadows...";
    /// Entries of the Step Size and Shadow Detail fly-offs; entry i stands for factor i + 2.
    static constexpr int kFlyOffEntries = 5;
    /// The image area: size and position in the window.
    static constexpr int kImageX = 8, kImageY = 32;
    /// The default render region, in image pixels.
    static constexpr RECT kDefaultRegion{5, 5, 309, 194};
    /// How often the caller should call `Tick` while `TimerRunning`.
    static constexpr int kTimerMilliseconds = 250;

    /// Resets the interface's preview settings (all off, no background image).
    PreviewWindow();
    /// Stops a running render, waits for it, and ends preview rendering.
    ~PreviewWindow() override;

    // Opening and closing
    /// Opens the window (if closed) on `view` (null: the active viewport) and sets the title.
    void Open(ViewExp *view);
    /// Closes the window unless a render is starting (then the busy message; false). A running
    /// render is stopped; keep calling `Tick` until `TimerRunning` is false.
    bool Close();
    bool IsOpen() const { return open_; }

    // Controls
    const ControlState &GetControl(Control c) const { return controls_[c]; }
    /// A click on a control: a check button toggles, then the control acts. Disabled or hidden
    /// controls ignore it (the background image button excepted, which is only hidden).
    void Press(Control c);
    /// Chooses fly-off entry 0 … 4 of Step Size or Shadow Detail (factor entry + 2) and
    /// applies the setting with the button's current check state.
    void SelectFlyOff(Control c, int entry);
    int FlyOffEntry(Control c) const { return c == kStepSize ? stepEntry_ : detailEntry_; }

    // Region, in image pixels
    /// The two corners as dragged (x0, y0, x1, y1), not ordered.
    RECT RegionCorners() const { return {regionX0_, regionY0_, regionX1_, regionY1_}; }
    /// The region ordered (left ≤ right, top ≤ bottom): the frame drawn and the interface's.
    RECT RegionFrame() const;
    /// Mouse in window coordinates; only while Region is on.
    void MouseDown(int x, int y);
    void MouseMove(int x, int y);
    void MouseUp(int x, int y);
    bool MouseCaptured() const { return captured_; }

    // What is shown
    std::string Title() const { return title_; }
    /// The window's caption: the title, or what a render says it is doing.
    std::string Caption() const;
    int ProgressPosition() const { return progressPosition_; }
    int ProgressRange() const { return progressRange_; }
    /// Counts the preview image's redraws (a finished render, a region change).
    int ImageVersion() const { return imageVersion_; }
    /// The preview (314 × 199), null before the first render; stable while no render runs.
    Bitmap *Image() const { return manager_.Busy() ? nullptr : manager_.GetBitmap(); }
    /// "View Bitmap" shows the image in an image window titled kWindowTitle.
    bool ImageWindowShown() const { return imageWindowShown_; }
    void CloseImageWindow() { imageWindowShown_ = false; }
    const std::string &BackgroundPath() const { return backgroundPath_; }

    // Rendering
    /// The poll: call every kTimerMilliseconds while `TimerRunning`.
    void Tick();
    bool TimerRunning() const { return timerRunning_; }
    /// The invisible modal dialog that keeps the host's own windows disabled while rendering.
    bool WaitDialogOpen() const { return waitDialogOpen_; }
    PreviewManager &Manager() { return manager_; }
    const PreviewManager &Manager() const { return manager_; }

    // The preview's window, as the worker and the filters see it
    bool PreviewSwitch() const override { return previewOn_; }
    bool SceneSwitch() const override { return sceneOn_; }
    void SetCaption(const std::string &caption) override;
    /// Filter progress, abort query and caption messages.
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    void RequestRender();
    void Finished();
    void ApplyOption(Control c);
    void SetOptionsEnabled(bool on);
    void SetBackgroundControls();
    void ChooseBackgroundImage();
    void SetRegionCorner(int x, int y);
    void TakeView(ViewExp *view);

    std::array<ControlState, kControlCount> controls_;
    PreviewManager manager_;
    ViewExp view_;
    bool open_ = false;
    bool closing_ = false;
    bool timerRunning_ = false;
    bool waitDialogOpen_ = false;
    bool imageWindowShown_ = false;
    bool captured_ = false;
    std::atomic<bool> previewOn_{false}, sceneOn_{false};  // captured at the request
    int stepEntry_ = 0, detailEntry_ = 0;
    long regionX0_ = kDefaultRegion.left, regionY0_ = kDefaultRegion.top;
    long regionX1_ = kDefaultRegion.right, regionY1_ = kDefaultRegion.bottom;
    int shownTotal_ = 0;
    int progressPosition_ = 0, progressRange_ = 1;
    int imageVersion_ = 0;
    std::string title_ = kWindowTitle;
    std::string backgroundPath_;
    mutable std::mutex captionMutex_;  // the worker sets captions
    std::string caption_;
};
