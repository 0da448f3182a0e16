/// @file noise_volume.cpp
/// @brief The shared frame of the noise volume effects: references, the post-load upgrade, the
///        per-particle quantities and the shadow call.
#include "plugins/volume/noise_volume.h"

#include "framework/nimbra_interface.h"
#include "framework/plugin_records.h"

#include "host/ioapi.h"
#include "host/messages.h"

#include <vector>

namespace {

/// Sub-animatables 1 … 7 as references: the last three controllers are listed in the order
/// Shadow Density, Stretch, Motion.
constexpr int kSubAnimReference[NoiseVolume::kControllers + 1] = {0, 1, 2, 3, 4, 6, 7, 5};

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

/// The layout of the first `count` parameters, for `UpdateParameterBlock`.
std::vector<ParamBlockDescID> BlockLayout(std::span<const ParamSpec> specs, int count) {
    std::vector<ParamBlockDescID> desc(count);
    for (int i = 0; i < count; ++i)
        desc[i] = {specs[i].type, nullptr, specs[i].animatable, DWORD(i)};
    return desc;
}

/// Runs the upgrade of one loaded volume once the whole scene is back.
class NoiseVolumePostLoad final : public PostLoadCallback {
public:
    explicit NoiseVolumePostLoad(NoiseVolume *owner) : owner_(owner) {}
    void proc(ILoad *iload) override {
        owner_->UpgradeLoadedBlock(iload);
        delete this;
    }

private:
    NoiseVolume *owner_;
};

constexpr const char *kAxisLabels[] = {"X", "Y", "Z"};

}  // namespace

ChoiceSpec StretchAxisChoice(int param) {
    return {"Stretch Axis", param, kAxisLabels,
            "the axis (\"X\", \"Y\" or \"Z\") along which Stretch scales the noise"};
}

NoiseVolume::NoiseVolume(const PlugInLayout &layout, const NoiseVolumeParams &params,
                         int version0Params, bool loading)
    : TablePlugIn(layout, loading), params_(params), version0Params_(version0Params) {}

// ---------------------------------------------------------------------------------------------
// References, sub-animatables, scene files

ReferenceTarget *NoiseVolume::GetReference(int i) {
    ReferenceTarget *target = TablePlugIn::GetReference(i);
    return i == kRefParams && !target ? oldBlock_ : target;
}

void NoiseVolume::SetReference(int i, ReferenceTarget *target) {
    TablePlugIn::SetReference(i, target);
    if (i != kRefParams) return;
    auto *block = dynamic_cast<IParamBlock *>(target);
    oldBlock_ = version0Params_ > 0 && !ParamBlock() &&
                        BlockMatches(block, Layout().params.data(), version0Params_)
                    ? block
                    : nullptr;
}

Animatable *NoiseVolume::SubAnim(int i) {
    return i >= 0 && i <= kControllers ? GetReference(kSubAnimReference[i]) : nullptr;
}

TSTR NoiseVolume::SubAnimName(int i) {
    return i >= 0 && i <= kControllers ? TablePlugIn::SubAnimName(kSubAnimReference[i])
                                       : TSTR();
}

IOResult NoiseVolume::Load(ILoad *iload) {
    iload->RegisterPostLoadCallback(new NoiseVolumePostLoad(this));
    return IO_OK;
}

void NoiseVolume::UpgradeLoadedBlock(ILoad *iload) {
    auto *block = dynamic_cast<IParamBlock *>(GetReference(kRefParams));
    if (!block) return;  // none in the file: the defaults stand
    const DWORD version = block->GetVersion(), current = Layout().blockVersion;
    if (version == current) return;
    DbgAssert(version == 0 && version0Params_ > 0);
    if (block != oldBlock_) return;  // nothing this class knows how to upgrade
    const int params = int(Layout().params.size());
    const std::vector<ParamBlockDescID> before = BlockLayout(Layout().params, version0Params_);
    const std::vector<ParamBlockDescID> after = BlockLayout(Layout().params, params);
    ReplaceReference(kRefParams, UpdateParameterBlock(before.data(), version0Params_, block,
                                                      after.data(), params, current));
    iload->SetObsolete();
}

