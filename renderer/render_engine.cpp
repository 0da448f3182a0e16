/// @file render_engine.cpp
/// @brief The sprite render engine: helpers and particles of a frame, projection, and the
///        per-pixel drawing with occlusion, edge blending and depth and material writes.
#include "renderer/render_engine.h"

#include "framework/nimbra_interface.h"
#include "framework/plugin_interface.h"
#include "setup/helper.h"
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
constexpr std::array<const char *, NimbraHelper::kRoles> kMissingPlugInText = {
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

/// The plug-ins of a helper in the order they are called.
std::array<NimbraPlugIn *, NimbraHelper::kRoles> PlugInsOf(const NimbraHelper *helper) {
    return {helper->Shape(), helper->ColorShader(), helper->Composite()};
}

/// `birth` and `death` of an age-driven quantity, and the controller that blends them.
struct AgeQuantity {
    NimbraController *controller;
    float birth;
    float death;

    /// The value for one particle; without a controller (a damaged helper) the birth value.
    float Eval(TimeValue t, int lifeStart, int lifeEnd, int index, int age) const {
        if (!controller) return birth;
        float value = birth;
        controller->__Reset__(t, lifeStart, lifeEnd, index);
        controller->__Eval__(&value, age, birth, death);
        return value;
    }
};

/// Size or transparency of a helper's particles: the normal controller and values, or in a
/// shadow pass without brush settings the shadow ones.
AgeQuantity HelperQuantity(const NimbraHelper *helper, TimeValue t, bool size) {
    const bool shadowValues =
        theShadowPass && !helper->AgeInt(NimbraHelper::kUseBrushSettings, t);
    using H = NimbraHelper;
    if (size) {
        return shadowValues ? AgeQuantity{helper->GetHelperController(H::kShadowSizeController),
                                          helper->AgeFloat(H::kBirthShadowSize, t),
                                          helper->AgeFloat(H::kDeathShadowSize, t)}
                            : AgeQuantity{helper->GetHelperController(H::kSizeController),
                                          helper->AgeFloat(H::kBirthSize, t),
                                          helper->AgeFloat(H::kDeathSize, t)};
    }
    return shadowValues ? AgeQuantity{helper->GetHelperController(H::kShadowTransController),
                                      helper->AgeFloat(H::kBirthShadowTrans, t),
                                      helper->AgeFloat(H::kDeathShadowTrans, t)}
                        : AgeQuantity{helper->GetHelperController(H::kTransController),
                                      helper->AgeFloat(H::kBirthTrans, t),
                                      helper->AgeFloat(H::kDeathTrans, t)};
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
    shadingOrders_.clear();
    particles.clear();
}

int ParticleRenderer::ShadingOrder(int i) const {
    return i >= 0 && i < static_cast<int>(shadingOrders_.size()) ? shadingOrders_[i] : 0;
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
        auto *helper = dynamic_cast<NimbraHelper *>(obj);
        if (!helper) continue;
        if (selectedOnly && node != selected) continue;
        if (helper->IsVolumeSetup()) continue;
        if (theShadowPass && !helper->AgeInt(NimbraHelper::kCastShadows, time)) continue;

        bool complete = true;
        for (int role = 0; role < NimbraHelper::kRoles; ++role) {
            if (helper->GetPlugIn(static_cast<NimbraHelper::Role>(role))) continue;
            MessageBox(ip->GetMainHWnd(), kMissingPlugInText[role], kMissingPlugInTitle, MB_OK);
            complete = false;
        }
        const bool active = helper->AgeInt(NimbraHelper::kShaderActive, time) != 0;
        const int order = helper->AgeInt(NimbraHelper::kShadingOrder, time);
        if (complete && active) {
            helpers.push_back(helper);
            shadingOrders_.push_back(order);
        }
    }
}

