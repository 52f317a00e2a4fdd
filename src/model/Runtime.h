// The process-wide values of a player run, gathered so each test can start afresh.
#pragma once

#include "model/Moment.h"
#include "model/SettingContainer.h"
#include "model/Settings.h"
#include "model/SoundCache.h"
#include "model/Timebase.h"
#include "playback/PlanLedger.h"
#include "playback/Random.h"

#include <array>
#include <cstdint>
#include <list>
#include <optional>
#include <utility>
#include <vector>

namespace audio {
class System;
}
namespace platform {
class Clock;
}

namespace gloam {

class Diagnostics;
class Playable;
class Scene;

/// Told of every state change of an element (the renderer's timeline, the
/// soak's watch, the tests), with the moment it belongs to. Main thread only.
class StateObserver {
public:
    virtual ~StateObserver() = default;
    virtual void stateChanged(const Playable& element, State state, const Moment& at) = 0;
    /// The running element was asked to stop (its key, Space or Delete) at
    /// `at` and fades out over `lengthMs`; it closes after.
    virtual void fadeOutStarted(const Playable& element, std::int32_t lengthMs, const Moment& at) {
        static_cast<void>(element);
        static_cast<void>(lengthMs);
        static_cast<void>(at);
    }
};

/// What the whole program shares: the engine, the clock, the sound cache, the
/// random generator, the running elements and the scene keys. Main thread only.
struct Runtime {
    /// Offline: program time and output frames are tied where they stand now
    /// (the engine must be open), and stay so, since both move only together.
    Runtime(audio::System& audioSystem, const platform::Clock& programClock);
    /// Live: `liveTimebase` belongs to the clock, which moves it on stalls.
    Runtime(audio::System& audioSystem, const platform::Clock& programClock, const Timebase& liveTimebase);
    /// For tools that open sounds their own way (the checker reads no more
    /// of a file than it needs to know it plays).
    Runtime(audio::System& audioSystem, const platform::Clock& programClock, SoundCache::Opener opener);

    /// The clock's reading now, with the output frame it stands for.
    Moment clockMoment() const;
    /// The moment of output frame `frame`: the millisecond it falls in.
    Moment momentAt(std::int64_t frame) const { return {wrapMs(timebase().msAt(frame)), frame}; }
    /// The moment `ms` milliseconds of output after `from`, to the nearest
    /// frame: how a delay counted from an exact frame lands.
    Moment after(const Moment& from, std::int32_t ms) const { return momentAt(from.frame + timebase().framesIn(ms)); }
    /// The output frame where millisecond `ms` begins.
    std::int64_t frameAt(std::int32_t ms) const { return timebase().frameAt(unwrap(ms)); }
    /// The full time that the 32-bit clock value `ms` names: the one nearest
    /// to the present, so values on either side of the clock's wrap convert
    /// correctly as long as they lie within 24.8 days of now.
    std::int64_t unwrap(std::int32_t ms) const;
    const Timebase& timebase() const { return liveTimebase_ != nullptr ? *liveTimebase_ : ownTimebase_; }

    audio::System& audio;
    const platform::Clock& clock;
    SoundCache soundCache;
    Random random;
    /// How many plan entries all elements hold ahead: one budget for the
    /// whole adventure. Declared before anything that holds plans.
    PlanLedger planLedger;
    /// Elements that are not Idle, ticked once per pass in this order. A list,
    /// so an element can leave it during its own tick while the walk goes on.
    std::list<Playable*> activeElements;
    std::array<Scene*, 256> sceneHotkeys{};
    /// Mode for nodes with none of their own up their tree.
    std::int32_t defaultMode = streamMode;
    StateObserver* observer = nullptr;
    /// Told what loading reads and passes over; null in the player.
    Diagnostics* diagnostics = nullptr;
    /// Elements that went Idle at a moment the output has not reached yet:
    /// their effects ring until then, so their filters are detached only
    /// when the clock gets there (see Playable::detachFiltersDue).
    std::vector<Playable*> filtersToDetach;

private:
    /// The clock's reading, unwrapped; kept up to date by every reading.
    std::int64_t presentMs() const;

    Timebase ownTimebase_;
    const Timebase* liveTimebase_ = nullptr;
    mutable std::int64_t present_ = 0;
};

}  // namespace gloam
