// Helpers shared by the plug-in host's tests: finding plug-ins and making bus signals.
#pragma once

#include "audio/PluginHost.h"

#include <gtest/gtest.h>

#include <dlfcn.h>

#include <array>
#include <cmath>
#include <cstddef>
#include <string>
#include <vector>

namespace gloam_test {

/// The first plug-in called `name`, or null.
inline const audio::DspPlugin* findPlugin(const audio::PluginHost& host, const std::string& name) {
    for (int i = 0; i < host.numPlugins(); ++i) {
        if (host.plugin(i).name() == name) {
            return &host.plugin(i);
        }
    }
    return nullptr;
}

/// numFrames interleaved frames of numChannels channels, each channel a sine
/// of its own frequency and level, so a sample moved to another channel or
/// frame shows.
inline std::vector<float> busSignal(int numChannels, std::size_t numFrames) {
    std::vector<float> samples(numFrames * std::size_t(numChannels));
    for (std::size_t f = 0; f < numFrames; ++f) {
        for (int c = 0; c < numChannels; ++c) {
            const double phase = 0.05 * double(f + 1) * double(c + 1);
            samples[f * std::size_t(numChannels) + std::size_t(c)] =
                float((0.2 + 0.1 * c) * std::sin(phase));
        }
    }
    return samples;
}

/// Lifecycle calls counted by "gloam_activate_gain" of the test library.
struct Lifecycle {
    int instantiated = 0;
    int activated = 0;
    int deactivated = 0;
    int cleanedUp = 0;
};

/// The counts so far; the test library must be loaded already.
inline Lifecycle lifecycle() {
    void* handle = ::dlopen(GLOAM_TEST_LADSPA, RTLD_NOW | RTLD_NOLOAD);
    EXPECT_NE(handle, nullptr) << "the test library should be loaded by the host";
    if (handle == nullptr) {
        return {};
    }
    using CountsFunction = void (*)(int*);
    auto counts = reinterpret_cast<CountsFunction>(::dlsym(handle, "gloam_test_lifecycle_counts"));
    std::array<int, 4> values{};
    if (counts != nullptr) {
        counts(values.data());
    }
    ::dlclose(handle);
    return {values[0], values[1], values[2], values[3]};
}

/// Sample (frame, channel) of an interleaved buffer.
inline float sampleAt(const std::vector<float>& samples, int numChannels, std::size_t frame,
                      int channel) {
    return samples[frame * std::size_t(numChannels) + std::size_t(channel)];
}

}  // namespace gloam_test
