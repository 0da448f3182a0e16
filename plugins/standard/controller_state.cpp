/// @file controller_state.cpp
/// @brief Encoding and decoding of the default controller's state block.
#include "plugins/standard/controller_state.h"

#include "framework/library_block.h"
#include "host/little_endian.h"

namespace {

// Field offsets within the block.
constexpr std::size_t kSetupLockAt = 0;
constexpr std::size_t kValue1At = 4;
constexpr std::size_t kValue2At = 8;
constexpr std::size_t kBirthTimeAt = 12;
constexpr std::size_t kDeathTimeAt = 16;
constexpr std::size_t kInterpolationAt = 20;
constexpr std::size_t kKindAt = 24;
constexpr std::size_t kVariationStrengthAt = 28;
constexpr std::size_t kUseVariationAt = 32;
constexpr std::size_t kBirthVariationIntAt = 36;
constexpr std::size_t kDeathVariationIntAt = 40;
constexpr std::size_t kMinIntAt = 44;
constexpr std::size_t kMaxIntAt = 48;
constexpr std::size_t kBirthVariationFloatAt = 52;
constexpr std::size_t kDeathVariationFloatAt = 56;
constexpr std::size_t kMinFloatAt = 60;
constexpr std::size_t kMaxFloatAt = 64;
constexpr std::size_t kStepFloatAt = 68;
constexpr std::size_t kVariantBirthColorAt = 72;
constexpr std::size_t kVariantDeathColorAt = 80;
constexpr std::size_t kNoiseSeedAt = 88;
constexpr std::size_t kNoiseFrequencyAt = 92;
constexpr std::size_t kNoiseStrengthAt = 96;
constexpr std::size_t kFractalNoiseAt = 100;
constexpr std::size_t kNoiseRoughnessAt = 104;
static_assert(kNoiseRoughnessAt + 4 == kControllerStateSize);

void PutColor(std::uint8_t *at, const Color16 &c) {
    PutLE16(at, c.r);
    PutLE16(at + 2, c.g);
    PutLE16(at + 4, c.b);  // two bytes of padding follow
}

Color16 GetColor(const std::uint8_t *at) {
    return {GetLE16(at), GetLE16(at + 2), GetLE16(at + 4)};
}

}  // namespace

ControllerStateBytes EncodeControllerState(const ControllerState &s) {
    ControllerStateBytes bytes{};
    std::uint8_t *b = bytes.data();
    PutLEInt(b + kSetupLockAt, s.setupLock);
    PutLEFloat(b + kValue1At, s.value1);
    PutLEFloat(b + kValue2At, s.value2);
    PutLEInt(b + kBirthTimeAt, s.birthTime);
    PutLEInt(b + kDeathTimeAt, s.deathTime);
    PutLEInt(b + kInterpolationAt, s.interpolation);
    PutLEInt(b + kKindAt, s.kind);
    PutLEFloat(b + kVariationStrengthAt, s.variationStrength);
    PutLEInt(b + kUseVariationAt, s.useVariation);
    PutLEInt(b + kBirthVariationIntAt, s.birthVariationInt);
    PutLEInt(b + kDeathVariationIntAt, s.deathVariationInt);
    PutLEInt(b + kMinIntAt, s.minInt);
    PutLEInt(b + kMaxIntAt, s.maxInt);
    PutLEFloat(b + kBirthVariationFloatAt, s.birthVariationFloat);
    PutLEFloat(b + kDeathVariationFloatAt, s.deathVariationFloat);
    PutLEFloat(b + kMinFloatAt, s.minFloat);
    PutLEFloat(b + kMaxFloatAt, s.maxFloat);
    PutLEFloat(b + kStepFloatAt, s.stepFloat);
    PutColor(b + kVariantBirthColorAt, s.variantBirthColor);
    PutColor(b + kVariantDeathColorAt, s.variantDeathColor);
    PutLEInt(b + kNoiseSeedAt, s.noiseSeed);
    PutLEFloat(b + kNoiseFrequencyAt, s.noiseFrequency);
    PutLEFloat(b + kNoiseStrengthAt, s.noiseStrength);
    PutLEInt(b + kFractalNoiseAt, s.fractalNoise);
    PutLEFloat(b + kNoiseRoughnessAt, s.noiseRoughness);
    return bytes;
}

std::optional<ControllerState> DecodeControllerState(const ControllerStateBytes &bytes) {
    const std::uint8_t *b = bytes.data();
    ControllerState s;
    s.setupLock = GetLEInt(b + kSetupLockAt);
    s.value1 = GetLEFloat(b + kValue1At);
    s.value2 = GetLEFloat(b + kValue2At);
    s.birthTime = GetLEInt(b + kBirthTimeAt);
    s.deathTime = GetLEInt(b + kDeathTimeAt);
    s.interpolation = GetLEInt(b + kInterpolationAt);
    s.kind = GetLEInt(b + kKindAt);
    s.variationStrength = GetLEFloat(b + kVariationStrengthAt);
    s.useVariation = GetLEInt(b + kUseVariationAt);
    s.birthVariationInt = GetLEInt(b + kBirthVariationIntAt);
    s.deathVariationInt = GetLEInt(b + kDeathVariationIntAt);
    s.minInt = GetLEInt(b + kMinIntAt);
    s.maxInt = GetLEInt(b + kMaxIntAt);
    s.birthVariationFloat = GetLEFloat(b + kBirthVariationFloatAt);
    s.deathVariationFloat = GetLEFloat(b + kDeathVariationFloatAt);
    s.minFloat = GetLEFloat(b + kMinFloatAt);
    s.maxFloat = GetLEFloat(b + kMaxFloatAt);
    s.stepFloat = GetLEFloat(b + kStepFloatAt);
    s.variantBirthColor = GetColor(b + kVariantBirthColorAt);
    s.variantDeathColor = GetColor(b + kVariantDeathColorAt);
    s.noiseSeed = GetLEInt(b + kNoiseSeedAt);
    s.noiseFrequency = GetLEFloat(b + kNoiseFrequencyAt);
    s.noiseStrength = GetLEFloat(b + kNoiseStrengthAt);
    s.fractalNoise = GetLEInt(b + kFractalNoiseAt);
    s.noiseRoughness = GetLEFloat(b + kNoiseRoughnessAt);
    if (s.kind < kKindNone || s.kind > kKindColor) return std::nullopt;
    if (s.interpolation < 0 || s.interpolation >= kInterpolationModes) return std::nullopt;
    return s;
}
