/// @file bitmap.h
/// @brief Bitmaps: 64-bit RGBA pixels (16 bits per channel, premultiplied alpha), optional
///        depth and material-ID channels, the frame's `RenderInfo`, and the manager that
///        creates them.
///
/// Pixel access never leaves the image: a read outside answers a zero pixel and reports
/// failure (0), a write outside does nothing and reports failure. The single-pixel accessors
/// are inline and allocate nothing, so inner loops may call them per pixel.
#pragma once

#include "host/geom.h"
#include "host/render_info.h"
#include "host/types.h"

#include <cstddef>
#include <memory>

// Bitmap types (`BitmapInfo::Type`). Pixels are always stored as 64-bit RGBA; the type
// records what the creator asked for.
constexpr int BMM_TRUE_32 = 6;  ///< 8 bits per channel with alpha
constexpr int BMM_TRUE_64 = 7;  ///< 16 bits per channel with alpha

// Bitmap flags (`BitmapInfo::Flags`).
constexpr DWORD MAP_HAS_ALPHA = 2;

// Filter types (`BitmapInfo::FilterType`): how a sampler would filter the image. Kept with
// the bitmap for whoever samples it; pixel access ignores it.
constexpr int BMM_FILTER_NONE = 0;
constexpr int BMM_FILTER_SUM = 2;
constexpr int BMM_FILTER_PYRAMID = 3;

// Channel identifiers: bits, so that a set of channels is their sum (an image filter's
// `ChannelsRequired` answers such a set).
constexpr ULONG BMM_CHAN_NONE = 0;
constexpr ULONG BMM_CHAN_Z = 1;       ///< camera-space depth, one float per pixel
constexpr ULONG BMM_CHAN_MTL_ID = 2;  ///< material ID, one byte per pixel
constexpr ULONG BMM_CHAN_ALL = BMM_CHAN_Z | BMM_CHAN_MTL_ID;

// Channel element types, answered by `GetChannel`.
constexpr ULONG BMM_CHAN_TYPE_UNKNOWN = 0;
constexpr ULONG BMM_CHAN_TYPE_8 = 2;   ///< one byte per pixel
constexpr ULONG BMM_CHAN_TYPE_32 = 8;  ///< one 32-bit float per pixel

/// Depth of a pixel where nothing was rendered: the farthest camera-space z. A new depth
/// channel starts with it, and the scene renderer writes it where no ray hit anything.
constexpr float kFarDepth = -1.0e30f;

// `CopyImage` operations.
constexpr int COPY_IMAGE_CROP = 0;  ///< top-left aligned copy; uncovered pixels get the fill
constexpr int COPY_IMAGE_RESIZE_LO = 1;  ///< scaled copy, nearest pixel
constexpr int COPY_IMAGE_RESIZE_HI =
    2;  ///< scaled copy, tent filter (bilinear / area-weighted)

/// Largest side and largest pixel count (16384 × 16384, 2 GiB of colour) that `Create`
/// accepts: larger requests are mistakes, and refusing them beats touching gigabytes.
constexpr int kMaxBitmapSide = 65535;
constexpr std::size_t kMaxBitmapPixels = std::size_t(1) << 28;

/// What a bitmap should be: type, flags, size.
class BitmapInfo {
public:
    BitmapInfo() = default;
    BitmapInfo(int type, DWORD flags, int width, int height)
        : type_(type), flags_(flags), width_(width), height_(height) {}

    int Type() const { return type_; }
    void SetType(int t) { type_ = t; }
    DWORD Flags() const { return flags_; }
    void SetFlags(DWORD f) { flags_ = f; }
    DWORD CustomFlag() const { return customFlag_; }
    void SetCustomFlag(DWORD f) { customFlag_ = f; }
    int FilterType() const { return filterType_; }
    void SetFilterType(int f) { filterType_ = f; }
    int Width() const { return width_; }
    void SetWidth(int w) { width_ = w; }
    int Height() const { return height_; }
    void SetHeight(int h) { height_ = h; }

private:
    int type_ = BMM_TRUE_64;
    DWORD flags_ = MAP_HAS_ALPHA;
    DWORD customFlag_ = 0;
    int filterType_ = BMM_FILTER_NONE;
    int width_ = 0;
    int height_ = 0;
};

/// The render information that travels with a bitmap. Null until a renderer (or whoever
/// prepares a frame) allocates it; it stays until the bitmap is deleted.
class BitmapStorage {
public:
    RenderInfo *GetRenderInfo() { return renderInfo_.get(); }
    const RenderInfo *GetRenderInfo() const { return renderInfo_.get(); }
    /// The render information, created with default values when there was none. Null only
    /// when memory runs out.
    RenderInfo *AllocRenderInfo();

private:
    std::unique_ptr<RenderInfo> renderInfo_;
};

class Bitmap;

/// Bitmap deleter for owning pointers (`BitmapPtr`).
struct BitmapDeleter {
    void operator()(Bitmap *bm) const;
};
using BitmapPtr = std::unique_ptr<Bitmap, BitmapDeleter>;

/// An image: width × height 64-bit pixels, row by row from the top, plus optional channels.
/// Created by `BitmapManager::Create`, deleted with `DeleteThis`.
class Bitmap {
public:
    Bitmap(const Bitmap &) = delete;
    Bitmap &operator=(const Bitmap &) = delete;

