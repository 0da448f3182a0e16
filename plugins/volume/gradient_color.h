/// @file gradient_color.h
/// @brief "Gradient Color": a volume colour shader that maps gradients onto the samples, each
///        gradient read at a source value (particle age, turbulence, screen position, distance
///        and procedural mixes) for shadow strength, ambient, diffuse, specular and material
///        identifiers, plus shininess and self-illumination over the particle's life.
#pragma once

#include "plugins/volume/gradient/data_node.h"
#include "plugins/volume/volume_api.h"

#include "framework/class_ids.h"
#include "framework/table_plugin.h"

#include <array>
#include <vector>

/// The descriptor of Gradient Color ("Gradient Color", category "VolumeFX / Image Filter").
ZEPHRAVOLUME_API ClassDesc *GetGradientColorDesc();
/// Number of data classes (the six data nodes, then the five gradient presets).
constexpr int kGradientDataClasses = 11;
/// The descriptor of data class `i` (0 … kGradientDataClasses − 1), or null.
ZEPHRAVOLUME_API ClassDesc *GetGradientDataDesc(int i);

/// What Gradient Color keeps per particle volume, in its colour-shader cache slot.
struct GradientColorCache {
    float age = 0.0f;  ///< the Particle Age source: 1 at birth, 0 at the end of the age window
    /// Per slot whose source is "Particle Size (TrackView)": where its table starts in `track`,
    /// else -1.
    std::array<int, 10> trackOffset{-1, -1, -1, -1, -1, -1, -1, -1, -1, -1};
    std::vector<Color> track;
};

/// The Gradient Color shader.
///
/// References: 0 the parameter block (30 parameters, version 0), 1 … 6 the data nodes
/// Zephra_Data1 … Zephra_Data6, each holding two gradients (see `GradientId`). Ten gradient
/// slots (`Slot`) each own three parameters: a source (not animated), a blend amount (for the
/// two material slots the material identifier they write instead) and a cycle in percent.
///
/// Per sample a slot with a source adds table[v] × blend, v the source value (0 … 1) plus
/// the cycle, wrapped once into 0 … 1. The tables hold 1000 colours of each gradient, entry j
/// its colour at (999 − j) / 1000, so v = 1 reads the gradient's start; they are rebuilt by
/// `__UpdateAtmos_`. Source values outside 0 … 1 are clamped first.
///
/// The distance sources measure the sample's distance from the first particle system of the
/// first helper that holds this shader (Emitter/Helper) or from that helper (Helper/Emitter),
/// in units of the distance between the two, capped at 1; they read 0 without such a helper.
/// "Particle Size (TrackView)" reads a 150-entry table per particle that holds the gradient
/// as it stands at the particle's age, so that a gradient keyed over time would follow each
/// particle's life; flags hold no keys yet, so today it reads as Particle Size.
///
/// Library record: the version block, the 30 parameters at time 0, then the twelve gradients
/// in `GradientId` order as gradient blocks.
class ZEPHRAVOLUME_API GradientColor final : public TablePlugIn {
public:
    static constexpr Class_ID kClassID{kColorShaderKey, 0x49B723EB};
    static constexpr int kParams = 30;

    enum Slot {
        kShadow1,
        kShadow2,
        kAmbient1,
        kAmbient2,
        kDiffuse1,
        kDiffuse2,
        kSpecular1,
        kSpecular2,
        kMaterial1,
        kMaterial2,
        kSlots
    };
    static constexpr int SourceParam(int slot) { return 3 * slot; }
    /// The blend amount; for kMaterial1 and kMaterial2 the material identifier (int).
    static constexpr int BlendParam(int slot) { return 3 * slot + 1; }
    static constexpr int CycleParam(int slot) { return 3 * slot + 2; }

    enum Source {
        kDisabled,
        kParticleAge,
        kTurbulence,
        kScreenX,
        kScreenY,
        kParticleSize,
        kParticleSizeTrackView,
        kEmitterHelperDistance,
        kHelperEmitterDistance,
        kGalaxyLow,
        kGalaxyMed,
        kGalaxyHigh,
        kPlasmaLow,
        kPlasmaMed,
        kPlasmaHigh,
        kSunbeams,
        kSources
    };

