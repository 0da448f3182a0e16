/// @file default_controller.cpp
/// @brief The default age controller: parameter blocks, per-particle reset and evaluation,
///        set-up, editor state, library records and scene-file data.
#include "plugins/standard/default_controller.h"

#include "framework/plugin_class_desc.h"

#include "framework/library_block.h"
#include "framework/nimbra_interface.h"
#include "host/noise.h"

#include <algorithm>
#include <array>
#include <climits>
#include <cstdint>

namespace {

// Layouts of the two parameter blocks (version 0).
const ParamBlockDesc kInterpolationLayout[DefaultController::kInterpolationParams] = {
    {TYPE_FLOAT, nullptr, TRUE},  // IPC Value 1
    {TYPE_FLOAT, nullptr, TRUE},  // IPC Value 2
};

/// The variation block of one kind: the first two parameters take the kind's type.
constexpr std::array<ParamBlockDesc, DefaultController::kVariationParams> VariationLayout(
    ParamType variationType) {
    return {{
        {variationType, nullptr, TRUE},  // Birth Variation
        {variationType, nullptr, TRUE},  // Death Variation
        {TYPE_FLOAT, nullptr, TRUE},     // Variation Strength
        {TYPE_INT, nullptr, FALSE},      // age-noise seed
        {TYPE_FLOAT, nullptr, TRUE},     // Noise Frequency
        {TYPE_FLOAT, nullptr, TRUE},     // Noise Strength
        {TYPE_BOOL, nullptr, FALSE},     // fractal switch
        {TYPE_FLOAT, nullptr, TRUE},     // Noise Roughness
    }};
}
const auto kIntLayout = VariationLayout(TYPE_INT);
const auto kFloatLayout = VariationLayout(TYPE_FLOAT);
const auto kColorLayout = VariationLayout(TYPE_RGBA);

const std::array<ParamBlockDesc, DefaultController::kVariationParams> &LayoutOf(int kind) {
    return kind == kKindInt ? kIntLayout : kind == kKindFloat ? kFloatLayout : kColorLayout;
}

// Parameter names; the seed and the fractal switch have none.
constexpr const char *kInterpolationNamesByParam[DefaultController::kInterpolationParams] = {
    "IPC Value 1", "IPC Value 2"};
constexpr const char *kVariationNamesByParam[DefaultController::kVariationParams] = {
    "Birth Variation", "Death Variation", "Variation Strength", nullptr, "Noise Frequency",
    "Noise Strength",  nullptr,           "Noise Roughness"};
constexpr char kUnnamedParam[] = "??";

// What the editor's spinners accept: the two values are fractions of the life; the variation
// block's birth and death values take the range of the owner's set-up, and always 0 (no
// variation, what a set-up starts them at).
constexpr ParamRange kValueRange{0.0f, 1.0f};
constexpr ParamRange kVariationRanges[DefaultController::kVariationParams] = {
    {},
    {},
    {1.0f, 100.0f},
    {0.0f, DefaultController::kMaxNoiseSeed},
    {0.001f, 100.0f},
    {1.0f, 100.0f},
    {0.0f, 1.0f},
    {0.0f, 1.0f}};

/// The defaults of every field, including those of the shared age-noise parameters.
const ControllerState kDefaults;

/// Each particle's phase is its index times this: far enough apart that neighbouring
/// particles get unrelated noise.
constexpr float kParticlePhaseStep = 3.478353f;
/// Age noise: n = t × kAgeNoiseTimeScale × (frequency × kAgeNoiseFrequencyScale) + seed +
/// phase.
constexpr float kAgeNoiseTimeScale = 0.005f;
constexpr float kAgeNoiseFrequencyScale = 0.1f;
/// Fractal age noise: `fBm1` with H = 1 − roughness and these.
constexpr float kFractalLacunarity = 2.0f;
constexpr float kFractalOctaves = 6.0f;
/// The life that `LibrarySave` resets with: one second from birth.
constexpr int kLibraryLifeEnd = 4800;

/// The layout kind of a variation block, or kKindNone when it fits none of them.
int VariationBlockKind(IParamBlock *pb) {
    if (!pb || pb->NumParams() != DefaultController::kVariationParams) return kKindNone;
    for (int kind : {kKindInt, kKindFloat, kKindColor}) {
        const auto &layout = LayoutOf(kind);
        bool fits = true;
        for (int i = 0; i < DefaultController::kVariationParams && fits; ++i)
            fits = pb->GetParameterType(i) == layout[i].type;
        if (fits) return kind;
    }
    return kKindNone;
}

bool FitsInterpolationLayout(IParamBlock *pb) {
    return pb && pb->NumParams() == DefaultController::kInterpolationParams &&
           pb->GetParameterType(DefaultController::kValue1) == TYPE_FLOAT &&
           pb->GetParameterType(DefaultController::kValue2) == TYPE_FLOAT;
}

// Conversions of results. None of them is undefined for values out of range or NaN.

/// Truncation toward zero, saturating at the int range; NaN gives 0.
int TruncToInt(float v) {
    if (!(v == v)) return 0;
    if (v >= 2147483648.0f) return INT_MAX;
    if (v <= -2147483648.0f) return INT_MIN;
    return static_cast<int>(v);
}

/// A point component: truncated to an integer and reduced to its low 16 bits.
float Low16(float v) {
    return static_cast<float>(
        static_cast<std::uint16_t>(static_cast<std::uint32_t>(TruncToInt(v))));
}

/// A colour channel: truncated, and held to 0 … 65535 (an age-noise push away from the variant
/// colour can leave the range).
unsigned short Channel16(float v) {
    const int c = TruncToInt(v);
    return static_cast<unsigned short>(c < 0 ? 0 : c > 65535 ? 65535 : c);
}

int ClampInt(std::int64_t v, int lo, int hi) {
    return static_cast<int>(v < lo ? lo : v > hi ? hi : v);
}
float ClampFloat(float v, float lo, float hi) {
    return v < lo ? lo : v > hi ? hi : v;
}

/// Moves red, green and blue of `c` towards `target` by `f` (0 stays, 1 arrives); alpha stays.
void MoveTowards(BMM_Color_64 &c, const Color16 &target, float f) {
    c.r = Channel16(c.r + f * (float(target.r) - c.r));
    c.g = Channel16(c.g + f * (float(target.g) - c.g));
    c.b = Channel16(c.b + f * (float(target.b) - c.b));
}

/// Writes what a resolved curve gives: the birth or the death value as they are, or the blend
/// that `mix` (given s) writes; nothing when the curve gives no value.
template <typename Blend, typename T, typename Mix>
void WriteBlend(const Blend &blend, T *out, const T &birth, const T &death, Mix mix) {
    switch (blend.kind) {
        case Blend::kBirth:
            *out = birth;
            break;
        case Blend::kDeath:
            *out = death;
            break;
        case Blend::kMix:
            mix(blend.s);
            break;
        case Blend::kNone:
            break;
    }
}

}  // namespace

