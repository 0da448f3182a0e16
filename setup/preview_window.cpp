/// @file preview_window.cpp
/// @brief The preview window's controls, render requests, poll and region drag.
#include "setup/preview_window.h"

#include "framework/nimbra_interface.h"
#include "host/inode.h"
#include "host/interface.h"
#include "host/messages.h"

#include <algorithm>
#include <utility>

namespace {

using CS = PreviewWindow::ControlState;

/// The controls in layout order: caption, tooltip, check button, hidden.
constexpr std::array<CS, PreviewWindow::kControlCount> kControls = {{
    {"Preview", "Enables the preview window", true, false},
    {"Update", "Updates the preview window", false, false},
    {"Scene", "Includes the scene in the preview window", true, false},
    {"Max Regularity", "Disable Regularity", true, false},
    {"Max Density", "Disable Density", true, false},
    {"Shadows", "Disable Shadows", true, false},
    {"Step Size", "Multiply Step Size", true, false},
    {"Shadow Detail", "Decrease Shadow Detail", true, false},
    {"Selected Only", "Selected Nimbra Only", true, false},
    {"Region", "Render Region", true, false},
    {"Half Size", "Render Half Size", true, false},
    {"Current View", "Lock ViewPort", true, false},
    {"MakeBitmap", "View Bitmap", false, false},
    {"Stop", "Stop", false, false},
    {"Background", "Use Background Image", true, true},
    {"", "Background Image", false, true},
    {"Make AVI", "Render Preview AVI", false, true},
    {"Play AVI", "Play AVI", false, true},
}};

/// The controls a render disables (all but the render requests and Stop).
constexpr PreviewWindow::Control kOptions[] = {
    PreviewWindow::kMaxRegularity, PreviewWindow::kMaxDensity,
    PreviewWindow::kShadows,       PreviewWindow::kStepSize,
    PreviewWindow::kShadowDetail,  PreviewWindow::kSelectedOnly,
    PreviewWindow::kRegion,        PreviewWindow::kHalfSize,
    PreviewWindow::kCurrentView,   PreviewWindow::kMakeBitmap,
    PreviewWindow::kBackground,    PreviewWindow::kBackgroundImage};

/// The image file dialog's filters, in order.
const std::vector<std::pair<std::string, std::string>> kImageFilters = {
    {"All Formats",
     "*.avi;*.bmp;*.flc;*.fli;*.cel;*.gif;*.ifl;*.jpg;*.png;*.psd;*.rla;*.tga;*.vda;*.icb;"
     "*.vst;*.tif;*.yuv"},
    {"Adobe PSD file reader (Kinetix) (*.psd)", "*.psd"},
    {"Autodesk Flic Image File (*.flc,*.fli,*.cel)", "*.flc;*.fli;*.cel"},
    {"AVI File (*.avi)", "*.avi"},
    {"BMP Image File (*.bmp)", "*.bmp"},
    {"GIF Image File (*.gif)", "*.gif"},
    {"IFL Image File (*.ifl)", "*.ifl"},
    {"JPEG Image File (*.jpg)", "*.jpg"},
    {"PNG Image File (*.png)", "*.png"},
    {"RLA Image File (*.rla)", "*.rla"},
    {"Targe Image File (*.tga,*.vda,*.icb,*.vst)", "*.tga;*.vda;*.icb;*.vst"},
    {"TIF Image File (*.tif)", "*.tif"},
    {"YUV Image File (*.yuv)", "*.yuv"},
    {"All files (*.*)", "*.*"},
};

// Where the mouse may start and move a region drag, in window coordinates.
constexpr int kDragLeft = 6, kDragTop = 29, kDragRight = 320, kDragBottom = 228;
constexpr int kMoveLimitX = 340, kMoveLimitY = 300;

}  // namespace

PreviewWindow::PreviewWindow() : controls_(kControls) {
    NimbraInterface *iface = GetNimbraInterface();
    iface->SetDisableRegularity(0);
    iface->SetDisableDensity(0);
    iface->SetDisableShadows(0);
    iface->SetMultipleStepSize(0);
    iface->SetMultipleShadowDetail(0);
    iface->SetSelHelperOnly(0);
    iface->SetRegionRender(0);
    iface->SetHalfSizeMode(0);
    iface->SetApplyBackground(0);
    iface->SetBackgroundImage(nullptr);
    controls_[kStop].enabled = false;
}

