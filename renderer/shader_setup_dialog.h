/// @file shader_setup_dialog.h
/// @brief The setup dialog of "Nimbra Shader" ("Nimbra Filter") as a window-free model: what
///        its controls show, what each user action stores in the filter, and what Cancel
///        restores. A user interface draws it and forwards the user's actions.
#pragma once

#include "framework/nimbra_api.h"

#include <cstdint>

class NimbraShaderFilter;

class NIMBRA_API ShaderSetupDialog {
public:
    static constexpr char kTitle[] = "Nimbra Filter";
    // Controls
    static constexpr int kMotionBlurCheck = 1096;
    static constexpr int kDurationEdit = 1064;
    static constexpr int kSubdivisionsEdit = 1065;
    static constexpr int kDurationSpinner = 1066;
    static constexpr int kSubdivisionsSpinner = 1067;
    // Spinner ranges: "Duration (frames):" is a float spinner, "Duration Subdivisions:" an
    // integer one.
    static constexpr float kMinDuration = 0.00001f;
    static constexpr float kMaxDuration = 100.0f;
    static constexpr float kDurationScale = 0.05f;
    static constexpr int kMinSubdivisions = 2;
    static constexpr int kMaxSubdivisions = 1000;
    // Results
    static constexpr int kResultOk = 1;
    static constexpr int kResultCancel = 0;

    explicit ShaderSetupDialog(NimbraShaderFilter &filter) : filter_(filter) {}

    /// Opening: the controls show the filter's settings (the spinners within their ranges)
    /// and the four configuration fields are kept for Cancel.
    void Open();

    // What the controls show
    bool MotionBlurChecked() const { return motionBlur_; }
    float Duration() const { return duration_; }
    int Subdivisions() const { return subdivisions_; }

    // User actions; each stores in the filter at once
    /// A click on "Motion Blur".
    void ClickMotionBlur(bool checked);
    /// A spinner change or an edit confirmed: both spinner values are stored (each limited to
    /// its spinner's range).
    void SetSpinners(float duration, int subdivisions);

    /// OK: the settings stay. kResultOk.
    int Ok();
    /// Cancel: the four kept fields come back. kResultCancel.
    int Cancel();

private:
    NimbraShaderFilter &filter_;
    bool motionBlur_ = false;
    float duration_ = kMinDuration;
    int subdivisions_ = kMinSubdivisions;
    // The fields as they were when the dialog opened.
    std::int32_t keptVersion_ = 0;
    std::int32_t keptMotionBlur_ = 0;
    float keptDuration_ = 0.0f;
    std::int32_t keptSubdivisions_ = 0;
};
