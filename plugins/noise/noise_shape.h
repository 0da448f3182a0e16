/// @file noise_shape.h
/// @brief "Noise": a sprite shape whose coverage is a thresholded noise pattern cut out by the
///        soft disk, a patch of a slice through three-dimensional noise per particle.
#pragma once

#include "framework/class_ids.h"
#include "framework/soft_disk.h"
#include "framework/sprite_shape.h"
#include "plugins/noise/noise_api.h"

/// The descriptor of the Noise shape ("Noise", category "Noise Shader").
ZEPHRANOISE_API ClassDesc *GetNoiseShapeDesc();

/// The Noise shape.
///
/// A pixel at offset (x, y) of a particle of radius r and diameter d sits at
/// u = (x + r) / d, w = (y + r) / d in the particle's square. Its noise point is
/// ((u − ½) × S × h, (w − ½) × S × v, phase), with S = 100 − Size, h = (100 − Horz. Stretch)
/// / 100 and v likewise vertically; the phase is the Phase value plus the particle's index, so
/// every particle shows its own slice. The noise (regular, fractal or turbulence) is brought
/// to 0 … 1, passed through the Low … High threshold window when Low < High, and the pixel's
/// coverage is the lesser of that and the soft disk's falloff, times the coverage scale. Every
/// pixel of the square is covered, with 0 where the pattern or the falloff is 0.
class ZEPHRANOISE_API NoiseShape final : public SpriteShape {
public:
    /// Class identifier: the category key, then the plug-in ID.
    static constexpr Class_ID kClassID{kParticleShapeKey, 0x2CC66AC1};

    enum Param {
        kNoiseType,  ///< 0 Regular, 1 Fractal, 2 Turbulence; no display name
        kBirthHighThreshold,
        kDeathHighThreshold,
        kBirthLowThreshold,
        kDeathLowThreshold,
        kBirthTurbulence,
        kDeathTurbulence,
        kBirthPhase,
        kDeathPhase,
        kBirthSize,
        kDeathSize,
        kBirthHorzStretch,
        kDeathHorzStretch,
        kBirthVertStretch,
        kDeathVertStretch,
        kParams
    };
    enum NoiseType { kRegularNoise, kFractalNoise, kTurbulenceNoise, kNoiseTypes };
    /// Controller i blends parameters 1 + 2i (birth) and 2 + 2i (death).
    enum Controller {
        kHighThresholdController,
        kLowThresholdController,
        kTurbulenceController,
        kPhaseController,
        kSizeController,
        kHorzStretchController,
        kVertStretchController,
        kControllers
    };

    /// Octaves of the fractal kind (fBm with H 1 and lacunarity 2).
    static constexpr int kFractalOctaves = 6;
    /// Most turbulence octaves: finer ones are below float resolution at any useful scale,
    /// and the cap bounds the work of any level count a file may hold.
    static constexpr int kMaxTurbulenceOctaves = 32;
    /// Most pixels whose noise is evaluated together.
    static constexpr int kRowRun = 64;

    /// A new Noise shape with its defaults and seven set-up controllers; one made for loading
    /// gets them from the file.
    explicit NoiseShape(bool loading = false);
    ~NoiseShape() override;

    Class_ID ClassID() override { return kClassID; }
    SClass_ID SuperClassID() override { return REF_MAKER_CLASS_ID; }
    void GetClassName(TSTR &s) override { s = "Noise"; }

    /// Per particle: the controllers are reset for it and the seven quantities evaluated at its
    /// age.
    void __BeginParticle__(float transparency, int radius, ParticleInfo *info) override;
    /// The coverage of a run of pixels of one row, the noise of kRowRun pixels at a time:
    /// every octave of every kind through the host's `noise3Row`.
    void ParticleShapeRow(unsigned short *density, unsigned char *covered, int radius, int dx,
                          int dy, int x, int y, int count) const override;

    // The current particle's quantities (after `__BeginParticle__`)
    int CurrentNoiseType() const { return noiseType_; }
    float HighThreshold() const { return highThreshold_; }
    float LowThreshold() const { return lowThreshold_; }
    float TurbulenceLevels() const { return turbulenceLevels_; }
    /// Phase + the particle's index.
    float Phase() const { return phase_; }
    /// 100 − Size.
    float NoiseScale() const { return noiseScale_; }
    /// (100 − Horz. Stretch) / 100.
    float HorzFactor() const { return horzFactor_; }
    /// (100 − Vert. Stretch) / 100.
    float VertFactor() const { return vertFactor_; }
    /// Noise evaluations per pixel for the current particle.
    int NoiseEvaluations() const;
    const SoftDisk &Table() const { return disk_; }

protected:
    TablePlugIn *MakeForLoading() const override { return new NoiseShape(true); }
    /// One pixel of the row call, so that both give a pixel the same value.
    bool Coverage(unsigned short &density, int radius, int dx, int dy, int x,
                  int y) const override;
    void BuildTable() override { disk_.Build(); }
    void FreeTable() override { disk_.Free(); }

private:
    /// The noise of kind `noiseType_` brought to 0 … 1 at the points (a[i], b, phase).
    void NoiseRun(const float *a, int count, float b, float *v) const;

    SoftDisk disk_;
    int noiseType_ = kRegularNoise;
    float highThreshold_ = 1.0f;
    float lowThreshold_ = 0.0f;
    float turbulenceLevels_ = 0.0f;
    float phase_ = 0.0f;
    float noiseScale_ = 0.0f;
    float horzFactor_ = 0.0f;
    float vertFactor_ = 0.0f;
    // Per particle, so that a pixel's work is its noise and a few operations
    float scaleX_ = 0.0f;         ///< noise units per unit of u: noiseScale × horzFactor
    float scaleY_ = 0.0f;         ///< noiseScale × vertFactor
    int wholeOctaves_ = 0;        ///< turbulence: full octaves
    float partialOctave_ = 0.0f;  ///< turbulence: the weight of one more, 0 … 1
};
