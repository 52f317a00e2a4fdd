// Peak and clipping of the rendered mix.
#include "LevelMeter.h"

#include <cmath>

namespace gloam::render {

void LevelMeter::add(const float* samples, std::size_t numSamples) {
    float blockPeak = 0.0f;
    std::uint64_t clipped = 0;
    for (std::size_t i = 0; i < numSamples; ++i) {
        const float magnitude = std::fabs(samples[i]);
        // NaN fails every comparison but the last, so it counts as clipped.
        if (magnitude > blockPeak) blockPeak = magnitude;
        if (!(magnitude <= 1.0f)) ++clipped;
    }
    if (blockPeak > peak_) peak_ = blockPeak;
    clipped_ += clipped;
}

}  // namespace gloam::render
