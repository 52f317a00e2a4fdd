// The Sound handed out by System::createSound: tells the System when it goes away.
#pragma once

#include "audio/Sound.h"

#include <memory>

namespace audio {

class System;

/// Wraps a decoded or decodable sound. Its destruction (main thread) stops
/// the channels still playing it and passes the wrapped sound to the System,
/// which frees it once the mixer has let go of its readers. If the System
/// closes first, it takes the wrapped sound away and this one becomes an
/// empty shell: same length and mode, no new readers.
class TrackedSound final : public Sound {
public:
    TrackedSound(System& system, std::unique_ptr<Sound> inner);
    ~TrackedSound() override;

    std::uint32_t lengthMs() const noexcept override { return lengthMs_; }
    std::int64_t lengthFrames() const noexcept override { return lengthFrames_; }
    SoundMode mode() const noexcept override { return mode_; }
    int channels() const noexcept override { return channels_; }
    std::unique_ptr<SoundReader> openReader() override;

    /// Main thread, by the System at close: hands over the wrapped sound.
    std::unique_ptr<Sound> detach();

private:
    System* system_;
    std::unique_ptr<Sound> inner_;
    std::uint32_t lengthMs_;
    std::int64_t lengthFrames_;
    int channels_;
    SoundMode mode_;
};

}  // namespace audio
