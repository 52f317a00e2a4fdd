// Watching every running element for silences longer than its plan allows.
#pragma once

#include "model/Runtime.h"

#include <cstdint>
#include <string>
#include <unordered_map>

namespace gloam {
class Adventure;
class Playable;
class SettingContainer;
}  // namespace gloam

namespace gloam::soak {

/// What one look at the player found.
struct Sighting {
    std::size_t largestPlanQueue = 0;
    /// Channels that belong to some element's sound.
    int channelsOfElements = 0;
    /// Set when an element has been silent for longer than it may be.
    std::string stall;
};

/// An element that is Playing or Waiting must be heard (one of the sounds in
/// its subtree has a channel playing) at least once per `allowedSilenceMs`:
/// the sum over the element and its descendants of their longest start delay
/// and, for those that repeat, their longest loop delay, plus a margin for
/// the ticks that notice ends. Learns when elements start through the state
/// observer it installs. Main thread only.
class SilenceWatch final : public StateObserver {
public:
    static constexpr std::int32_t marginMs = 2000;

    explicit SilenceWatch(const platform::Clock& clock) : clock_(clock) {}

    void stateChanged(const Playable& element, State state, const Moment& at) override;

    /// Walks the loaded adventure: queue sizes, channels, and the stall rule.
    Sighting look(const Adventure& adventure);
    /// After a reload: the elements watched so far are gone (and new ones may
    /// live at their addresses).
    void forgetAll() { watched_.clear(); }

    static std::int64_t allowedSilenceMs(const SettingContainer& element);

private:
    struct Watched {
        std::int32_t heardMs = 0;  ///< last time it sounded, or began to run
        State lastState = State::Idle;
    };

    /// Returns whether the subtree of `node` is heard now.
    bool visit(const SettingContainer& node, std::int32_t nowMs, Sighting& sighting);

    const platform::Clock& clock_;
    std::unordered_map<const Playable*, Watched> watched_;
};

}  // namespace gloam::soak
