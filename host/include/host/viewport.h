/// @file viewport.h
/// @brief Viewports: the view an interactive preview renders, either through a camera node
///        or as a free user view with its own transform, field of view and projection.
#pragma once

#include "host/geom.h"
#include "host/types.h"

#include <string>

class INode;

/// One viewport. There is no screen behind it: it holds what a viewport shows.
class ViewExp {
public:
    /// The camera node the viewport looks through (looked up by name, so a deleted camera
    /// gives null), or null for a user view.
    INode *GetViewCamera() const;
    /// Looks through `camera`; null makes it a user view.
    void SetViewCamera(INode *camera);

    // The user view
    /// World to view; the view looks down its −z axis.
    void GetAffineTM(Matrix3 &tm) const { tm = affineTM_; }
    void SetAffineTM(const Matrix3 &tm) { affineTM_ = tm; }
    /// Horizontal field of view in radians.
    float GetFOV() const { return fov_; }
    void SetFOV(float fov) { fov_ = fov; }
    BOOL IsPerspView() const { return perspective_ ? TRUE : FALSE; }
    void SetPerspView(BOOL on) { perspective_ = on != FALSE; }

private:
    std::string camera_;
    Matrix3 affineTM_;
    float fov_ = 0.785398f;
    bool perspective_ = true;
};

/// The viewport the user works in: a perspective user view until changed.
ViewExp *GetActiveViewport();
