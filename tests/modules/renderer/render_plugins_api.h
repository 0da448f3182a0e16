/// @file render_plugins_api.h
/// @brief What the test module render_plugins offers the renderer tests: trivial sprite
///        plug-ins whose output the tests set (a square shape of one coverage, a flat colour,
///        a composite that writes the colour as it is), a linear age controller, volume
///        plug-ins, and a journal of the frame and particle calls they receive.
#pragma once

#include "framework/plugin_interface.h"
#include "setup/helper.h"

#include <vector>

#define RENDER_PLUGINS_API __attribute__((visibility("default")))

// The identities a new helper creates, so that every helper of the tests starts with these.
constexpr Class_ID kSquareShapeClassID = kCircleShapeClassID;          ///< "Test Square"
constexpr Class_ID kFlatColorClassID = kDefaultColorClassID;           ///< "Test Flat Color"
constexpr Class_ID kWriteCompositeClassID = kDefaultCompositeClassID;  ///< "Test Write"
constexpr Class_ID kLinearControllerClassID = kHelperControllerClassID;
// The volume set: a volume shape brings the other two along.
constexpr Class_ID kVolumeShapeClassID(kParticleShapeKey, 0x6E1D2A01);
constexpr Class_ID kVolumeCompositeClassID = kInterRotationClassID;
constexpr Class_ID kVolumeColorClassID = kAtmosphereColorClassID;

/// A plug-in call the journal records (pixel calls are recorded per plug-in instead).
struct RenderCall {
    enum Op {
        kEnumCollected,
        kEnumProjected,
        kBeginFrame,
        kEndFrame,
        kBeginParticle,
        kEndParticle
    };
    const NimbraPlugIn *plugIn = nullptr;
    Op op = kBeginFrame;
    TimeValue time = 0;         ///< kBeginFrame, kEndFrame
    int index = 0;              ///< kEnumCollected: the particle index
    float transparency = 0.0f;  ///< kBeginParticle
    int radius = 0;             ///< kBeginParticle
    ParticleInfo info;          ///< kEnumCollected, kEnumProjected, kBeginParticle
    Bitmap *source = nullptr;   ///< kBeginFrame
};

/// One pixel call.
struct PixelCall {
    int x, y, dx, dy;
    unsigned short density;
};

/// Every test sprite plug-in. What it does depends on its role:
/// - shape: covers the pixels with |dx| and |dy| at most `coverRadius` (every pixel of the
///   square when negative) with density `coverage`;
/// - colour: gives every pixel `color`;
/// - composite: writes the colour it is given into the frame it got with `__BeginFrame__`.
class RENDER_PLUGINS_API RenderTestPlugIn : public NimbraPlugIn {
public:
    RenderTestPlugIn(Class_ID id, int support) : id_(id), support_(support) { ++live; }
    ~RenderTestPlugIn() override { --live; }

    Class_ID ClassID() override { return id_; }
    SClass_ID SuperClassID() override { return REF_MAKER_CLASS_ID; }
    void GetClassName(TSTR &s) override;
    int __SupportProcessing__() override { return support_; }

    void __BeginFrame__(TimeValue time, Bitmap *output, ImageFilter *filter,
                        Bitmap *source) override;
    void __EndFrame__(TimeValue time) override;
    void __EnumParticle__(ParticleInfo *info, void *particles, int index) override;
    void __BeginParticle__(float transparency, int radius, ParticleInfo *info) override;
    void __EndParticle__() override;
    int __ParticleShape__(unsigned short *density, int radius, int dx, int dy, int x,
                          int y) override;
    void __ColorShader__(unsigned short density, BMM_Color_64 *color, int dx, int dy, int x,
                         int y) override;
    void __ImageComposite__(int x, int y, BMM_Color_64 *color, unsigned short density) override;

    // Settings
    unsigned short coverage = 65535;
    int coverRadius = -1;
    BMM_Color_64 color{65535, 0, 0, 65535};

    // Pixel calls received (while `RecordPixels` is on)
    std::vector<PixelCall> shapeCalls;
    std::vector<PixelCall> compositeCalls;

    static inline int live = 0;

private:
    Class_ID id_;
    int support_;
    Bitmap *output_ = nullptr;
};

/// The age controller: linear from birth (at the window's start) to death (at its end).
class RENDER_PLUGINS_API LinearController : public NimbraController {
public:
    LinearController() { ++live; }
    ~LinearController() override { --live; }
    Class_ID ClassID() override { return kLinearControllerClassID; }
    SClass_ID SuperClassID() override { return REF_MAKER_CLASS_ID; }

    using NimbraController::__Eval__;
    void __Reset__(TimeValue time, int lifeStart, int lifeEnd, int particleNumber) override;
    void __Eval__(float *out, int age, float birth, float death) override;

    int resets = 0;
    int lastParticle = -1;

    static inline int live = 0;

private:
    int lifeStart_ = 0;
    int lifeEnd_ = 0;
};

/// The calls of every test plug-in, in order. Tests clear it before they render.
RENDER_PLUGINS_API std::vector<RenderCall> &RenderJournal();
/// Whether the plug-ins record their pixel calls (on; the benchmark has no use for them).
RENDER_PLUGINS_API void RecordPixels(bool on);
