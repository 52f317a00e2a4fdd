// The process-wide values of a player run, gathered so each test can start afresh.
#pragma once

#include "model/SettingContainer.h"
#include "model/Settings.h"
#include "model/SoundCache.h"
#include "playback/Random.h"

#include <array>
#include <cstdint>
#include <list>
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
};

/// What the whole program shares: the engine, the clock, the sound cache, the
/// random generator, the running elements and the scene keys. Main thread only.
struct Runtime {
    Runtime(audio::System& audioSystem, const platform::Clock& programClock)
        : audio(audioSystem), clock(programClock), soundCache(audioSystem) {}
    /// For tools that open sounds their own way (the checker reads no more
    /// of a file than it needs to know it plays).
    Runtime(audio::System& audioSystem, const platform::Clock& programClock, SoundCache::Opener opener)
        : audio(audioSystem), clock(programClock), soundCache(std::move(opener)) {}

    std::int32_t now() const;

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
};

}  // namespace gloam
