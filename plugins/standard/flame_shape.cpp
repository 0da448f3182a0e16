/// @file flame_shape.cpp
/// @brief The Flame 2D shape: parameters, controllers, references shared with the particle
///        rotation, and the per-pixel coverage.
#include "plugins/standard/flame_shape.h"

#include "framework/plugin_class_desc.h"
#include "host/noise.h"

#include <algorithm>
#include <cmath>

namespace {

// Parameter block (version 0).
const ParamSpec kParams[FlameShape::kParams] = {
    {"Birth Width", TYPE_FLOAT, TRUE, 50.0f, defaultDim, {}, kParamIDIsIndex, {0.0f, 100.0f}},
    {"Death Width", TYPE_FLOAT, TRUE, 50.0f, defaultDim, {}, kParamIDIsIndex, {0.0f, 100.0f}},
    {"Birth Size", TYPE_FLOAT, TRUE, 20.0f, defaultDim, {}, kParamIDIsIndex, {0.001f, 9999.0f}},
    {"Death Size", TYPE_FLOAT, TRUE, 20.0f, defaultDim, {}, kParamIDIsIndex, {0.001f, 9999.0f}},
    {"Birth Phase", TYPE_FLOAT, TRUE, 1.0f, defaultDim, {}, kParamIDIsIndex, {0.0f, 9999.0f}},
    {"Death Phase", TYPE_FLOAT, TRUE, 1.2f, defaultDim, {}, kParamIDIsIndex, {0.0f, 9999.0f}},
    {"Birth Motion", TYPE_FLOAT, TRUE, 0.5f, defaultDim, {}, kParamIDIsIndex, {0.0f, 5.0f}},
    {"Death Motion", TYPE_FLOAT, TRUE, 0.5f, defaultDim, {}, kParamIDIsIndex, {0.0f, 5.0f}},
    {"Birth Thres.", TYPE_FLOAT, TRUE, 0.5f, defaultDim, {}, kParamIDIsIndex, {0.0f, 1.0f}},
    {"Death Thres.", TYPE_FLOAT, TRUE, 0.5f, defaultDim, {}, kParamIDIsIndex, {0.0f, 1.0f}},
};

// The controllers with their spinners' ranges and steps and the roll-up buttons that open
// them; the rotation's last.
const ControllerSpec kControllers[FlameShape::kControllers] = {
    {"Width", 1087, ControllerSpec::kFloat, 0.0f, 100.0f, 1.0f},
    {"Size", 1077, ControllerSpec::kFloat, 0.001f, 9999.0f, 0.005f},
    {"Phase", 1072, ControllerSpec::kFloat, 0.0f, 9999.0f, 0.05f},
    {"Motion", 1067, ControllerSpec::kFloat, 0.0f, 5.0f, 0.005f},
    {"Threshold", 1073, ControllerSpec::kFloat, 0.0f, 1.0f, 0.05f},
    ParticleRotation::kController,
};

const PlugInLayout kLayout{kParams, kControllers, {}};

/// Width is a percentage of the radius.
constexpr float kWidthScale = 0.01f;
/// Entries across the soft disk's rows and columns, as the pixel offsets address them.
constexpr float kDiskSpan = 255.0f;
/// Full scale of a 16-bit density.
constexpr float kFullScale = 65535.0f;

/// Where reference `i` of the shape sits among the table frame's (block, then controllers):
/// the rotation's block (reference 1) is not the frame's, the others follow it.
int FrameReference(int i) {
    return i == FlameShape::kRefRotationParams ? -1 : (i == 0 ? 0 : i - 1);
}

}  // namespace

ClassDesc *GetFlameShapeDesc() {
    return PlugInClassDesc<FlameShape>::Get("Flame 2D", "Flame 2D Shader");
}

FlameShape::FlameShape(bool loading) : SpriteShape(kLayout, loading) {
    if (!loading) ReplaceReference(kRefRotationParams, ParticleRotation::MakeParamBlock());
}

FlameShape::~FlameShape() = default;

// ---------------------------------------------------------------------------------------------
// References and sub-animatables

ReferenceTarget *FlameShape::GetReference(int i) {
    if (i == kRefRotationParams) return rotation_.ParamBlock();
    return i >= 0 && i < kRefs ? TablePlugIn::GetReference(FrameReference(i)) : nullptr;
}

void FlameShape::SetReference(int i, ReferenceTarget *target) {
    if (i == kRefRotationParams)
        rotation_.SetParamBlock(target);
    else if (i >= 0 && i < kRefs)
        TablePlugIn::SetReference(FrameReference(i), target);
}

TSTR FlameShape::SubAnimName(int i) {
    if (i == kRefRotationParams) return "Particle Rotation";
    if (i == kRefRotationController) return "Additive Rotation";
    return i >= 0 && i < kRefs ? TablePlugIn::SubAnimName(FrameReference(i)) : TSTR();
}

