/// @file blur_weights.cpp
/// @brief Sub-frame times and the dithered weight table of the motion-blur filter.
#include "renderer/blur_weights.h"

#include <algorithm>
#include <random>

BlurSchedule MakeBlurSchedule(int ticksPerFrame, float durationFrames, int count) {
    BlurSchedule s;
    s.count = std::max(count, 1);
    s.step = static_cast<float>(ticksPerFrame) * durationFrames / static_cast<float>(s.count);
    // Also catches a duration that is not a number.
    if (!(s.step >= 1.0f)) {
        s.step = 1.0f;
        s.count = 1;
    }
    return s;
}

std::vector<float> MakeBlurWeights(int count, int ditherPercent, std::uint32_t seed) {
    count = std::max(count, 1);
    const float dither = static_cast<float>(std::clamp(ditherPercent, 0, 100)) / 100.0f;
    // The Mersenne twister's raw output is fixed by the C++ standard, unlike the library's
    // distributions, so the top 15 bits give the same 0 … 32767 everywhere.
    std::mt19937 random(seed);
    constexpr float kRandomMax = 32767.0f;
    std::vector<float> weights(static_cast<std::size_t>(count) * kBlurTileCells);
    for (int cell = 0; cell < kBlurTileCells; ++cell) {
        float left = 1.0f;
        for (int i = 0; i + 1 < count; ++i) {
            const float r = static_cast<float>(random() >> 17) / kRandomMax;
            const float w = (r * dither + (1.0f - dither) * 0.5f + 0.5f) * left /
                            static_cast<float>(count - i);
            weights[static_cast<std::size_t>(i) * kBlurTileCells + cell] = w;
            left -= w;
        }
        weights[static_cast<std::size_t>(count - 1) * kBlurTileCells + cell] = left;
    }
    return weights;
}
