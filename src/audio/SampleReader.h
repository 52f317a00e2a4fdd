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
    explicit SampleReader(std::shared_ptr<const std::vector<float>> pcm) : pcm_(std::move(pcm)) {}

    std::size_t read(float* out, std::size_t numFrames) noexcept override;
    bool ended() const noexcept override { return position_ >= pcm_->size(); }

private:
    std::shared_ptr<const std::vector<float>> pcm_;
    std::size_t position_ = 0;
};

}  // namespace audio
