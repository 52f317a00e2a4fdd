// The stall rule: how long an element may be silent, and whether it was.
#include "SilenceWatch.h"

#include "app/Adventure.h"
#include "model/Scene.h"
#include "platform/Clock.h"
#include "playback/Playable.h"
#include "playback/Source.h"

#include <algorithm>

namespace gloam::soak {

namespace {

std::int64_t positive(std::int32_t value) { return std::max<std::int64_t>(0, value); }

bool running(State state) { return state == State::Playing || state == State::Waiting; }

}  // namespace

void SilenceWatch::stateChanged(const Playable& element, State state, const Moment& at) {
    // Elements at rest are forgotten, which keeps the watch small.
    if (state == State::Idle) {
        watched_.erase(&element);
        return;
    }
    // A run starts afresh when the element comes to run from any other state.
    Watched& watched = watched_[&element];
    if (running(state) && !running(watched.lastState)) watched.heardMs = at.ms;
    watched.lastState = state;
}

std::int64_t SilenceWatch::allowedSilenceMs(const SettingContainer& element) {
    const Settings& settings = element.settings;
    std::int64_t longest = positive(settings.startDelay) + positive(settings.startDelayVariance);
    if (settings.loopCount != 0) longest += positive(settings.loopDelay) + positive(settings.loopDelayVariance);
    for (const auto& child : element.children) longest += allowedSilenceMs(*child) - marginMs;
    return longest + marginMs;
}

Sighting SilenceWatch::look(const Adventure& adventure) {
    Sighting sighting;
    const std::int32_t nowMs = clock_.nowMs();
    for (const auto& scene : adventure.scenes) visit(*scene, nowMs, sighting);
    return sighting;
}

bool SilenceWatch::visit(const SettingContainer& node, std::int32_t nowMs, Sighting& sighting) {
    bool heard = false;
    if (node.kind() == NodeKind::Sound && static_cast<const Source&>(node).channel().isPlaying()) {
        heard = true;
        ++sighting.channelsOfElements;
    }
    for (const auto& child : node.children) heard = visit(*child, nowMs, sighting) || heard;

    if (node.kind() == NodeKind::Scene) return heard;
    const auto* element = static_cast<const Playable*>(&node);
    sighting.largestPlanQueue = std::max({sighting.largestPlanQueue, element->plannedDurations().size(),
                                          element->plannedStartDelays().size(), element->plannedLoopDelays().size()});
    if (!running(element->state())) return heard;
    Watched& watched = watched_.try_emplace(element, Watched{nowMs, element->state()}).first->second;
    if (heard) watched.heardMs = nowMs;
    const std::int64_t silentMs = static_cast<std::int64_t>(nowMs) - watched.heardMs;
    if (sighting.stall.empty() && silentMs > marginMs) {
        const std::int64_t allowedMs = allowedSilenceMs(*element);
        if (silentMs > allowedMs) {
            sighting.stall = "element '" + element->name + "' (" + stateName(element->state()) + ") silent for " +
                             std::to_string(silentMs) + " ms, its plan allows " + std::to_string(allowedMs) + " ms";
        }
    }
    return heard;
}

}  // namespace gloam::soak