RefResult FlameShape::NotifyRefChanged(Interval changeInt, ReferenceTarget *hTarget,
                                       PartID &partID, RefMessage message) {
    if (hTarget && hTarget == rotation_.ParamBlock())
        return ParticleRotation::AnswerParamQuery(partID, message) ? REF_STOP : REF_SUCCEED;
    return SpriteShape::NotifyRefChanged(changeInt, hTarget, partID, message);
}

int FlameShape::ControllerReference(int i) const {
    return i == kRotationController ? int(kRefRotationController) : kRefWidthController + i;
}

// ---------------------------------------------------------------------------------------------
// Editing and library record

void FlameShape::__BeginEdit__(IObjParam *ip, NimbraInterface *iface) {
    SpriteShape::__BeginEdit__(ip, iface);
    rotation_.BeginEdit(ip, iface);
}

void FlameShape::__EndEdit__(IObjParam *ip, NimbraInterface *iface) {
    SpriteShape::__EndEdit__(ip, iface);  // ends every controller's editor, the rotation's too
    rotation_.EndEdit();
}

int FlameShape::SaveAppendedRecord(NimbraInterface *io) {
    return rotation_.LibrarySave(io);
}

bool FlameShape::ReadAppendedRecord(NimbraInterface *io) {
    return rotation_.LibraryRead(io);
}

void FlameShape::ApplyAppendedRecord() {
    if (!rotation_.ParamBlock())
        ReplaceReference(kRefRotationParams, ParticleRotation::MakeParamBlock());
    rotation_.LibraryApply();
}

// ---------------------------------------------------------------------------------------------
// Pixels

void FlameShape::__BeginParticle__(float transparency, int radius, ParticleInfo *info) {
    ParticleInfo none;
    const ParticleInfo &p = info ? *info : none;
    const TimeValue t = frameTime_;
    rotation_.Update(t, p, GetController(kRotationController));
    SpriteShape::__BeginParticle__(transparency, radius, info);
    for (int i = 0; i < kRotationController; ++i)  // the rotation reset its own
        if (NimbraController *c = GetController(i))
            c->__Reset__(t, p.lifeStart, p.lifeEnd, p.particleIndex);
    const auto quantity = [&](int controller, int birth) {
        return EvalFloat(controller, p.age, FloatParam(birth, t), FloatParam(birth + 1, t));
    };
    widthFactor_ = (100.0f - quantity(kWidthController, kBirthWidth)) * kWidthScale;
    noiseSize_ = quantity(kSizeController, kBirthSize);
    phase_ = quantity(kPhaseController, kBirthPhase);
    motion_ = quantity(kMotionController, kBirthMotion);
    noiseExponent_ = quantity(kThresholdController, kBirthThreshold);
    particleIndex_ = static_cast<float>(p.particleIndex);
    noiseZ_ = (particleIndex_ + phase_) * noiseSize_;

    // The upright drawing starts empty; a turned particle's row call reads all of it.
    sprite_.radius = disk_.Built() && diameter_ > 0.0f ? radius : -1;
    sprite_.rowDrawn.clear();
    if (sprite_.radius < 0 || sprite_.radius > kMaxDrawnRadius) return;
    const std::size_t side = 2 * static_cast<std::size_t>(radius) + 1;
    sprite_.rowDrawn.assign(side, 0);
    if (sprite_.density.size() < side * side) {
        sprite_.density.resize(side * side);
        sprite_.covered.resize(side * side);
    }
    if (!rotation_.Upright())
        for (int py = -radius; py <= radius; ++py) DrawSpriteRow(py);
}

void FlameShape::DrawSpriteRow(int py) {
    const int r = sprite_.radius;
    const std::size_t side = 2 * static_cast<std::size_t>(r) + 1;
    const std::size_t at = static_cast<std::size_t>(py + r) * side;
    std::fill_n(sprite_.covered.data() + at, side, static_cast<unsigned char>(0));
    UprightRow(sprite_.density.data() + at, sprite_.covered.data() + at, r, -r, py,
               static_cast<int>(side));
    sprite_.rowDrawn[py + r] = 1;
}

bool FlameShape::UprightPixel(int px, int py, unsigned short &density) const {
    const int r = sprite_.radius;
    if (sprite_.rowDrawn.empty() || !sprite_.rowDrawn[py + r]) {
        unsigned char covered = 0;
        UprightRow(&density, &covered, r, px, py, 1);
        return covered != 0;
    }
    const std::size_t at =
        static_cast<std::size_t>(py + r) * (2 * static_cast<std::size_t>(r) + 1) +
        static_cast<std::size_t>(px + r);
    density = sprite_.density[at];
    return sprite_.covered[at] != 0;
}

bool FlameShape::Coverage(unsigned short &density, int radius, int dx, int dy, int x,
                          int y) const {
    unsigned char covered = 0;
    ParticleShapeRow(&density, &covered, radius, dx, dy, x, y, 1);
    return covered != 0;
}

int FlameShape::__ParticleShape__(unsigned short *density, int radius, int dx, int dy, int,
                                  int) {
    if (sprite_.radius < 0 || radius != sprite_.radius || !rotation_.Rotate(dx, dy, radius))
        return 0;  // outside a frame, without a radius or with another, or turned out
    if (!sprite_.rowDrawn.empty() && !sprite_.rowDrawn[dy + radius]) DrawSpriteRow(dy);
    unsigned short d = 0;
    if (!UprightPixel(dx, dy, d)) return 0;
    *density = d;
    return 1;
}

