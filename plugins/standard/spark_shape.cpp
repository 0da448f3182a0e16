/// @file spark_shape.cpp
/// @brief The Spark shape: parameters, controllers, the stroke buffer painted per particle and
///        the per-pixel read.
#include "plugins/standard/spark_shape.h"

#include "framework/age_quantity.h"
#include "framework/plugin_class_desc.h"
#include "host/bitmap.h"
#include "host/messages.h"
#include "host/noise.h"
#include "host/particles.h"

#include <algorithm>
#include <cmath>

namespace {

// Parameter block (version 0): all float and animatable; the ranges are the roll-up's.
constexpr DWORD kIndex = kParamIDIsIndex;
constexpr ParamRange kSampleRange{5.0f, 100.0f};
constexpr ParamRange kWidthRange{0.0f, 50.0f};
constexpr ParamRange kFlickerRange{0.0f, 100.0f};
const ParamSpec kParams[SparkShape::kParams] = {
    {"Birth Sample", TYPE_FLOAT, TRUE, 20.0f, defaultDim, {}, kIndex, kSampleRange},
    {"Death Sample", TYPE_FLOAT, TRUE, 20.0f, defaultDim, {}, kIndex, kSampleRange},
    {"Birth Width", TYPE_FLOAT, TRUE, 40.0f, defaultDim, {}, kIndex, kWidthRange},
    {"Death Width", TYPE_FLOAT, TRUE, 40.0f, defaultDim, {}, kIndex, kWidthRange},
    {"Birth Amount", TYPE_FLOAT, TRUE, 0.0f, defaultDim, {}, kIndex, kFlickerRange},
    {"Death Amount", TYPE_FLOAT, TRUE, 0.0f, defaultDim, {}, kIndex, kFlickerRange},
    {"Birth Speed", TYPE_FLOAT, TRUE, 1.0f, defaultDim, {}, kIndex, kFlickerRange},
    {"Death Speed", TYPE_FLOAT, TRUE, 1.0f, defaultDim, {}, kIndex, kFlickerRange},
};

// The controllers with their spinners' ranges and steps, the roll-up buttons that open them
// and, where it differs from the controller's name, their editors' titles.
const ControllerSpec kControllers[] = {
    {"Samples", 1077, ControllerSpec::kFloat, 5.0f, 100.0f, 1.0f},
    {"Width", 1072, ControllerSpec::kFloat, 0.0f, 50.0f, 0.5f},
    {"Flicker Amount", 1067, ControllerSpec::kFloat, 0.0f, 100.0f, 5.0f, -1, -1, "Flicker"},
    {"Flicker Speed", 1073, ControllerSpec::kFloat, 0.0f, 100.0f, 0.5f, -1, -1, "Speed"},
};

const PlugInLayout kLayout{kParams, kControllers, {}};

/// The widest stroke is r / (kWidthLimit − Width) pixels wide.
constexpr float kWidthLimit = 51.0f;
/// Base intensity of a stroke: kIntensityScale × (kIntensitySteps div samples), so that the
/// strokes of one particle together stay near the same brightness whatever their number.
constexpr int kIntensityScale = 4;
constexpr int kIntensitySteps = 256;
/// Where a stroke starts, as a fraction of the way from its first end to its second.
constexpr double kStartFraction = 0.0;
/// How strongly a stroke's length dims it, percent: intensity × w / (length × this / 100 + w).
constexpr double kLengthAttenuation = 100.0;
/// A deposit of c on the 0 … 255 scale adds c × 257 = c / 255 of full scale.
constexpr int kDepositScale = 65535 / 255;

/// The sample count of a parameter: its value truncated, 0 for NaN, limited to stay an int.
int SampleCount(float v) {
    return v > 0.0f ? static_cast<int>(std::min(v, 1.0e6f)) : 0;
}

}  // namespace

ClassDesc *GetSparkShapeDesc() {
    return PlugInClassDesc<SparkShape>::Get("Spark", "Spark Shader");
}

// ---------------------------------------------------------------------------------------------
// The stroke buffer

void SparkSprite::Reset(int r) {
    r_ = std::clamp(r, 0, kMaxRadius);
    stride_ = 2 * r_ + 1;
    const std::size_t side = static_cast<std::size_t>(stride_);
    if (entries_.size() < side * side) entries_.resize(side * side);
    std::fill_n(entries_.begin(), side * side, std::uint16_t(0));
}

