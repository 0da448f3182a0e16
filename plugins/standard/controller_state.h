/// @file controller_state.h
/// @brief The default controller's state block: everything the controller evaluates with, kept
///        as one 108-byte record in effect library files and scene files, written and read
///        field by field.
#pragma once

#include "framework/pixel_color.h"
#include "plugins/standard/standard_api.h"
#include "host/geom.h"
#include "host/types.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>

/// Bytes of the state block.
constexpr std::size_t kControllerStateSize = 108;

/// What the owner set the controller up for: the type of its variation parameters.
enum ControllerKind : int {
    kKindNone = 0,  ///< not set up: no variation block
    kKindInt = 1,
    kKindFloat = 2,
    kKindColor = 3,
};

/// The curve between the birth and the death value.
enum InterpolationMode : int {
    kInterpolate = 0,  ///< straight line
    kStep = 1,         ///< birth value until Value 1 of the life, then death value
    kSmoothStep = 2,   ///< smooth blend s²(3 − 2s) between Value 1 and Value 2
    kClamp = 3,        ///< straight blend between Value 1 and Value 2
    kPulse = 4,        ///< evaluates to nothing (the output is left as it was)
    kOther = 5,        ///< evaluates to nothing
};
constexpr int kInterpolationModes = 6;
/// The modes' names as the editor's radio buttons show them, by mode.
constexpr const char *kInterpolationNames[kInterpolationModes] = {
    "Interpolate", "Step", "Smooth Step", "Clamp", "Pulse", "Other"};

/// A colour of the state block: three 16-bit channels, 0 … 65535.
struct Color16 {
    std::uint16_t r = 0, g = 0, b = 0;
    constexpr bool operator==(const Color16 &) const = default;
};

inline Color16 ToColor16(const Color &c) {
    return {ToChannel16(c.r), ToChannel16(c.g), ToChannel16(c.b)};
}
inline Color FromColor16(const Color16 &c) {
    return Color(c.r / 65535.0f, c.g / 65535.0f, c.b / 65535.0f);
}

/// The state block. Integers are 32-bit signed, floats 32-bit IEEE, colours three 16-bit
/// channels and two bytes of padding, all little-endian; the comment gives each field's offset.
struct ControllerState {
    std::int32_t setupLock = 0;  ///< 0: nonzero makes `__SetupColor__` do nothing
    float value1 = 0.0f;         ///< 4: "IPC Value 1" at the last reset
    float value2 = 1.0f;         ///< 8: "IPC Value 2" at the last reset
    std::int32_t birthTime = 0;  ///< 12: particle birth of the last reset (ticks)
    std::int32_t deathTime = 0;  ///< 16: particle death of the last reset (ticks)
    std::int32_t interpolation = kInterpolate;  ///< 20: an InterpolationMode
    std::int32_t kind = kKindNone;              ///< 24: a ControllerKind
    float variationStrength = 1.0f;             ///< 28: "Variation Strength"
    std::int32_t useVariation = 0;              ///< 32: per-particle variation on
    std::int32_t birthVariationInt = 0;         ///< 36: "Birth Variation", integer kind
    std::int32_t deathVariationInt = 0;         ///< 40: "Death Variation", integer kind
    std::int32_t minInt = 0;                    ///< 44: lower bound, integer kind
    std::int32_t maxInt = 16000;                ///< 48: upper bound, integer kind
    float birthVariationFloat = 0.0f;           ///< 52: "Birth Variation", float kind
    float deathVariationFloat = 0.0f;           ///< 56: "Death Variation", float kind
    float minFloat = 0.0f;                      ///< 60: lower bound, float kind
    float maxFloat = 100.0f;                    ///< 64: upper bound, float kind
    float stepFloat = 1.0f;                     ///< 68: editor spinner step, float kind
    Color16 variantBirthColor;                  ///< 72: "Birth Variation", colour kind
    Color16 variantDeathColor;                  ///< 80: "Death Variation", colour kind
    std::int32_t noiseSeed = 0;                 ///< 88: age-noise seed; 0 switches it off
    float noiseFrequency = 0.5f;                ///< 92: "Noise Frequency"
    float noiseStrength = 1.0f;                 ///< 96: "Noise Strength"
    std::int32_t fractalNoise = 0;              ///< 100: fractal age noise on
    float noiseRoughness = 0.0f;                ///< 104: "Noise Roughness"

    bool operator==(const ControllerState &) const = default;
};

using ControllerStateBytes = std::array<std::uint8_t, kControllerStateSize>;

/// The block's bytes; padding bytes are zero.
STANDARD_API ControllerStateBytes EncodeControllerState(const ControllerState &state);
/// The state in `bytes`, or nothing when the block is damaged: a kind or an interpolation mode
/// that does not exist.
STANDARD_API std::optional<ControllerState> DecodeControllerState(
    const ControllerStateBytes &bytes);
