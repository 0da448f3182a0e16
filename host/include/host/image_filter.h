/// @file image_filter.h
/// @brief Image filters of the post-production queue: the `ImageFilter` base that filter
///        classes (super class FLT_CLASS_ID) derive from, and the frame range it runs in.
#pragma once

#include "host/bitmap.h"
#include "host/class_desc.h"
#include "host/types.h"
#include "host/window.h"

#include <algorithm>
#include <cstdint>

// Capability bits (`ImageFilter::Capability`).
constexpr DWORD IMGFLT_NONE = 0;
constexpr DWORD IMGFLT_MASK = 1 << 0;        ///< uses a mask
constexpr DWORD IMGFLT_CONTROL = 1 << 1;     ///< has a setup dialog
constexpr DWORD IMGFLT_FILTER = 1 << 2;      ///< filters one image in place
constexpr DWORD IMGFLT_COMPOSITOR = 1 << 3;  ///< combines two images (not run by this queue)

/// The frames of a queue run and the one being rendered.
class FrameRange {
public:
    FrameRange() = default;
    FrameRange(int first, int last, int current)
        : first_(first), last_(last), current_(current) {}
    int First() const { return first_; }
    int Last() const { return last_; }
    int Count() const { return last_ - first_ + 1; }
    /// The frame being rendered.
    int Current() const { return current_; }
    void SetCurrent(int frame) { current_ = frame; }

private:
    int first_ = 0;
    int last_ = 0;
    int current_ = 0;
};

/// What the queue tells a filter about the run.
class ImageFilterInfo {
public:
    FrameRange QueueRange;  ///< frames of the run; `Current()` is the frame being rendered
    int width = 0;          ///< size of the queue's frames
    int height = 0;
};

/// An image filter. The queue creates it from its class (whose `Create` returns the
/// `ImageFilter*` as void*), hands it its configuration block, and per frame sets the source
/// image (`srcmap`: the frame, carrying the channels `ChannelsRequired` asks for) and calls
/// `Render` with the progress window. The filter changes the source image in place.
class ImageFilter {
public:
    ImageFilter() = default;
    ImageFilter(const ImageFilter &) = delete;
    ImageFilter &operator=(const ImageFilter &) = delete;
    virtual ~ImageFilter() = default;
    virtual void DeleteThis() { delete this; }

    // Identity
    virtual const TCHAR *Description() = 0;
    virtual const TCHAR *AuthorName() { return ""; }
    virtual const TCHAR *CopyrightMessage() { return ""; }
    virtual UINT Version() { return 100; }
    virtual DWORD Capability() { return IMGFLT_FILTER; }

    // Dialogs (modal; the owner may be null)
    virtual void ShowAbout(HWND hWnd) {}
    /// The setup dialog; TRUE when the user confirmed it.
    virtual BOOL ShowControl(HWND hWnd) { return FALSE; }

    // Configuration: a block of `EvaluateConfigure()` bytes that the queue stores
    virtual DWORD EvaluateConfigure() { return 0; }
    /// Takes the settings from a block; FALSE (settings unchanged) when it refuses it.
    virtual BOOL LoadConfigure(void *ptr) { return TRUE; }
    /// Writes the settings into a block of `EvaluateConfigure()` bytes.
    virtual BOOL SaveConfigure(void *ptr) { return TRUE; }

    // Rendering
    /// Channels the filter needs on its source image (BMM_CHAN_Z, BMM_CHAN_MTL_ID).
    virtual DWORD ChannelsRequired() { return BMM_CHAN_NONE; }
    /// Filters the source image for the current frame. `hWnd` is the progress window (see
    /// window.h for its messages). TRUE on success, FALSE on failure.
    virtual BOOL Render(HWND hWnd) = 0;

    /// 16-bit blend: w = 0 gives a, w = 65535 gives b, rounded to the nearest integer in
    /// between; w is limited to 0 … 65535.
    static int Lerp(int a, int b, int w) {
        w = std::clamp(w, 0, 65535);
        const std::int64_t d = static_cast<std::int64_t>(b - a) * w;
        return a + static_cast<int>((d + (d >= 0 ? 32767 : -32767)) / 65535);
    }

    // Set by the host
    Bitmap *SourceMap() const { return srcmap; }
    void SetSourceMap(Bitmap *map) { srcmap = map; }
    ImageFilterInfo *FilterInfo() const { return ifi; }
    /// The run's information; null restores the filter's own (a single frame 0).
    void SetFilterInfo(ImageFilterInfo *info) { ifi = info ? info : &ownInfo_; }

protected:
    Bitmap *srcmap = nullptr;          ///< the image to filter; not owned
    ImageFilterInfo *ifi = &ownInfo_;  ///< never null

private:
    ImageFilterInfo ownInfo_;
};