ClassDesc *GetDefaultControllerDesc() {
    return PlugInClassDesc<DefaultController>::Get("Default", "Nimbra Controller");
}

DefaultController::DefaultController(bool loading) {
    if (loading) return;
    MakeRefByID(FOREVER, kRefInterpolation,
                CreateParameterBlock(kInterpolationLayout, kInterpolationParams));
    interpolation_->SetValue(kValue1, 0, kDefaults.value1);
    interpolation_->SetValue(kValue2, 0, kDefaults.value2);
}

DefaultController::~DefaultController() = default;

void *DefaultController::GetInterface(ULONG id) {
    if (id == I_OBJECTPROPERTIES) return static_cast<IObjectProperties *>(&properties_);
    return NimbraController::GetInterface(id);
}

// ---------------------------------------------------------------------------------------------
// References

ReferenceTarget *DefaultController::GetReference(int i) {
    if (i == kRefInterpolation) return interpolation_;
    if (i == kRefVariation) return variation_;
    return nullptr;
}

void DefaultController::SetReference(int i, ReferenceTarget *target) {
    auto *pb = dynamic_cast<IParamBlock *>(target);
    // A block of another layout (a damaged file) is held but never read.
    if (i == kRefInterpolation) {
        interpolation_ = pb;
        interpolationFits_ = FitsInterpolationLayout(pb);
    } else if (i == kRefVariation) {
        variation_ = pb;
        variationKind_ = VariationBlockKind(pb);
    }
}