void ParticleRenderer::CollectParticles() {
    for (int i = 0; i < static_cast<int>(helpers.size()); ++i) {
        NimbraHelper *helper = helpers[i];
        const auto plugIns = PlugInsOf(helper);
        // A step below 1 would never advance and a negative offset would read before the
        // first particle: both are taken as the nearest sensible value.
        const int step = std::max(1, helper->AgeInt(NimbraHelper::kEveryNth, time));
        const int start = std::max(0, helper->AgeInt(NimbraHelper::kNthOffset, time));
        const int lifeStart = helper->LifeBegins(time);
        const int lifeEnd = helper->LifeEnds(time);
        const AgeQuantity size = HelperQuantity(helper, time, true);

        const int systems = helper->ParticleSystemCount();
        for (int j = 1; j <= systems; ++j) {
            ParticleObject *system = helper->ParticleSystemState(j, time);
            if (!system) continue;
            const int count = system->NumParticles();
            for (long long k = start; k < count; k += step) {
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
                info.size = size.Eval(time, lifeStart, lifeEnd, index, age);
                for (NimbraPlugIn *p : plugIns) p->__EnumParticle__(&info, system, index);
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
            for (NimbraPlugIn *p : PlugInsOf(helpers[helperIndex]))
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

    for (NimbraHelper *helper : helpers)
        for (NimbraPlugIn *p : PlugInsOf(helper))
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

    for (NimbraHelper *helper : helpers)
        for (NimbraPlugIn *p : PlugInsOf(helper))
            if (p) p->__EndFrame__(time);
}

// ---------------------------------------------------------------------------------------------
// One particle

void ParticleRenderer::RenderParticle(ParticleInfo &info, NimbraHelper *helper) {
    DbgAssert(output && helper);
    NimbraPlugIn *const shape = helper->Shape();
    NimbraPlugIn *const color = helper->ColorShader();
    NimbraPlugIn *const composite = helper->Composite();
    if (!shape || !color || !composite) return;
    Bitmap *const source = sourceCopy.get();
    DbgAssert(source && source->Width() == output->Width() &&
              source->Height() == output->Height());

    const int r = TruncScreen(info.size);
    const int cx = info.screenX;
    const int cy = info.screenY;
    const float z = info.position.z;
    const int width = output->Width();
    const int height = output->Height();

    const bool writeZ = helper->AgeInt(NimbraHelper::kUpdateZBuffer, time) != 0;
    const int mtlId = std::clamp(helper->AgeInt(NimbraHelper::kMaterialId, time), 0, 255);
    const bool writeBuffers = mtlId != 0 || writeZ;

    const float trans =
        HelperQuantity(helper, time, false)
            .Eval(time, info.lifeStart, info.lifeEnd, info.particleIndex, info.age);
    shape->__BeginParticle__(trans, r, &info);
    color->__BeginParticle__(trans, r, &info);
    composite->__BeginParticle__(trans, r, &info);

    // A depth is in front of the particle when something was rendered there nearer to the
    // camera.
    auto inFront = [z](float depth) { return depth != kEmptyDepth && depth > z; };
    auto inside = [width, height](int x, int y) {
        return static_cast<unsigned>(x) < static_cast<unsigned>(width) &&
               static_cast<unsigned>(y) < static_cast<unsigned>(height);
    };
    const bool fields = FrameIsFieldRendered();

    // The rows of a sprite are far apart in memory, so the first pixels of each row would wait
    // on the frame, its source copy and its depths: while a row is drawn, the next one is
    // fetched ahead. (Written out in the loop: a lambda taking the loop's locals by reference
    // slowed the pixel loop down.)
    const int spanLeft = std::max(cx - r, left), spanRight = std::min(cx + r, right - 1);
    constexpr int kPixelsPerLine = 8;  // 64-byte cache lines of 8-byte pixels

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
        for (int dx = -r; dx <= r; ++dx) {
            const int x = cx + dx;
            unsigned short d = 0;
            if (!shape->__ParticleShape__(&d, r, dx, dy, x, y)) continue;
            if (y < top || y >= bottom || x < left || x >= right) continue;

            const int p = y * width + x;
            const float zs = DepthAt(p);
            BMM_Color_64 src = source->Pixel(x, y);

            // Occlusion and edge blending against the scene.
            bool edge = false;
            if (inFront(zs)) {
                if (src.a == kFullScale) {
                    int hidden = 0;
                    for (int ny = y - 1; ny <= y + 1; ++ny)
                        for (int nx = x - 1; nx <= x + 1; ++nx)
                            if ((nx != x || ny != y) &&
                                (!inside(nx, ny) || inFront(DepthAt(ny * width + nx))))
                                ++hidden;
                    if (hidden == 8) continue;
                    src.a = static_cast<UWORD>(kFullScale / (8 - hidden));
                }
                edge = true;
            } else if (src.a != kFullScale) {
                auto hiddenAt = [&](int nx, int ny) {
                    return inside(nx, ny) && inFront(DepthAt(ny * width + nx));
                };
                edge = hiddenAt(x - 1, y) || hiddenAt(x + 1, y) || hiddenAt(x, y - 1) ||
                       hiddenAt(x, y + 1);
            }

            // Depth and material: the denser the coverage, the more pixels are written
            // (none below 6554, nine in ten at full coverage).
            if (writeBuffers) {
                const int k = ((int(d) * 10) >> 16) + 1;
                if (p % k != 0) {
                    if (mtlId != 0 && mtlChannel)
                        mtlChannel[p] = static_cast<unsigned char>(mtlId);
                    if (writeZ && zChannel && (zs == kEmptyDepth || zs < z)) zChannel[p] = z;
                }
            }
            if (theShadowPass && zChannel) zChannel[p] = z;

            BMM_Color_64 c{};
            color->__ColorShader__(d, &c, dx, dy, x, y);
            composite->__ImageComposite__(x, y, &c, d);

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
    }

    shape->__EndParticle__();
    color->__EndParticle__();
    composite->__EndParticle__();
}
