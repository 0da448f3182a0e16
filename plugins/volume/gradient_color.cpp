/// @file gradient_color.cpp
/// @brief Gradient Color: parameters, data nodes and their classes, gradient tables, the
///        per-sample answers and the library record.
#include "plugins/volume/gradient_color.h"

#include "framework/helper_record.h"
#include "framework/nimbra_interface.h"
#include "framework/plugin_class_desc.h"
#include "framework/plugin_records.h"

#include "host/inode.h"
#include "host/interface.h"
#include "host/object.h"
#include "host/shade_context.h"

#include <algorithm>
#include <cmath>
#include <new>

namespace {

using GC = GradientColor;

// ---------------------------------------------------------------------------------------------
// Data classes

/// First half of the data classes' identifiers.
constexpr ULONG kGradientDataKey = 0x5A445441;

enum Preset { kDark, kMedium, kLight, kBlack, kWhite, kPresets };
const GradientPreset kGradientPresets[kPresets] = {
    {{kGradientDataKey, 0x10}, "Gradient_DarkCtlData", {0.11f, 0.11f, 0.11f}},
    {{kGradientDataKey, 0x11}, "Gradient_MedCtlData", {0.5f, 0.5f, 0.5f}},
    {{kGradientDataKey, 0x12}, "Gradient_LightCtlData", {0.9f, 0.9f, 0.9f}},
    {{kGradientDataKey, 0x13}, "Gradient_BlackCtlData", {0.0f, 0.0f, 0.0f}},
    {{kGradientDataKey, 0x14}, "Gradient_WhiteCtlData", {1.0f, 1.0f, 1.0f}},
};

/// The two gradients of each data node, in `GradientId` order.
const DataNodeChild kNodeChildren[GC::kNodes][2] = {
    {{"Ambient 1", &kGradientPresets[kDark]}, {"Ambient 2", &kGradientPresets[kDark]}},
    {{"Diffuse 1", &kGradientPresets[kMedium]}, {"Diffuse 2", &kGradientPresets[kMedium]}},
    {{"Specular 1", &kGradientPresets[kLight]}, {"Specular 2", &kGradientPresets[kLight]}},
    {{"Shininess", &kGradientPresets[kBlack]},
     {"Self-Illumination", &kGradientPresets[kBlack]}},
    {{"Material ID 1", &kGradientPresets[kBlack]},
     {"Material ID 2", &kGradientPresets[kBlack]}},
    {{"Shadow 1", &kGradientPresets[kWhite]}, {"Shadow 2", &kGradientPresets[kWhite]}},
};

const DataNodeClass kNodeClasses[GC::kNodes] = {
    {{kGradientDataKey, 1}, "Zephra_Data1", kNodeChildren[0]},
    {{kGradientDataKey, 2}, "Zephra_Data2", kNodeChildren[1]},
    {{kGradientDataKey, 3}, "Zephra_Data3", kNodeChildren[2]},
    {{kGradientDataKey, 4}, "Zephra_Data4", kNodeChildren[3]},
    {{kGradientDataKey, 5}, "Zephra_Data5", kNodeChildren[4]},
    {{kGradientDataKey, 6}, "Zephra_Data6", kNodeChildren[5]},
};

DataClassDesc<DataNode, DataNodeClass> nodeDescs[GC::kNodes] = {
    DataClassDesc<DataNode, DataNodeClass>(kNodeClasses[0]),
    DataClassDesc<DataNode, DataNodeClass>(kNodeClasses[1]),
    DataClassDesc<DataNode, DataNodeClass>(kNodeClasses[2]),
    DataClassDesc<DataNode, DataNodeClass>(kNodeClasses[3]),
    DataClassDesc<DataNode, DataNodeClass>(kNodeClasses[4]),
    DataClassDesc<DataNode, DataNodeClass>(kNodeClasses[5]),
};
DataClassDesc<Gradient, GradientPreset> presetDescs[kPresets] = {
    DataClassDesc<Gradient, GradientPreset>(kGradientPresets[kDark]),
    DataClassDesc<Gradient, GradientPreset>(kGradientPresets[kMedium]),
    DataClassDesc<Gradient, GradientPreset>(kGradientPresets[kLight]),
    DataClassDesc<Gradient, GradientPreset>(kGradientPresets[kBlack]),
    DataClassDesc<Gradient, GradientPreset>(kGradientPresets[kWhite]),
};
static_assert(int(GC::kNodes) + int(kPresets) == kGradientDataClasses);

// ---------------------------------------------------------------------------------------------
// Parameters

constexpr const char *kBlendNames[GC::kSlots] = {
    "Shadow Blend 1",  "Shadow Blend 2",  "Ambient Blend 1",  "Ambient Blend 2",
    "Diffuse Blend 1", "Diffuse Blend 2", "Specular Blend 1", "Specular Blend 2",
    "Material ID 1",   "Material ID 2"};
constexpr const char *kCycleNames[GC::kSlots] = {
    "Shadow Cycle 1",      "Shadow Cycle 2",     "Ambient Cycle 1",  "Ambient Cycle 2",
    "Diffuse Cycle 1",     "Diffuse Cycle 2",    "Specular Cycle 1", "Specular Cycle 2",
    "Material ID Cycle 1", "Material ID Cycle 2"};
constexpr const char *kSourceProperties[GC::kSlots] = {
    "Shadow Source 1",      "Shadow Source 2",     "Ambient Source 1",  "Ambient Source 2",
    "Diffuse Source 1",     "Diffuse Source 2",    "Specular Source 1", "Specular Source 2",
    "Material ID Source 1", "Material ID Source 2"};
constexpr int kDefaultSources[GC::kSlots] = {
    GC::kParticleAge, GC::kDisabled,    GC::kParticleAge, GC::kDisabled,     GC::kParticleAge,
    GC::kDisabled,    GC::kParticleAge, GC::kDisabled,    GC::kParticleSize, GC::kDisabled};
constexpr const char *kSourceLabels[GC::kSources] = {"DISABLED",
                                                     "Particle Age",
                                                     "Turbulence",
                                                     "Screen X",
                                                     "Screen Y",
                                                     "Particle Size",
                                                     "Particle Size (TrackView)",
                                                     "Emitter/Helper Distance",
                                                     "Helper/Emitter Distance",
                                                     "Galaxy/Nebula (Low)",
                                                     "Galaxy/Nebula (Med)",
                                                     "Galaxy/Nebula (High)",
                                                     "Fractal Plasma (Low)",
                                                     "Fractal Plasma (Med)",
                                                     "Fractal Plasma (High)",
                                                     "Raytraced SunBeams"};
/// The gradient each slot reads.
constexpr int kSlotGradient[GC::kSlots] = {GC::kShadowGradient1,   GC::kShadowGradient2,
                                           GC::kAmbientGradient1,  GC::kAmbientGradient2,
                                           GC::kDiffuseGradient1,  GC::kDiffuseGradient2,
                                           GC::kSpecularGradient1, GC::kSpecularGradient2,
                                           GC::kMaterialGradient1, GC::kMaterialGradient2};

constexpr bool IsMaterialSlot(int slot) {
    return slot == GC::kMaterial1 || slot == GC::kMaterial2;
}

ParamSpec Spec(const char *name, ParamType type, BOOL animatable, float value,
               ParamRange range) {
    return {name, type, animatable, value, defaultDim, {}, kParamIDIsIndex, range};
}

const std::array<ParamSpec, GC::kParams> kParamSpecs = [] {
    std::array<ParamSpec, GC::kParams> specs{};
    for (int g = 0; g < GC::kSlots; ++g) {
        // The source is a choice: unnamed, set by its property.
        specs[GC::SourceParam(g)] = Spec("??", TYPE_INT, FALSE, float(kDefaultSources[g]),
                                         {0.0f, float(GC::kSources - 1)});
        specs[GC::BlendParam(g)] =
            IsMaterialSlot(g) ? Spec(kBlendNames[g], TYPE_INT, TRUE, 0.0f, {0.0f, 255.0f})
                              : Spec(kBlendNames[g], TYPE_FLOAT, TRUE, 1.0f, {0.0f, 100.0f});
        specs[GC::CycleParam(g)] =
            Spec(kCycleNames[g], TYPE_FLOAT, TRUE, 0.0f, {-1000.0f, 1000.0f});
    }
    return specs;
}();

const std::array<ChoiceSpec, GC::kSlots> kChoices = [] {
    std::array<ChoiceSpec, GC::kSlots> choices{};
    for (int g = 0; g < GC::kSlots; ++g)
        choices[g] = {kSourceProperties[g], GC::SourceParam(g), kSourceLabels,
                      "what the gradient is read by: one of the source names, \"DISABLED\" "
                      "for none"};
    return choices;
}();

const PlugInLayout kLayout{kParamSpecs, {}, kChoices, 0};

// ---------------------------------------------------------------------------------------------
// Sources

constexpr float kGalaxyScale[3] = {1.25f, 5.0f, 10.0f};
constexpr float kPlasmaScale[3] = {10.0f, 20.0f, 30.0f};
/// A cycle is read modulo this many percent.
constexpr float kFullCycle = 100.0f;

/// `v` in 0 … 1 (NaN as 0).
float Clamp01(float v) {
    return !(v > 0.0f) ? 0.0f : (v > 1.0f ? 1.0f : v);
}

/// The entry of an n-entry table that value v (0 … 1) reads.
int Entry(float v, int n) {
    return int(Clamp01(v) * float(n - 1));
}

/// Fills `table` (n entries) with `gradient` at t, entry j its colour at (n − 1 − j) / n;
/// black without a gradient.
void FillTable(const Gradient *gradient, TimeValue t, Color *table, int n) {
    for (int i = 0; i < n; ++i)
        table[n - 1 - i] = gradient ? gradient->GetColor(float(i) / float(n), t) : Color();
}

/// The gradient named `name` ("Ambient 1" … "Shadow 2"), or -1.
int GradientNamed(const std::string &name) {
    for (int k = 0; k < GC::kGradients; ++k)
        if (name == kNodeChildren[k / 2][k % 2].name) return k;
    return -1;
}

}  // namespace