    int Width() const { return width_; }
    int Height() const { return height_; }
    const BitmapInfo &Info() const { return info_; }
    BitmapStorage *Storage() { return &storage_; }
    void DeleteThis();

    // Single pixels ---------------------------------------------------------------------------

    /// 1 and the pixel at (x, y); outside the image 0 and a zero pixel.
    int GetPixel(int x, int y, BMM_Color_64 &out) const {
        if (!Inside(x, y)) {
            out = BMM_Color_64{};
            return 0;
        }
        out = pixels_[Index(x, y)];
        return 1;
    }
    /// The pixel at (x, y), or a zero pixel outside the image.
    BMM_Color_64 Pixel(int x, int y) const {
        return Inside(x, y) ? pixels_[Index(x, y)] : BMM_Color_64{};
    }
    /// Writes the pixel at (x, y) and answers 1; outside the image writes nothing, answers 0.
    int PutPixel(int x, int y, const BMM_Color_64 &c) {
        if (!Inside(x, y)) return 0;
        pixels_[Index(x, y)] = c;
        return 1;
    }

    // Rows ------------------------------------------------------------------------------------

    /// Reads `count` pixels from (x, y) to the right. Pixels outside the image read as zero;
    /// the answer is 1 when all of them were inside, 0 otherwise (or for a null buffer or a
    /// negative count).
    int GetPixels(int x, int y, int count, BMM_Color_64 *out) const;
    /// Values are stored without a transfer curve, so linear pixels are the stored ones.
    int GetLinearPixels(int x, int y, int count, BMM_Color_64 *out) const {
        return GetPixels(x, y, count, out);
    }
    /// Writes `count` pixels from (x, y) to the right; the part outside the image is dropped.
    /// 1 when all of them were inside, 0 otherwise.
    int PutPixels(int x, int y, int count, const BMM_Color_64 *in);

    /// All pixels, `Width() × Height()`, row by row from the top.
    BMM_Color_64 *Pixels() { return pixels_.get(); }
    const BMM_Color_64 *Pixels() const { return pixels_.get(); }

    // Whole image -----------------------------------------------------------------------------

    /// Sets every pixel (colour only; channels keep their values).
    void Fill(const BMM_Color_64 &c);
    void Fill(int r, int g, int b, int a) {
        Fill(BMM_Color_64{UWORD(r), UWORD(g), UWORD(b), UWORD(a)});
    }
    /// Copies the colour of `from` into this bitmap; channels and render information stay as
    /// they are. COPY_IMAGE_CROP copies the top-left overlap at 1:1 and gives every pixel that
    /// `from` does not cover `fillColor` (a same-size crop is a plain copy); the two resize
    /// operations scale `from` to this bitmap's size. 1 on success, 0 for a null source or an
    /// unknown operation.
    int CopyImage(const Bitmap *from, int operation, BMM_Color_64 fillColor);

    // Channels --------------------------------------------------------------------------------

    /// Creates the channels of the set `channelIDs` that do not exist yet: depth filled with
    /// kFarDepth, material IDs with 0. Answers the set of requested channels that exist
    /// afterwards (a channel whose memory could not be had is missing from it).
    ULONG CreateChannels(ULONG channelIDs);
    /// Deletes the channels of the set.
    void DeleteChannels(ULONG channelIDs);
    /// The set of channels present.
    ULONG ChannelsPresent() const {
        return (depth_ ? BMM_CHAN_Z : 0) | (materials_ ? BMM_CHAN_MTL_ID : 0);
    }
    /// The channel `id` (one identifier, not a set) as `Width() × Height()` elements row by
    /// row, with its element type in `type`; null (type BMM_CHAN_TYPE_UNKNOWN) when absent.
    void *GetChannel(ULONG id, ULONG &type);
    /// Typed access to the two channels; null when absent.
    float *DepthChannel() { return depth_.get(); }
    const float *DepthChannel() const { return depth_.get(); }
    BYTE *MaterialChannel() { return materials_.get(); }
    const BYTE *MaterialChannel() const { return materials_.get(); }

private:
    friend class BitmapManager;
    Bitmap(const BitmapInfo &info, std::unique_ptr<BMM_Color_64[]> pixels);
    ~Bitmap();

    bool Inside(int x, int y) const {
        return static_cast<unsigned>(x) < static_cast<unsigned>(width_) &&
               static_cast<unsigned>(y) < static_cast<unsigned>(height_);
    }
    std::size_t Index(int x, int y) const {
        return static_cast<std::size_t>(y) * static_cast<std::size_t>(width_) +
               static_cast<std::size_t>(x);
    }
    std::size_t PixelCount() const { return Index(0, height_); }

    BitmapInfo info_;
    int width_;
    int height_;
    std::unique_ptr<BMM_Color_64[]> pixels_;
    std::unique_ptr<float[]> depth_;
    std::unique_ptr<BYTE[]> materials_;
    BitmapStorage storage_;
};

/// Creates bitmaps. One per process: `TheManager`.
class BitmapManager {
public:
    /// A new bitmap of `bi`'s size with zero pixels and no channels, or null when `bi` is
    /// null, a side is not within 1 … kMaxBitmapSide, the pixel count exceeds
    /// kMaxBitmapPixels, or memory runs out. The caller deletes it with `DeleteThis`.
    Bitmap *Create(const BitmapInfo *bi);
    Bitmap *Create(const BitmapInfo &bi) { return Create(&bi); }
};

extern BitmapManager *TheManager;