void SparkSprite::Box(double cx, double cy, double bw, double bh, int intensity) {
    // No pixel gets more than the box's extent of it along either axis: where even that
    // truncates to nothing, so do all deposits (as they do for the faint tails' strokes).
    if (intensity * std::min(bw, 1.0) * std::min(bh, 1.0) < 1.0) return;
    const double xl = cx - bw / 2.0, xr = xl + bw;
    const double yt = cy - bh / 2.0, yb = yt + bh;
    // The pixels floor(xl) … floor(xr) across and floor(yt) … floor(yb) down. Floors rather
    // than truncation: a box that starts left of or above the sprite keeps the coverage it has
    // where it enters. Compared as doubles, so that boxes far outside are dropped safely.
    const double c0 = std::floor(xl), c1 = std::floor(xr);
    const double r0 = std::floor(yt), r1 = std::floor(yb);
    const double last = 2.0 * r_;
    if (!(c1 >= 0.0 && c0 <= last && r1 >= 0.0 && r0 <= last)) return;  // NaN included

    // Coverage of the first and last pixel of a span; the ones between are covered fully.
    const auto edges = [](double lo, double hi, double first, double lastPixel) {
        if (first == lastPixel) return std::pair(hi - lo, hi - lo);
        return std::pair(1.0 - (lo - first), hi - lastPixel);
    };
    const auto [hFirst, hLast] = edges(xl, xr, c0, c1);
    const auto [vFirst, vLast] = edges(yt, yb, r0, r1);
    const int cFrom = static_cast<int>(std::max(c0, 0.0));
    const int cTo = static_cast<int>(std::min(c1, last));
    const int rFrom = static_cast<int>(std::max(r0, 0.0));
    const int rTo = static_cast<int>(std::min(r1, last));
    const double first = c0, lastColumn = c1;
    for (int row = rFrom; row <= rTo; ++row) {
        const double v = row == r0 ? vFirst : (row == r1 ? vLast : 1.0);
        std::uint16_t *entries = entries_.data() + Index(0, row);
        for (int c = cFrom; c <= cTo; ++c) {
            const double h = c == first ? hFirst : (c == lastColumn ? hLast : 1.0);
            // Whatever the intensity, one deposit can at most fill the entry.
            const int deposit = static_cast<int>(std::min(intensity * h * v, 255.0));
            const int sum = entries[c] + deposit * kDepositScale;
            entries[c] = static_cast<std::uint16_t>(std::min(sum, 65535));
        }
    }
}

void SparkSprite::Stroke(double x0, double y0, double x1, double y1, double w, int intensity) {
    if (!(w > 0.0) || intensity <= 0) return;
    if (!std::isfinite(x0) || !std::isfinite(y0) || !std::isfinite(x1) || !std::isfinite(y1) ||
        !std::isfinite(w))
        return;
    const double xs = x0 + kStartFraction * (x1 - x0);
    const double ys = y0 + kStartFraction * (y1 - y0);
    if (kLengthAttenuation != 0.0) {
        const double length = std::hypot(x1 - x0, y1 - y0);
        intensity =
            static_cast<int>(intensity / ((length * kLengthAttenuation / 100.0 + w) / w));
    }
    // Every box of the stroke is w across it: nothing to deposit when even a whole pixel's
    // width of it gives less than 1 (a long thin faint stroke).
    if (intensity * std::min(w, 1.0) < 1.0) return;

    if (x1 == xs) {  // upright, or a point
        if (y1 == ys)
            Box(xs, ys, w, w, intensity);
        else
            Box(xs, (ys + y1) / 2.0, w, std::fabs(y1 - ys) + w, intensity);
        return;
    }
    if (y1 == ys) {  // level
        Box((xs + x1) / 2.0, ys, std::fabs(x1 - xs) + w, w, intensity);
        return;
    }

    // Walked along the longer axis u, one pixel step at a time, from the end with the smaller
    // u; each step deposits a box one pixel along u and w across it.
    const bool alongX = std::fabs(x1 - xs) >= std::fabs(y1 - ys);
    double ua = alongX ? xs : ys, va = alongX ? ys : xs;
    double ub = alongX ? x1 : y1, vb = alongX ? y1 : x1;
    if (ub < ua) {
        std::swap(ua, ub);
        std::swap(va, vb);
    }
    const double k = (vb - va) / (ub - ua);
    const auto step = [&](double u, double v, int i) {
        if (alongX)
            Box(u, v, 1.0, w, i);
        else
            Box(v, u, w, 1.0, i);
    };
    // The cap before the first end: the step nearest to it, dimmed by how much of its pixel
    // the cap leaves out.
    const double capStart = ua - w / 2.0;
    const double uFirst = std::floor(capStart + 0.5);
    const double vFirst = va - (ua - uFirst) * k;
    step(uFirst, vFirst,
         static_cast<int>(intensity * (1.0 - (capStart - std::floor(capStart)))));
    // The cap after the second end, dimmed by how far it reaches into its pixel.
    const double capEnd = ub + w / 2.0;
    const double uLast = std::floor(capEnd) + 0.5;
    step(uLast, (uLast - ub) * k + vb,
         static_cast<int>(intensity * (capEnd - std::floor(capEnd))));
    // The steps between, at uFirst + m for m = 1 … count; only those whose box reaches the
    // sprite (u = 0 … 2r + 1) are deposited, however long the stroke.
    const double count = std::floor(capEnd) - std::floor(capStart) - 1.0;
    const double mFrom = std::max(1.0, -uFirst);
    const double mTo = std::min(count, 2.0 * r_ + 1.0 - uFirst);
    for (double m = mFrom; m <= mTo; m += 1.0) step(uFirst + m, vFirst + m * k, intensity);
}

