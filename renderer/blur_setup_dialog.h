/// @file blur_setup_dialog.h
/// @brief The setup dialog of " Nimbra Motion Blur" as a window-free model: the camera list,
///        the spinners with their ranges, what OK stores and what Cancel restores. A user
///        interface draws it and forwards the user's actions.
#pragma once

#include "renderer/blur_filter.h"
#include "framework/nimbra_api.h"

#include <cstdint>
#include <string>
#include <vector>

class INode;

class NIMBRA_API BlurSetupDialog {
public:
    static constexpr char kTitle[] = "Nimbra Motion Blur";
    /// What the camera's static text shows while no camera is chosen.
    static constexpr char kNoCameraText[] = "Undefined";
    // Spinner ranges
    static constexpr float kMinDuration = 0.0f;
    static constexpr float kMaxDuration = NimbraBlurFilter::kMaxDuration;
    static constexpr float kDurationScale = 0.1f;
    static constexpr int kMinSubFrames = 2;
    static constexpr int kMaxSubFrames = NimbraBlurFilter::kMaxSubFrames;
    static constexpr int kMinDither = 0;
    static constexpr int kMaxDither = NimbraBlurFilter::kMaxDither;
    // Results
    static constexpr int kResultOk = 1;
    static constexpr int kResultCancel = 0;

    explicit BlurSetupDialog(NimbraBlurFilter &filter) : filter_(filter) {}

    /// Opening: the camera list holds every camera node of the scene, depth first in child
    /// order, with the filter's camera selected (the first entry when it is not among them);
    /// the spinners show the filter's settings within their ranges; the whole configuration
    /// is kept for Cancel.
    void Open();

    // What the controls show
    const std::vector<std::string> &Cameras() const { return cameras_; }
    /// Index of the selected camera; −1 when the list is empty.
    int SelectedCamera() const { return selected_; }
    /// The static text: the filter's camera name, or kNoCameraText.
    std::string CameraText() const;
    float Duration() const { return duration_; }
    int SubFrames() const { return subFrames_; }
    int Dither() const { return dither_; }

    // User actions
    /// An entry of the camera list chosen: its name becomes the filter's camera at once.
    void ChooseCamera(int index);
    /// A node picked in the scene: taken as the camera (true) when it is one.
    bool PickCamera(INode *node);
    /// Spinner changes; each value is limited to its spinner's range and stored on OK.
    void SetDuration(float frames);
    void SetSubFrames(int count);
    void SetDither(int percent);

    /// OK: the spinners' values are stored. kResultOk.
    int Ok();
    /// Cancel: the configuration comes back as it was when the dialog opened. kResultCancel.
    int Cancel();

private:
    NimbraBlurFilter &filter_;
    std::vector<std::string> cameras_;
    int selected_ = -1;
    float duration_ = kMinDuration;
    int subFrames_ = kMinSubFrames;
    int dither_ = kMinDither;
    // The configuration as it was when the dialog opened
    std::int32_t keptVersion_ = 0;
    std::string keptCamera_;
    float keptDuration_ = 0.0f;
    std::int32_t keptSubFrames_ = 0;
    std::int32_t keptDither_ = 0;
};