ClassDesc *GetGradientColorDesc() {
    return PlugInClassDesc<GradientColor>::Get("Gradient Color", "VolumeFX / Image Filter");
}

ClassDesc *GetGradientDataDesc(int i) {
    if (i >= 0 && i < GC::kNodes) return &nodeDescs[i];
    if (i >= GC::kNodes && i < kGradientDataClasses) return &presetDescs[i - GC::kNodes];
    return nullptr;
}

GradientColor::GradientColor(bool loading) : TablePlugIn(kLayout, loading) {
    if (loading) return;
    for (int k = 0; k < kNodes; ++k)
        ReplaceReference(kRefFirstNode + k, new DataNode(kNodeClasses[k], false));
}

GradientColor::~GradientColor() = default;

// ---------------------------------------------------------------------------------------------
// References

ReferenceTarget *GradientColor::GetReference(int i) {
    const int k = i - kRefFirstNode;
    return k >= 0 && k < kNodes ? nodes_[k] : TablePlugIn::GetReference(i);
}

void GradientColor::SetReference(int i, ReferenceTarget *target) {
    const int k = i - kRefFirstNode;
    if (k < 0 || k >= kNodes) return TablePlugIn::SetReference(i, target);
    auto *node = dynamic_cast<DataNode *>(target);
    // Only the node of the slot's own class: another (a damaged file) is not taken.
    nodes_[k] = node && node->ClassID() == kNodeClasses[k].id ? node : nullptr;
}

