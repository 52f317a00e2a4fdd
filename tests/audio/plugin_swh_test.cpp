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
constexpr const char* kPlatePath = "/usr/lib/ladspa/plate_1423.so";

/// RMS of one channel over frames [from, to).
double channelRms(const std::vector<float>& samples, int numChannels, int channel,
                  std::size_t from, std::size_t to) {
    double sum = 0.0;
    for (std::size_t f = from; f < to; ++f) {
        const double sample = gloam_test::sampleAt(samples, numChannels, f, channel);
        sum += sample * sample;
    }
    return std::sqrt(sum / double(to - from));
}

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
    processor->activate();
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
    processor->activate();
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

TEST(SwhPlugins, PlateReverbRingsOnInStereoAfterTheInputStops) {
    if (!std::filesystem::exists(kPlatePath)) {
        GTEST_SKIP() << kPlatePath << " is not installed";
    }
    audio::PluginHost host;
    ASSERT_TRUE(host.load(kPlatePath, 48000));
    const audio::DspPlugin* plate = gloam_test::findPlugin(host, "plate");
    ASSERT_NE(plate, nullptr);
    // Reverb time, damping, dry/wet mix; one input, two outputs.
    ASSERT_EQ(plate->parameters().size(), 3u);

    // A tenth of a second of tone, then a second of silence.
    constexpr std::size_t kToneFrames = 4800;
    constexpr std::size_t kFrames = 48000 + kToneFrames;
    for (const int numChannels : {1, 2}) {
        auto processor = plate->createProcessor(48000, numChannels, 256);
        // A long, bright plate (its reverb time is no time in seconds: at the
        // default the tail is gone within a third of a second).
        processor->setParameter(0, 7.0f);
        processor->setParameter(1, 0.1f);
        processor->setParameter(2, 1.0f);  // all reverb, no dry signal
        processor->activate();
        std::vector<float> samples(kFrames * std::size_t(numChannels), 0.0f);
        for (std::size_t f = 0; f < kToneFrames; ++f) {
            for (int c = 0; c < numChannels; ++c) {
                samples[f * std::size_t(numChannels) + std::size_t(c)] =
                    float(0.5 * std::sin(2.0 * M_PI * 440.0 * double(f) / 48000.0));
            }
        }
        processor->process(samples.data(), kFrames);

        for (int c = 0; c < numChannels; ++c) {
            // Between 0.4 and 0.6 s after the tone the tail is still clearly there.
            const double tail = channelRms(samples, numChannels, c, 19200 + kToneFrames,
                                           28800 + kToneFrames);
            EXPECT_GT(tail, 0.005) << numChannels << " channels, channel " << c;
            EXPECT_LT(tail, 0.5) << numChannels << " channels, channel " << c;
        }
        if (numChannels == 2) {
            // The two outputs are different reflections, not one signal twice.
            double difference = 0.0;
            for (std::size_t f = kToneFrames; f < kFrames; ++f) {
                difference += std::abs(gloam_test::sampleAt(samples, 2, f, 0) -
                                       gloam_test::sampleAt(samples, 2, f, 1));
            }
            EXPECT_GT(difference / double(kFrames - kToneFrames), 1e-3);
        }
    }
}

}  // namespace

TEST(SwhPlugins, IirFilterThatNeverRanIsReleasedSafely) {
    // Its cleanup frees what only activate allocates.
    constexpr const char* kLowpassPath = "/usr/lib/ladspa/lowpass_iir_1891.so";
    if (!std::filesystem::exists(kLowpassPath)) {
        GTEST_SKIP() << kLowpassPath << " is not installed";
    }
    audio::PluginHost host;
    ASSERT_TRUE(host.load(kLowpassPath, 48000));
    auto never = host.plugin(0).createProcessor(48000, 2, 256);
    never.reset();
    auto restarted = host.plugin(0).createProcessor(48000, 2, 256);
    std::vector<float> block(512, 0.25f);
    restarted->activate();
    restarted->process(block.data(), 256);
    restarted->restart();
    restarted->restart();
    restarted->activate();
    restarted->process(block.data(), 256);
    EXPECT_TRUE(std::isfinite(block[511]));
}