RefResult DefaultController::NotifyRefChanged(Interval, ReferenceTarget *hTarget,
                                              PartID &partID, RefMessage message) {
    switch (message) {
        case REFMSG_GET_PARAM_NAME: {
            auto *query = reinterpret_cast<GetParamName *>(partID);
            const char *name = nullptr;
            if (hTarget == interpolation_ && query->index >= 0 &&
                query->index < kInterpolationParams)
                name = kInterpolationNamesByParam[query->index];
            else if (hTarget == variation_ && query->index >= 0 &&
                     query->index < kVariationParams)
                name = kVariationNamesByParam[query->index];
            query->name = name ? name : kUnnamedParam;
            return REF_STOP;
        }
        case REFMSG_GET_PARAM_DIM:
            reinterpret_cast<GetParamDim *>(partID)->dim = defaultDim;
            return REF_STOP;
        case REFMSG_GET_PARAM_RANGE: {
            auto *query = reinterpret_cast<GetParamRange *>(partID);
            if (hTarget == interpolation_) query->range = kValueRange;
            if (hTarget != variation_ || query->index < 0 || query->index >= kVariationParams)
                return REF_STOP;
            if (query->index > kDeathVariation)
                query->range = kVariationRanges[query->index];
            else if (variationKind_ == kKindInt)
                query->range = {std::min(0.0f, float(state_.minInt)), float(state_.maxInt)};
            else if (variationKind_ == kKindFloat)
                query->range = {std::min(0.0f, state_.minFloat), state_.maxFloat};
            return REF_STOP;
        }
        default:
            return REF_SUCCEED;
    }
}

ReferenceTarget *DefaultController::Clone(RemapDir &remap) {
    auto *copy = new DefaultController(true);
    copy->state_ = state_;  // the kind first: it decides the number of references
    copy->ReplaceReference(kRefInterpolation, remap.CloneRef(interpolation_));
    if (variation_) copy->ReplaceReference(kRefVariation, remap.CloneRef(variation_));
    return copy;
}

// ---------------------------------------------------------------------------------------------
// Scene files

IOResult DefaultController::Save(ISave *isave) {
    const ControllerStateBytes bytes = EncodeControllerState(state_);
    ULONG written = 0;
    isave->BeginChunk(kStateChunk);
    const IOResult result = isave->Write(bytes.data(), bytes.size(), &written);
    isave->EndChunk();
    return result == IO_OK && written == bytes.size() ? IO_OK : IO_ERROR;
}

IOResult DefaultController::Load(ILoad *iload) {
    IOResult result;
    while ((result = iload->OpenChunk()) == IO_OK) {
        if (iload->CurChunkID() == kStateChunk) {
            ControllerStateBytes bytes;
            ULONG got = 0;
            const IOResult read = iload->Read(bytes.data(), bytes.size(), &got);
            if (read != IO_OK) return read;
            if (got != bytes.size()) return IO_ERROR;
            const std::optional<ControllerState> state = DecodeControllerState(bytes);
            if (!state) return IO_ERROR;
            state_ = *state;
        }
        iload->CloseChunk();
    }
    return result == IO_END ? IO_OK : result;
}