PreviewWindow::~PreviewWindow() {
    manager_.RequestStop();
    manager_.Wait();
    manager_.Finish();
    GetNimbraInterface()->SetPreviewRendering(0);
}

void PreviewWindow::Open(ViewExp *view) {
    open_ = true;
    closing_ = false;
    TakeView(view);
    SetCaption(title_);
}

void PreviewWindow::TakeView(ViewExp *view) {
    view_ = view ? *view : *GetActiveViewport();
    INode *camera = view_.GetViewCamera();
    title_ = std::string(kTitlePrefix) + (camera ? camera->GetName() : kUserViewName);
}

bool PreviewWindow::Close() {
    if (!manager_.Abortable()) {
        MessageBox(this, kBusyText, PreviewManager::kMessageTitle, MB_OK);
        return false;
    }
    imageWindowShown_ = false;
    if (manager_.Busy()) {
        manager_.RequestStop();
        closing_ = true;
    }
    waitDialogOpen_ = false;
    open_ = false;
    return true;
}

void PreviewWindow::Press(Control c) {
    ControlState &control = controls_[c];
    if (!control.enabled || (control.hidden && c != kBackgroundImage)) return;
    if (control.check) control.checked = !control.checked;
    switch (c) {
        case kPreview:
        case kUpdate:
        case kScene:
            RequestRender();
            break;
        case kRegion:
            ++imageVersion_;  // the frame appears or goes
            break;
        case kMakeBitmap:
            imageWindowShown_ = manager_.GetBitmap() != nullptr;
            break;
        case kStop:
            if (manager_.Busy()) manager_.RequestStop();
            break;
        case kBackgroundImage:
            ChooseBackgroundImage();
            break;
        default:
            ApplyOption(c);
    }
}

void PreviewWindow::SelectFlyOff(Control c, int entry) {
    if ((c != kStepSize && c != kShadowDetail) || !controls_[c].enabled) return;
    (c == kStepSize ? stepEntry_ : detailEntry_) = std::clamp(entry, 0, kFlyOffEntries - 1);
    ApplyOption(c);
}

void PreviewWindow::ApplyOption(Control c) {
    NimbraInterface *iface = GetNimbraInterface();
    const int on = controls_[c].checked ? 1 : 0;
    switch (c) {
        case kMaxRegularity:
            iface->SetDisableRegularity(on);
            break;
        case kMaxDensity:
            iface->SetDisableDensity(on);
            break;
        case kShadows:
            iface->SetDisableShadows(on);
            break;
        case kStepSize:
            iface->SetMultipleStepSize(on);
            iface->SetStepSizeAmount(static_cast<float>(stepEntry_ + 2));
            break;
        case kShadowDetail:
            iface->SetMultipleShadowDetail(on);
            iface->SetShadowDetail(static_cast<float>(detailEntry_ + 2));
            break;
        case kSelectedOnly:
            iface->SetSelHelperOnly(on);
            break;
        case kHalfSize:
            iface->SetHalfSizeMode(on);
            break;
        default:
            break;  // Lock ViewPort and the background switch are read when needed
    }
}

void PreviewWindow::SetOptionsEnabled(bool on) {
    for (Control c : kOptions) controls_[c].enabled = on;
    controls_[kStop].enabled = !on;
    controls_[kStop].checked = false;
    if (on) SetBackgroundControls();
}

void PreviewWindow::SetBackgroundControls() {
    const bool scene = controls_[kScene].checked;
    if (scene) controls_[kBackground].checked = false;
    controls_[kBackground].enabled = !scene;
    controls_[kBackgroundImage].enabled = !scene;
}

void PreviewWindow::ChooseBackgroundImage() {
    FileChoiceRequest request;
    request.owner = this;
    request.title = controls_[kBackgroundImage].tooltip;
    request.initialPath = backgroundPath_;
    request.filters = kImageFilters;
    if (auto path = GetUserInterface().ChooseFile(request)) backgroundPath_ = *path;
}