    /// The gradients in record order: gradient k is child k % 2 of data node k / 2.
    enum GradientId {
        kAmbientGradient1,
        kAmbientGradient2,
        kDiffuseGradient1,
        kDiffuseGradient2,
        kSpecularGradient1,
        kSpecularGradient2,
        kShininessGradient,
        kSelfIllumGradient,
        kMaterialGradient1,
        kMaterialGradient2,
        kShadowGradient1,
        kShadowGradient2,
        kGradients
    };
    enum { kRefFirstNode = 1, kNodes = 6 };
    static constexpr int kTableSize = 1000;
    static constexpr int kTrackTableSize = 150;
    /// Shininess and self-illumination are their gradient's red channel times this.
    static constexpr float kShininessBlend = 100.0f;

    /// A new Gradient Color with its defaults and six data nodes from their presets; one made
    /// for loading gets them from the file.
    explicit GradientColor(bool loading = false);
    ~GradientColor() override;

    Class_ID ClassID() override { return kClassID; }
    SClass_ID SuperClassID() override { return REF_MAKER_CLASS_ID; }
    void GetClassName(TSTR &s) override { s = "GradientColor"; }

    // References and sub-animatables
    int NumRefs() override { return kRefFirstNode + kNodes; }
    ReferenceTarget *GetReference(int i) override;
    void SetReference(int i, ReferenceTarget *target) override;
    TSTR SubAnimName(int i) override;

    /// Gradient `id`, or null when its node or the gradient is missing.
    Gradient *GetGradient(int id) const;

    // Named settings: the slots' sources, and each gradient's flags in their text form
    // (`FormatGradientFlags`) under the gradient's name ("Diffuse 1", "Shininess" …)
    std::vector<PropertyInfo> ListProperties() override;
    bool SetProperty(const std::string &name, const PropertyValue &value,
                     std::string &error) override;
    std::optional<PropertyValue> GetProperty(const std::string &name) override;

    // Renderer calls
    int __SupportProcessing__() override { return kVolumeRendererSupport; }
    /// Reads sources, blends, cycles and material identifiers at t, finds the reference points
    /// of the distance sources and rebuilds the tables of the gradients in use.
    void __UpdateAtmos_(TimeValue time) override;
    /// The particle's age value and the track-view tables of the slots that use them.
    void __CreateCache__(TimeValue time, ParticleVolume *volume) override;
    void __DestroyCache__(TimeValue time, ParticleVolume *volume) override;
    float __GetShadowStrength__(SampleInfo *sample) override;
    Color __GetColorAmbient__(SampleInfo *sample) override;
    Color __GetColorDiffuse__(SampleInfo *sample) override;
    Color __GetColorSpecular__(SampleInfo *sample) override;
    float __GetShininess__(SampleInfo *sample) override;
    float __GetSelfIllumination__(SampleInfo *sample) override;
    /// Slot kMaterial1 (kMaterial2) writes its material identifier into the sample's first
    /// (second) one where the red channel of its gradient exceeds 0.5, else 0.
    void __GetMaterialID__(SampleInfo *sample) override;
    /// The volume query (no particle object, index kVolumeQueryIndex) is answered with 1.
    void __EnumParticle__(ParticleInfo *info, void *particles, int index) override;

    /// The value of source `source` (0 … 1 unclamped) for `sample`.
    float SourceValue(int source, const SampleInfo &sample) const;
    static GradientColorCache *CacheOf(const ParticleVolume *volume);

protected:
    TablePlugIn *MakeForLoading() const override { return new GradientColor(true); }
    int SaveAppendedRecord(NimbraInterface *io) override;
    bool ReadAppendedRecord(NimbraInterface *io) override;
    void ApplyAppendedRecord() override;

private:
    struct SlotState {
        int source = kDisabled;
        float blend = 1.0f;
        float cycle = 0.0f;  ///< 0 … 1 (negative cycles: −1 … 0)
    };
    /// Slot `slot`'s contribution to `sample`.
    Color SlotColor(int slot, const SampleInfo &sample) const;
    Color SlotPair(int first, SampleInfo *sample) const;
    /// Entry of gradient `id`'s table for the Particle Age value of `sample`, times blend.
    float AgeChannel(int id, const SampleInfo *sample) const;

    std::array<DataNode *, kNodes> nodes_{};
    std::array<SlotState, kSlots> slots_{};
    int materialId_[2] = {0, 0};
    /// kGradients tables of kTableSize colours; empty until the first `__UpdateAtmos_`.
    std::vector<Color> tables_;
    // The distance sources: from the emitter and from the helper, over their distance.
    Point3 emitterPoint_, helperPoint_;
    float distanceScale_ = 0.0f;
    /// Gradients read by ApplyAppendedRecord, in GradientId order.
    std::vector<std::vector<GradientFlag>> pendingFlags_;
};
