// A handle to one play of a sound.
#pragma once

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

    /// False once the sound has played to its end, was stopped, was displaced,
    /// or the handle is stale or null.
    bool isPlaying() const;
    void setChannelGroup(ChannelGroup& group);
    void set3DAttributes(Vector3 position, Vector3 velocity);
    void setPaused(bool paused);
    void stop();

    explicit operator bool() const { return system_ != nullptr; }

private:
    System* system_ = nullptr;
    std::uint32_t voice_ = 0;
    std::uint32_t generation_ = 0;
};

}  // namespace audio