void FlameShape::ParticleShapeRow(unsigned short *density, unsigned char *covered, int radius,
                                  int dx, int dy, int, int, int count) const {
    std::fill_n(covered, std::max(count, 0), static_cast<unsigned char>(0));
    if (sprite_.radius < 0 || radius != sprite_.radius) return;  // as the per-pixel call
    if (rotation_.Upright()) {
        UprightRow(density, covered, radius, dx, dy, count);
        return;
    }
    // A turned particle's pixels are its upright pixels at their turned offsets: read from
    // its drawing, or computed alone for a particle too large to draw.
    if (sprite_.rowDrawn.empty()) {
        for (int i = 0; i < count; ++i) {
            int px = dx + i, py = dy;
            if (rotation_.Rotate(px, py, radius)) covered[i] = UprightPixel(px, py, density[i]);
        }
        return;
    }
    // First where each pixel reads (a loop that stores nothing the rotation could alias, so
    // the matrix stays in registers), then the reads.
    const int side = 2 * radius + 1;  // at most 2049: the drawing's indices fit an int
    for (int start = 0; start < count; start += kRowRun) {
        const int n = std::min(kRowRun, count - start);
        int at[kRowRun];
        for (int k = 0; k < n; ++k) {
            int px = dx + start + k, py = dy;
            at[k] = rotation_.Rotate(px, py, radius) ? (py + radius) * side + px + radius : -1;
        }
        for (int k = 0; k < n; ++k) {
            if (at[k] < 0) continue;
            covered[start + k] = sprite_.covered[at[k]];
            density[start + k] = sprite_.density[at[k]];
        }
    }
}

float FlameShape::HalfWidth(int radius) const {
    const float r = static_cast<float>(radius);
    return r - r * widthFactor_;
}

std::uint16_t FlameShape::Density(float noise, std::uint16_t disk,
                                  std::uint32_t towardsTop) const {
    const float base = (noise + 1.0f) * 0.5f;
    // The default Threshold 0.5 is a square root; 1 leaves the noise as it is.
    const float v = noiseExponent_ == 1.0f   ? base
                    : noiseExponent_ == 0.5f ? std::sqrt(base)
                                             : std::pow(base, noiseExponent_);
    // trunc(v × 65535), held to 0 … 65535 (NaN counts as 0): above full scale the disk entry
    // is the lesser anyway.
    const float scaled = v * kFullScale;
    const std::uint32_t held = scaled >= kFullScale
                                   ? 65535u
                                   : (scaled > 0.0f ? static_cast<std::uint32_t>(scaled) : 0u);
    const std::uint32_t n = std::min<std::uint32_t>(held, disk);
    return Scaled(static_cast<std::uint16_t>((n * towardsTop) >> 16));
}

void FlameShape::UprightRow(unsigned short *density, unsigned char *covered, int radius, int dx,
                            int dy, int count) const {
    // The covered pixels of an upright row are one run: |x| within the half width and the
    // radius.
    const float half = HalfWidth(radius);
    if (dy < -radius || dy > radius || !(half >= 0.0f)) return;  // (NaN: nothing)
    const int reach = half >= static_cast<float>(radius) ? radius : static_cast<int>(half);
    const long long first = std::max<long long>(dx, -reach);
    const long long last = std::min<long long>(static_cast<long long>(dx) + count - 1, reach);
    for (long long px = first; px <= last; ++px) {
        covered[px - dx] = 1;
        density[px - dx] = 0;
    }
    const float w = static_cast<float>(dy + radius) / diameter_;
    const auto towardsTop = static_cast<std::uint32_t>(w * kFullScale);
    // Width 0 leaves only the centre column, with no table column of its own: it reads as
    // outside the disk. The top row and a transparent particle are 0 whatever the noise.
    if (half == 0.0f || towardsTop == 0 || coverageScale_ == 0) return;
    const int row = static_cast<int>(kDiskSpan * w);
    const float noiseY = (w - 0.5f + motion_) * noiseSize_;
    for (long long start = first; start <= last; start += kRowRun) {
        const int n = static_cast<int>(std::min<long long>(kRowRun, last - start + 1));
        float xs[kRowRun], noise[kRowRun];
        int column[kRowRun];
        for (int k = 0; k < n; ++k) {
            const int px = static_cast<int>(start) + k;
            xs[k] = (static_cast<float>(px + radius) / diameter_ - 0.5f) * noiseSize_;
            column[k] =
                static_cast<int>(kDiskSpan * (static_cast<float>(px) + half) / (2.0f * half));
        }
        noise3Row(xs, n, noiseY, noiseZ_, noise);
        unsigned short *out = density + (start - dx);
        for (int k = 0; k < n; ++k)
            out[k] = Density(noise[k], disk_.At(row, column[k]), towardsTop);
    }
}
