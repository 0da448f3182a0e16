/// @file default_controller.h
/// @brief The default age controller: turns a particle's age into the value of one animated
///        quantity between a birth and a death value, through an interpolation curve, an
///        optional per-particle variation and an optional variation by age (noise over time).
#pragma once

#include "framework/class_ids.h"
#include "framework/plugin_interface.h"
#include "plugins/standard/controller_properties.h"
#include "plugins/standard/controller_state.h"
#include "plugins/standard/standard_api.h"
#include "host/paramblock.h"

#include <cstdint>
#include <string>

/// The descriptor of the default controller ("Default", category "Nimbra Controller").
STANDARD_API ClassDesc *GetDefaultControllerDesc();

/// The default age controller.
///
/// References: 0 the interpolation block ("IPC Value 1", "IPC Value 2"), always present;
/// 1 the variation block, made by the first setup. The controller evaluates with a copy of the
/// blocks' values that `__Reset__` takes once per particle (the state block), so `__Eval__` is
/// arithmetic and at most two noise calls.
///
/// One controller serves one particle at a time: `__Reset__`, then that particle's `__Eval__`
/// calls.
class STANDARD_API DefaultController : public NimbraController {
public:
    static constexpr Class_ID kClassID = kDefaultControllerClassID;

    // Parameters of the interpolation block.
    enum { kValue1, kValue2, kInterpolationParams };
    // Parameters of the variation block; the first two take the kind's type.
    enum {
        kBirthVariation,
        kDeathVariation,
        kVariationStrength,
        kNoiseSeed,  ///< int, not animatable; no display name
        kNoiseFrequency,
        kNoiseStrength,
        kFractalNoise,  ///< BOOL, not animatable; no display name
        kNoiseRoughness,
        kVariationParams
    };
    enum { kRefInterpolation, kRefVariation };

    /// Largest age-noise seed the editor offers (the smallest is 0, which switches it off).
    static constexpr int kMaxNoiseSeed = 16000;
    /// Prefix of the editor window's title, before the quantity's name.
    static constexpr char kEditorTitlePrefix[] = "IPC - ";

    /// A new, unconfigured controller with its interpolation block; one made for loading gets
    /// its blocks from the file.
    explicit DefaultController(bool loading = false);
    ~DefaultController() override;

    // Identity
    Class_ID ClassID() override { return kClassID; }
    SClass_ID SuperClassID() override { return REF_MAKER_CLASS_ID; }
    void GetClassName(TSTR &s) override { s = "Default"; }
    void *GetInterface(ULONG id) override;

    // Sub-animatables and references
    int NumSubs() override { return variation_ ? 2 : 1; }
    Animatable *SubAnim(int i) override { return GetReference(i); }
    TSTR SubAnimName(int i) override { return "Parameters"; }
    int NumRefs() override { return state_.kind == kKindNone ? 1 : 2; }
    ReferenceTarget *GetReference(int i) override;
    void SetReference(int i, ReferenceTarget *target) override;
    /// Answers the parameter-name and parameter-dimension queries of both blocks.
    RefResult NotifyRefChanged(Interval changeInt, ReferenceTarget *hTarget, PartID &partID,
                               RefMessage message) override;

    /// Clones both blocks (keys included) and copies the state block.
    ReferenceTarget *Clone(RemapDir &remap) override;
    /// One chunk (kStateChunk) holding the state block.
    IOResult Save(ISave *isave) override;
    /// Reads the state block from its chunk; other chunks are skipped. A damaged block fails
    /// the load.
    IOResult Load(ILoad *iload) override;

    // Evaluation
    using NimbraController::__BeginEdit__;
    using NimbraController::__Eval__;
    void __Reset__(TimeValue t, int birthTime, int deathTime, int particleIndex) override;
    /// Interpolation only.
    void __Eval__(Point2 *out, int t, Point2 birth, Point2 death) override;
    /// Interpolation only; Clamp writes nothing.
    void __Eval__(Point3 *out, int t, Point3 birth, Point3 death) override;
    /// Variations of the float kind, then interpolation.
    void __Eval__(float *out, int t, float birth, float death) override;
    /// Variations of the integer kind, then interpolation.
    void __Eval__(int *out, int t, int birth, int death) override;
    /// Colour variations, then interpolation.
    void __Eval__(BMM_Color_64 *out, int t, BMM_Color_64 birth, BMM_Color_64 death) override;

    // Set-up by the owner
    void __SetupInt__(int minimum, int maximum) override;
    void __SetupFloat__(float minimum, float maximum, float step) override;
    /// Does nothing once an editor was closed with per-particle variation on (`setupLock`).
    /// With `update` nonzero only the two colours of the existing variation block change; a
    /// controller without a colour block gets one as by a first set-up.
    void __SetupColor__(Color birth, Color death, int update) override;