// ---------------------------------------------------------------------------------------------
// The shape

SparkShape::SparkShape(bool loading) : SpriteShape(kLayout, loading) {}

SparkShape::~SparkShape() = default;

void SparkShape::__BeginFrame__(TimeValue time, Bitmap *output, ImageFilter *filter,
                                Bitmap *source) {
    SpriteShape::__BeginFrame__(time, output, filter, source);
    const RenderInfo *ri = output ? output->Storage()->GetRenderInfo() : nullptr;
    DbgAssert(ri);
    renderInfo_ = *ri;
    SortMotions();
}

void SparkShape::SortMotions() {
    if (!collecting_) return;
    std::stable_sort(motions_.begin(), motions_.end(),
                     [](const Motion &a, const Motion &b) { return a.index < b.index; });
    collecting_ = false;
}

void SparkShape::__EndFrame__(TimeValue time) {
    SpriteShape::__EndFrame__(time);
    renderInfo_.reset();
    motions_.clear();
    collecting_ = false;
}

void SparkShape::__EnumParticle__(ParticleInfo *, void *particles, int index) {
    // After projection (no system) and the volume query there is nothing to keep.
    if (!particles || index < 0) return;
    const auto *system = static_cast<const ParticleObject *>(particles);
    if (index >= system->NumParticles()) return;
    if (!collecting_) {  // the first particle of a new frame
        motions_.clear();
        collecting_ = true;
    }
    motions_.push_back(
        {index, system->GetParticlePosition(index), system->GetParticleVelocity(index)});
}

const SparkShape::Motion *SparkShape::FindMotion(const ParticleInfo &p) {
    SortMotions();
    const auto [from, to] =
        std::equal_range(motions_.begin(), motions_.end(), Motion{p.particleIndex, {}, {}},
                         [](const Motion &a, const Motion &b) { return a.index < b.index; });
    if (from == to) return nullptr;
    if (to - from == 1) return &*from;
    // Particles of several systems share the index: the one the renderer projected to this
    // particle's camera-space x and y (it moves only z, by the shading order).
    const Motion *best = nullptr;
    float bestDistance = 0.0f;
    for (auto m = from; m != to; ++m) {
        for (const Matrix3 &worldToCam : renderInfo_->worldToCam) {
            const Point3 cam = worldToCam.PointTransform(m->position);
            const float d = std::fabs(cam.x - p.position.x) + std::fabs(cam.y - p.position.y);
            if (!best || d < bestDistance) {
                best = &*m;
                bestDistance = d;
            }
        }
    }
    return best;
}

void SparkShape::__BeginParticle__(float transparency, int radius, ParticleInfo *info) {
    SpriteShape::__BeginParticle__(transparency, radius, info);
    painted_ = false;
    ParticleInfo none;
    const ParticleInfo &p = info ? *info : none;
    const TimeValue t = frameTime_;
    ResetControllers(t, p);
    samples_ = AgeQuantity<int>{GetController(kSamplesController),
                                SampleCount(FloatParam(kBirthSample, t)),
                                SampleCount(FloatParam(kDeathSample, t))}
                   .At(p.age);
    // Width beyond 50 (a controller may overshoot) would make the divisor 0 or negative.
    const float width = EvalFloat(kWidthController, p.age, FloatParam(kBirthWidth, t),
                                  FloatParam(kDeathWidth, t));
    widthDivisor_ = kWidthLimit - width >= 1.0f ? kWidthLimit - width : 1.0f;
    flickerAmount_ = EvalFloat(kFlickerAmountController, p.age, FloatParam(kBirthAmount, t),
                               FloatParam(kDeathAmount, t));
    flickerSpeed_ = EvalFloat(kFlickerSpeedController, p.age, FloatParam(kBirthSpeed, t),
                              FloatParam(kDeathSpeed, t));
    baseIntensity_ = 0;
    // A particle without a radius, or larger than any frame, covers nothing.
    if (radius <= 0 || radius > SparkSprite::kMaxRadius) return;
    sprite_.Reset(radius);
    Paint(p);
    painted_ = true;
}

