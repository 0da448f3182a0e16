/// @file render_engine.cpp
/// @brief The sprite render engine: helpers and particles of a frame, projection, and the
///        per-pixel drawing with occlusion, edge blending and depth and material writes.
#include "renderer/render_engine.h"

#include "framework/class_ids.h"
#include "framework/nimbra_interface.h"
#include "framework/plugin_interface.h"
#include "framework/shape_rows.h"
#include "host/bitmap.h"
#include "host/image_filter.h"
#include "host/interface.h"
#include "host/messages.h"
#include "host/particles.h"
#include "host/render_info.h"
#include "host/window.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>

ParticleRenderer *theEngine = nullptr;
BOOL theShadowPass = FALSE;
BOOL theShadowMapsReady = FALSE;

namespace {

constexpr char kMissingPlugInTitle[] = "Error";
constexpr std::array<const char *, HelperRecord::kRoles> kMissingPlugInText = {
    "Nimbra Helper doesn't have a plugin loaded for Particle Shape!",
    "Nimbra helper doesn't have a plugin loaded for Color Shader!",
    "Nimbra Helper doesn't have a plugin loaded for Image Compositer!",
};

/// Screen coordinates and radii beyond this are off any image; clamping to it keeps the
/// integer conversions and sums below defined for particles that project to infinity (at
/// depth 0, say).
constexpr float kScreenLimit = 1 << 28;

BitmapPtr sourceCopy;

/// Truncation toward zero of a screen coordinate that may be huge or not finite.
int TruncScreen(float v) {
    if (!(v == v)) return 0;  // NaN; such particles are marked invisible
    return static_cast<int>(std::clamp(v, -kScreenLimit, kScreenLimit));
}

}  // namespace

Bitmap *EngineSourceCopy() {
    return sourceCopy.get();
}

void DeleteEngineSourceCopy() {
    sourceCopy.reset();
}

// ---------------------------------------------------------------------------------------------
// Construction

ParticleRenderer::ParticleRenderer() = default;

ParticleRenderer::~ParticleRenderer() {
    Clear();
}

void ParticleRenderer::Clear() {
    helpers.clear();
    sources_.clear();
    particles.clear();
}

int ParticleRenderer::ShadingOrder(int i) const {
    return i >= 0 && i < static_cast<int>(helpers.size()) ? helpers[i].shadingOrder : 0;
}

bool ParticleRenderer::FrameIsFieldRendered() const {
    return renderInfo && renderInfo->fieldRender;
}

// ---------------------------------------------------------------------------------------------
// Collecting

void ParticleRenderer::Prepare() {
    if (!helpers.empty()) return;
    CollectHelpers();
    CollectParticles();
}

void ParticleRenderer::CollectHelpers() {
    Interface *ip = GetCOREInterface();
    NimbraInterface *iface = GetNimbraInterface();
    INode *root = ip->GetRootNode();
    if (!root) return;
    const bool selectedOnly = iface->GetPreviewRendering() && iface->GetSelHelperOnly();
    INode *selected = selectedOnly ? iface->GetCurrentlySelectedHelper() : nullptr;

    for (int i = 0; i < root->NumberOfChildren(); ++i) {
        INode *node = root->GetChildNode(i);
        if (!node) continue;
        Object *obj = node->EvalWorldState(time).obj;
        if (!obj || obj->SuperClassID() != HELPER_CLASS_ID ||
            obj->ClassID() != kNimbraHelperClassID)
            continue;
        IHelperRecord *source = GetHelperRecordInterface(obj);
        if (!source) continue;
        if (selectedOnly && node != selected) continue;
        HelperRecord record = source->RecordAt(time, theShadowPass != FALSE);
        if (record.volumeSetup) continue;
        if (theShadowPass && !record.castShadows) continue;

        for (int role = 0; role < HelperRecord::kRoles; ++role) {
            if (record.plugIns[role]) continue;
            MessageBox(ip->GetMainHWnd(), kMissingPlugInText[role], kMissingPlugInTitle, MB_OK);
        }
        if (record.Complete() && record.active) {
            helpers.push_back(record);
            sources_.push_back(source);
        }
    }
}

