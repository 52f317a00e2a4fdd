// A handle to one play of a sound.
#pragma once

#include "audio/MixTypes.h"
#include "audio/Types.h"

#include <cstdint>

namespace audio {

class ChannelGroup;
class System;

/// A value handle to one voice. It carries the voice's generation, so a handle
/// never reaches a later play that reused the voice: a stale or null handle
/// reads as not playing, and every other call on it does nothing.
/// Main thread only.
class Channel {
public:
    Channel() = default;
    Channel(System* system, std::uint32_t voice, std::uint32_t generation)
        : system_(system), voice_(voice), generation_(generation) {}
    /// A virtual play (see System::playSoundAt): no voice, playing until
    /// output frame `endFrame`.
    static Channel virtualUntil(System* system, std::int64_t endFrame) {
        Channel channel(system, kVirtual, 0);
        channel.virtualEnd_ = endFrame;
        return channel;
    }

    /// False once the sound has played to its end, was stopped, was displaced,
    /// or the handle is stale or null. A play scheduled to start later counts
    /// as playing.
    bool isPlaying() const;
    void setChannelGroup(ChannelGroup& group);
    void set3DAttributes(Vector3 position, Vector3 velocity);
    /// Pauses or resumes at once.
    void setPaused(bool paused);
    /// Resumes a paused play so that its next frame is heard exactly at output
    /// frame `frame` (at once when that has been mixed).
    void startAt(std::int64_t frame);
    /// Silent from output frame `atFrame` on (at once by default). The handle
    /// reads as not playing from now.
    void stop(std::int64_t atFrame = kAtOnce);

    explicit operator bool() const { return system_ != nullptr; }

    /// True for a virtual play, which no one hears.
    bool isVirtual() const { return voice_ == kVirtual; }

private:
    static constexpr std::uint32_t kVirtual = 0xfffffffeu;

    System* system_ = nullptr;
    std::uint32_t voice_ = 0;
    std::uint32_t generation_ = 0;
    std::int64_t virtualEnd_ = 0;
};

}  // namespace audio
