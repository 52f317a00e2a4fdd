// One play of a preloaded sound.
#pragma once

#include "audio/Sound.h"

#include <memory>
#include <vector>

namespace audio {

/// Reads the shared, already decoded PCM from its own position; keeps the PCM
/// alive for as long as it plays.
class SampleReader final : public SoundReader {
public:
    /// `pcm` holds frames of `channels` interleaved samples.
    explicit SampleReader(std::shared_ptr<const std::vector<float>> pcm, int channels = 1)
        : pcm_(std::move(pcm)), channels_(static_cast<std::size_t>(channels)) {}

    std::size_t read(float* out, std::size_t numFrames) noexcept override;
    bool ended() const noexcept override { return position_ >= pcm_->size(); }
    int channels() const noexcept override { return static_cast<int>(channels_); }

private:
    std::shared_ptr<const std::vector<float>> pcm_;
    std::size_t channels_;
    std::size_t position_ = 0;  ///< in samples
};

}  // namespace audio