void ParticleRenderer::CollectParticles() {
    for (int i = 0; i < static_cast<int>(helpers.size()); ++i) {
        const HelperRecord &helper = helpers[i];
        IHelperRecord *source = sources_[i];
        const int lifeStart = helper.lifeStart;
        const int lifeEnd = helper.lifeEnd;

        const int systems = source->ParticleSystemCount();
        for (int j = 1; j <= systems; ++j) {
            ParticleObject *system = source->ParticleSystemState(j, time);
            if (!system) continue;
            const int count = system->NumParticles();
            for (long long k = helper.nthOffset; k < count; k += helper.everyNth) {
                const int index = static_cast<int>(k);
                const int age = system->GetParticleAge(index);
                if (age < 0 || age < lifeStart || age > lifeEnd) continue;

                ParticleInfo info;
                info.position = system->GetParticlePosition(index);
                info.age = age;
                info.helperIndex = i;
                info.particles = system;
                info.particleIndex = index;
                info.lifeStart = lifeStart;
                info.lifeEnd = lifeEnd;
                info.size = helper.size.At(time, lifeStart, lifeEnd, index, age);
                for (NimbraPlugIn *p : helper.plugIns)
                    p->__EnumParticle__(&info, system, index);
                particles.push_back(info);
            }
        }
    }
}

// ---------------------------------------------------------------------------------------------
// Projection

void ParticleRenderer::Project() {
    DbgAssert(renderInfo);
    DbgAssert(output);
    const RenderInfo &ri = *renderInfo;
    const int width = output->Width();
    const int height = output->Height();
    const int maxRadius = std::min(width / 2, kMaxSpriteRadius);
    const int centreX = TruncScreen(ri.MapCamToScreen(Point3(0.0f, 0.0f, 1.0f)).x);
    const Matrix3 &worldToCam = ri.worldToCam[FrameIsFieldRendered() && !firstField ? 1 : 0];

    for (ParticleInfo &info : particles) {
        const Point3 cam = worldToCam.PointTransform(info.position);
        info.position = cam;
        const Point2 screen = ri.MapCamToScreen(cam);
        info.screenX = TruncScreen(screen.x + 0.5f);
        info.screenY = TruncScreen(screen.y + 0.5f);
        const Point2 edge = ri.MapCamToScreen(Point3(info.size, 0.0f, cam.z));
        info.size = edge.x - static_cast<float>(centreX) + kSpriteRadiusMargin;

        // Sums in 64 bits: coordinates are clamped, but may still be large.
        const long long r = TruncScreen(info.size);
        const long long x = info.screenX, y = info.screenY;
        const bool finite = std::isfinite(cam.x) && std::isfinite(cam.y) &&
                            std::isfinite(cam.z) && std::isfinite(screen.x) &&
                            std::isfinite(screen.y) && std::isfinite(info.size);
        info.visible = finite && x + r >= 0 && x - r <= width && y + r >= 0 &&
                       y - r <= height && r <= maxRadius && cam.z <= 0.0f;

        info.particles = nullptr;
        const int helperIndex = info.helperIndex;
        if (helperIndex >= 0 && helperIndex < static_cast<int>(helpers.size())) {
            for (NimbraPlugIn *p : helpers[helperIndex].plugIns)
                if (p) p->__EnumParticle__(&info, nullptr, -1);
        }
        info.position.z += static_cast<float>(ShadingOrder(helperIndex)) * kShadingOrderBias;
    }

    // Back to front: the most distant (smallest z) first. Stable, so particles at equal depth
    // keep their collection order; a depth that is not a number sorts first (it is invisible).
    auto key = [](const ParticleInfo &p) {
        const float z = p.position.z;
        return z == z ? z : -std::numeric_limits<float>::infinity();
    };
    std::stable_sort(
        particles.begin(), particles.end(),
        [&key](const ParticleInfo &a, const ParticleInfo &b) { return key(a) < key(b); });
}

// ---------------------------------------------------------------------------------------------
// The frame

