// The test player: passes, time and measured output.
#include "PlaybackWorld.h"

#include "model/Scene.h"

#include <cmath>
#include <functional>
#include <stdexcept>

namespace testsupport {

void StateRecorder::stateChanged(const gloam::Playable& element, gloam::State state, const gloam::Moment& at) {
    records.push_back({at.ms, element.name, state});
}

std::vector<StateRecord> StateRecorder::of(const std::string& name) const {
    std::vector<StateRecord> result;
    for (const auto& record : records) {
        if (record.name == name) result.push_back(record);
    }
    return result;
}

namespace {

gloam::OfflineConfig worldConfig(int sampleRate, std::int32_t startMs, std::vector<platform::ScriptedKey> keys) {
    gloam::OfflineConfig config;
    config.sampleRate = sampleRate;
    config.channels = 2;
    config.startMs = startMs;
    config.keys = std::move(keys);
    return config;
}

}  // namespace

PlaybackWorld::PlaybackWorld(int sampleRate, std::int32_t startMs, std::vector<platform::ScriptedKey> keys)
    : session_(worldConfig(sampleRate, startMs, std::move(keys)),
               [this](const float* interleaved, std::size_t numFrames) {
                   measure(interleaved, numFrames);
                   return true;
               }),
      clock(session_.clock()), audio(session_.engine()), runtime(session_.runtime()), adventure(session_.adventure()),
      sumSquares_(2, 0.0) {
    runtime.observer = &recorder;
}

void PlaybackWorld::load(const std::string& xml) {
    writeText("adventures/test.xml", xml);
    adventure.load("adventures/test.xml");
}

void PlaybackWorld::pass() { session_.runPass(); }

void PlaybackWorld::runUntil(std::int32_t ms) {
    while (gloam::wrapSub(ms, clock.nowMs()) > 0) pass();
}

void PlaybackWorld::runFor(std::int32_t ms) { runUntil(gloam::wrapAdd(clock.nowMs(), ms)); }

void PlaybackWorld::advance(std::int32_t ms) { session_.advance(ms); }

void PlaybackWorld::measure(const float* interleaved, std::size_t numFrames) {
    const auto channels = static_cast<std::size_t>(audio.outputChannels());
    sumSquares_.resize(channels, 0.0);
    for (std::size_t frame = 0; frame < numFrames; ++frame) {
        for (std::size_t channel = 0; channel < channels; ++channel) {
            const double sample = interleaved[frame * channels + channel];
            sumSquares_[channel] += sample * sample;
        }
    }
    measuredFrames_ += static_cast<std::int64_t>(numFrames);
}

std::vector<double> PlaybackWorld::takeChannelRms() {
    std::vector<double> result;
    for (double& sum : sumSquares_) {
        result.push_back(measuredFrames_ > 0 ? std::sqrt(sum / static_cast<double>(measuredFrames_)) : 0.0);
        sum = 0.0;
    }
    measuredFrames_ = 0;
    return result;
}

double PlaybackWorld::takeRms() {
    const auto perChannel = takeChannelRms();
    double sum = 0.0;
    for (double value : perChannel) sum += value * value;
    return perChannel.empty() ? 0.0 : std::sqrt(sum / static_cast<double>(perChannel.size()));
}

gloam::Scene& PlaybackWorld::scene(std::size_t index) { return *adventure.scenes.at(index); }

gloam::Playable& PlaybackWorld::element(const std::string& name) {
    std::function<gloam::Playable*(gloam::SettingContainer&)> find = [&](gloam::SettingContainer& node) -> gloam::Playable* {
        for (auto& child : node.children) {
            if (child->name == name) return child.get();
            if (auto* found = find(*child)) return found;
        }
        return nullptr;
    };
    for (auto& scene : adventure.scenes) {
        if (auto* found = find(*scene)) return *found;
    }
    throw std::runtime_error("no element named " + name);
}

}  // namespace testsupport
