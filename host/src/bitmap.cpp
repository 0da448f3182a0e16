/// @file bitmap.cpp
/// @brief Bitmap creation, row access, fills, copies with scaling, and channels.
#include "host/bitmap.h"

#include <algorithm>
#include <cmath>
#include <new>
#include <vector>

namespace {

BitmapManager manager;

/// Contributions of source samples to one destination sample of a resampled axis.
struct Tap {
    int first = 0;               ///< first source index
    std::vector<float> weights;  ///< normalised, one per source index from `first`
};

/// Tent-filter taps that scale an axis of `src` samples to `dst` samples. The tent is one
/// source sample wide when enlarging (bilinear) and one destination sample wide when reducing
/// (every source sample contributes by its overlap). Edges clamp.
std::vector<Tap> ResampleTaps(int src, int dst) {
    std::vector<Tap> taps(dst);
    const double scale = double(src) / double(dst);
    const double radius = std::max(1.0, scale);
    for (int i = 0; i < dst; ++i) {
        const double centre = (i + 0.5) * scale - 0.5;
        const int lo = int(std::floor(centre - radius)) + 1;
        const int hi = int(std::ceil(centre + radius)) - 1;
        Tap &tap = taps[i];
        tap.first = std::clamp(lo, 0, src - 1);
        const int last = std::clamp(hi, 0, src - 1);
        tap.weights.assign(last - tap.first + 1, 0.0f);
        double sum = 0.0;
        for (int s = lo; s <= hi; ++s) {
            const double w = std::max(0.0, 1.0 - std::abs(s - centre) / radius);
            tap.weights[std::clamp(s, 0, src - 1) - tap.first] += float(w);
            sum += w;
        }
        if (sum <= 0.0) {
            tap.weights.assign(1, 1.0f);
            tap.first = std::clamp(int(std::lround(centre)), 0, src - 1);
            continue;
        }
        for (float &w : tap.weights) w = float(w / sum);
    }
    return taps;
}

UWORD ToWord(float v) {
    return UWORD(std::clamp(v + 0.5f, 0.0f, 65535.0f));
}

}  // namespace

BitmapManager *TheManager = &manager;

// BitmapStorage ------------------------------------------------------------------------------

RenderInfo *BitmapStorage::AllocRenderInfo() {
    if (!renderInfo_) renderInfo_.reset(new (std::nothrow) RenderInfo());
    return renderInfo_.get();
}

// Bitmap -------------------------------------------------------------------------------------

void BitmapDeleter::operator()(Bitmap *bm) const {
    if (bm) bm->DeleteThis();
}

Bitmap::Bitmap(const BitmapInfo &info, std::unique_ptr<BMM_Color_64[]> pixels)
    : info_(info), width_(info.Width()), height_(info.Height()), pixels_(std::move(pixels)) {}

Bitmap::~Bitmap() = default;

void Bitmap::DeleteThis() {
    delete this;
}

namespace {

/// The part [begin, end) of the span [x, x + count) that lies in a row of `width` pixels;
/// 64-bit so that huge counts cannot wrap.
struct Span {
    long long begin, end;
};
Span ClipSpan(int x, int count, int width) {
    const long long last = static_cast<long long>(x) + count;
    const long long begin = std::clamp<long long>(x, 0, width);
    return {begin, std::max(begin, std::min<long long>(last, width))};
}

}  // namespace

int Bitmap::GetPixels(int x, int y, int count, BMM_Color_64 *out) const {
    if (!out || count < 0) return 0;
    std::fill(out, out + count, BMM_Color_64{});
    if (static_cast<unsigned>(y) >= static_cast<unsigned>(height_)) return 0;
    const Span s = ClipSpan(x, count, width_);
    std::copy(pixels_.get() + Index(int(s.begin), y), pixels_.get() + Index(int(s.end), y),
              out + (s.begin - x));
    return s.begin == x && s.end == static_cast<long long>(x) + count ? 1 : 0;
}

int Bitmap::PutPixels(int x, int y, int count, const BMM_Color_64 *in) {
    if (!in || count < 0) return 0;
    if (static_cast<unsigned>(y) >= static_cast<unsigned>(height_)) return 0;
    const Span s = ClipSpan(x, count, width_);
    std::copy(in + (s.begin - x), in + (s.end - x), pixels_.get() + Index(int(s.begin), y));
    return s.begin == x && s.end == static_cast<long long>(x) + count ? 1 : 0;
}

void Bitmap::Fill(const BMM_Color_64 &c) {
    std::fill(pixels_.get(), pixels_.get() + PixelCount(), c);
}

