/// @file combustion.cpp
/// @brief Combustion: parameters, controllers, the per-particle record and the per-sample
///        density and shadow calls.
#include "plugins/volume/combustion.h"

#include "framework/nimbra_interface.h"
#include "framework/plugin_class_desc.h"
#include "framework/plugin_records.h"

#include "host/ioapi.h"
#include "host/messages.h"
#include "host/noise.h"

#include <cmath>
#include <new>
#include <vector>

namespace {

// Parameter block (version 1). Percent quantities are stored as fractions.
const ParamSpec kParamSpecs[Combustion::kParams] = {
    {"Birth Noise Size",
     TYPE_FLOAT,
     TRUE,
     0.5f,
     defaultDim,
     {},
     kParamIDIsIndex,
     {0.0f, 1e10f}},
    {"Death Noise Size",
     TYPE_FLOAT,
     TRUE,
     0.5f,
     defaultDim,
     {},
     kParamIDIsIndex,
     {0.0f, 1e10f}},
    {"Birth Noise Phase",
     TYPE_FLOAT,
     TRUE,
     0.0f,
     defaultDim,
     {},
     kParamIDIsIndex,
     {0.0f, 1e10f}},
    {"Death Noise Phase",
     TYPE_FLOAT,
     TRUE,
     0.0f,
     defaultDim,
     {},
     kParamIDIsIndex,
     {0.0f, 1e10f}},
    {"Noise Levels", TYPE_FLOAT, TRUE, 3.0f, defaultDim, {}, kParamIDIsIndex, {1.0f, 40.0f}},
    {"Birth Regularity",
     TYPE_FLOAT,
     TRUE,
     0.02f,
     defaultDim,
     {},
     kParamIDIsIndex,
     {0.0f, 1.0f}},
    {"Death Regularity",
     TYPE_FLOAT,
     TRUE,
     0.02f,
     defaultDim,
     {},
     kParamIDIsIndex,
     {0.0f, 1.0f}},
    {"Birth Density", TYPE_FLOAT, TRUE, 0.08f, defaultDim, {}, kParamIDIsIndex, {0.0f, 10.0f}},
    {"Death Density", TYPE_FLOAT, TRUE, 0.08f, defaultDim, {}, kParamIDIsIndex, {0.0f, 10.0f}},
    {"Birth Shdw. Density",
     TYPE_FLOAT,
     TRUE,
     1.0f,
     defaultDim,
     {},
     kParamIDIsIndex,
     {0.0f, 5.0f}},
    {"Death Shdw. Density",
     TYPE_FLOAT,
     TRUE,
     1.0f,
     defaultDim,
     {},
     kParamIDIsIndex,
     {0.0f, 5.0f}},
    {"??", TYPE_INT, FALSE, 0.0f, defaultDim},  // stretch axis: the "Stretch Axis" property
    {"Birth Stretch", TYPE_FLOAT, TRUE, 0.0f, defaultDim, {}, kParamIDIsIndex, {-10.0f, 10.0f}},
    {"Death Stretch", TYPE_FLOAT, TRUE, 0.0f, defaultDim, {}, kParamIDIsIndex, {-10.0f, 10.0f}},
    {"Birth Motion",
     TYPE_FLOAT,
     TRUE,
     0.0f,
     defaultDim,
     {},
     kParamIDIsIndex,
     {-99999.9f, 99999.9f}},
    {"Death Motion",
     TYPE_FLOAT,
     TRUE,
     25.0f,
     defaultDim,
     {},
     kParamIDIsIndex,
     {-99999.9f, 99999.9f}},
    {"??", TYPE_INT, FALSE, 0.0f,
     defaultDim},  // density falloff: the "Density Falloff" property
};

// The controllers in reference order, with their spinners' ranges and steps and the roll-up
// buttons that open them.
const ControllerSpec kControllers[Combustion::kControllers] = {
    {"Noise Size", 1201, ControllerSpec::kFloat, 0.0f, 1e10f, 0.01f},
    {"Noise Phase", 1202, ControllerSpec::kFloat, 0.0f, 1e10f, 0.01f},
    {"Regularity", 1203, ControllerSpec::kFloat, 0.0f, 100.0f, 0.5f},
    {"Density", 1204, ControllerSpec::kFloat, 0.0f, 100.0f, 0.5f},
    {"Motion", 1205, ControllerSpec::kFloat, -99999.9f, 99999.9f, 0.5f},
    {"Shadow Density", 1206, ControllerSpec::kFloat, 0.0f, 100.0f, 0.5f},
    {"Stretch", 1207, ControllerSpec::kFloat, 0.0f, 100.0f, 0.5f},
};

constexpr const char *kAxisLabels[] = {"X", "Y", "Z"};
constexpr const char *kFalloffLabels[Combustion::kFalloffs] = {"None", "Linear", "Cubic"};
const ChoiceSpec kChoices[] = {
    {"Stretch Axis", Combustion::kStretchAxis, kAxisLabels,
     "the axis (\"X\", \"Y\" or \"Z\") along which Stretch scales the noise"},
    {"Density Falloff", Combustion::kDensityFalloff, kFalloffLabels,
     "how the density thins towards the rim: \"None\", \"Linear\" or \"Cubic\""},
};

const PlugInLayout kLayout{kParamSpecs, kControllers, kChoices, Combustion::kBlockVersion,
                           Combustion::kVersion0Params};

/// Sub-animatables 1 … 7 as references: the last three controllers are listed in the order
/// Shadow Density, Stretch, Motion.
constexpr int kSubAnimReference[Combustion::kControllers + 1] = {0, 1, 2, 3, 4, 6, 7, 5};

// What the noise-size parameters are multiplied by before their controller blends them.
constexpr float kNoiseSizeScale = 0.1f;
// Regularity is lowered by this, so that the default leaves a thin shell of noise.
constexpr float kRegularityBias = 0.001f;
// The stored density is scaled by this.
constexpr float kDensityScale = 0.01f;
// What a preview render with "disable regularity" or "disable density" uses instead.
constexpr float kPreviewRegularity = 0.999f;
constexpr float kPreviewDensity = 0.01f;
constexpr float kPreviewShadowDensity = 1.0f;

/// The layout of `count` parameters of the table, for `UpdateParameterBlock`.
std::vector<ParamBlockDescID> BlockLayout(int count) {
    std::vector<ParamBlockDescID> desc(count);
    for (int i = 0; i < count; ++i)
        desc[i] = {kParamSpecs[i].type, nullptr, kParamSpecs[i].animatable, DWORD(i)};
    return desc;
}

/// Runs the upgrade of one loaded Combustion once the whole scene is back.
class CombustionPostLoad final : public PostLoadCallback {
public:
    explicit CombustionPostLoad(Combustion *owner) : owner_(owner) {}
    void proc(ILoad *iload) override {
        owner_->UpgradeLoadedBlock(iload);
        delete this;
    }

private:
    Combustion *owner_;
};

}  // namespace

