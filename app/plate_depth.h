/// @file plate_depth.h
/// @brief The depth of a plate kept in files of its own: an image filter the queue runs right
///        after the plate event, which takes the frame's depth from the `Z` channel of the
///        depth file of that frame.
#pragma once

#include "host/image_filter.h"

#include <string>

class PlateDepthFilter : public ImageFilter {
public:
    /// `pattern` names the depth file of each frame (see ExpandFramePattern).
    explicit PlateDepthFilter(std::string pattern) : pattern_(std::move(pattern)) {}

    const TCHAR *Description() override { return "Plate depth"; }
    DWORD ChannelsRequired() override { return BMM_CHAN_Z; }
    /// Throws (the queue then fails the frame with the message) when the file cannot be read,
    /// has no depth channel or another size than the frame.
    BOOL Render(HWND hWnd) override;

private:
    std::string pattern_;
};
