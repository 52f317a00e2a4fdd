// A real effect from Debian's swh-plugins, run through the host.
#include "audio/PluginHost.h"

#include "PluginTestSupport.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <filesystem>
#include <vector>

namespace {

constexpr const char* kAmpPath = "/usr/lib/ladspa/amp_1181.so";
constexpr const char* kDelayPath = "/usr/lib/ladspa/delay_1898.so";

TEST(SwhPlugins, SimpleAmplifierScalesEveryChannelByItsGainInDecibels) {
    if (!std::filesystem::exists(kAmpPath)) {
        GTEST_SKIP() << kAmpPath << " is not installed";
    }
    audio::PluginHost host;
    ASSERT_TRUE(host.load(kAmpPath, 48000));
    const audio::DspPlugin* amp = gloam_test::findPlugin(host, "amp");
    ASSERT_NE(amp, nullptr);
    ASSERT_EQ(amp->parameters().size(), 1u);
    EXPECT_FLOAT_EQ(amp->parameters()[0].min, -70.0f);
    EXPECT_FLOAT_EQ(amp->parameters()[0].max, 70.0f);
    EXPECT_FLOAT_EQ(amp->parameters()[0].defaultValue, 0.0f);

    constexpr int kChannels = 2;
    constexpr std::size_t kFrames = 480;
    auto processor = amp->createProcessor(48000, kChannels, 256);
    processor->setParameter(0, float(20.0 * std::log10(2.0)));  // +6.02 dB: double
    const std::vector<float> dry = gloam_test::busSignal(kChannels, kFrames);
    std::vector<float> wet = dry;
    processor->process(wet.data(), kFrames);
    for (std::size_t i = 0; i < dry.size(); ++i) {
        ASSERT_NEAR(wet[i], 2.0f * dry[i], 1e-5f) << "sample " << i;
    }

    // -70 dB: nearly silent, about 3e-4 of the input.
    processor->setParameter(0, -70.0f);
    wet = dry;
    processor->process(wet.data(), kFrames);
    for (std::size_t i = 0; i < dry.size(); ++i) {
        ASSERT_NEAR(wet[i], 3.1623e-4f * dry[i], 1e-6f) << "sample " << i;
    }
}

TEST(SwhPlugins, DelayLineDelaysAnImpulseByItsDelayTime) {
    if (!std::filesystem::exists(kDelayPath)) {
        GTEST_SKIP() << kDelayPath << " is not installed";
    }
    audio::PluginHost host;
    ASSERT_TRUE(host.load(kDelayPath, 48000));
    const audio::DspPlugin* delay = gloam_test::findPlugin(host, "delay_n");
    ASSERT_NE(delay, nullptr);
    // Max delay and delay time in seconds, both without an upper bound.
    ASSERT_EQ(delay->parameters().size(), 2u);
    for (const audio::DspParameterInfo& info : delay->parameters()) {
        EXPECT_EQ(info.min, 0.0f);
        EXPECT_EQ(info.max, FLT_MAX);
    }

    // The line's length is taken from "max delay" at activation: with the
    // default of 0 it could not delay at all. One run only: this plug-in's
    // delay is exact within a run but not across runs.
    constexpr int kChannels = 2;
    auto processor = delay->createProcessor(48000, kChannels, 1024);
    processor->setParameter(0, 1.0f);
    processor->setParameter(1, 0.01f);  // 480 frames
    std::vector<float> samples(1000 * kChannels, 0.0f);
    samples[0] = 1.0f;
    samples[1] = -0.5f;
    processor->process(samples.data(), 1000);
    for (std::size_t f = 0; f < 1000; ++f) {
        const float left = f == 480 ? 1.0f : 0.0f;
        ASSERT_EQ(gloam_test::sampleAt(samples, kChannels, f, 0), left) << "frame " << f;
        ASSERT_EQ(gloam_test::sampleAt(samples, kChannels, f, 1), -0.5f * left) << "frame " << f;
    }
}

}  // namespace