ClassDesc *GetCombustionDesc() {
    return PlugInClassDesc<Combustion>::Get("Combustion", "VolumeFX");
}

Combustion::Combustion(bool loading) : TablePlugIn(kLayout, loading) {}

Combustion::~Combustion() = default;

// ---------------------------------------------------------------------------------------------
// References, sub-animatables, scene files

ReferenceTarget *Combustion::GetReference(int i) {
    ReferenceTarget *target = TablePlugIn::GetReference(i);
    return i == kRefParams && !target ? oldBlock_ : target;
}

void Combustion::SetReference(int i, ReferenceTarget *target) {
    TablePlugIn::SetReference(i, target);
    if (i != kRefParams) return;
    auto *block = dynamic_cast<IParamBlock *>(target);
    oldBlock_ =
        !ParamBlock() && BlockMatches(block, kParamSpecs, kVersion0Params) ? block : nullptr;
}

Animatable *Combustion::SubAnim(int i) {
    return i >= 0 && i <= kControllers ? GetReference(kSubAnimReference[i]) : nullptr;
}

TSTR Combustion::SubAnimName(int i) {
    return i >= 0 && i <= kControllers ? TablePlugIn::SubAnimName(kSubAnimReference[i])
                                       : TSTR();
}

IOResult Combustion::Load(ILoad *iload) {
    iload->RegisterPostLoadCallback(new CombustionPostLoad(this));
    return IO_OK;
}

void Combustion::UpgradeLoadedBlock(ILoad *iload) {
    auto *block = dynamic_cast<IParamBlock *>(GetReference(kRefParams));
    if (!block) return;  // none in the file: the defaults stand
    const DWORD version = block->GetVersion();
    if (version == kBlockVersion) return;
    DbgAssert(version == 0);
    const std::vector<ParamBlockDescID> before = BlockLayout(kVersion0Params);
    const std::vector<ParamBlockDescID> after = BlockLayout(kParams);
    ReplaceReference(kRefParams, UpdateParameterBlock(before.data(), kVersion0Params, block,
                                                      after.data(), kParams, kBlockVersion));
    iload->SetObsolete();
}

// ---------------------------------------------------------------------------------------------
// Per frame and per particle

void Combustion::__UpdateAtmos_(TimeValue time) {
    const float levels = FloatParam(kNoiseLevels, time);
    // NaN sums nothing; the cap keeps a sample's work bounded.
    noiseLevels_ = levels > 0.0f ? std::fmin(levels, kMaxNoiseLevels) : 0.0f;
}