    // Editor (its window is drawn by whoever shows it; the state lives here)
    /// Opens the editor for the quantity `name`; a second call while it is open only changes
    /// the title and the edit interface (a controller has one editor).
    void __BeginEdit__(IObjParam *ip, const TCHAR *name) override;
    /// Copies `useVariation` into `setupLock` and closes the editor.
    void __EndEdit__(IObjParam *ip) override;
    /// The user closed the editor window by its frame: the button that opened it is
    /// unchecked and the editor closes (without `__EndEdit__`'s lock).
    void CloseEditor();
    bool IsEditing() const { return editing_; }
    IObjParam *EditInterface() const { return editIp_; }
    /// "IPC - " followed by the quantity's name.
    const std::string &EditorTitle() const { return editorTitle_; }

    /// The editor's second page: none before setup, numbers for the integer and float kinds,
    /// colours for the colour kind.
    enum class VariationPage { kNone, kNumbers, kColors };
    VariationPage EditorVariationPage() const;
    /// Which editor controls take input. Value 1 and Value 2 follow the interpolation mode;
    /// the per-particle controls follow "Use Variation:", the age-noise controls the seed.
    struct EditorEnabling {
        bool value1 = false, value2 = false, perParticle = false, byAge = false;
    };
    EditorEnabling EditorControlsEnabled() const;

    // Library files: the 8-byte version block, then the state block
    /// Refreshes the state block from the parameter blocks (at time 0), then writes it.
    int LibrarySave(NimbraInterface *io) override;
    /// Reads a record and rebuilds both parameter blocks from it. A record of another version
    /// or with a damaged state block is refused and nothing changes.
    int LibraryLoad(NimbraInterface *io) override;

    // Settings that have no parameter (editor controls and scene-file properties); each
    // change tells the dependents
    /// False (nothing changes) for a mode that does not exist.
    bool SetInterpolation(int mode);
    void SetUseVariation(bool on);
    // Non-animated parameters of the variation block, at time 0. False (nothing changes)
    // before the controller is set up, when there is no variation block.
    bool SetNoiseSeed(int seed);
    bool SetFractalNoise(bool on);

    // Inspection
    const ControllerState &State() const { return state_; }
    IParamBlock *InterpolationBlock() const { return interpolation_; }
    /// Null before setup.
    IParamBlock *VariationBlock() const { return variation_; }
    /// While on, `__Eval__` skips both variations: the curve views show the bare curve.
    void SetGraphMode(bool on) { graphMode_ = on ? 1 : 0; }
    bool GraphMode() const { return graphMode_ != 0; }

    /// Scene-file chunk holding the state block.
    static constexpr USHORT kStateChunk = 0x10;

private:
    /// How the interpolation curve resolves at one time: the birth value, the death value, a
    /// blend B + s × (D − B), or no value at all.
    struct Blend {
        enum Kind { kBirth, kDeath, kMix, kNone } kind;
        float s;
    };
    /// The curve at age `t`. Interpolate, the usual curve (and every pixel's when a colour
    /// shader blends by coverage), is answered inline; the shaped curves out of line.
    Blend BlendAt(int t, bool clampSupported) const {
        if (state_.interpolation == kInterpolate) return {Blend::kMix, AgeFraction(t)};
        return ShapedBlendAt(t, clampSupported);
    }
    Blend ShapedBlendAt(int t, bool clampSupported) const;
    /// g: the age's fraction of the life, 0 at birth and 1 at death.
    float AgeFraction(int t) const {
        const float age = static_cast<float>(std::int64_t(t) - state_.birthTime);
        const float life =
            static_cast<float>(std::int64_t(state_.deathTime) - state_.birthTime);
        // A particle whose death time equals its birth time has no life to spread the curve
        // over: it counts as at the end of its life from its birth on (g = 1), before it as
        // at the start (g = 0), so every result stays within the birth and death values.
        return life != 0.0f ? age / life : (age >= 0.0f ? 1.0f : 0.0f);
    }

    /// The per-particle weight w in 0 … 1 (noise of the particle's phase).
    float ParticleWeight() const;
    /// The age-noise factor h at time t (before any limit of the colour kind).
    float AgeNoise(int t) const;

    /// Replaces (or makes) the variation block with a new one of `kind`'s layout, parameters
    /// 2 to 7 at their defaults; the first two are left to the caller.
    IParamBlock *NewVariationBlock(int kind);
    /// Sets the shared age-noise parameters 3 to 7 of the variation block at time 0.
    void SetNoiseParams(int seed, float frequency, float strength, int fractal,
                        float roughness);
    void NotifyChanged();

    ControllerState state_;
    IParamBlock *interpolation_ = nullptr;
    IParamBlock *variation_ = nullptr;
    // What the held blocks are: a block of another layout (only a damaged scene file can bring
    // one) is held but never read.
    bool interpolationFits_ = false;
    int variationKind_ = kKindNone;  ///< the variation block's layout
    float particlePhase_ = 0.0f;     ///< particle index × kParticlePhaseStep, set by __Reset__
    int graphMode_ = 0;

    // Editor state. The editor follows the time slider once the host offers time-change
    // callbacks: on each change it re-reads both blocks at the new time.
    bool editing_ = false;
    IObjParam *editIp_ = nullptr;
    std::string editorTitle_;

    DefaultControllerProperties properties_{*this};
};
