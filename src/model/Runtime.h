// The process-wide values of a player run, gathered so each test can start afresh.
#pragma once

#include "model/SettingContainer.h"
#include "model/Settings.h"
#include "model/SoundCache.h"
#include "model/Timebase.h"
#include "playback/Random.h"

#include <array>
#include <cstdint>
#include <list>
#include <optional>
#include <utility>

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

/// Told of every state change of an element (the renderer's timeline).
class StateObserver {
public:
    virtual ~StateObserver() = default;
    virtual void stateChanged(const Playable& element, State state) = 0;
    /// The running element was asked to stop (its key, or Space) and fades
    /// out over `lengthMs` from now; it closes after.
    virtual void fadeOutStarted(const Playable& element, std::int32_t lengthMs) {
        static_cast<void>(element);
        static_cast<void>(lengthMs);
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

    /// Program time: the time of the event being handled when one is (see
    /// `eventFrame`), else the clock's reading.
    std::int32_t now() const;
    /// The output frame that now() stands for, to the frame.
    std::int64_t nowFrame() const;
    /// The output frame where millisecond `ms` begins.
    std::int64_t frameAt(std::int32_t ms) const { return timebase().frameAt(unwrap(ms)); }
    /// The full time that the 32-bit clock value `ms` names: the one nearest
    /// to the present, so values on either side of the clock's wrap convert
    /// correctly as long as they lie within 24.8 days of now.
    std::int64_t unwrap(std::int32_t ms) const;
    const Timebase& timebase() const { return liveTimebase_ != nullptr ? *liveTimebase_ : ownTimebase_; }

    /// While set, the exact output frame of the event being handled: a timer
    /// or the end of a sound that falls due there. Everything the life cycle
    /// does then, it does at that frame.
    std::optional<std::int64_t> eventFrame;

    audio::System& audio;
    const platform::Clock& clock;
    SoundCache soundCache;
    Random random;
    /// Elements that are not Idle, ticked once per pass in this order. A list,
    /// so an element can leave it during its own tick while the walk goes on.
    std::list<Playable*> activeElements;
    std::array<Scene*, 256> sceneHotkeys{};
    /// Mode for nodes with none of their own up their tree.
    std::int32_t defaultMode = streamMode;
    StateObserver* observer = nullptr;
    /// Told what loading reads and passes over; null in the player.
    Diagnostics* diagnostics = nullptr;

private:
    /// The clock's reading, unwrapped; kept up to date by every reading.
    std::int64_t presentMs() const;

    Timebase ownTimebase_;
    const Timebase* liveTimebase_ = nullptr;
    mutable std::int64_t present_ = 0;
};

}  // namespace gloam