// ---------------------------------------------------------------------------------------------
// Evaluation

void DefaultController::__Reset__(TimeValue t, int birthTime, int deathTime,
                                  int particleIndex) {
    state_.birthTime = birthTime;
    state_.deathTime = deathTime;
    if (interpolationFits_) {
        interpolation_->GetValue(kValue1, t, state_.value1);
        interpolation_->GetValue(kValue2, t, state_.value2);
    }
    if (state_.kind != kKindNone && variationKind_ == state_.kind) {
        IParamBlock *pb = variation_;
        switch (state_.kind) {
            case kKindInt:
                pb->GetValue(kBirthVariation, t, state_.birthVariationInt);
                pb->GetValue(kDeathVariation, t, state_.deathVariationInt);
                break;
            case kKindFloat:
                pb->GetValue(kBirthVariation, t, state_.birthVariationFloat);
                pb->GetValue(kDeathVariation, t, state_.deathVariationFloat);
                break;
            case kKindColor: {
                Color c;
                pb->GetValue(kBirthVariation, t, c);
                state_.variantBirthColor = ToColor16(c);
                pb->GetValue(kDeathVariation, t, c);
                state_.variantDeathColor = ToColor16(c);
                break;
            }
        }
        pb->GetValue(kVariationStrength, t, state_.variationStrength);
        pb->GetValue(kNoiseSeed, t, state_.noiseSeed);
        pb->GetValue(kNoiseFrequency, t, state_.noiseFrequency);
        pb->GetValue(kNoiseStrength, t, state_.noiseStrength);
        pb->GetValue(kFractalNoise, t, state_.fractalNoise);
        pb->GetValue(kNoiseRoughness, t, state_.noiseRoughness);
    }
    particlePhase_ = static_cast<float>(particleIndex) * kParticlePhaseStep;
}

DefaultController::Blend DefaultController::ShapedBlendAt(int t, bool clampSupported) const {
    const float age = static_cast<float>(std::int64_t(t) - state_.birthTime);
    const float life = static_cast<float>(std::int64_t(state_.deathTime) - state_.birthTime);
    // The step rule agrees with AgeFraction's for a particle without life: (t − birth) < 0
    // only before the birth.
    const float g = AgeFraction(t);
    const float v1 = state_.value1, v2 = state_.value2;
    switch (state_.interpolation) {
        case kInterpolate:
            return {Blend::kMix, g};
        case kStep:
            return {age < life * v1 ? Blend::kBirth : Blend::kDeath, 0.0f};
        case kSmoothStep: {
            if (g < v1) return {Blend::kBirth, 0.0f};
            if (g >= v2) return {Blend::kDeath, 0.0f};
            const float s = (g - v1) / (v2 - v1);  // here v1 ≤ g < v2
            return {Blend::kMix, s * s * (3.0f - 2.0f * s)};
        }
        case kClamp: {
            if (!clampSupported) return {Blend::kNone, 0.0f};
            if (g < v1) return {Blend::kBirth, 0.0f};
            if (g > v2) return {Blend::kDeath, 0.0f};
            // Here v1 ≤ g ≤ v2. With Value 1 equal to Value 2 the window is the single point
            // g = v1, where the curve has not switched yet (it does only above Value 2).
            return {Blend::kMix, v2 > v1 ? (g - v1) / (v2 - v1) : 0.0f};
        }
        default:  // Pulse and Other
            return {Blend::kNone, 0.0f};
    }
}

float DefaultController::ParticleWeight() const {
    float r = noise1(particlePhase_) * state_.variationStrength;
    r = r < -1.0f ? -1.0f : r > 1.0f ? 1.0f : r;
    return (r + 1.0f) * 0.5f;
}

