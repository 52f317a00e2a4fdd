// Effects on groups: order against the group volume and within the chain, tails, removal and
// re-adding, through the mixer and through real LADSPA plug-ins.
#include "audio/ChannelGroup.h"
#include "audio/Dsp.h"
#include "audio/MixCommand.h"
#include "audio/Mixer.h"
#include "audio/PluginHost.h"
#include "audio/System.h"
#include "core_test_support.h"

#include <gtest/gtest.h>

#include <string>

namespace audio::test {
namespace {

constexpr std::size_t kBlock = 512;

/// Adds a constant to every sample: not linear, so its place in the chain shows.
class OffsetProcessor : public DspProcessor {
public:
    explicit OffsetProcessor(float offset) : offset_(offset) {}
    void setParameter(int, float value) override { offset_ = value; }
    float parameter(int) const override { return offset_; }
    void process(float* interleaved, std::size_t numFrames) noexcept override {
        for (std::size_t i = 0; i < numFrames * 2; ++i) interleaved[i] += offset_;
    }

private:
    float offset_;
};

class ScaleProcessor : public DspProcessor {
public:
    explicit ScaleProcessor(float factor) : factor_(factor) {}
    void setParameter(int, float) override {}
    float parameter(int) const override { return factor_; }
    void process(float* interleaved, std::size_t numFrames) noexcept override {
        for (std::size_t i = 0; i < numFrames * 2; ++i) interleaved[i] *= factor_;
    }

private:
    float factor_;
};

/// Drives a stereo Mixer directly with commands, as the System would.
class MixerHarness {
public:
    MixerHarness() : mixer(8, 2) {}

    void send(MixCommand command) { ASSERT_TRUE(mixer.post(command)); }
    void createGroup(std::uint32_t group) {
        MixCommand c;
        c.kind = MixCommand::Kind::CreateGroup;
        c.index = group;
        send(c);
    }
    void groupCommand(MixCommand::Kind kind, std::uint32_t group, DspProcessor* dsp, float volume = 1.0f) {
        MixCommand c;
        c.kind = kind;
        c.index = group;
        c.dsp = dsp;
        c.volume = volume;
        send(c);
    }
    void start(std::uint32_t voice, SoundReader& reader, std::uint32_t group) {
        MixCommand c;
        c.kind = MixCommand::Kind::StartVoice;
        c.index = voice;
        c.generation = 1;
        c.reader = &reader;
        c.group = group;
        c.gains = {1.0f, 1.0f};
        send(c);
    }
    /// Left channel of the last frame of one block.
    float renderBlock() {
        std::vector<float> out(2 * kBlock);
        mixer.render(out.data(), kBlock);
        return out[2 * kBlock - 2];
    }