void SparkShape::Paint(const ParticleInfo &p) {
    // One sample draws a single full-length stroke; more than kIntensitySteps leave no
    // intensity to draw with.
    const int n = std::max(samples_, 1);
    if (n > kIntensitySteps) return;
    const double base = kIntensityScale * (kIntensitySteps / n);

    // Flicker: noise over the life fraction, one row of noise per particle. Only a
    // non-positive noise dims, most just below 0.
    const double life = double(p.lifeEnd) - double(p.lifeStart);
    const double ageFraction = life != 0.0 ? (double(p.age) - double(p.lifeStart)) / life : 0.0;
    const float noise = noise2(Point2(static_cast<float>(ageFraction * flickerSpeed_),
                                      static_cast<float>(p.particleIndex)));
    double g = double(noise) + 1.0;
    if (g > 1.0) g = 0.0;
    const double dimmed = base - base * (double(flickerAmount_) / 100.0 * g);
    // At most kIntensityScale × kIntensitySteps whatever the controllers say (a negative
    // amount brightens); NaN draws nothing.
    constexpr double kMaxIntensity = kIntensityScale * kIntensitySteps;
    baseIntensity_ = dimmed > 0.0 ? static_cast<int>(std::min(dimmed, kMaxIntensity)) : 0;
    if (baseIntensity_ == 0) return;

    // The direction of travel, where the particle comes with a system and the frame with a
    // camera.
    const RenderInfo *ri = FrameRenderInfo();
    bool alongVelocity = false;
    Point3 position, direction;
    if (ri) {
        Point3 velocity;
        const auto *system = static_cast<const ParticleObject *>(p.particles);
        if (system && p.particleIndex >= 0 && p.particleIndex < system->NumParticles()) {
            position = system->GetParticlePosition(p.particleIndex);
            velocity = system->GetParticleVelocity(p.particleIndex);
            alongVelocity = true;
        } else if (const Motion *m = p.particles ? nullptr : FindMotion(p)) {
            position = m->position;
            velocity = m->velocity;
            alongVelocity = true;
        }
        const float speed = velocity.Length();
        // Without speed there is no direction: every stroke shrinks to the centre (a dot).
        if (speed > 0.0f && std::isfinite(speed)) direction = velocity / speed;
    }

    const int r = sprite_.Radius();
    const double centre = r;
    const double lengthStep = n > 1 ? kLongestStroke / (n - 1) : 0.0;
    const double widthStep = n > 1 ? (r / double(widthDivisor_)) / (n - 1) : r / widthDivisor_;
    double a = kLongestStroke, w = widthStep;
    for (int k = 0; k < n; ++k, a -= lengthStep, w += widthStep) {
        if (!alongVelocity) {  // the roll-up preview: an upright streak
            const double h = a / kLongestStroke * r;
            sprite_.Stroke(centre, centre - h, centre, centre + h, w, baseIntensity_);
            continue;
        }
        const Point2 end = ri->MapWorldToScreen(position + direction * static_cast<float>(a));
        double dx = double(end.x) - p.screenX, dy = double(end.y) - p.screenY;
        if (!std::isfinite(dx) || !std::isfinite(dy)) dx = dy = 0.0;
        sprite_.Stroke(centre - dx, centre - dy, centre + dx, centre + dy, w, baseIntensity_);
    }
}

bool SparkShape::Coverage(unsigned short &density, int, int dx, int dy, int, int) const {
    if (!painted_) return false;
    // Offsets off the painted square (a caller may ask for any) are not covered.
    const int r = sprite_.Radius();
    if (dx < -r || dx > r || dy < -r || dy > r) return false;
    const std::uint16_t e = sprite_.At(r + dx, r + dy);
    if (e == 0) return false;
    density = Scaled(e);
    return true;
}
