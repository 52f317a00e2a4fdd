// Generated sounds and level measurements shared by the engine core's tests.
#pragma once

#include "audio/Sound.h"
#include "audio/System.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstddef>
#include <memory>
#include <string>
#include <vector>

namespace audio::test {

/// Counts readers alive, so tests can see when the engine frees them.
struct ReaderCount {
    std::atomic<int> alive{0};
};

/// Plays `value` for exactly numFrames frames, then ends. A reader can be
/// made to fall behind (deliver nothing without ending) through `starve`.
class ConstantReader : public SoundReader {
public:
    ConstantReader(float value, std::size_t numFrames, ReaderCount* count, const std::atomic<bool>* starve)
        : value_(value), left_(numFrames), count_(count), starve_(starve) {
        if (count_) ++count_->alive;
    }
    ~ConstantReader() override {
        if (count_) --count_->alive;
    }
    std::size_t read(float* out, std::size_t numFrames) noexcept override {
        if (starve_ && starve_->load()) return 0;
        const std::size_t n = std::min(numFrames, left_);
        std::fill(out, out + n, value_);
        left_ -= n;
        return n;
    }
    bool ended() const noexcept override { return left_ == 0; }

private:
    float value_;
    std::size_t left_;
    ReaderCount* count_;
    const std::atomic<bool>* starve_;
};

class ConstantSound : public Sound {
public:
    ConstantSound(float value, std::size_t numFrames, int sampleRate = 48000)
        : value_(value), numFrames_(numFrames), sampleRate_(sampleRate) {}

    std::uint32_t lengthMs() const noexcept override {
        return static_cast<std::uint32_t>(numFrames_ * 1000 / static_cast<std::size_t>(sampleRate_));
    }
    std::int64_t lengthFrames() const noexcept override { return static_cast<std::int64_t>(numFrames_); }
    SoundMode mode() const noexcept override { return SoundMode::Sample; }
    std::unique_ptr<SoundReader> openReader() override {
        return std::make_unique<ConstantReader>(value_, numFrames_, &readers, &starve);
    }

    ReaderCount readers;
    std::atomic<bool> starve{false};

private:
    float value_;
    std::size_t numFrames_;
    int sampleRate_;
};

/// Interleaved output of an offline System.
struct Rendered {
    std::vector<float> samples;
    int channels = 2;

    float at(std::size_t frame, int channel) const {
        return samples[frame * static_cast<std::size_t>(channels) + static_cast<std::size_t>(channel)];
    }
    std::size_t numFrames() const { return samples.size() / static_cast<std::size_t>(channels); }
    /// Largest magnitude on one channel from `fromFrame` on.
    float peak(int channel, std::size_t fromFrame = 0) const {
        float best = 0.0f;
        for (std::size_t f = fromFrame; f < numFrames(); ++f) best = std::max(best, std::fabs(at(f, channel)));
        return best;
    }
};

inline Rendered render(System& system, std::size_t numFrames) {
    Rendered out;
    out.channels = system.outputChannels();
    out.samples.assign(numFrames * static_cast<std::size_t>(out.channels), -1.0f);
    system.renderOffline(out.samples.data(), numFrames);
    return out;
}

inline SystemConfig offlineConfig(int channels = 2) {
    SystemConfig config;
    config.output = OutputKind::Offline;
    config.offlineChannels = channels;
    return config;
}

inline Channel playAt(System& system, Sound& sound, Vector3 position) {
    Channel channel = system.playSound(sound, true);
    channel.set3DAttributes(position, {});
    channel.setPaused(false);
    return channel;
}

/// The index of the loaded plug-in called `name`, or -1.
inline int pluginIndex(const System& system, const std::string& name) {
    for (int i = 0; i < system.numDspPlugins(); ++i) {
        if (system.dspPluginName(i) == name) return i;
    }
    return -1;
}

inline float toDb(float ratio) { return 20.0f * std::log10(ratio); }

inline constexpr float kCentre = 0.70710678f;  // cos(pi/4): each side of a centred stereo source

}  // namespace audio::test
