// Running LADSPA plug-ins over buses: instances per channel, activation, buffers.
#include "audio/PluginHost.h"

#include "PluginTestSupport.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace {

using audio::DspProcessor;
using gloam_test::busSignal;
using gloam_test::Lifecycle;
using gloam_test::lifecycle;
using gloam_test::sampleAt;

class PluginProcessor : public testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(host_.load(GLOAM_TEST_LADSPA, kSampleRate)); }

    /// A processor ready to run, as the engine attaches it, unless `activated` is false.
    std::unique_ptr<DspProcessor> make(const std::string& name, int numChannels,
                                       std::size_t maxBlockFrames = 256, bool activated = true) {
        const audio::DspPlugin* plugin = gloam_test::findPlugin(host_, name);
        EXPECT_NE(plugin, nullptr) << name;
        if (plugin == nullptr) {
            return nullptr;
        }
        auto processor = plugin->createProcessor(kSampleRate, numChannels, maxBlockFrames);
        EXPECT_NE(processor, nullptr) << name;
        if (processor != nullptr && activated) {
            processor->activate();
        }
        return processor;
    }

    static constexpr int kSampleRate = 48000;
    audio::PluginHost host_;
};

TEST_F(PluginProcessor, MonoGainProcessesEveryChannelOfTheBus) {
    for (const int numChannels : {1, 2, 6}) {
        auto gain = make("gloam_gain_mono", numChannels);
        ASSERT_NE(gain, nullptr);
        gain->setParameter(0, 2.0f);
        const std::vector<float> dry = busSignal(numChannels, 64);
        std::vector<float> wet = dry;
        gain->process(wet.data(), 64);
        for (std::size_t i = 0; i < dry.size(); ++i) {
            ASSERT_FLOAT_EQ(wet[i], 2.0f * dry[i]) << numChannels << " channels, sample " << i;
        }
    }
}

TEST_F(PluginProcessor, MonoPluginKeepsOneInstanceAndHistoryPerChannel) {
    // A one-frame delay: each channel's first output frame of a block is the
    // last input frame of that same channel in the block before.
    constexpr int kChannels = 6;
    auto delay = make("gloam_delay_mono", kChannels);
    ASSERT_NE(delay, nullptr);
    const std::vector<float> dry = busSignal(kChannels, 64);
    std::vector<float> wet = dry;
    delay->process(wet.data(), 32);
    delay->process(wet.data() + 32 * kChannels, 32);
    for (int c = 0; c < kChannels; ++c) {
        EXPECT_EQ(sampleAt(wet, kChannels, 0, c), 0.0f) << "channel " << c;
        for (std::size_t f = 1; f < 64; ++f) {
            ASSERT_EQ(sampleAt(wet, kChannels, f, c), sampleAt(dry, kChannels, f - 1, c))
                << "channel " << c << " frame " << f;
        }
    }
}

TEST_F(PluginProcessor, StereoPluginProcessesChannelPairs) {
    for (const int numChannels : {2, 4, 6}) {
        auto swap = make("gloam_swap_stereo", numChannels);
        ASSERT_NE(swap, nullptr);
        const std::vector<float> dry = busSignal(numChannels, 48);
        std::vector<float> wet = dry;
        swap->process(wet.data(), 48);
        for (std::size_t f = 0; f < 48; ++f) {
            for (int c = 0; c < numChannels; ++c) {
                ASSERT_EQ(sampleAt(wet, numChannels, f, c), sampleAt(dry, numChannels, f, c ^ 1))
                    << numChannels << " channels, channel " << c << " frame " << f;
            }
        }
    }
}

TEST_F(PluginProcessor, StereoPluginLeavesAnOddLastChannelUntouched) {
    auto gain = make("gloam_gain_stereo", 3);
    ASSERT_NE(gain, nullptr);
    gain->setParameter(0, 0.5f);
    const std::vector<float> dry = busSignal(3, 40);
    std::vector<float> wet = dry;
    gain->process(wet.data(), 40);
    for (std::size_t f = 0; f < 40; ++f) {
        EXPECT_FLOAT_EQ(sampleAt(wet, 3, f, 0), 0.5f * sampleAt(dry, 3, f, 0));
        EXPECT_FLOAT_EQ(sampleAt(wet, 3, f, 1), 0.5f * sampleAt(dry, 3, f, 1));
        EXPECT_EQ(sampleAt(wet, 3, f, 2), sampleAt(dry, 3, f, 2));
    }

    // A mono bus has no pair at all.
    auto onMono = make("gloam_swap_stereo", 1);
    std::vector<float> mono = busSignal(1, 16);
    const std::vector<float> monoDry = mono;
    onMono->process(mono.data(), 16);
    EXPECT_EQ(mono, monoDry);
}

