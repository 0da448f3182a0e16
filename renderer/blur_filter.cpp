/// @file blur_filter.cpp
/// @brief " Nimbra Motion Blur": class descriptor, configuration block, settings by name and
///        the sub-frame render.
#include "renderer/blur_filter.h"

#include "renderer/blur_setup_dialog.h"
#include "renderer/blur_weights.h"
#include "renderer/shader_filter.h"
#include "renderer/view_only_progress.h"
#include "host/bitmap.h"
#include "host/inode.h"
#include "host/interface.h"
#include "host/little_endian.h"
#include "host/messages.h"
#include "host/object.h"
#include "host/renderer.h"
#include "host/window.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <new>
#include <vector>

namespace {

constexpr char kCategory[] = "Image Filter";
constexpr char kAuthor[] = "Nimbra developers";
constexpr char kNotice[] = "Part of Nimbra, the particle-effects renderer.";

// Offsets of the fields in the configuration block.
constexpr std::size_t kVersionAt = 0;
constexpr std::size_t kCameraAt = 4;
constexpr std::size_t kDurationAt = 264;
constexpr std::size_t kSubFramesAt = 268;
constexpr std::size_t kDitherAt = 272;

// Names of the settings.
constexpr char kCameraProperty[] = "Camera";
constexpr char kDurationProperty[] = "Duration";
constexpr char kSubFramesProperty[] = "Sub-frames";
constexpr char kDitherProperty[] = "Dither";

/// Render length, in frames, the sub-frames' camera renders are told (they stop before any
/// pixel is rendered, so it only reaches the renderer's own motion settings).
constexpr float kViewRenderFrames = 0.1f;

class BlurDesc : public ClassDesc {
public:
    int IsPublic() override { return TRUE; }
    void *Create(BOOL) override { return static_cast<ImageFilter *>(new NimbraBlurFilter); }
    const TCHAR *ClassName() override { return NimbraBlurFilter::kDescription; }
    SClass_ID SuperClassID() override { return FLT_CLASS_ID; }
    Class_ID ClassID() override { return kNimbraBlurClassID; }
    const TCHAR *Category() override { return kCategory; }
};

BlurDesc blurDesc;

bool DurationInRange(float d) {
    return d >= 0.0f && d <= NimbraBlurFilter::kMaxDuration;  // false for NaN
}
bool SubFramesInRange(int n) {
    return n >= 1 && n <= NimbraBlurFilter::kMaxSubFrames;
}
bool DitherInRange(int d) {
    return d >= 0 && d <= NimbraBlurFilter::kMaxDither;
}

bool AbortRequested(HWND hWnd) {
    int abort = 0;
    SendMessage(hWnd, FLT_CHECKABORT2, 0, reinterpret_cast<LPARAM>(&abort));
    return abort != 0;
}

void Caption(HWND hWnd, const char *text) {
    SendMessage(hWnd, FLT_TEXTMSG, 0, reinterpret_cast<LPARAM>(text));
}

/// The pixel aspect of a frame's projection (its vertical scale over its horizontal one).
float PixelAspect(const RenderInfo &ri) {
    const float aspect = ri.kx != 0.0f ? ri.ky / -ri.kx : 1.0f;
    return std::isfinite(aspect) && aspect > 0.0f ? aspect : 1.0f;
}

/// Adds one row's change over the scene, weighted with the tile row `tileRow`
/// (kBlurTileSide weights), to `sums` (r, g, b, alpha per pixel), and puts the scene back
/// into the row. Works tile by tile and skips the tiles the particles left alone.
void AccumulateRow(BMM_Color_64 *drawn, const BMM_Color_64 *scene, int width,
                   const float *tileRow, float *sums) {
    static_assert(sizeof(BMM_Color_64) == 4 * sizeof(unsigned short));
    constexpr int kSpan = 4 * kBlurTileSide;  // channels of one tile row
    // One weight per channel, so that the loop runs over plain arrays of channels.
    float w[kSpan];
    for (int k = 0; k < kSpan; ++k) w[k] = tileRow[k / 4];
    for (int x = 0; x < width; x += kBlurTileSide) {
        const int count = std::min(kBlurTileSide, width - x);
        if (std::memcmp(drawn + x, scene + x, count * sizeof(BMM_Color_64)) == 0) continue;
        const auto *d = reinterpret_cast<const unsigned short *>(drawn + x);
        const auto *s = reinterpret_cast<const unsigned short *>(scene + x);
        float *sum = sums + 4 * x;
        for (int j = 0; j < 4 * count; ++j)
            sum[j] += static_cast<float>(int(d[j]) - int(s[j])) * w[j];
        std::copy_n(scene + x, count, drawn + x);
    }
}

/// Copies `count` elements of `from` over `to` where they differ (reading is cheaper than
/// writing, and most rows are as they were).
template <typename T>
void Restore(const T *from, T *to, std::size_t count) {
    if (std::memcmp(from, to, count * sizeof(T)) != 0) std::memcpy(to, from, count * sizeof(T));
}

/// A 16-bit channel from a sum of weighted values. Rounded: the weights' float sum may fall
/// just short of 1, and truncating would then darken unchanged pixels by one level.
unsigned short Channel(float sum) {
    return static_cast<unsigned short>(std::clamp(sum + 0.5f, 0.0f, 65535.0f));
}

/// Tells the user that no sub-frame view could be had.
BOOL NoView(HWND hWnd) {
    MessageBox(hWnd, NimbraBlurFilter::kNoViewText, NimbraBlurFilter::kNoViewTitle, MB_OK);
    MessageBox(hWnd, NimbraBlurFilter::kNotBlurredText, NimbraBlurFilter::kMessageTitle, MB_OK);
    return FALSE;
}

}  // namespace