float DefaultController::AgeNoise(int t) const {
    const float n = static_cast<float>(t) * kAgeNoiseTimeScale *
                        (state_.noiseFrequency * kAgeNoiseFrequencyScale) +
                    static_cast<float>(state_.noiseSeed) + particlePhase_;
    const float v = state_.fractalNoise ? fBm1(n, 1.0f - state_.noiseRoughness,
                                               kFractalLacunarity, kFractalOctaves)
                                        : noise1(n);
    return v * state_.noiseStrength;
}

void DefaultController::__Eval__(Point2 *out, int t, Point2 birth, Point2 death) {
    WriteBlend(BlendAt(t, true), out, birth, death, [&](float s) {
        out->x = Low16(birth.x + s * (death.x - birth.x));
        out->y = Low16(birth.y + s * (death.y - birth.y));
    });
}

void DefaultController::__Eval__(Point3 *out, int t, Point3 birth, Point3 death) {
    WriteBlend(BlendAt(t, false), out, birth, death, [&](float s) {
        out->x = Low16(birth.x + s * (death.x - birth.x));
        out->y = Low16(birth.y + s * (death.y - birth.y));
        out->z = Low16(birth.z + s * (death.z - birth.z));
    });
}

void DefaultController::__Eval__(float *out, int t, float birth, float death) {
    if (!graphMode_ && state_.kind == kKindFloat) {
        const float lo = state_.minFloat, hi = state_.maxFloat;
        if (state_.useVariation) {
            const float w = ParticleWeight();
            birth = ClampFloat(birth + state_.birthVariationFloat * w, lo, hi);
            death = ClampFloat(death + w * state_.deathVariationFloat, lo, hi);
        }
        if (state_.noiseSeed != 0) {
            const float h = AgeNoise(t);
            birth = ClampFloat(birth + birth * h, lo, hi);
            death = ClampFloat(death + death * h, lo, hi);
        }
    }
    WriteBlend(BlendAt(t, true), out, birth, death,
               [&](float s) { *out = birth + s * (death - birth); });
}

void DefaultController::__Eval__(int *out, int t, int birth, int death) {
    if (!graphMode_ && state_.kind == kKindInt) {
        const int lo = state_.minInt, hi = state_.maxInt;
        if (state_.useVariation) {
            const float w = ParticleWeight();
            birth = ClampInt(std::int64_t(birth) + TruncToInt(state_.birthVariationInt * w), lo,
                             hi);
            death = ClampInt(std::int64_t(death) + TruncToInt(w * state_.deathVariationInt), lo,
                             hi);
        }
        if (state_.noiseSeed != 0) {
            const float h = AgeNoise(t);
            birth = ClampInt(std::int64_t(birth) + TruncToInt(birth * h), lo, hi);
            death = ClampInt(std::int64_t(death) + TruncToInt(h * death), lo, hi);
        }
    }
    WriteBlend(BlendAt(t, true), out, birth, death, [&](float s) {
        *out = TruncToInt(float(birth) + s * (float(death) - float(birth)));
    });
}

void DefaultController::__Eval__(BMM_Color_64 *out, int t, BMM_Color_64 birth,
                                 BMM_Color_64 death) {
    if (!graphMode_) {
        if (state_.useVariation) {
            const float w = ParticleWeight();
            MoveTowards(birth, state_.variantBirthColor, w);
            MoveTowards(death, state_.variantDeathColor, w);
        }
        if (state_.kind == kKindColor && state_.noiseSeed != 0) {
            float h = AgeNoise(t);
            if (h > 1.0f) h = 1.0f;  // never past the variant colour; no limit the other way
            MoveTowards(birth, state_.variantBirthColor, h);
            MoveTowards(death, state_.variantDeathColor, h);
        }
    }
    WriteBlend(BlendAt(t, true), out, birth, death, [&](float s) {  // alpha stays as it was
        out->r = Channel16(birth.r + s * (float(death.r) - birth.r));
        out->g = Channel16(birth.g + s * (float(death.g) - birth.g));
        out->b = Channel16(birth.b + s * (float(death.b) - birth.b));
    });
}