TEST_F(PluginProcessor, MonoToStereoPluginFeedsEachPairItsAverageAndWritesBothOutputs) {
    // The split plug-in writes -x to its first output and x / 2 to its second.
    // An odd last channel has no pair and passes through.
    for (const std::string name : {"gloam_split", "gloam_split_inplace_broken"}) {
        for (const int numChannels : {2, 3, 6}) {
            auto split = make(name, numChannels);
            ASSERT_NE(split, nullptr);
            const std::vector<float> dry = busSignal(numChannels, 300);
            std::vector<float> wet = dry;
            split->process(wet.data(), 300);  // more than one block of 256
            for (std::size_t f = 0; f < 300; ++f) {
                for (int c = 0; c + 1 < numChannels; c += 2) {
                    const float mid = 0.5f * (sampleAt(dry, numChannels, f, c) +
                                              sampleAt(dry, numChannels, f, c + 1));
                    ASSERT_FLOAT_EQ(sampleAt(wet, numChannels, f, c), -mid)
                        << name << " on " << numChannels << " channels, channel " << c << " frame " << f;
                    ASSERT_FLOAT_EQ(sampleAt(wet, numChannels, f, c + 1), 0.5f * mid)
                        << name << " on " << numChannels << " channels, channel " << c + 1 << " frame " << f;
                }
                if (numChannels % 2 == 1) {
                    ASSERT_EQ(sampleAt(wet, numChannels, f, numChannels - 1),
                              sampleAt(dry, numChannels, f, numChannels - 1));
                }
            }
        }
    }
}

TEST_F(PluginProcessor, MonoToStereoPluginOnAMonoBusAveragesItsOutputsBack) {
    for (const std::string name : {"gloam_split", "gloam_split_inplace_broken"}) {
        auto split = make(name, 1);
        ASSERT_NE(split, nullptr);
        const std::vector<float> dry = busSignal(1, 64);
        std::vector<float> wet = dry;
        split->process(wet.data(), 64);
        for (std::size_t f = 0; f < 64; ++f) {
            ASSERT_FLOAT_EQ(wet[f], 0.5f * (-dry[f] + 0.5f * dry[f])) << name << " frame " << f;
        }
    }
}

TEST_F(PluginProcessor, PluginsThatCannotRunPassAudioThroughUntouched) {
    // Two in and one out; no run function; an instantiate that fails.
    for (const std::string name :
         {"gloam_mix_down", "gloam_descriptor_without_a_run_f", "gloam_instantiate_fails"}) {
        for (const int numChannels : {1, 2}) {
            auto processor = make(name, numChannels);
            ASSERT_NE(processor, nullptr);
            processor->setParameter(0, 3.0f);
            const std::vector<float> dry = busSignal(numChannels, 32);
            std::vector<float> wet = dry;
            processor->process(wet.data(), 32);
            EXPECT_EQ(wet, dry) << name << " on " << numChannels << " channels";
        }
    }
}

TEST_F(PluginProcessor, ParametersStartAtTheirDefaultsAndChangeFromTheNextBlock) {
    auto gain = make("gloam_gain_mono", 1);
    ASSERT_NE(gain, nullptr);
    EXPECT_EQ(gain->parameter(0), 1.0f);
    std::vector<float> block = {0.25f, -0.5f};
    gain->process(block.data(), 2);
    EXPECT_EQ(block, (std::vector<float>{0.25f, -0.5f}));

    gain->setParameter(0, 2.0f);
    gain->setParameter(1, 9.0f);  // out of range: ignored
    gain->setParameter(-1, 9.0f);
    EXPECT_EQ(gain->parameter(0), 2.0f);
    EXPECT_EQ(gain->parameter(1), 0.0f);
    gain->process(block.data(), 2);
    EXPECT_EQ(block, (std::vector<float>{0.5f, -1.0f}));

    // Sample-rate-relative defaults follow the processor's own rate.
    auto hints = gloam_test::findPlugin(host_, "gloam_hints")->createProcessor(44100, 1, 64);
    EXPECT_FLOAT_EQ(hints->parameter(0), 11025.0f);  // middle of [0, 0.5] x 44100
    EXPECT_FLOAT_EQ(hints->parameter(1), 440.0f);
}

TEST_F(PluginProcessor, InstancesRunOnlyOnceActivatedWithTheParametersSetBefore) {
    const Lifecycle start = lifecycle();
    auto gain = make("gloam_activate_gain", 2, 256, false);
    ASSERT_NE(gain, nullptr);
    EXPECT_EQ(lifecycle().instantiated - start.instantiated, 2);

    // Not activated yet: the audio passes untouched, and running it never
    // activates (that may allocate, and process() runs on the mixer).
    gain->setParameter(0, 3.0f);
    const std::vector<float> dry = busSignal(2, 32);
    std::vector<float> wet = dry;
    gain->process(wet.data(), 32);
    EXPECT_EQ(wet, dry);
    EXPECT_EQ(lifecycle().activated - start.activated, 0);

    // This plug-in takes its gain once, in activate.
    gain->activate();
    EXPECT_EQ(lifecycle().activated - start.activated, 2);
    gain->process(wet.data(), 32);
    for (std::size_t i = 0; i < dry.size(); ++i) {
        ASSERT_FLOAT_EQ(wet[i], 3.0f * dry[i]) << "sample " << i;
    }

    // Activated once only: a later change does not reach this plug-in.
    gain->setParameter(0, 0.5f);
    gain->activate();
    wet = dry;
    gain->process(wet.data(), 32);
    EXPECT_FLOAT_EQ(wet[5], 3.0f * dry[5]);
    EXPECT_EQ(lifecycle().activated - start.activated, 2);
    EXPECT_EQ(lifecycle().deactivated - start.deactivated, 0);

    gain.reset();
    const Lifecycle end = lifecycle();
    EXPECT_EQ(end.deactivated - start.deactivated, 2);
    EXPECT_EQ(end.cleanedUp - start.cleanedUp, 2);
}