ClassDesc *GetNimbraBlurDesc() {
    return &blurDesc;
}

bool IsCameraNode(INode *node) {
    Object *obj = node ? node->GetObjectRef() : nullptr;
    return obj && obj->SuperClassID() == CAMERA_CLASS_ID;
}

// ---------------------------------------------------------------------------------------------
// Construction, identity and dialogs

struct NimbraBlurFilter::Buffers {
    /// Receives the sub-frames' views, so that whatever the renderer leaves there never
    /// reaches a sub-frame.
    BitmapPtr view;
    BitmapPtr sub;  ///< the scene with one sub-frame's particles
    std::vector<float> sums;
    std::vector<float> firstDepth;
    std::vector<BYTE> firstMaterial;
    std::vector<BYTE> changedRows;

    /// Ready for a frame of `width` × `height`; false when memory runs out.
    bool Fit(int width, int height) {
        const std::size_t pixels = std::size_t(width) * std::size_t(height);
        if (!sub || sub->Width() != width || sub->Height() != height) {
            const BitmapInfo info(BMM_TRUE_64, MAP_HAS_ALPHA, width, height);
            view.reset(TheManager->Create(info));
            sub.reset(TheManager->Create(info));
            if (!view || !sub || sub->CreateChannels(BMM_CHAN_ALL) != BMM_CHAN_ALL) {
                view.reset();
                sub.reset();
                return false;
            }
        }
        try {
            sums.resize(pixels * 4);  // rows are zeroed as the particles first reach them
            firstDepth.resize(pixels);
            firstMaterial.resize(pixels);
            changedRows.assign(height, 0);
        } catch (const std::bad_alloc &) {
            return false;
        }
        return true;
    }
};

NimbraBlurFilter::NimbraBlurFilter() = default;
NimbraBlurFilter::~NimbraBlurFilter() = default;

const TCHAR *NimbraBlurFilter::AuthorName() {
    return kAuthor;
}

const TCHAR *NimbraBlurFilter::CopyrightMessage() {
    return kNotice;
}

BOOL NimbraBlurFilter::ShowControl(HWND) {
    BlurSetupDialog dialog(*this);
    dialog.Open();
    dialog.Ok();
    return TRUE;
}

// ---------------------------------------------------------------------------------------------
// Configuration

BOOL NimbraBlurFilter::LoadConfigure(void *ptr) {
    if (!ptr) return FALSE;
    const auto *block = static_cast<const std::uint8_t *>(ptr);
    if (GetLEInt(block + kVersionAt) != kConfigVersion) return FALSE;
    const char *name = reinterpret_cast<const char *>(block + kCameraAt);
    const std::size_t nameLength = strnlen(name, kCameraNameSize);
    const float d = GetLEFloat(block + kDurationAt);
    const std::int32_t n = GetLEInt(block + kSubFramesAt);
    const std::int32_t dith = GetLEInt(block + kDitherAt);
    if (nameLength == kCameraNameSize || !DurationInRange(d) || !SubFramesInRange(n) ||
        !DitherInRange(dith))
        return FALSE;
    configVersion = kConfigVersion;
    cameraName.assign(name, nameLength);
    duration = d;
    subFrames = n;
    dither = dith;
    return TRUE;
}

BOOL NimbraBlurFilter::SaveConfigure(void *ptr) {
    if (!ptr) return FALSE;
    auto *block = static_cast<std::uint8_t *>(ptr);
    PutLEInt(block + kVersionAt, configVersion);
    std::memset(block + kCameraAt, 0, kCameraNameSize);
    std::memcpy(block + kCameraAt, cameraName.data(),
                std::min(cameraName.size(), kCameraNameSize - 1));
    PutLEFloat(block + kDurationAt, duration);
    PutLEInt(block + kSubFramesAt, subFrames);
    PutLEInt(block + kDitherAt, dither);
    return TRUE;
}

