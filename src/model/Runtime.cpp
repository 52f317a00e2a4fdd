// The shared clock reading.
#include "model/Runtime.h"

#include "audio/System.h"
#include "platform/Clock.h"

namespace gloam {

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
    present_ += wrapSub(clock.nowMs(), wrapMs(present_));
    return present_;
}

std::int64_t Runtime::unwrap(std::int32_t ms) const {
    const std::int64_t present = presentMs();
    return present + wrapSub(ms, wrapMs(present));
}

Moment Runtime::clockMoment() const {
    const std::int64_t ms = presentMs();
    return {wrapMs(ms), timebase().frameAt(ms)};
}

}  // namespace gloam