void PreviewWindow::RequestRender() {
    imageWindowShown_ = false;
    if (!manager_.Abortable()) {
        MessageBox(this, kBusyText, PreviewManager::kMessageTitle, MB_OK);
        return;
    }
    previewOn_ = controls_[kPreview].checked;
    sceneOn_ = controls_[kScene].checked;
    SetBackgroundControls();
    if (!previewOn_) return;

    SetOptionsEnabled(false);
    Interface *ip = GetCOREInterface();
    SetCaption(kCollectingCaption);
    ip->SetTime(ip->GetTime());  // evaluates the particle systems at the current time
    SetCaption(kShadowsCaption);

    NimbraInterface *iface = GetNimbraInterface();
    iface->SetPreviewRendering(1);
    iface->SetRegionRender(controls_[kRegion].checked ? 1 : 0);
    iface->SetRegion(RegionFrame());

    progressPosition_ = 0;
    progressRange_ = 1;
    shownTotal_ = 0;
    manager_.SetIncludeScene(sceneOn_);
    if (!controls_[kCurrentView].checked) TakeView(nullptr);
    manager_.SetView(&view_);
    if (manager_.Busy())
        manager_.RequestRestart();
    else
        manager_.Start(this);
    timerRunning_ = true;
    waitDialogOpen_ = true;
}

void PreviewWindow::Tick() {
    if (!timerRunning_) return;
    const int total = manager_.ProgressTotal();
    if (total != shownTotal_) {
        progressRange_ = total;
        shownTotal_ = total;
    }
    progressPosition_ = manager_.ProgressDone();
    if (manager_.Busy()) return;
    Finished();
}

void PreviewWindow::Finished() {
    waitDialogOpen_ = false;
    timerRunning_ = false;
    progressPosition_ = 0;
    progressRange_ = 1;
    if (!closing_) ++imageVersion_;
    SetCaption(title_);
    manager_.Finish();
    SetOptionsEnabled(true);
    GetNimbraInterface()->SetPreviewRendering(0);
}

RECT PreviewWindow::RegionFrame() const {
    return {std::min(regionX0_, regionX1_), std::min(regionY0_, regionY1_),
            std::max(regionX0_, regionX1_), std::max(regionY0_, regionY1_)};
}

void PreviewWindow::SetRegionCorner(int x, int y) {
    regionX1_ = std::clamp(x - kDragLeft, 0, PreviewManager::kWidth);
    regionY1_ = std::clamp(y - kDragTop, 0, PreviewManager::kHeight);
    ++imageVersion_;
}

void PreviewWindow::MouseDown(int x, int y) {
    if (!controls_[kRegion].checked || x < kDragLeft || x > kDragRight || y < kDragTop ||
        y > kDragBottom)
        return;
    regionX0_ = regionX1_ = x - kDragLeft;
    regionY0_ = regionY1_ = y - kDragTop;
    captured_ = true;
    ++imageVersion_;
}

void PreviewWindow::MouseMove(int x, int y) {
    if (!captured_ || x > kMoveLimitX || y > kMoveLimitY) return;
    SetRegionCorner(x, y);
}

void PreviewWindow::MouseUp(int x, int y) {
    if (!captured_) return;
    SetRegionCorner(x, y);
    captured_ = false;
}

std::string PreviewWindow::Caption() const {
    std::lock_guard<std::mutex> lock(captionMutex_);
    return caption_;
}

void PreviewWindow::SetCaption(const std::string &caption) {
    std::lock_guard<std::mutex> lock(captionMutex_);
    caption_ = caption;
}

LRESULT PreviewWindow::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case FLT_PROGRESS:
            manager_.SetFilterProgress(static_cast<int>(wParam), static_cast<int>(lParam));
            return 0;
        case FLT_CHECKABORT:
        case FLT_CHECKABORT2:
            if (lParam) *reinterpret_cast<int *>(lParam) = manager_.AbortRequested() ? 1 : 0;
            return 0;
        case FLT_TEXTMSG:
        case FLT_TEXTMSG2:
            if (lParam) SetCaption(reinterpret_cast<const char *>(lParam));
            return 0;
        default:
            return 0;
    }
}