// ---------------------------------------------------------------------------------------------
// Settings by name

std::vector<PropertyInfo> NimbraBlurFilter::ListProperties() {
    return {
        {kCameraProperty,
         PropertyKind::String,
         {},
         "the camera node the frame is seen through"},
        {kDurationProperty, PropertyKind::Float, {}, "frames the blur spreads over, 0 … 9999"},
        {kSubFramesProperty, PropertyKind::Int, {}, "renders averaged per frame, 1 … 999"},
        {kDitherProperty, PropertyKind::Int, {}, "percent by which weights vary, 0 … 100"},
    };
}

bool NimbraBlurFilter::SetProperty(const std::string &name, const PropertyValue &value,
                                   std::string &error) {
    if (name == kCameraProperty) {
        const auto *text = std::get_if<std::string>(&value);
        if (!text) {
            error = "expected a camera node's name";
        } else if (text->size() >= kCameraNameSize) {
            error = "a node name of at most " + std::to_string(kCameraNameSize - 1) + " bytes";
        } else if (!text->empty() &&
                   !IsCameraNode(GetCOREInterface()->GetINodeByName(text->c_str()))) {
            error = "no camera node is named \"" + *text + "\"";
        } else {
            cameraName = *text;
            return true;
        }
        return false;
    }
    if (name == kDurationProperty) {
        const float *d = std::get_if<float>(&value);
        const int *i = std::get_if<int>(&value);
        const float v = d ? *d : i ? static_cast<float>(*i) : -1.0f;
        if (!DurationInRange(v)) {
            error = "a duration of 0 to 9999 frames";
            return false;
        }
        duration = v;
        return true;
    }
    if (name == kSubFramesProperty || name == kDitherProperty) {
        const int *v = std::get_if<int>(&value);
        const bool subs = name == kSubFramesProperty;
        if (!v || !(subs ? SubFramesInRange(*v) : DitherInRange(*v))) {
            error = subs ? "a whole number of sub-frames, 1 to 999" : "a percentage, 0 to 100";
            return false;
        }
        (subs ? subFrames : dither) = *v;
        return true;
    }
    error = "unknown property";
    return false;
}

std::optional<PropertyValue> NimbraBlurFilter::GetProperty(const std::string &name) {
    if (name == kCameraProperty) return cameraName;
    if (name == kDurationProperty) return duration;
    if (name == kSubFramesProperty) return int(subFrames);
    if (name == kDitherProperty) return int(dither);
    return std::nullopt;
}

// ---------------------------------------------------------------------------------------------
// Rendering

INode *NimbraBlurFilter::FindCamera() const {
    if (cameraName.empty()) return nullptr;
    INode *node = GetCOREInterface()->GetINodeByName(cameraName.c_str());
    return IsCameraNode(node) ? node : nullptr;
}

