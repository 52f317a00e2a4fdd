// A sound decoded whole at creation.
#pragma once

#include "audio/Sound.h"

#include <memory>
#include <vector>

namespace audio {

/// PCM at the mix rate (mono, or interleaved frames of `channels` samples),
/// decoded once and shared by every play. A stream or compressed sample too
/// short to be worth a decoder per play is kept this way as well, and keeps
/// the mode it was asked for.
class SampleSound final : public Sound {
public:
    SampleSound(std::shared_ptr<const std::vector<float>> pcm, std::uint32_t lengthMs, int channels = 1,
                SoundMode mode = SoundMode::Sample)
        : pcm_(std::move(pcm)), lengthMs_(lengthMs), channels_(channels), mode_(mode) {}

    std::uint32_t lengthMs() const noexcept override { return lengthMs_; }
    std::int64_t lengthFrames() const noexcept override {
        return static_cast<std::int64_t>(pcm_->size() / static_cast<std::size_t>(channels_));
    }
    SoundMode mode() const noexcept override { return mode_; }
    int channels() const noexcept override { return channels_; }
    /// Never null; costs no decoding.
    std::unique_ptr<SoundReader> openReader() override;

    const std::vector<float>& pcm() const noexcept { return *pcm_; }

private:
    std::shared_ptr<const std::vector<float>> pcm_;
    std::uint32_t lengthMs_;
    int channels_;
    SoundMode mode_;
};

}  // namespace audio
