/// @file blur_setup_dialog.cpp
/// @brief The setup dialog model of " Nimbra Motion Blur".
#include "renderer/blur_setup_dialog.h"

#include "renderer/blur_filter.h"
#include "host/inode.h"
#include "host/interface.h"

#include <algorithm>
#include <cmath>

namespace {

/// Adds the names of the camera nodes below `node`, depth first in child order.
void AddCameras(INode *node, std::vector<std::string> &names) {
    for (int i = 0; i < node->NumberOfChildren(); ++i) {
        INode *child = node->GetChildNode(i);
        if (IsCameraNode(child)) names.emplace_back(child->GetName());
        AddCameras(child, names);
    }
}

}  // namespace

void BlurSetupDialog::Open() {
    keptVersion_ = filter_.configVersion;
    keptCamera_ = filter_.cameraName;
    keptDuration_ = filter_.duration;
    keptSubFrames_ = filter_.subFrames;
    keptDither_ = filter_.dither;
    cameras_.clear();
    AddCameras(GetCOREInterface()->GetRootNode(), cameras_);
    const auto found = std::find(cameras_.begin(), cameras_.end(), filter_.cameraName);
    selected_ = cameras_.empty()          ? -1
                : found == cameras_.end() ? 0
                                          : static_cast<int>(found - cameras_.begin());
    SetDuration(filter_.duration);
    SetSubFrames(filter_.subFrames);
    SetDither(filter_.dither);
}

std::string BlurSetupDialog::CameraText() const {
    return filter_.cameraName.empty() ? kNoCameraText : filter_.cameraName;
}

void BlurSetupDialog::ChooseCamera(int index) {
    if (index < 0 || index >= static_cast<int>(cameras_.size())) return;
    selected_ = index;
    filter_.cameraName = cameras_[index];
}

bool BlurSetupDialog::PickCamera(INode *node) {
    if (!IsCameraNode(node)) return false;
    filter_.cameraName = node->GetName();
    const auto found = std::find(cameras_.begin(), cameras_.end(), filter_.cameraName);
    if (found != cameras_.end()) selected_ = static_cast<int>(found - cameras_.begin());
    return true;
}

void BlurSetupDialog::SetDuration(float frames) {
    duration_ =
        std::isfinite(frames) ? std::clamp(frames, kMinDuration, kMaxDuration) : kMinDuration;
}

void BlurSetupDialog::SetSubFrames(int count) {
    subFrames_ = std::clamp(count, kMinSubFrames, kMaxSubFrames);
}

void BlurSetupDialog::SetDither(int percent) {
    dither_ = std::clamp(percent, kMinDither, kMaxDither);
}

int BlurSetupDialog::Ok() {
    filter_.duration = duration_;
    filter_.subFrames = subFrames_;
    filter_.dither = dither_;
    return kResultOk;
}

int BlurSetupDialog::Cancel() {
    filter_.configVersion = keptVersion_;
    filter_.cameraName = keptCamera_;
    filter_.duration = keptDuration_;
    filter_.subFrames = keptSubFrames_;
    filter_.dither = keptDither_;
    Open();
    return kResultCancel;
}
