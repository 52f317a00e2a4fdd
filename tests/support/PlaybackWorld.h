// A whole player without terminal or device: offline engine, virtual clock, adventure.
#pragma once

#include "TestFiles.h"
#include "app/OfflineSession.h"
#include "playback/Playable.h"

#include <cstdint>
#include <string>
#include <vector>

namespace testsupport {

/// Records every state change with the clock reading.
struct StateRecord {
    std::int32_t ms;
    std::string name;
    gloam::State state;
};

class StateRecorder : public gloam::StateObserver {
public:
    /// Records the program time of each change: the moment it belongs to,
    /// which may lie a little ahead of the pass that handles it.
    void stateChanged(const gloam::Playable& element, gloam::State state, const gloam::Moment& at) override;
    std::vector<StateRecord> records;
    /// The records of one element, in order.
    std::vector<StateRecord> of(const std::string& name) const;
};

/// The offline session, in its own temporary working folder, with scripted
/// keys, a level meter on what it renders and a recorder of every state
/// change.
class PlaybackWorld {
public:
    explicit PlaybackWorld(int sampleRate = 8000, std::int32_t startMs = 1000,
                           std::vector<platform::ScriptedKey> keys = {});

    /// Writes adventures/test.xml and loads it.
    void load(const std::string& xml);
    void pass();
    /// Passes until the clock reaches `ms` (across the clock's wrap too).
    void runUntil(std::int32_t ms);
    void runFor(std::int32_t ms);
    /// Advances the clock and renders the audio of that time, without a pass.
    void advance(std::int32_t ms);
    /// The moment the life cycle may act at now (see Adventure::presentMoment).
    gloam::Moment moment() const { return session_.adventure().presentMoment(); }

    gloam::Scene& scene(std::size_t index = 0);
    /// The element named `name` anywhere in the loaded adventure.
    gloam::Playable& element(const std::string& name);
    std::int32_t now() const { return clock.nowMs(); }

    /// Root mean square level of the audio rendered since the last call (both
    /// channels together).
    double takeRms();
    /// Per-channel RMS since the last call.
    std::vector<double> takeChannelRms();

    gloam::OfflineSession& session() { return session_; }

private:
    void measure(const float* interleaved, std::size_t numFrames);

    ScopedWorkDir workDir_;
    gloam::OfflineSession session_;

public:
    platform::VirtualClock& clock;
    audio::System& audio;
    gloam::Runtime& runtime;
    gloam::Adventure& adventure;
    StateRecorder recorder;

private:
    std::vector<double> sumSquares_;
    std::int64_t measuredFrames_ = 0;
};

}  // namespace testsupport