TSTR GradientColor::SubAnimName(int i) {
    const int k = i - kRefFirstNode;
    return k >= 0 && k < kNodes ? TSTR(kNodeClasses[k].name) : TablePlugIn::SubAnimName(i);
}

Gradient *GradientColor::GetGradient(int id) const {
    if (id < 0 || id >= kGradients) return nullptr;
    const DataNode *node = nodes_[id / 2];
    return node ? node->Get(id % 2) : nullptr;
}

// ---------------------------------------------------------------------------------------------
// Named settings

std::vector<PropertyInfo> GradientColor::ListProperties() {
    std::vector<PropertyInfo> list = TablePlugIn::ListProperties();
    for (int k = 0; k < kGradients; ++k)
        list.push_back({kNodeChildren[k / 2][k % 2].name,
                        PropertyKind::String,
                        {},
                        "the gradient's flags, \"position: red green blue [name]\" each, "
                        "separated by \";\""});
    return list;
}

bool GradientColor::SetProperty(const std::string &name, const PropertyValue &value,
                                std::string &error) {
    const int k = GradientNamed(name);
    if (k < 0) return TablePlugIn::SetProperty(name, value, error);
    const auto *text = std::get_if<std::string>(&value);
    std::vector<GradientFlag> flags;
    if (!text || !ParseGradientFlags(*text, flags, error)) {
        error = "\"" + name + "\": " + (text ? error : "expects a text of flags");
        return false;
    }
    Gradient *gradient = GetGradient(k);
    if (!gradient) {
        error = "\"" + name + "\": the gradient is missing from this Gradient Color";
        return false;
    }
    SetGradientFlags(*gradient, flags);
    return true;
}

