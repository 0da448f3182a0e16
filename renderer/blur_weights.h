/// @file blur_weights.h
/// @brief The sub-frames of a motion-blurred frame: when each is rendered, and the weight each
///        pixel of each sub-frame gets in the average (plain, or dithered per 16 × 16 tile).
#pragma once

#include "framework/nimbra_api.h"
#include "host/types.h"

#include <cstdint>
#include <vector>

/// When the sub-frames of a blurred frame are rendered.
struct BlurSchedule {
    int count = 1;      ///< sub-frames
    float step = 1.0f;  ///< ticks between two sub-frames

    /// Time of sub-frame `i` for a frame rendered at `start`. Measured from the start rather
    /// than added up step by step, so that truncation does not shorten the blur.
    TimeValue Time(TimeValue start, int i) const {
        return start + static_cast<TimeValue>(static_cast<float>(i) * step);
    }
};

/// `count` sub-frames spread over `durationFrames` frames of `ticksPerFrame` ticks. When they
/// would be less than a tick apart the frame is not blurred: one sub-frame.
NIMBRA_API BlurSchedule MakeBlurSchedule(int ticksPerFrame, float durationFrames, int count);

/// Side of the square tile that dithered weights repeat over.
constexpr int kBlurTileSide = 16;
constexpr int kBlurTileCells = kBlurTileSide * kBlurTileSide;

/// The weights of `count` sub-frames: for each sub-frame, one weight per tile cell (cell =
/// row × kBlurTileSide + column), sub-frame after sub-frame. Every cell's weights sum to 1.
/// `ditherPercent` 0 gives every sub-frame 1 / count; larger values let each sub-frame's
/// weight stray from its even share of what the earlier sub-frames left, by up to half of
/// that share at 100.
///
/// The random numbers come from a generator seeded with `seed` alone (the frame's render
/// time), so a frame gets the same weights whatever the process rendered before it, on any
/// machine and in any chunk of a farm job.
NIMBRA_API std::vector<float> MakeBlurWeights(int count, int ditherPercent, std::uint32_t seed);
