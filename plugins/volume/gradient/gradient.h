/// @file gradient.h
/// @brief Colour gradients: flags with a position, a colour and a name, answering a colour at
///        any position; and the fixed-size binary block one gradient is stored in.
#pragma once

#include "plugins/volume/volume_api.h"

#include "host/animatable.h"
#include "host/geom.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

/// One stop of a gradient.
struct GradientFlag {
    Color color;
    float position = 0.0f;  ///< where the colour stands, 0 (start) … 1 (end)
    std::string name;

    bool operator==(const GradientFlag &) const = default;
};

/// A class of gradients: the identity its gradients answer to the host and the colour their
/// first two flags start with. Each one is a host class of its own.
struct GradientPreset {
    Class_ID id;
    const char *name;
    Color color;
};

/// A gradient: at most kMaxFlags flags, kept in the order they were added.
///
/// Its colour at a position p: the flags ordered by position (flags at equal positions keep
/// the order they were added in); before the first flag the first flag's colour, from the
/// last one on the last flag's colour, in between linear between the two neighbouring flags;
/// at a position shared by several flags the last of them. With a single flag its colour
/// everywhere, with none black. Flags hold no keys: the colour is the same at every time.
///
/// A new gradient has two flags of its preset's colour, "Start" at 0 and "End" at 1. In scene
/// files it stores its flags as one gradient block (below).
class ZEPHRAVOLUME_API Gradient final : public ReferenceTarget {
public:
    static constexpr int kMaxFlags = 100;
    /// Longest flag name kept, in bytes: the block's name field holds it and a terminator.
    static constexpr std::size_t kMaxNameBytes = 95;

    /// A gradient of `preset`'s class; one made for loading starts without flags.
    Gradient(const GradientPreset &preset, bool loading);

    Class_ID ClassID() override { return preset_.id; }
    SClass_ID SuperClassID() override { return REF_MAKER_CLASS_ID; }
    void GetClassName(TSTR &s) override { s = preset_.name; }
    ReferenceTarget *Clone(RemapDir &remap) override;
    IOResult Save(ISave *isave) override;
    /// Refuses (IO_ERROR, flags unchanged) a block that `ReadGradientBlock` refuses.
    IOResult Load(ILoad *iload) override;

    // Flags
    int GetFlagCount() const { return int(flags_.size()); }
    /// Flag `i` in the order added, or null.
    const GradientFlag *GetFlag(int i) const;
    /// Adds a flag (its name cut to kMaxNameBytes); false, and nothing added, when the gradient
    /// is full or the flag's colour or position is not finite.
    bool AddFlag(GradientFlag flag);
    /// Replaces flag `i` under the same rules; false when there is no flag `i`.
    bool SetFlag(int i, GradientFlag flag);
    void DelAllFlags();
    /// The colour at `position` (time is accepted for the callers that pass it; flags do not
    /// change over time).
    Color GetColor(float position, TimeValue t = 0) const;

    const GradientPreset &Preset() const { return preset_; }

private:
    static bool Acceptable(GradientFlag &flag);
    void Reorder();

    const GradientPreset &preset_;
    std::vector<GradientFlag> flags_;
    std::vector<int> byPosition_;  ///< indices of flags_ ordered by position, ties by index
};

// The gradient block: the flag count (int32, at most kMaxFlags) at offset 0; flag i at offset
// kGradientFlagStride × i with red, green, blue (float32) at +4, +8, +12, its position at +16
// and its name at +20 (zero-terminated, kGradientNameField bytes). Bytes no flag uses are zero.
constexpr std::size_t kGradientFlagStride = 116;
constexpr std::size_t kGradientNameField = 96;
constexpr std::size_t kGradientBlockSize = kGradientFlagStride * Gradient::kMaxFlags + 4;

/// Writes `gradient`'s flags into `block` (kGradientBlockSize bytes).
ZEPHRAVOLUME_API void WriteGradientBlock(const Gradient &gradient, std::uint8_t *block);
/// Reads the flags of `block` into `flags`. False, `flags` unchanged, when the count is
/// negative or above kMaxFlags, a colour or position is not finite, or a name lacks its
/// terminator.
ZEPHRAVOLUME_API bool ReadGradientBlock(const std::uint8_t *block,
                                        std::vector<GradientFlag> &flags);
/// Replaces `gradient`'s flags by `flags` (as read from a block).
ZEPHRAVOLUME_API void SetGradientFlags(Gradient &gradient,
                                       const std::vector<GradientFlag> &flags);

// The text form of a gradient's flags (scene files): "position: red green blue [name]" per
// flag, flags separated by ";", for example "0: 1 1 0.8 core; 1: 0.3 0 0 rim". Names run to
// the next ";".

/// The text form of `gradient`'s flags, in the order added; numbers as exact as floats allow.
ZEPHRAVOLUME_API std::string FormatGradientFlags(const Gradient &gradient);
/// Reads the text form into `flags`. False, with `error` saying what was expected and
/// `flags` unchanged, for a malformed flag, a position outside 0 … 1, a colour that is not
/// finite, or more than Gradient::kMaxFlags flags.
ZEPHRAVOLUME_API bool ParseGradientFlags(const std::string &text,
                                         std::vector<GradientFlag> &flags, std::string &error);
