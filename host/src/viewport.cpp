/// @file viewport.cpp
/// @brief The active viewport and the camera lookup of a viewport.
#include "host/viewport.h"

#include "host/inode.h"
#include "host/interface.h"

INode *ViewExp::GetViewCamera() const {
    return camera_.empty() ? nullptr : GetCOREInterface()->GetINodeByName(camera_.c_str());
}

void ViewExp::SetViewCamera(INode *camera) {
    camera_ = camera ? camera->GetName() : "";
}

ViewExp *GetActiveViewport() {
    static ViewExp active;
    return &active;
}