std::optional<PropertyValue> GradientColor::GetProperty(const std::string &name) {
    const int k = GradientNamed(name);
    if (k < 0) return TablePlugIn::GetProperty(name);
    const Gradient *gradient = GetGradient(k);
    if (!gradient) return std::nullopt;
    return FormatGradientFlags(*gradient);
}

// ---------------------------------------------------------------------------------------------
// Per frame and per particle

void GradientColor::__UpdateAtmos_(TimeValue t) {
    std::array<bool, kGradients> used{};
    used[kShininessGradient] = used[kSelfIllumGradient] = true;
    for (int g = 0; g < kSlots; ++g) {
        SlotState &slot = slots_[g];
        slot.source = ChoiceParam(SourceParam(g), t, kSources);
        slot.blend = IsMaterialSlot(g) ? 1.0f : FloatParam(BlendParam(g), t);
        const float cycle = std::fmod(FloatParam(CycleParam(g), t), kFullCycle) / kFullCycle;
        slot.cycle = std::isfinite(cycle) ? cycle : 0.0f;
        if (slot.source != kDisabled) used[kSlotGradient[g]] = true;
    }
    materialId_[0] = IntParam(BlendParam(kMaterial1), t);
    materialId_[1] = IntParam(BlendParam(kMaterial2), t);

    // The distance sources measure from the first emitter of the first helper that holds this
    // shader, and from that helper, in units of their distance.
    distanceScale_ = 0.0f;
    std::vector<INode *> pending{GetCOREInterface()->GetRootNode()};
    while (!pending.empty() && distanceScale_ == 0.0f) {
        INode *node = pending.back();
        pending.pop_back();
        if (!node) continue;
        for (int c = 0; c < node->NumberOfChildren(); ++c)
            pending.push_back(node->GetChildNode(c));
        Object *helper = node->GetObjectRef();
        if (!helper || !GetHelperRecordInterface(helper) || !HasDependent(helper)) continue;
        for (int r = 0; r < helper->NumRefs(); ++r) {
            auto *emitter = dynamic_cast<INode *>(helper->GetReference(r));
            if (!emitter) continue;
            helperPoint_ = node->GetNodeTM(t).GetTrans();
            emitterPoint_ = emitter->GetNodeTM(t).GetTrans();
            distanceScale_ = Length(helperPoint_ - emitterPoint_);
            break;
        }
    }

    tables_.resize(std::size_t(kGradients) * kTableSize);  // allocated once
    for (int k = 0; k < kGradients; ++k)
        if (used[k])
            FillTable(GetGradient(k), t, &tables_[std::size_t(k) * kTableSize], kTableSize);
}