int Bitmap::CopyImage(const Bitmap *from, int operation, BMM_Color_64 fillColor) {
    if (!from) return 0;
    if (from == this) return operation >= COPY_IMAGE_CROP && operation <= COPY_IMAGE_RESIZE_HI;
    const int sw = from->width_, sh = from->height_;
    switch (operation) {
        case COPY_IMAGE_CROP: {
            const int w = std::min(width_, sw), h = std::min(height_, sh);
            if (w != width_ || h != height_) Fill(fillColor);
            for (int y = 0; y < h; ++y)
                std::copy(from->pixels_.get() + from->Index(0, y),
                          from->pixels_.get() + from->Index(w, y), pixels_.get() + Index(0, y));
            return 1;
        }
        case COPY_IMAGE_RESIZE_LO:
            for (int y = 0; y < height_; ++y) {
                const int syy = int((long long)y * sh / height_);
                for (int x = 0; x < width_; ++x)
                    pixels_[Index(x, y)] =
                        from->pixels_[from->Index(int((long long)x * sw / width_), syy)];
            }
            return 1;
        case COPY_IMAGE_RESIZE_HI: {
            if (sw == width_ && sh == height_)
                return CopyImage(from, COPY_IMAGE_CROP, fillColor);
            const std::vector<Tap> tx = ResampleTaps(sw, width_),
                                   ty = ResampleTaps(sh, height_);
            // Horizontal pass into a float image of the source's height, then vertical.
            std::vector<float> rows(std::size_t(width_) * sh * 4);
            for (int y = 0; y < sh; ++y) {
                const BMM_Color_64 *src = from->pixels_.get() + from->Index(0, y);
                for (int x = 0; x < width_; ++x) {
                    float acc[4] = {0, 0, 0, 0};
                    const Tap &t = tx[x];
                    for (std::size_t k = 0; k < t.weights.size(); ++k) {
                        const BMM_Color_64 &p = src[t.first + k];
                        const float w = t.weights[k];
                        acc[0] += w * p.r;
                        acc[1] += w * p.g;
                        acc[2] += w * p.b;
                        acc[3] += w * p.a;
                    }
                    std::copy(acc, acc + 4, rows.begin() + (std::size_t(y) * width_ + x) * 4);
                }
            }
            for (int y = 0; y < height_; ++y) {
                const Tap &t = ty[y];
                for (int x = 0; x < width_; ++x) {
                    float acc[4] = {0, 0, 0, 0};
                    for (std::size_t k = 0; k < t.weights.size(); ++k) {
                        const float *p = &rows[((t.first + k) * width_ + x) * 4];
                        for (int c = 0; c < 4; ++c) acc[c] += t.weights[k] * p[c];
                    }
                    pixels_[Index(x, y)] = BMM_Color_64{ToWord(acc[0]), ToWord(acc[1]),
                                                        ToWord(acc[2]), ToWord(acc[3])};
                }
            }
            return 1;
        }
        default:
            return 0;
    }
}

ULONG Bitmap::CreateChannels(ULONG channelIDs) {
    if ((channelIDs & BMM_CHAN_Z) && !depth_) {
        depth_.reset(new (std::nothrow) float[PixelCount()]);
        if (depth_) std::fill(depth_.get(), depth_.get() + PixelCount(), kFarDepth);
    }
    if ((channelIDs & BMM_CHAN_MTL_ID) && !materials_)
        materials_.reset(new (std::nothrow) BYTE[PixelCount()]());
    return ChannelsPresent() & channelIDs;
}

void Bitmap::DeleteChannels(ULONG channelIDs) {
    if (channelIDs & BMM_CHAN_Z) depth_.reset();
    if (channelIDs & BMM_CHAN_MTL_ID) materials_.reset();
}

void *Bitmap::GetChannel(ULONG id, ULONG &type) {
    if (id == BMM_CHAN_Z && depth_) {
        type = BMM_CHAN_TYPE_32;
        return depth_.get();
    }
    if (id == BMM_CHAN_MTL_ID && materials_) {
        type = BMM_CHAN_TYPE_8;
        return materials_.get();
    }
    type = BMM_CHAN_TYPE_UNKNOWN;
    return nullptr;
}

// BitmapManager ------------------------------------------------------------------------------

Bitmap *BitmapManager::Create(const BitmapInfo *bi) {
    if (!bi) return nullptr;
    const int w = bi->Width(), h = bi->Height();
    if (w < 1 || h < 1 || w > kMaxBitmapSide || h > kMaxBitmapSide) return nullptr;
    const std::size_t count = std::size_t(w) * std::size_t(h);
    if (count > kMaxBitmapPixels) return nullptr;
    std::unique_ptr<BMM_Color_64[]> pixels(new (std::nothrow) BMM_Color_64[count]());
    if (!pixels) return nullptr;
    return new (std::nothrow) Bitmap(*bi, std::move(pixels));
}
