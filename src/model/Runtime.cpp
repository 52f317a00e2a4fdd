// The shared clock reading.
#include "model/Runtime.h"

#include "audio/System.h"
#include "platform/Clock.h"

namespace gloam {

namespace {

std::int32_t wrapped(std::int64_t ms) { return static_cast<std::int32_t>(static_cast<std::uint32_t>(ms)); }

/// The signed distance from b to a on a 32-bit wrapping clock.
std::int64_t wrapDistance(std::int32_t a, std::int32_t b) {
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(a) - static_cast<std::uint32_t>(b));
}

}  // namespace

Runtime::Runtime(audio::System& audioSystem, const platform::Clock& programClock)
    : audio(audioSystem),
      clock(programClock),
      soundCache(audioSystem),
      ownTimebase_(audioSystem.sampleRate(), programClock.nowMs(), audioSystem.framesMixed()),
      present_(programClock.nowMs()) {}

Runtime::Runtime(audio::System& audioSystem, const platform::Clock& programClock, SoundCache::Opener opener)
    : audio(audioSystem),
      clock(programClock),
      soundCache(std::move(opener)),
      ownTimebase_(audioSystem.sampleRate(), programClock.nowMs(), audioSystem.framesMixed()),
      present_(programClock.nowMs()) {}

Runtime::Runtime(audio::System& audioSystem, const platform::Clock& programClock, const Timebase& liveTimebase)
    : audio(audioSystem),
      clock(programClock),
      soundCache(audioSystem),
      ownTimebase_(liveTimebase),
      liveTimebase_(&liveTimebase),
      present_(programClock.nowMs()) {}

std::int64_t Runtime::presentMs() const {
    present_ += wrapDistance(clock.nowMs(), wrapped(present_));
    return present_;
}

std::int64_t Runtime::unwrap(std::int32_t ms) const {
    const std::int64_t present = presentMs();
    return present + wrapDistance(ms, wrapped(present));
}

std::int32_t Runtime::now() const {
    if (eventFrame) return wrapped(timebase().msAt(*eventFrame));
    return clock.nowMs();
}

std::int64_t Runtime::nowFrame() const {
    if (eventFrame) return *eventFrame;
    return timebase().frameAt(presentMs());
}

}  // namespace gloam
