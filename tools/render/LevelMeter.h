// The loudest sample of a render and the samples beyond full scale.
#pragma once

#include <cstddef>
#include <cstdint>

namespace gloam::render {

/// Watches every sample written: the peak magnitude and how many samples lie
/// beyond full scale (|x| > 1), which a FLAC or Ogg file clips and a float
/// WAV keeps, but a player clips. A sample that is not a number counts as
/// clipped too. Main thread only; adds no allocation.
class LevelMeter {
public:
    /// Takes `numSamples` samples (frames times channels, in any order).
    void add(const float* samples, std::size_t numSamples);

    /// The largest magnitude seen; 0 for silence.
    double peak() const { return peak_; }
    std::uint64_t clippedSamples() const { return clipped_; }

private:
    double peak_ = 0.0;
    std::uint64_t clipped_ = 0;
};

}  // namespace gloam::render