// ---------------------------------------------------------------------------------------------
// Set-up

IParamBlock *DefaultController::NewVariationBlock(int kind) {
    const auto &layout = LayoutOf(kind);
    const bool existed = variation_ != nullptr;
    ReplaceReference(kRefVariation,
                     CreateParameterBlock(layout.data(), static_cast<int>(layout.size())));
    variation_->SetValue(kVariationStrength, 0, kDefaults.variationStrength);
    SetNoiseParams(kDefaults.noiseSeed, kDefaults.noiseFrequency, kDefaults.noiseStrength,
                   kDefaults.fractalNoise, kDefaults.noiseRoughness);
    if (!existed) NotifyDependents(FOREVER, PART_ALL, REFMSG_SUBANIM_STRUCTURE_CHANGED);
    return variation_;
}

void DefaultController::SetNoiseParams(int seed, float frequency, float strength, int fractal,
                                       float roughness) {
    variation_->SetValue(kNoiseSeed, 0, seed);
    variation_->SetValue(kNoiseFrequency, 0, frequency);
    variation_->SetValue(kNoiseStrength, 0, strength);
    variation_->SetValue(kFractalNoise, 0, fractal);
    variation_->SetValue(kNoiseRoughness, 0, roughness);
}

void DefaultController::__SetupInt__(int minimum, int maximum) {
    state_.kind = kKindInt;
    state_.minInt = minimum;
    state_.maxInt = maximum;
    IParamBlock *pb = NewVariationBlock(kKindInt);
    pb->SetValue(kBirthVariation, 0, 0);
    pb->SetValue(kDeathVariation, 0, 0);
}

void DefaultController::__SetupFloat__(float minimum, float maximum, float step) {
    state_.kind = kKindFloat;
    state_.minFloat = minimum;
    state_.maxFloat = maximum;
    state_.stepFloat = step;
    IParamBlock *pb = NewVariationBlock(kKindFloat);
    pb->SetValue(kBirthVariation, 0, 0.0f);
    pb->SetValue(kDeathVariation, 0, 0.0f);
}

void DefaultController::__SetupColor__(Color birth, Color death, int update) {
    if (state_.setupLock) return;
    state_.kind = kKindColor;
    state_.variantBirthColor = ToColor16(birth);
    state_.variantDeathColor = ToColor16(death);
    // An update needs a colour block to update; without one (never set up, or set up for
    // numbers) the block is made as by a first set-up.
    IParamBlock *pb =
        update && variationKind_ == kKindColor ? variation_ : NewVariationBlock(kKindColor);
    pb->SetValue(kBirthVariation, 0, birth);
    pb->SetValue(kDeathVariation, 0, death);
}

// ---------------------------------------------------------------------------------------------
// Editor

void DefaultController::__BeginEdit__(IObjParam *ip, const TCHAR *name) {
    // The "ControlGraph" views and the time-change callback are registered here once the
    // studio draws the editor and the host offers time-change callbacks.
    editing_ = true;
    editIp_ = ip;
    editorTitle_ = std::string(kEditorTitlePrefix) + (name ? name : "");
}

void DefaultController::__EndEdit__(IObjParam *) {
    // Once the user closed an editor with per-particle variation on, the owner's later colour
    // set-ups must not undo the variant colours chosen.
    state_.setupLock = state_.useVariation;
    editing_ = false;
    editIp_ = nullptr;
}

void DefaultController::CloseEditor() {
    if (!editing_) return;
    if (button) button->SetCheck(FALSE);
    editing_ = false;
    editIp_ = nullptr;
}

DefaultController::VariationPage DefaultController::EditorVariationPage() const {
    switch (state_.kind) {
        case kKindInt:
        case kKindFloat:
            return VariationPage::kNumbers;
        case kKindColor:
            return VariationPage::kColors;
        default:
            return VariationPage::kNone;
    }
}

