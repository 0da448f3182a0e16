/// @file view_only_progress.h
/// @brief A renderer progress callback that stops a render as soon as its view is prepared:
///        the bitmap then carries the frame's `RenderInfo` (projection, transforms, times)
///        without the cost of rendering the scene.
#pragma once

#include "host/renderer.h"

#include <cstring>

class ViewOnlyProgress : public RendProgressCallback {
public:
    /// The title the renderer shows once the view and materials are set up.
    static constexpr char kPreparedTitle[] = "Preparing Materials";

    void SetTitle(const TCHAR *title) override {
        if (title && std::strcmp(title, kPreparedTitle) == 0) prepared_ = true;
    }
    /// Stops at the first report with a total after the title: the render has nothing more
    /// to give.
    int Progress(int, int total) override {
        return prepared_ && total > 0 ? RENDPROG_ABORT : RENDPROG_CONTINUE;
    }

private:
    bool prepared_ = false;
};
