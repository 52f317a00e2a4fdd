// The main loop's wait on virtual time: the clock moves on and the audio of that time is rendered.
#pragma once

#include "platform/Clock.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

namespace audio {
class System;
}

namespace platform {
class ScriptedConsole;
}

namespace testsupport {

/// Instead of sleeping, moves a virtual clock to the time the loop waits for
/// (or to the next scripted key, when one comes sooner) and renders the audio
/// of the time that passed on the engine's offline output, in whole blocks of
/// `blockMs` as a device does (1: exactly up to the clock). Every block is
/// handed to `sink` (interleaved, outputChannels() samples a frame). Frame
/// counts follow the total time, so nothing drifts. Main thread only.
class RenderingWait final : public platform::IdleWait {
public:
    using Sink = std::function<void(const float* interleaved, std::size_t numFrames)>;

    /// `startMs` is the clock's reading when rendering begins; all
    /// references must outlive the wait.
    RenderingWait(platform::VirtualClock& clock, audio::System& system, std::int32_t startMs, Sink sink,
                  std::int32_t blockMs = 1, const platform::ScriptedConsole* keys = nullptr);

    void waitUntil(std::int32_t untilMs) override;

    /// Renders up to the clock, also after something else moved it (a key
    /// read in the adventure menu).
    void catchUp();

    /// Waits since the last call: how often the loop passed.
    std::int64_t takeWaits();

private:
    platform::VirtualClock& clock_;
    audio::System& system_;
    const platform::ScriptedConsole* keys_;
    std::int32_t startMs_;
    Sink sink_;
    std::int64_t blockMs_;
    std::vector<float> buffer_;
    std::int64_t renderedFrames_ = 0;
    std::int64_t waits_ = 0;
};

}  // namespace testsupport