GradientColorCache *GradientColor::CacheOf(const ParticleVolume *volume) {
    return volume ? static_cast<GradientColorCache *>(volume->cache[kColorCache]) : nullptr;
}

void GradientColor::__CreateCache__(TimeValue t, ParticleVolume *volume) {
    if (!volume) return;
    __DestroyCache__(t, volume);
    auto *cache = new GradientColorCache;
    const float span = float(volume->lifeEnd - volume->lifeStart);
    cache->age = span > 0.0f ? 1.0f - float(volume->age) / span : 1.0f;
    for (int g = 0; g < kSlots; ++g) {
        if (slots_[g].source != kParticleSizeTrackView) continue;
        cache->trackOffset[g] = int(cache->track.size());
        cache->track.resize(cache->track.size() + kTrackTableSize);
        // The gradient at the particle's age: a gradient animated in the track view changes
        // over each particle's life.
        FillTable(GetGradient(kSlotGradient[g]), volume->age,
                  &cache->track[cache->trackOffset[g]], kTrackTableSize);
    }
    volume->cache[kColorCache] = cache;
}

void GradientColor::__DestroyCache__(TimeValue, ParticleVolume *volume) {
    if (!volume) return;
    delete CacheOf(volume);
    volume->cache[kColorCache] = nullptr;
}

// ---------------------------------------------------------------------------------------------
// Per sample

float GradientColor::SourceValue(int source, const SampleInfo &s) const {
    switch (source) {
        case kParticleAge: {
            const GradientColorCache *cache = CacheOf(s.volume);
            return cache ? cache->age : 0.0f;
        }
        case kTurbulence:
            return s.noise;
        case kScreenX:
        case kScreenY: {
            // No shade context or image size: the image's left (top) edge.
            const RenderGlobalContext *g =
                s.shadeContext ? s.shadeContext->globContext : nullptr;
            const int size = !g ? 0 : source == kScreenX ? g->devWidth : g->devHeight;
            if (size <= 0) return 1.0f;
            const IPoint2 p = s.shadeContext->ScreenCoord();
            return 1.0f - float(source == kScreenX ? p.x : p.y) / float(size);
        }
        case kParticleSize:
        case kParticleSizeTrackView:
            return s.radius;
        case kEmitterHelperDistance:
        case kHelperEmitterDistance: {
            if (distanceScale_ <= 0.0f) return 0.0f;
            const Point3 &from =
                source == kEmitterHelperDistance ? emitterPoint_ : helperPoint_;
            return std::min(1.0f, Length(s.worldPoint - from) / distanceScale_);
        }
        case kGalaxyLow:
        case kGalaxyMed:
        case kGalaxyHigh:
            return std::min(1.0f, s.noise * kGalaxyScale[source - kGalaxyLow]);
        case kPlasmaLow:
        case kPlasmaMed:
        case kPlasmaHigh:
            return std::min(1.0f, s.radius * s.noise * kPlasmaScale[source - kPlasmaLow]);
        case kSunbeams:
            return s.sunbeam;
        default:
            return 0.0f;
    }
}