CombustionCache *Combustion::CacheOf(const ParticleVolume *volume) {
    return volume ? static_cast<CombustionCache *>(volume->cache[kShapeCache]) : nullptr;
}

void Combustion::__CreateCache__(TimeValue t, ParticleVolume *volume) {
    if (!volume) return;
    // A volume that still holds a record from before gets a fresh one, not a second one.
    __DestroyCache__(t, volume);
    auto *cache = new (std::nothrow) CombustionCache;
    DbgAssert(cache);

    const int particle = static_cast<int>(volume->phase);
    for (int i = 0; i < kControllers; ++i)
        if (NimbraController *c = GetController(i))
            c->__Reset__(t, volume->lifeStart, volume->lifeEnd, particle);
    // Controller c blends the two parameters `birth` and `birth + 1`.
    const auto quantity = [&](int c, int birth, float scale = 1.0f) {
        return EvalFloat(c, volume->age, scale * FloatParam(birth, t),
                         scale * FloatParam(birth + 1, t));
    };
    NimbraInterface *iface = GetNimbraInterface();
    const bool preview = iface->GetPreviewRendering() != 0;

    cache->noiseSize = quantity(kNoiseSizeController, kBirthNoiseSize, kNoiseSizeScale);
    cache->noisePhase = quantity(kNoisePhaseController, kBirthNoisePhase);
    cache->regularity = quantity(kRegularityController, kBirthRegularity) - kRegularityBias;
    if (preview && iface->GetDisableRegularity()) cache->regularity = kPreviewRegularity;
    cache->density = quantity(kDensityController, kBirthDensity) * kDensityScale;
    if (preview && iface->GetDisableDensity()) cache->density = kPreviewDensity;
    cache->motion = quantity(kMotionController, kBirthMotion);
    cache->shadowDensity = quantity(kShadowDensityController, kBirthShadowDensity);
    // The density switch, not the shadow switch, governs the shadow density in previews.
    if (preview && iface->GetDisableDensity()) cache->shadowDensity = kPreviewShadowDensity;
    // An axis outside X, Y, Z (a damaged file) would index outside the point: X instead.
    cache->stretchAxis = ChoiceParam(kStretchAxis, t, 3);
    cache->stretchFactor = quantity(kStretchController, kBirthStretch) + 1.0f;
    cache->densityFalloff = IntParam(kDensityFalloff, t);
    volume->cache[kShapeCache] = cache;
}

void Combustion::__DestroyCache__(TimeValue, ParticleVolume *volume) {
    if (!volume) return;
    delete CacheOf(volume);
    volume->cache[kShapeCache] = nullptr;
}

// ---------------------------------------------------------------------------------------------
// Per sample

void Combustion::__Density_Function__(SampleInfo *sample) {
    const CombustionCache *cache = sample ? CacheOf(sample->volume) : nullptr;
    if (!cache) return;
    const ParticleVolume &volume = *sample->volume;
    Point3 &p = sample->point;
    p[cache->stretchAxis] *= cache->stretchFactor;
    p += volume.motion * cache->motion;
    const Point3 q = p * cache->noiseSize;
    const float phase = volume.phase + cache->noisePhase;

    float sum = 0.0f, weight = 1.0f, n = noiseLevels_;
    for (; n >= 1.0f; n -= 1.0f, weight *= 2.0f)
        sum += std::fabs(noise4(q * weight, phase)) / weight;
    if (n > 0.0f) sum += std::fabs(noise4(q * weight, phase)) * n / weight;

    const float r = sample->radius;
    if (r > cache->regularity) sum -= r - cache->regularity;
    if (sum < 0.0f) sum = 0.0f;

    switch (cache->densityFalloff) {
        case kNoFalloff:
            sample->density = sum * cache->density;
            break;
        case kLinearFalloff:
            sample->density = (1.0f - r) * cache->density * sum;
            break;
        case kCubicFalloff: {
            const float f = 1.0f - r;
            sample->density = f * f * f * cache->density * sum;
            break;
        }
        default:
            return;  // a falloff this build does not know writes nothing
    }
    sample->noise = sum;
}

void Combustion::__LightShadow_Function__(SampleInfo *sample) {
    const CombustionCache *cache = sample ? CacheOf(sample->volume) : nullptr;
    if (!cache || cache->shadowDensity == 0.0f) return;
    __Density_Function__(sample);  // virtual: a derived class's density is used
    sample->density *= cache->shadowDensity;
}

void Combustion::__EnumParticle__(ParticleInfo *info, void *particles, int index) {
    if (!particles && index == kVolumeQueryIndex && info) *reinterpret_cast<int *>(info) = 1;
}