TEST_F(PluginProcessor, InstancesThatNeverRanAreActivatedOnceBeforeCleanup) {
    // Some plug-ins free in cleanup what only activate allocates.
    const Lifecycle start = lifecycle();
    make("gloam_activate_gain", 3, 256, false).reset();
    const Lifecycle end = lifecycle();
    EXPECT_EQ(end.instantiated - start.instantiated, 3);
    EXPECT_EQ(end.activated - start.activated, 3);
    EXPECT_EQ(end.deactivated - start.deactivated, 3);
    EXPECT_EQ(end.cleanedUp - start.cleanedUp, 3);
}

TEST_F(PluginProcessor, RestartClearsWhatThePluginHeld) {
    auto delay = make("gloam_delay_mono", 1);
    std::vector<float> block = {1.0f, 2.0f};
    delay->process(block.data(), 2);
    delay->restart();
    delay->activate();
    block = {5.0f};
    delay->process(block.data(), 1);
    EXPECT_EQ(block[0], 0.0f);  // not the 2 held from before
    block = {6.0f};
    delay->process(block.data(), 1);
    EXPECT_EQ(block[0], 5.0f);
}

TEST_F(PluginProcessor, PluginThatCannotRunInPlaceGetsSeparateBuffers) {
    // Run in place, this plug-in clears its input before reading it.
    auto gain = make("gloam_gain_inplace_broken", 2);
    ASSERT_NE(gain, nullptr);
    gain->setParameter(0, 2.0f);
    const std::vector<float> dry = busSignal(2, 64);
    std::vector<float> wet = dry;
    gain->process(wet.data(), 64);
    for (std::size_t i = 0; i < dry.size(); ++i) {
        ASSERT_FLOAT_EQ(wet[i], 2.0f * dry[i]) << "sample " << i;
    }
}

TEST_F(PluginProcessor, TwoProcessorsOfOnePluginAreIndependent) {
    auto loud = make("gloam_gain_mono", 1);
    auto quiet = make("gloam_gain_mono", 1);
    loud->setParameter(0, 2.0f);
    quiet->setParameter(0, 0.5f);
    std::vector<float> a = {0.5f, -0.25f};
    std::vector<float> b = a;
    loud->process(a.data(), 2);
    quiet->process(b.data(), 2);
    EXPECT_EQ(a, (std::vector<float>{1.0f, -0.5f}));
    EXPECT_EQ(b, (std::vector<float>{0.25f, -0.125f}));
    EXPECT_EQ(loud->parameter(0), 2.0f);
    EXPECT_EQ(quiet->parameter(0), 0.5f);

    // Each keeps its own history.
    auto first = make("gloam_delay_mono", 1);
    auto second = make("gloam_delay_mono", 1);
    std::vector<float> x = {1.0f, 2.0f};
    std::vector<float> y = {10.0f, 20.0f};
    first->process(x.data(), 2);
    second->process(y.data(), 2);
    x = {3.0f};
    y = {30.0f};
    first->process(x.data(), 1);
    second->process(y.data(), 1);
    EXPECT_EQ(x[0], 2.0f);
    EXPECT_EQ(y[0], 20.0f);
}

TEST_F(PluginProcessor, BlocksLongerThanTheMaximumAreRunInPieces) {
    constexpr int kChannels = 3;
    auto delay = make("gloam_delay_mono", kChannels, 16);
    ASSERT_NE(delay, nullptr);
    const std::vector<float> dry = busSignal(kChannels, 100);
    std::vector<float> wet = dry;
    delay->process(wet.data(), 100);
    for (int c = 0; c < kChannels; ++c) {
        EXPECT_EQ(sampleAt(wet, kChannels, 0, c), 0.0f);
        for (std::size_t f = 1; f < 100; ++f) {
            ASSERT_EQ(sampleAt(wet, kChannels, f, c), sampleAt(dry, kChannels, f - 1, c))
                << "channel " << c << " frame " << f;
        }
    }
}

TEST_F(PluginProcessor, EmptyBusesAndEmptyBlocksAreHarmless) {
    auto none = make("gloam_gain_mono", 0);
    ASSERT_NE(none, nullptr);
    float sample = 0.5f;
    none->process(&sample, 1);
    auto gain = make("gloam_gain_mono", 1);
    gain->setParameter(0, 2.0f);
    gain->process(&sample, 0);
    gain->process(nullptr, 4);
    EXPECT_EQ(sample, 0.5f);
    auto noScratch = make("gloam_gain_mono", 1, 0);
    noScratch->setParameter(0, 2.0f);
    noScratch->process(&sample, 1);
    EXPECT_EQ(sample, 0.5f);
}

}  // namespace
