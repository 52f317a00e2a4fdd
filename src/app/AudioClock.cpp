// Reading the output's position as program time.
#include "app/AudioClock.h"

#include "audio/System.h"

#include <algorithm>

namespace gloam {

AudioClock::AudioClock(const audio::System& system)
    : system_(system),
      start_(Steady::now()),
      timebase_(system.sampleRate(), 0, system.framesMixed()),
      lastRead_(start_) {}

std::int32_t AudioClock::nowMs() const {
    const Steady::time_point now = Steady::now();
    const audio::OutputPosition position = system_.outputPosition();
    const auto sinceBlock = std::chrono::nanoseconds(now.time_since_epoch().count() - position.steadyNanos);
    const bool running = position.steadyNanos != 0 && sinceBlock < kStallAfter;

    std::int64_t ms = lastMs_;
    if (running) {
        // Smooth between blocks: the frames mixed plus the time since, but
        // never more than one buffer ahead of them.
        const int rate = timebase_.sampleRate();
        const std::int64_t bufferNanos = 1'000'000'000LL * system_.outputBufferFrames() / rate;
        const std::int64_t aheadNanos = std::clamp<std::int64_t>(sinceBlock.count(), 0, bufferNanos);
        const std::int64_t frame = position.frames + aheadNanos * rate / 1'000'000'000LL;
        if (!following_) {
            // Frames again after a stall (or for the first time): this frame
            // is now, so nothing runs backwards or jumps.
            timebase_.reanchor(lastMs_, frame);
            following_ = true;
        }
        // A block that comes a little early must not take time back.
        ms = std::max(lastMs_, timebase_.msAt(frame));
        lastRead_ = now;
    } else {
        following_ = false;
        const auto whole = std::chrono::duration_cast<std::chrono::milliseconds>(now - lastRead_);
        ms = lastMs_ + whole.count();
        lastRead_ += whole;  // the rest of a millisecond counts next time
    }
    lastMs_ = ms;
    // Wraps like a 32-bit millisecond counter after about 24.8 days.
    return platform::wrapMs(ms);
}

}  // namespace gloam
