/// @file shader_setup_dialog.cpp
/// @brief The setup dialog model of "Nimbra Shader".
#include "renderer/shader_setup_dialog.h"

#include "renderer/shader_filter.h"

#include <algorithm>
#include <cmath>

namespace {

float SpinnerDuration(float v) {
    if (!std::isfinite(v)) v = ShaderSetupDialog::kMinDuration;
    return std::clamp(v, ShaderSetupDialog::kMinDuration, ShaderSetupDialog::kMaxDuration);
}

int SpinnerSubdivisions(int v) {
    return std::clamp(v, ShaderSetupDialog::kMinSubdivisions,
                      ShaderSetupDialog::kMaxSubdivisions);
}

}  // namespace

void ShaderSetupDialog::Open() {
    keptVersion_ = filter_.configVersion;
    keptMotionBlur_ = filter_.motionBlur;
    keptDuration_ = filter_.blurDuration;
    keptSubdivisions_ = filter_.blurSubdivisions;
    motionBlur_ = filter_.motionBlur != 0;
    duration_ = SpinnerDuration(filter_.blurDuration);
    subdivisions_ = SpinnerSubdivisions(filter_.blurSubdivisions);
}

void ShaderSetupDialog::ClickMotionBlur(bool checked) {
    motionBlur_ = checked;
    filter_.motionBlur = checked ? 1 : 0;
}

void ShaderSetupDialog::SetSpinners(float duration, int subdivisions) {
    duration_ = SpinnerDuration(duration);
    subdivisions_ = SpinnerSubdivisions(subdivisions);
    filter_.blurDuration = duration_;
    filter_.blurSubdivisions = subdivisions_;
}

int ShaderSetupDialog::Ok() {
    return kResultOk;
}

int ShaderSetupDialog::Cancel() {
    filter_.configVersion = keptVersion_;
    filter_.motionBlur = keptMotionBlur_;
    filter_.blurDuration = keptDuration_;
    filter_.blurSubdivisions = keptSubdivisions_;
    motionBlur_ = keptMotionBlur_ != 0;
    duration_ = SpinnerDuration(keptDuration_);
    subdivisions_ = SpinnerSubdivisions(keptSubdivisions_);
    return kResultCancel;
}