DefaultController::EditorEnabling DefaultController::EditorControlsEnabled() const {
    EditorEnabling e;
    const int mode = state_.interpolation;
    e.value1 = mode != kInterpolate;
    e.value2 = mode == kSmoothStep || mode == kClamp || mode == kOther;
    e.perParticle = state_.useVariation != 0;
    e.byAge = state_.noiseSeed != 0;
    return e;
}

// ---------------------------------------------------------------------------------------------
// Settings without parameters

void DefaultController::NotifyChanged() {
    NotifyDependents(FOREVER, PART_ALL, REFMSG_CHANGE);
}

bool DefaultController::SetInterpolation(int mode) {
    if (mode < 0 || mode >= kInterpolationModes) return false;
    state_.interpolation = mode;
    NotifyChanged();
    return true;
}

void DefaultController::SetUseVariation(bool on) {
    state_.useVariation = on ? 1 : 0;
    NotifyChanged();
}

bool DefaultController::SetNoiseSeed(int seed) {
    if (variationKind_ == kKindNone) return false;
    state_.noiseSeed = seed;
    variation_->SetValue(kNoiseSeed, 0, seed);
    return true;
}

bool DefaultController::SetFractalNoise(bool on) {
    if (variationKind_ == kKindNone) return false;
    state_.fractalNoise = on ? 1 : 0;
    variation_->SetValue(kFractalNoise, 0, state_.fractalNoise);
    return true;
}

// ---------------------------------------------------------------------------------------------
// Library files

int DefaultController::LibrarySave(NimbraInterface *io) {
    if (!io) return 0;
    __Reset__(0, 0, kLibraryLifeEnd, 0);
    if (!WriteLibraryVersion(io)) return 0;
    const ControllerStateBytes bytes = EncodeControllerState(state_);
    return io->fwrite(bytes.data(), bytes.size(), 1) == 1 ? 1 : 0;
}

int DefaultController::LibraryLoad(NimbraInterface *io) {
    if (!io || !ReadLibraryVersion(io)) return 0;
    ControllerStateBytes bytes;
    if (io->fread(bytes.data(), bytes.size(), 1) != 1) return 0;
    const std::optional<ControllerState> loaded = DecodeControllerState(bytes);
    if (!loaded) return 0;

    // Both blocks are rebuilt, so the controller is what the record says: no keys or
    // variation block of what was there before survive.
    state_ = *loaded;
    ReplaceReference(kRefInterpolation,
                     CreateParameterBlock(kInterpolationLayout, kInterpolationParams));
    if (state_.kind == kKindNone) {
        if (variation_) {
            DeleteReference(kRefVariation);
            NotifyDependents(FOREVER, PART_ALL, REFMSG_SUBANIM_STRUCTURE_CHANGED);
        }
    } else {
        IParamBlock *pb = NewVariationBlock(state_.kind);
        switch (state_.kind) {
            case kKindInt:
                pb->SetValue(kBirthVariation, 0, state_.birthVariationInt);
                pb->SetValue(kDeathVariation, 0, state_.deathVariationInt);
                break;
            case kKindFloat:
                pb->SetValue(kBirthVariation, 0, state_.birthVariationFloat);
                pb->SetValue(kDeathVariation, 0, state_.deathVariationFloat);
                break;
            case kKindColor:
                pb->SetValue(kBirthVariation, 0, FromColor16(state_.variantBirthColor));
                pb->SetValue(kDeathVariation, 0, FromColor16(state_.variantDeathColor));
                break;
        }
        pb->SetValue(kVariationStrength, 0, state_.variationStrength);
        SetNoiseParams(state_.noiseSeed, state_.noiseFrequency, state_.noiseStrength,
                       state_.fractalNoise, state_.noiseRoughness);
    }
    interpolation_->SetValue(kValue1, 0, state_.value1);
    interpolation_->SetValue(kValue2, 0, state_.value2);
    return 1;
}