void ParticleRenderer::RenderFrame() {
    DbgAssert(output);
    aborted_ = false;
    const int width = output->Width();
    const int height = output->Height();

    // The window, clamped to the image: a region reaching past it would let pixels outside
    // the image be indexed.
    RECT window{0, 0, width, height};
    NimbraInterface *iface = GetNimbraInterface();
    if (!theShadowPass && iface->GetPreviewRendering() && iface->GetRegionRender()) {
        window = iface->GetRegion();
        if (iface->GetHalfSizeMode()) {
            window.left /= 2;
            window.right /= 2;
            window.top /= 2;
            window.bottom /= 2;
        }
    }
    left = static_cast<int>(std::clamp<long>(window.left, 0, width));
    right = static_cast<int>(std::clamp<long>(window.right, 0, width));
    top = static_cast<int>(std::clamp<long>(window.top, 0, height));
    bottom = static_cast<int>(std::clamp<long>(window.bottom, 0, height));

    if (sourceCopy && (sourceCopy->Width() != width || sourceCopy->Height() != height))
        sourceCopy.reset();
    if (!sourceCopy) {
        const BitmapInfo bi(BMM_TRUE_64, MAP_HAS_ALPHA, width, height);
        sourceCopy.reset(TheManager->Create(bi));
        DbgAssert(sourceCopy);
    }
    sourceCopy->CopyImage(output, COPY_IMAGE_CROP, BMM_Color_64{});

    for (const HelperRecord &helper : helpers)
        for (NimbraPlugIn *p : helper.plugIns)
            if (p) p->__BeginFrame__(time, output, filter, sourceCopy.get());

    const int n = static_cast<int>(particles.size());
    for (int i = 0; i < n; ++i) {
        if (!particles[i].visible) continue;
        SendMessage(progressWindow, FLT_PROGRESS, static_cast<WPARAM>(i),
                    static_cast<LPARAM>(n));
        int abort = 0;
        SendMessage(progressWindow, FLT_CHECKABORT, 0, reinterpret_cast<LPARAM>(&abort));
        if (abort) {
            aborted_ = true;
            break;
        }
        ParticleInfo info = particles[i];
        if (info.helperIndex < 0 || info.helperIndex >= static_cast<int>(helpers.size()))
            continue;  // a record that no collected helper owns
        RenderParticle(info, helpers[info.helperIndex]);
    }

    for (const HelperRecord &helper : helpers)
        for (NimbraPlugIn *p : helper.plugIns)
            if (p) p->__EndFrame__(time);
}

// ---------------------------------------------------------------------------------------------
// One particle

namespace {

/// What stays fixed while one particle is drawn.
struct ParticleDraw {
    const Bitmap *source;  ///< the frame before any particle was drawn
    NimbraPlugIn *color;
    NimbraPlugIn *composite;
    int width;
    int height;
    float z;  ///< the particle's depth
    bool writeZ;
    int mtlId;
};

/// Covered pixel (x, y), inside the drawing window, at offset (dx, dy) with coverage `d`:
/// occlusion and edge blending against the scene, depth and material writes, colour and
/// composite. The fixed values are taken apart into locals first, so that the compiler keeps
/// them in registers across the plug-in calls.
[[gnu::always_inline]] inline void DrawPixel(const ParticleRenderer &engine,
                                             const ParticleDraw &draw, int x, int y, int dx,
                                             int dy, unsigned short d) {
    Bitmap *const output = engine.output;
    float *const zChannel = engine.zChannel;
    const int width = draw.width, height = draw.height;
    const float z = draw.z;
    auto depthAt = [zChannel](int p) { return zChannel ? zChannel[p] : kEmptyDepth; };
    // Something was rendered at `depth` nearer to the camera than the particle.
    auto inFront = [z](float depth) { return depth != kEmptyDepth && depth > z; };
    auto inside = [width, height](int px, int py) {
        return static_cast<unsigned>(px) < static_cast<unsigned>(width) &&
               static_cast<unsigned>(py) < static_cast<unsigned>(height);
    };

    const int p = y * width + x;
    const float zs = depthAt(p);
    BMM_Color_64 src = draw.source->Pixel(x, y);

    // Occlusion and edge blending against the scene.
    bool edge = false;
    if (inFront(zs)) {
        if (src.a == kFullScale) {
            int hidden = 0;
            for (int ny = y - 1; ny <= y + 1; ++ny)
                for (int nx = x - 1; nx <= x + 1; ++nx)
                    if ((nx != x || ny != y) &&
                        (!inside(nx, ny) || inFront(depthAt(ny * width + nx))))
                        ++hidden;
            if (hidden == 8) return;
            src.a = static_cast<UWORD>(kFullScale / (8 - hidden));
        }
        edge = true;
    } else if (src.a != kFullScale) {
        auto hiddenAt = [&](int nx, int ny) {
            return inside(nx, ny) && inFront(depthAt(ny * width + nx));
        };
        edge = hiddenAt(x - 1, y) || hiddenAt(x + 1, y) || hiddenAt(x, y - 1) ||
               hiddenAt(x, y + 1);
    }

    // Depth and material: the denser the coverage, the more pixels are written (none below
    // 6554, nine in ten at full coverage).
    const int mtlId = draw.mtlId;
    const bool writeZ = draw.writeZ;
    if (mtlId != 0 || writeZ) {
        const int k = ((int(d) * 10) >> 16) + 1;
        if (p % k != 0) {
            if (mtlId != 0 && engine.mtlChannel)
                engine.mtlChannel[p] = static_cast<unsigned char>(mtlId);
            if (writeZ && zChannel && (zs == kEmptyDepth || zs < z)) zChannel[p] = z;
        }
    }
    if (theShadowPass && zChannel) zChannel[p] = z;

    BMM_Color_64 c{};
    draw.color->__ColorShader__(d, &c, dx, dy, x, y);
    draw.composite->__ImageComposite__(x, y, &c, d);

    if (edge) {
        const int w = src.a;
        const BMM_Color_64 o = output->Pixel(x, y);
        BMM_Color_64 blended;
        blended.r = static_cast<UWORD>(ImageFilter::Lerp(o.r, src.r, w));
        blended.g = static_cast<UWORD>(ImageFilter::Lerp(o.g, src.g, w));
        blended.b = static_cast<UWORD>(ImageFilter::Lerp(o.b, src.b, w));
        blended.a = static_cast<UWORD>(
            std::max(ImageFilter::Lerp(o.a, kFullScale, w), static_cast<int>(o.a)));
        output->PutPixel(x, y, blended);
    }
}

}  // namespace