// ---------------------------------------------------------------------------------------------
// Per particle

float NoiseVolume::FillCache(TimeValue t, ParticleVolume &volume, NoiseVolumeCache &cache) {
    const int particle = static_cast<int>(volume.phase);
    for (int i = 0; i < kControllers; ++i)
        if (NimbraController *c = GetController(i))
            c->__Reset__(t, volume.lifeStart, volume.lifeEnd, particle);
    // Controller c blends the two parameters `birth` and `birth + 1`.
    const auto quantity = [&](int c, int birth, float scale = 1.0f) {
        return EvalFloat(c, volume.age, scale * FloatParam(birth, t),
                         scale * FloatParam(birth + 1, t));
    };
    NimbraInterface *iface = GetNimbraInterface();
    const bool preview = iface->GetPreviewRendering() != 0;

    cache.noiseSize = quantity(kNoiseSizeController, params_.noiseSize, kNoiseSizeScale);
    const float second = quantity(kSecondController, params_.second);
    cache.regularity = quantity(kRegularityController, params_.regularity) - kRegularityBias;
    if (preview && iface->GetDisableRegularity()) cache.regularity = kPreviewRegularity;
    cache.density = quantity(kDensityController, params_.density) * kDensityScale;
    if (preview && iface->GetDisableDensity()) cache.density = kPreviewDensity;
    cache.motion = quantity(kMotionController, params_.motion);
    cache.shadowDensity = quantity(kShadowDensityController, params_.shadowDensity);
    // The density switch, not the shadow switch, governs the shadow density in previews.
    if (preview && iface->GetDisableDensity()) cache.shadowDensity = kPreviewShadowDensity;
    // An axis outside X, Y, Z (a damaged file) would index outside the point: X instead.
    cache.stretchAxis = ChoiceParam(params_.stretchAxis, t, 3);
    cache.stretchFactor = quantity(kStretchController, params_.stretch) + 1.0f;
    return second;
}

void NoiseVolume::Attach(TimeValue t, ParticleVolume &volume, NoiseVolumeCache *cache) {
    // A volume that still holds a record from before gets the fresh one, not a second one.
    __DestroyCache__(t, &volume);
    volume.cache[kShapeCache] = cache;
}

void NoiseVolume::__DestroyCache__(TimeValue, ParticleVolume *volume) {
    if (!volume) return;
    delete RecordOf(volume);
    volume->cache[kShapeCache] = nullptr;
}

// ---------------------------------------------------------------------------------------------
// Per sample

Point3 &NoiseVolume::Stretched(SampleInfo &sample, const NoiseVolumeCache &cache) {
    sample.point[cache.stretchAxis] *= cache.stretchFactor;
    return sample.point;
}

void NoiseVolume::__LightShadow_Function__(SampleInfo *sample) {
    const NoiseVolumeCache *cache = sample ? RecordOf(sample->volume) : nullptr;
    if (!cache || cache->shadowDensity == 0.0f) return;
    __Density_Function__(sample);  // virtual: the derived class's density
    sample->density *= cache->shadowDensity;
}

void *NoiseVolume::GetInterface(ULONG id) {
    if (id == I_DENSITYRUN) return static_cast<IDensityRun *>(this);
    return TablePlugIn::GetInterface(id);
}

void NoiseVolume::LightShadowRun(SampleInfo *samples, int count) {
    const NoiseVolumeCache *cache = count > 0 ? RecordOf(samples[0].volume) : nullptr;
    if (!cache || cache->shadowDensity == 0.0f) return;
    DensityRun(samples, count);  // virtual: the derived class's densities
    for (int i = 0; i < count; ++i) samples[i].density *= cache->shadowDensity;
}

void NoiseVolume::__EnumParticle__(ParticleInfo *info, void *particles, int index) {
    if (!particles && index == kVolumeQueryIndex && info) *reinterpret_cast<int *>(info) = 1;
}
