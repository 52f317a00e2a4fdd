// The live program clock: the output's frames, read as milliseconds.
#pragma once

#include "model/Timebase.h"
#include "platform/Clock.h"

#include <chrono>
#include <cstdint>

namespace audio {
class System;
}

namespace gloam {

/// Program time that follows the frames the output has mixed, so that a time
/// the program plans for lands on the frame the engine plays it at, however
/// the sound card's clock drifts against the computer's. Between two blocks
/// of the output the clock moves on with the steady clock (at most one
/// buffer's worth), so it runs smoothly rather than in steps. When the output
/// stalls, or before it has mixed anything, it follows the steady clock
/// alone; when frames come again, the time base is re-anchored so that the
/// clock never runs backwards and never jumps. Main thread only.
class AudioClock final : public platform::Clock {
public:
    explicit AudioClock(const audio::System& system);

    /// Milliseconds since the clock was made, wrapping like a 32-bit counter.
    std::int32_t nowMs() const override;
    /// The mapping between these milliseconds and the engine's frames.
    const Timebase& timebase() const { return timebase_; }

    /// A gap between blocks longer than this counts as a stall.
    static constexpr std::chrono::milliseconds kStallAfter{100};

private:
    using Steady = std::chrono::steady_clock;

    const audio::System& system_;
    Steady::time_point start_;
    mutable Timebase timebase_;
    mutable std::int64_t lastMs_ = 0;
    mutable Steady::time_point lastRead_;
    mutable bool following_ = false;  ///< time comes from the frames, not the steady clock
};

}  // namespace gloam
