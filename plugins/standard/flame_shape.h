/// @file flame_shape.h
/// @brief "Flame 2D": a sprite shape that draws every particle as a flat tongue of flame, a
///        narrowed soft disk filled with thresholded noise that drifts upward and fades out
///        towards the top, turned over the particle's life by the particle rotation.
#pragma once

#include "framework/class_ids.h"
#include "framework/soft_disk.h"
#include "framework/sprite_shape.h"
#include "plugins/standard/particle_rotation.h"
#include "plugins/standard/standard_api.h"

#include <vector>

/// The descriptor of the Flame 2D shape ("Flame 2D", category "Flame 2D Shader").
STANDARD_API ClassDesc *GetFlameShapeDesc();

/// The Flame 2D shape.
///
/// Per pixel offset of a particle of radius r and diameter d: the offset is turned by the
/// particle rotation (pixels turned out of the square are not covered), then (x, y) are the
/// turned offset, u = (x + r) / d and w = (y + r) / d. Pixels farther than r × Width / 100
/// from the centre column are not covered; the others read the soft disk squeezed to that
/// half width (at full height), and their density is the lesser of the disk and the noise
/// v = ((noise3 at (u − 0.5, w − 0.5 + Motion, index + Phase) × Size + 1) / 2) ^ Thres.,
/// times w: full at the bottom, nothing at the top.
///
/// References: 0 the block, 1 the rotation's block, 2 … 6 the Width, Size, Phase, Motion and
/// Threshold controllers, 7 the rotation controller ("Additive Rotation"). Controllers 0 … 5:
/// the five, then the rotation controller. Library record: the version block, the ten
/// parameters as float32, then the rotation's record.
class STANDARD_API FlameShape final : public SpriteShape {
public:
    /// Class identifier: the category key, then the plug-in ID.
    static constexpr Class_ID kClassID{kParticleShapeKey, 0x364403B7};

    enum Param {
        kBirthWidth,
        kDeathWidth,
        kBirthSize,
        kDeathSize,
        kBirthPhase,
        kDeathPhase,
        kBirthMotion,
        kDeathMotion,
        kBirthThreshold,
        kDeathThreshold,
        kParams
    };
    enum Controller {
        kWidthController,
        kSizeController,
        kPhaseController,
        kMotionController,
        kThresholdController,
        kRotationController,
        kControllers
    };
    enum Reference {
        kRefRotationParams = 1,
        kRefWidthController = 2,  ///< then Size, Phase, Motion, Threshold
        kRefRotationController = 7,
        kRefs
    };

    /// A new Flame 2D with its defaults, its six set-up controllers and the rotation's block;
    /// one made for loading gets them from the file.
    explicit FlameShape(bool loading = false);
    ~FlameShape() override;

    Class_ID ClassID() override { return kClassID; }
    SClass_ID SuperClassID() override { return REF_MAKER_CLASS_ID; }
    void GetClassName(TSTR &s) override { s = "Flame 2D"; }

    // References and sub-animatables
    int NumRefs() override { return kRefs; }
    ReferenceTarget *GetReference(int i) override;
    void SetReference(int i, ReferenceTarget *target) override;
    TSTR SubAnimName(int i) override;
    /// The rotation's block asks the rotation; the own block the table.
    RefResult NotifyRefChanged(Interval changeInt, ReferenceTarget *hTarget, PartID &partID,
                               RefMessage message) override;

    // Editing: the roll-up "Flame 2D", then the rotation's
    void __BeginEdit__(IObjParam *ip, NimbraInterface *iface) override;
    void __EndEdit__(IObjParam *ip, NimbraInterface *iface) override;