Color GradientColor::SlotColor(int g, const SampleInfo &s) const {
    const SlotState &slot = slots_[g];
    if (slot.source == kDisabled || tables_.empty()) return Color();
    float v = Clamp01(SourceValue(slot.source, s)) + slot.cycle;
    if (v > 1.0f)
        v -= 1.0f;
    else if (v < 0.0f)
        v += 1.0f;  // a negative cycle
    if (slot.source == kParticleSizeTrackView) {
        const GradientColorCache *cache = CacheOf(s.volume);
        if (!cache || cache->trackOffset[g] < 0) return Color();
        return cache->track[cache->trackOffset[g] + Entry(v, kTrackTableSize)] * slot.blend;
    }
    return tables_[std::size_t(kSlotGradient[g]) * kTableSize + Entry(v, kTableSize)] *
           slot.blend;
}

Color GradientColor::SlotPair(int first, SampleInfo *s) const {
    return s ? SlotColor(first, *s) + SlotColor(first + 1, *s) : Color();
}

float GradientColor::AgeChannel(int id, const SampleInfo *s) const {
    if (!s || tables_.empty()) return 0.0f;
    const float age = SourceValue(kParticleAge, *s);
    return tables_[std::size_t(id) * kTableSize + Entry(age, kTableSize)].r * kShininessBlend;
}

float GradientColor::__GetShadowStrength__(SampleInfo *s) {
    return SlotPair(kShadow1, s).r;
}

Color GradientColor::__GetColorAmbient__(SampleInfo *s) {
    return SlotPair(kAmbient1, s);
}

Color GradientColor::__GetColorDiffuse__(SampleInfo *s) {
    return SlotPair(kDiffuse1, s);
}

Color GradientColor::__GetColorSpecular__(SampleInfo *s) {
    return SlotPair(kSpecular1, s);
}

float GradientColor::__GetShininess__(SampleInfo *s) {
    return AgeChannel(kShininessGradient, s);
}

float GradientColor::__GetSelfIllumination__(SampleInfo *s) {
    return AgeChannel(kSelfIllumGradient, s);
}

void GradientColor::__GetMaterialID__(SampleInfo *s) {
    if (!s) return;
    for (int i = 0; i < 2; ++i)
        s->materialId[i] = SlotColor(kMaterial1 + i, *s).r > 0.5f ? materialId_[i] : 0;
}

void GradientColor::__EnumParticle__(ParticleInfo *info, void *particles, int index) {
    if (!particles && index == kVolumeQueryIndex && info) *reinterpret_cast<int *>(info) = 1;
}

// ---------------------------------------------------------------------------------------------
// Library record: the gradient blocks after the parameters

int GradientColor::SaveAppendedRecord(NimbraInterface *io) {
    std::vector<std::uint8_t> blocks(kGradients * kGradientBlockSize);  // missing: no flags
    for (int k = 0; k < kGradients; ++k)
        if (const Gradient *gradient = GetGradient(k))
            WriteGradientBlock(*gradient, &blocks[k * kGradientBlockSize]);
    return io->fwrite(blocks.data(), unsigned(blocks.size()), 1) == 1 ? 1 : 0;
}

bool GradientColor::ReadAppendedRecord(NimbraInterface *io) {
    std::vector<std::uint8_t> blocks(kGradients * kGradientBlockSize);
    pendingFlags_.assign(kGradients, {});
    if (io->fread(blocks.data(), unsigned(blocks.size()), 1) != 1) return false;
    for (int k = 0; k < kGradients; ++k)
        if (!ReadGradientBlock(&blocks[k * kGradientBlockSize], pendingFlags_[k])) return false;
    return true;
}

void GradientColor::ApplyAppendedRecord() {
    for (int k = 0; k < kGradients; ++k) {
        const int node = k / 2;
        if (!nodes_[node])  // lost from a damaged scene: the record brings it back
            ReplaceReference(kRefFirstNode + node, new DataNode(kNodeClasses[node], false));
        if (Gradient *gradient = GetGradient(k)) SetGradientFlags(*gradient, pendingFlags_[k]);
    }
    pendingFlags_.clear();
}
