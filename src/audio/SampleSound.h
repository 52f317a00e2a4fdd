// A sound decoded whole at creation.
#pragma once

#include "audio/Sound.h"

#include <memory>
#include <vector>

namespace audio {

/// PCM at the mix rate (mono, or interleaved frames of `channels` samples),
/// decoded once and shared by every play.
class SampleSound final : public Sound {
public:
    SampleSound(std::shared_ptr<const std::vector<float>> pcm, std::uint32_t lengthMs, int channels = 1)
        : pcm_(std::move(pcm)), lengthMs_(lengthMs), channels_(channels) {}

    std::uint32_t lengthMs() const noexcept override { return lengthMs_; }
    std::int64_t lengthFrames() const noexcept override {
        return static_cast<std::int64_t>(pcm_->size() / static_cast<std::size_t>(channels_));
    }
    SoundMode mode() const noexcept override { return SoundMode::Sample; }
    int channels() const noexcept override { return channels_; }
    /// Never null; costs no decoding.
    std::unique_ptr<SoundReader> openReader() override;

    const std::vector<float>& pcm() const noexcept { return *pcm_; }

private:
    std::shared_ptr<const std::vector<float>> pcm_;
    std::uint32_t lengthMs_;
    int channels_;
};

}  // namespace audio