    /// Per particle: the rotation is updated, the controllers are reset for the particle and
    /// Width, Size, Phase, Motion and Threshold evaluated at its age.
    void __BeginParticle__(float transparency, int radius, ParticleInfo *info) override;
    /// The coverage of a run of pixels of one row. The noise of an upright particle's row is
    /// evaluated kRowRun pixels at a time (host `noise3Row`). A turned particle is drawn
    /// upright once, by `__BeginParticle__`, and its pixels read that drawing at their turned
    /// offsets. Pixels are only covered with the radius given to `__BeginParticle__`.
    void ParticleShapeRow(unsigned short *density, unsigned char *covered, int radius, int dx,
                          int dy, int x, int y, int count) const override;
    /// The per-pixel call: the pixel of the upright drawing at the turned offset, drawing a
    /// whole row of it the first time one of its pixels is asked for (callers ask for a
    /// particle's pixels row by row). Each pixel gets what the row call gives it: a pixel
    /// computed alone gets what it gets in its row (host `noise3Row` gives a point the same
    /// value whatever the other points of the row).
    int __ParticleShape__(unsigned short *density, int radius, int dx, int dy, int x,
                          int y) override;

    /// Most pixels whose noise is evaluated together.
    static constexpr int kRowRun = 64;

    // The current particle's quantities (after `__BeginParticle__`)
    /// (100 − Width) / 100: the share of the radius cut off each side.
    float WidthFactor() const { return widthFactor_; }
    float NoiseSize() const { return noiseSize_; }
    float Phase() const { return phase_; }
    float Motion() const { return motion_; }
    /// Threshold: the power the noise is raised to.
    float NoiseExponent() const { return noiseExponent_; }
    const ParticleRotation &Rotation() const { return rotation_; }
    const SoftDisk &Table() const { return disk_; }

protected:
    TablePlugIn *MakeForLoading() const override { return new FlameShape(true); }
    int ControllerReference(int i) const override;
    /// One pixel of the row call, so that both give the same.
    bool Coverage(unsigned short &density, int radius, int dx, int dy, int x,
                  int y) const override;
    void BuildTable() override { disk_.Build(); }
    void FreeTable() override {
        disk_.Free();
        sprite_ = {};
    }

    // The rotation's record follows the table's
    int SaveAppendedRecord(NimbraInterface *io) override;
    bool ReadAppendedRecord(NimbraInterface *io) override;
    void ApplyAppendedRecord() override;

private:
    /// r × Width / 100: pixels farther from the centre column are not covered.
    float HalfWidth(int radius) const;
    /// A pixel's density from its noise, its disk entry and its fade, trunc(w × 65535).
    std::uint16_t Density(float noise, std::uint16_t disk, std::uint32_t towardsTop) const;
    /// The row call of an upright particle: its noise a run at a time.
    void UprightRow(unsigned short *density, unsigned char *covered, int radius, int dx, int dy,
                    int count) const;
    /// Draws row py of `sprite_`.
    void DrawSpriteRow(int py);
    /// Pixel (px, py) of the upright particle, an offset inside its square: from `sprite_`
    /// where that row is drawn, else computed alone.
    bool UprightPixel(int px, int py, unsigned short &density) const;

    /// Particles up to this radius are drawn into `sprite_` (the renderer's largest is
    /// smaller); larger ones are computed pixel by pixel.
    static constexpr int kMaxDrawnRadius = 1024;

    SoftDisk disk_;
    /// The current particle drawn upright (no rotation), row by row: offset (px, py) at
    /// (py + r) × (2r + 1) + px + r. Rows are drawn when the per-pixel call first needs them;
    /// a turned particle's all in `__BeginParticle__`. No rows (`rowDrawn` empty) for a
    /// particle larger than kMaxDrawnRadius.
    struct Sprite {
        int radius = -1;  ///< the particle's; -1 outside a frame or without a radius
        std::vector<unsigned short> density;
        std::vector<unsigned char> covered;
        std::vector<unsigned char> rowDrawn;
    } sprite_;
    ParticleRotation rotation_;
    float widthFactor_ = 0.0f;
    float noiseSize_ = 0.0f;
    float phase_ = 0.0f;
    float motion_ = 0.0f;
    float noiseExponent_ = 1.0f;
    float particleIndex_ = 0.0f;
    float noiseZ_ = 0.0f;  ///< (index + Phase) × Size: the particle's slice of the noise
};