BOOL NimbraBlurFilter::Render(HWND hWnd) {
    RenderInfo *ri = srcmap ? srcmap->Storage()->GetRenderInfo() : nullptr;
    if (!ri) {
        MessageBox(hWnd, kNoSourceText, kMessageTitle, MB_OK);
        return FALSE;
    }
    INode *camera = FindCamera();
    if (!camera) {
        MessageBox(hWnd, kNoCameraText, kMessageTitle, MB_OK);
        return FALSE;
    }

    const int width = srcmap->Width(), height = srcmap->Height();
    const std::size_t pixels = std::size_t(width) * std::size_t(height);
    const TimeValue start = ri->renderTime[0];
    const BlurSchedule schedule = MakeBlurSchedule(GetTicksPerFrame(), duration, subFrames);
    // Every sub-frame is the scene with particles drawn over it, and each pixel's weights sum
    // to 1, so the average is the scene plus the weighted sum of the sub-frames' changes to
    // it. Only tiles the particles changed are summed, and restored for the next sub-frame.
    if (!buffers_) buffers_ = std::make_unique<Buffers>();
    Buffers &b = *buffers_;
    std::vector<float> weights;
    try {
        // Dither 0 gives every cell the plain weight 1 / n. Seeded with the frame's time
        // only, so every render of this frame gets the same weights.
        weights = MakeBlurWeights(schedule.count, dither, static_cast<std::uint32_t>(start));
    } catch (const std::bad_alloc &) {
        return FALSE;
    }
    if (!b.Fit(width, height)) return FALSE;

    // The sub-frames' views: the host's renderer opened on the camera with the frame's size,
    // pixel aspect and fields. It stays open on the camera afterwards.
    Interface *ip = GetCOREInterface();
    Renderer *renderer = ip->GetCurrentRenderer();
    if (!renderer) return NoView(hWnd);
    RendParams rp;
    rp.width = width;
    rp.height = height;
    rp.pixelAspect = PixelAspect(*ri);
    rp.fieldRender = ri->fieldRender;
    rp.fieldOrder = ri->fieldOdd ? 1 : 0;
    rp.frameDur = GetTicksPerFrame();
    renderer->Close(hWnd);
    if (!renderer->Open(ip->GetRootNode(), camera, nullptr, rp, hWnd)) return NoView(hWnd);

    Bitmap &sub = *b.sub;
    const BMM_Color_64 *scene = srcmap->Pixels();
    // A frame without depth or material channels is drawn as one with empty ones.
    std::vector<float> farDepth;
    std::vector<BYTE> noMaterial;
    const float *sceneDepth = srcmap->DepthChannel();
    const BYTE *sceneMaterial = srcmap->MaterialChannel();
    try {
        if (!sceneDepth) {
            farDepth.assign(pixels, kFarDepth);
            sceneDepth = farDepth.data();
        }
        if (!sceneMaterial) {
            noMaterial.assign(pixels, 0);
            sceneMaterial = noMaterial.data();
        }
    } catch (const std::bad_alloc &) {
        return FALSE;
    }
    Caption(hWnd, kBlurCaption);
    std::copy_n(scene, pixels, sub.Pixels());
    std::copy_n(sceneDepth, pixels, sub.DepthChannel());
    std::copy_n(sceneMaterial, pixels, sub.MaterialChannel());

    for (int i = 0; i < schedule.count; ++i) {
        if (AbortRequested(hWnd)) return TRUE;
        char caption[64];
        std::snprintf(caption, sizeof caption, "Nimbra Shader (%i of %i)", i + 1,
                      schedule.count);
        Caption(hWnd, caption);

        const TimeValue t = schedule.Time(start, i);
        FrameRendParams frp;
        frp.frameDuration = kViewRenderFrames;
        ViewOnlyProgress viewOnly;
        renderer->Render(t, b.view.get(), frp, hWnd, &viewOnly);
        // The view bitmap is reused: a view left from an earlier sub-frame does not pass.
        const RenderInfo *view = b.view->Storage()->GetRenderInfo();
        RenderInfo *subInfo = sub.Storage()->AllocRenderInfo();
        if (!view || view->renderTime[0] != t || !subInfo) return NoView(hWnd);
        *subInfo = *view;

        NimbraShaderFilter shader(&sub);
        shader.Render(hWnd);

        if (i == 0) {
            std::copy_n(sub.DepthChannel(), pixels, b.firstDepth.begin());
            std::copy_n(sub.MaterialChannel(), pixels, b.firstMaterial.begin());
        }
        Caption(hWnd, kBlurCaption);
        const float *tile = weights.data() + std::size_t(i) * kBlurTileCells;
        for (int y = 0; y < height; ++y) {
            const std::size_t row = std::size_t(y) * width;
            BMM_Color_64 *drawn = sub.Pixels() + row;
            if (std::memcmp(drawn, scene + row, width * sizeof(BMM_Color_64)) != 0) {
                if (!b.changedRows[y]) std::fill_n(&b.sums[4 * row], 4 * width, 0.0f);
                b.changedRows[y] = 1;
                AccumulateRow(drawn, scene + row, width,
                              tile + (y % kBlurTileSide) * kBlurTileSide, &b.sums[4 * row]);
            }
            Restore(sceneDepth + row, sub.DepthChannel() + row, width);
            Restore(sceneMaterial + row, sub.MaterialChannel() + row, width);
            SendMessage(hWnd, FLT_PROGRESS, y, height - 1);
        }
    }
    // An abort while the last sub-frame was drawn must not reach the image either.
    if (AbortRequested(hWnd)) return TRUE;

    // The channels of a row as one plain array, so that the loop runs over them alike.
    auto *out = reinterpret_cast<unsigned short *>(srcmap->Pixels());
    for (int y = 0; y < height; ++y) {
        if (!b.changedRows[y]) continue;
        const std::size_t first = 4 * std::size_t(y) * width, end = first + 4 * width;
        for (std::size_t k = first; k < end; ++k) out[k] = Channel(out[k] + b.sums[k]);
    }
    if (float *depth = srcmap->DepthChannel()) std::copy_n(b.firstDepth.begin(), pixels, depth);
    if (BYTE *material = srcmap->MaterialChannel())
        for (std::size_t p = 0; p < pixels; ++p)
            material[p] = b.firstMaterial[p] ? b.firstMaterial[p] : material[p];
    return TRUE;
}
