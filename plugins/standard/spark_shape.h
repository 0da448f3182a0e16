/// @file spark_shape.h
/// @brief "Spark": a sprite shape that draws every particle as a short bright streak along its
///        direction of travel, painted once per particle into a 16-bit buffer of line strokes.
#pragma once

#include "framework/class_ids.h"
#include "framework/sprite_shape.h"
#include "plugins/standard/standard_api.h"
#include "host/render_info.h"

#include <cstdint>
#include <optional>
#include <vector>

/// The descriptor of the Spark shape ("Spark", category "Spark Shader").
STANDARD_API ClassDesc *GetSparkShapeDesc();

/// The square buffer a Spark paints one particle into: (2r + 1)² entries of 0 … 65535, row by
/// row. Positions are in entries, pixel (c, row) covering [c, c + 1) × [row, row + 1); the
/// particle's centre is (r, r). Each pixel has its own entry (rows 2r + 1 apart): with rows
/// only 2r apart a streak leaving the sprite's right edge would light the left edge a row
/// further down. Intensities are on a 0 … 255 scale: a deposit of c adds
/// c × 257 (c / 255 of full scale) to an entry, which saturates at 65535.
class STANDARD_API SparkSprite {
public:
    /// Radius 0 … kMaxRadius; the buffer grows and is kept for the next particle.
    static constexpr int kMaxRadius = 4096;

    /// An empty (all zero) sprite of radius `r`, clamped to 0 … kMaxRadius.
    void Reset(int r);
    int Radius() const { return r_; }
    /// The entry at column `c`, row `row` (both 0 … 2r).
    std::uint16_t At(int c, int row) const { return entries_[Index(c, row)]; }

    /// An anti-aliased stroke of width `w` and intensity `intensity` from (x0, y0) to
    /// (x1, y1), dimmed by its length (`intensity` × w / (length + w)). A stroke without length
    /// is a w × w box; an upright or level one a single box; any other is walked one column
    /// (or row) of the longer axis at a time. Parts outside the sprite are dropped.
    void Stroke(double x0, double y0, double x1, double y1, double w, int intensity);
    /// Adds `intensity` × the area of each pixel that the box of size bw × bh centred at
    /// (cx, cy) covers (a pixel's own deposit truncated to an integer first).
    void Box(double cx, double cy, double bw, double bh, int intensity);

private:
    std::size_t Index(int c, int row) const {
        return static_cast<std::size_t>(c) +
               static_cast<std::size_t>(row) * static_cast<std::size_t>(stride_);
    }

    std::vector<std::uint16_t> entries_;
    int r_ = 0;
    int stride_ = 0;  ///< 2r + 1
};

/// The Spark shape.
///
/// Per particle, `__BeginParticle__` paints `samples` strokes through the sprite's centre, each
/// the screen projection of a piece of the particle's direction of travel: from half-length
/// weight a = 50 world units down to 0 while the stroke width grows from r / (51 − Width) /
/// (samples − 1) by as much per stroke, so that long thin faint strokes make the tail and
/// short wide ones the bright head. A noise flicker dims whole particles over their lives.
/// The per-pixel call only reads the buffer.
///
/// The direction comes from the particle's velocity in its particle system, seen with the
/// frame's camera (`RenderInfo` of the frame bitmap, which must carry one). The renderer hands
/// particles to `__BeginParticle__` without their system, so the shape keeps each collected
/// particle's position and velocity from `__EnumParticle__` until the frame ends. A particle
/// without a system (the roll-up preview) is drawn as an upright streak; one without velocity
/// as a round dot.
class STANDARD_API SparkShape final : public SpriteShape {
public:
    /// Class identifier: the category key, then the plug-in ID.
    static constexpr Class_ID kClassID{kParticleShapeKey, 0x30C02456};

    enum Param {
        kBirthSample,
        kDeathSample,
        kBirthWidth,
        kDeathWidth,
        kBirthAmount,
        kDeathAmount,
        kBirthSpeed,
        kDeathSpeed,
        kParams
    };
    enum Controller {
        kSamplesController,
        kWidthController,
        kFlickerAmountController,
        kFlickerSpeedController
    };

    /// Half-length weight of the longest stroke, in world units along the direction of travel.
    static constexpr double kLongestStroke = 50.0;

    /// A new Spark with its defaults and four set-up controllers; one made for loading gets
    /// them from the file.
    explicit SparkShape(bool loading = false);
    ~SparkShape() override;

    Class_ID ClassID() override { return kClassID; }
    SClass_ID SuperClassID() override { return REF_MAKER_CLASS_ID; }
    void GetClassName(TSTR &s) override { s = "Spark"; }

    // Frame and particle calls
    /// Remembers the frame time and the frame bitmap's `RenderInfo`; a bitmap without one is
    /// the host's assertion (every renderer of the system hands one over).
    void __BeginFrame__(TimeValue time, Bitmap *output, ImageFilter *filter,
                        Bitmap *source) override;
    /// Forgets the render information and the collected particles.
    void __EndFrame__(TimeValue time) override;
    /// While the renderer collects a frame's particles: keeps each one's world position and
    /// velocity for `__BeginParticle__`.
    void __EnumParticle__(ParticleInfo *info, void *particles, int index) override;
    /// Evaluates the controllers for the particle and paints its sprite.
    void __BeginParticle__(float transparency, int radius, ParticleInfo *info) override;
    /// The sprite is done with: every pixel is uncovered until the next particle.
    void __EndParticle__() override { painted_ = false; }

    // The current particle's quantities (after `__BeginParticle__`)
    int Samples() const { return samples_; }
    /// 51 − Width: the particle radius over the widest stroke's width.
    float WidthDivisor() const { return widthDivisor_; }
    float FlickerAmount() const { return flickerAmount_; }
    float FlickerSpeed() const { return flickerSpeed_; }
    /// Intensity of every stroke before its length dims it, 0 … 1024 (after the flicker).
    int BaseIntensity() const { return baseIntensity_; }
    const SparkSprite &Sprite() const { return sprite_; }
    /// The frame's render information, between `__BeginFrame__` and `__EndFrame__`.
    const RenderInfo *FrameRenderInfo() const { return renderInfo_ ? &*renderInfo_ : nullptr; }

protected:
    TablePlugIn *MakeForLoading() const override { return new SparkShape(true); }
    /// The sprite entry at the offset, scaled; not covered where it is 0 or off the sprite.
    bool Coverage(unsigned short &density, int radius, int dx, int dy, int x,
                  int y) const override;
    /// The sprite is painted per particle; nothing is built per frame.
    void BuildTable() override {}
    /// Ends the roll-up preview's particle.
    void FreeTable() override { painted_ = false; }

private:
    /// World position and velocity of one collected particle.
    struct Motion {
        int index;
        Point3 position;
        Point3 velocity;
    };
    /// Sorts the particles collected since the last frame began by index.
    void SortMotions();
    /// The collected motion of the particle `p` describes (inside a frame), or null.
    const Motion *FindMotion(const ParticleInfo &p);
    /// Paints the strokes of particle `p` with the evaluated quantities.
    void Paint(const ParticleInfo &p);

    SparkSprite sprite_;
    bool painted_ = false;
    std::optional<RenderInfo> renderInfo_;
    int samples_ = 0;
    float widthDivisor_ = 1.0f;
    float flickerAmount_ = 0.0f;
    float flickerSpeed_ = 0.0f;
    int baseIntensity_ = 0;
    // The particles collected for the coming frame, sorted by index once the frame begins
    std::vector<Motion> motions_;
    bool collecting_ = false;
};
