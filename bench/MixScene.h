// The benchmark's scene, shared by both engines so they render the same thing.
#pragma once

#include <cmath>
#include <cstddef>
#include <vector>

namespace bench {

inline constexpr int kSampleRate = 48000;
inline constexpr int kNumSources = 128;
inline constexpr std::size_t kBlockFrames = 512;

struct Position {
    float x;
    float y;
    float z;
};

/// 128 distinct positions on a widening spiral around the listener, 0.5 to
/// about 26 units away, front and back, left and right.
inline std::vector<Position> sourcePositions() {
    std::vector<Position> positions;
    for (int i = 0; i < kNumSources; ++i) {
        const float angle = 2.39996f * static_cast<float>(i);  // golden angle: no two alike
        const float radius = 0.5f + 0.2f * static_cast<float>(i);
        positions.push_back({radius * std::sin(angle), 0.0f, radius * std::cos(angle)});
    }
    return positions;
}

/// A mono test signal: a few partials, so nothing is trivially constant.
inline std::vector<float> sourceSignal(std::size_t numFrames) {
    std::vector<float> samples(numFrames);
    for (std::size_t i = 0; i < numFrames; ++i) {
        const double t = static_cast<double>(i) / kSampleRate;
        samples[i] = static_cast<float>(0.2 * std::sin(2.0 * M_PI * 220.0 * t) +
                                        0.1 * std::sin(2.0 * M_PI * 1375.0 * t));
    }
    return samples;
}

/// Renders numSeconds of the scene and returns the wall time it took, in seconds.
double renderWithOpenAl(const std::vector<float>& signal, double numSeconds);

}  // namespace bench
