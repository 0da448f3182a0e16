/// @file plate_depth.cpp
/// @brief Copying a depth file's `Z` channel into the frame.
#include "plate_depth.h"

#include "host/image_file.h"

#include <algorithm>
#include <stdexcept>

BOOL PlateDepthFilter::Render(HWND hWnd) {
    // Failures throw: the queue reports the message with the step and fails the frame.
    Bitmap *frame = SourceMap();
    if (!frame || !frame->DepthChannel())
        throw std::runtime_error("the frame has no depth channel");
    const std::string path = ExpandFramePattern(pattern_, FilterInfo()->QueueRange.Current());
    const BitmapPtr depth = ReadImageFile(path);
    if (!depth->DepthChannel()) throw std::runtime_error(path + ": no depth (Z) channel");
    if (depth->Width() != frame->Width() || depth->Height() != frame->Height())
        throw std::runtime_error(path + ": depth of " + std::to_string(depth->Width()) + " x " +
                                 std::to_string(depth->Height()) + " pixels for a frame of " +
                                 std::to_string(frame->Width()) + " x " +
                                 std::to_string(frame->Height()));
    const float *src = depth->DepthChannel();
    std::copy(src, src + std::size_t(frame->Width()) * frame->Height(), frame->DepthChannel());
    if (hWnd) SendMessage(hWnd, FLT_PROGRESS, 1, 1);
    return TRUE;
}
