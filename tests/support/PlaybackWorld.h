// A whole player without terminal or device: offline engine, virtual clock, adventure.
#pragma once

#include "RenderingWait.h"
#include "TestFiles.h"
#include "app/Adventure.h"
#include "app/MainLoop.h"
#include "audio/System.h"
#include "model/Runtime.h"
#include "platform/Clock.h"
#include "platform/ScriptedConsole.h"
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
    explicit StateRecorder(const gloam::Runtime& runtime) : runtime_(runtime) {}
    void stateChanged(const gloam::Playable& element, gloam::State state) override;
    std::vector<StateRecord> records;
    /// The records of one element, in order.
    std::vector<StateRecord> of(const std::string& name) const;

private:
    const gloam::Runtime& runtime_;
};

/// Runs the player's own main loop without keys, where the wait between
/// passes moves the clock to the time the loop asks for, rendering the audio
/// of the time that passed. Lives in its own temporary working folder.
class PlaybackWorld {
public:
    explicit PlaybackWorld(int sampleRate = 8000, std::int32_t startMs = 1000);
    ~PlaybackWorld();

    /// Writes adventures/test.xml and loads it.
    void load(const std::string& xml);
    void pass();
    /// Passes until the clock reaches `ms` (across the clock's wrap too).
    void runUntil(std::int32_t ms);
    void runFor(std::int32_t ms);
    /// Advances the clock and renders the audio of that time.
    void advance(std::int32_t ms);

    gloam::Scene& scene(std::size_t index = 0);
    /// The element named `name` anywhere in the loaded adventure.
    gloam::Playable& element(const std::string& name);
    std::int32_t now() const { return clock.nowMs(); }

    /// Root mean square level of the audio rendered since the last call (both
    /// channels together).
    double takeRms();
    /// Per-channel RMS since the last call.
    std::vector<double> takeChannelRms();

    ScopedWorkDir workDir;
    platform::VirtualClock clock;
    audio::System audio;
    gloam::Runtime runtime;
    gloam::Adventure adventure;
    StateRecorder recorder;

private:
    void measure(const float* interleaved, std::size_t numFrames);

    platform::ScriptedConsole console_;
    RenderingWait wait_;
    gloam::MainLoop loop_;
    std::vector<double> sumSquares_;
    std::int64_t measuredFrames_ = 0;
};

}  // namespace testsupport