    Mixer mixer;
};

TEST(CoreDsp, GroupVolumeActsBeforeTheChainAndTheChainRunsInOrder) {
    MixerHarness h;
    ConstantReader reader(1.0f, 48000, nullptr, nullptr);
    OffsetProcessor offset(0.25f);
    ScaleProcessor doubler(2.0f);
    h.createGroup(1);
    h.start(0, reader, 1);
    h.groupCommand(MixCommand::Kind::SetGroupVolume, 1, nullptr, 0.5f);
    h.groupCommand(MixCommand::Kind::AddDsp, 1, &offset);
    h.groupCommand(MixCommand::Kind::AddDsp, 1, &doubler);
    h.renderBlock();
    EXPECT_FLOAT_EQ(h.renderBlock(), (1.0f * 0.5f + 0.25f) * 2.0f);

    h.groupCommand(MixCommand::Kind::RemoveDsp, 1, &offset);
    h.groupCommand(MixCommand::Kind::AddDsp, 1, &offset);  // now after the doubler
    EXPECT_FLOAT_EQ(h.renderBlock(), 1.0f * 0.5f * 2.0f + 0.25f);
}

TEST(CoreDsp, AnEffectKeepsRunningAfterItsGroupWasStopped) {
    MixerHarness h;
    ConstantReader reader(1.0f, 48000, nullptr, nullptr);
    OffsetProcessor offset(0.125f);
    h.createGroup(1);
    h.start(0, reader, 1);
    h.groupCommand(MixCommand::Kind::AddDsp, 1, &offset);
    EXPECT_FLOAT_EQ(h.renderBlock(), 1.125f);
    MixCommand stop;
    stop.kind = MixCommand::Kind::StopVoice;
    stop.index = 0;
    stop.generation = 1;
    h.send(stop);
    EXPECT_FLOAT_EQ(h.renderBlock(), 0.125f);
    h.groupCommand(MixCommand::Kind::RemoveDsp, 1, &offset);
    EXPECT_FLOAT_EQ(h.renderBlock(), 0.0f);
}

TEST(CoreDsp, ReleasingAGroupDropsItsChainAndItsSubGroupsFromTheMix) {
    MixerHarness h;
    ConstantReader reader(1.0f, 48000, nullptr, nullptr);
    OffsetProcessor offset(0.5f);
    h.createGroup(1);
    h.createGroup(2);
    MixCommand parent;
    parent.kind = MixCommand::Kind::SetGroupParent;
    parent.index = 2;
    parent.group = 1;
    h.send(parent);
    h.start(0, reader, 2);
    h.groupCommand(MixCommand::Kind::AddDsp, 1, &offset);
    EXPECT_FLOAT_EQ(h.renderBlock(), 1.5f);
    h.groupCommand(MixCommand::Kind::ReleaseGroup, 1, nullptr);
    EXPECT_FLOAT_EQ(h.renderBlock(), 0.0f);
    h.groupCommand(MixCommand::Kind::CreateGroup, 1, nullptr);  // the slot is reused clean
    parent.group = 1;
    h.send(parent);
    EXPECT_FLOAT_EQ(h.renderBlock(), 1.0f);
}

#ifdef GLOAM_TEST_LADSPA
class CorePlugins : public ::testing::Test {
protected:
    void SetUp() override {
        system.init(offlineConfig());
        ASSERT_TRUE(system.loadPlugin(GLOAM_TEST_LADSPA));
        gainIndex = pluginIndex(system, "gloam_gain_stereo");
        ASSERT_GE(gainIndex, 0);
    }
    float level() {
        render(system, kBlock);
        return render(system, kBlock).peak(0);
    }

    System system;
    int gainIndex = -1;
    ConstantSound sound{0.25f, 480000};
};

TEST_F(CorePlugins, AGainEffectChangesTheLevelAndCanBeRemovedAndAddedAgain) {
    auto group = system.createChannelGroup();
    Channel channel = playAt(system, sound, {});
    channel.setChannelGroup(*group);
    const float dry = level();
    ASSERT_NEAR(dry, 0.25f * kCentre, 1e-6f);

    std::unique_ptr<Dsp> gain = system.createDspByPlugin(gainIndex);
    ASSERT_TRUE(gain);
    ASSERT_EQ(gain->numParameters(), 1);
    EXPECT_FLOAT_EQ(gain->parameterInfo(0).max, 4.0f);
    gain->setParameter(0, 2.0f);
    EXPECT_FLOAT_EQ(gain->parameter(0), 2.0f);
    group->addDsp(*gain);
    EXPECT_NEAR(toDb(level() / dry), 6.02f, 0.01f);

    gain->remove();
    EXPECT_NEAR(level(), dry, 1e-6f);
    group->addDsp(*gain);
    EXPECT_NEAR(level(), 2.0f * dry, 1e-6f);

    system.masterGroup().addDsp(*gain);  // moves: heard once, not twice
    EXPECT_NEAR(level(), 2.0f * dry, 1e-6f);
    gain.reset();  // destroying an attached effect detaches it
    EXPECT_NEAR(level(), dry, 1e-6f);
    system.update();
}

TEST_F(CorePlugins, PluginQueriesOutOfRangeGiveNothing) {
    EXPECT_EQ(system.createDspByPlugin(-1), nullptr);
    EXPECT_EQ(system.createDspByPlugin(system.numDspPlugins()), nullptr);
    EXPECT_EQ(system.dspPluginName(system.numDspPlugins()), "");
    EXPECT_FALSE(system.loadPlugin("/nonexistent/plugin.so"));
    auto gain = system.createDspByPlugin(gainIndex);
    gain->setParameter(7, 1.0f);
    EXPECT_EQ(gain->parameter(7), 0.0f);
}

TEST_F(CorePlugins, EffectsOutlivingTheSystemsCloseAreHarmless) {
    auto gain = system.createDspByPlugin(gainIndex);
    auto group = system.createChannelGroup();
    group->addDsp(*gain);
    system.close();
    EXPECT_EQ(gain->numParameters(), 0);
    gain->remove();
}
#endif

}  // namespace
}  // namespace audio::test