void ParticleRenderer::RenderParticle(ParticleInfo &info, const HelperRecord &helper) {
    DbgAssert(output);
    NimbraPlugIn *const shape = helper.plugIns[HelperRecord::kShape];
    NimbraPlugIn *const color = helper.plugIns[HelperRecord::kColor];
    NimbraPlugIn *const composite = helper.plugIns[HelperRecord::kComposite];
    if (!shape || !color || !composite) return;
    Bitmap *const source = sourceCopy.get();
    DbgAssert(source && source->Width() == output->Width() &&
              source->Height() == output->Height());

    const int r = TruncScreen(info.size);
    const int cx = info.screenX;
    const int cy = info.screenY;
    const ParticleDraw draw{
        source,           color,           composite,     output->Width(),
        output->Height(), info.position.z, helper.writeZ, helper.materialId};

    const float trans = helper.transparency.At(time, info.lifeStart, info.lifeEnd,
                                               info.particleIndex, info.age);
    shape->__BeginParticle__(trans, r, &info);
    color->__BeginParticle__(trans, r, &info);
    composite->__BeginParticle__(trans, r, &info);

    const IShapeRows *rows = GetShapeRows(shape);
    const bool fields = FrameIsFieldRendered();
    // The part of each row inside the drawing window.
    const int spanLeft = std::max(cx - r, left), spanRight = std::min(cx + r, right - 1);
    if (rows && spanRight >= spanLeft) {
        const std::size_t span = static_cast<std::size_t>(spanRight - spanLeft + 1);
        if (rowDensity_.size() < span) {
            rowDensity_.resize(span);
            rowCovered_.resize(span);
        }
    }

    // The rows of a sprite are far apart in memory, so the first pixels of each row would wait
    // on the frame, its source copy and its depths: while a row is drawn, the next one is
    // fetched ahead.
    constexpr int kPixelsPerLine = 8;  // 64-byte cache lines of 8-byte pixels
    const int width = draw.width;

    for (int dy = -r; dy <= r; ++dy) {
        const int y = cy + dy;
        if (fields && ((y % 2 != 0) != (firstField != 0))) continue;
        if (const int next = y + (fields ? 2 : 1); next >= top && next < bottom) {
            for (int x = spanLeft; x <= spanRight; x += kPixelsPerLine) {
                const int p = next * width + x;
                __builtin_prefetch(source->Pixels() + p);
                __builtin_prefetch(output->Pixels() + p, 1);
                if (zChannel) __builtin_prefetch(zChannel + p);
            }
        }
        if (rows) {
            if (y < top || y >= bottom || spanRight < spanLeft) continue;
            const int count = spanRight - spanLeft + 1;
            rows->ParticleShapeRow(rowDensity_.data(), rowCovered_.data(), r, spanLeft - cx, dy,
                                   spanLeft, y, count);
            for (int i = 0; i < count; ++i)
                if (rowCovered_[i])
                    DrawPixel(*this, draw, spanLeft + i, y, spanLeft + i - cx, dy,
                              rowDensity_[i]);
            continue;
        }
        for (int dx = -r; dx <= r; ++dx) {
            const int x = cx + dx;
            unsigned short d = 0;
            if (!shape->__ParticleShape__(&d, r, dx, dy, x, y)) continue;
            if (y < top || y >= bottom || x < left || x >= right) continue;
            DrawPixel(*this, draw, x, y, dx, dy, d);
        }
    }

    shape->__EndParticle__();
    color->__EndParticle__();
    composite->__EndParticle__();
}
