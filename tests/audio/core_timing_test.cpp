// Time in the engine: plays and volume changes on exact output frames, a group tree of any size
// and depth, and a mix that stays finite whatever a group produces.
#include "audio/ChannelGroup.h"
#include "audio/MixCommand.h"
#include "audio/Mixer.h"
#include "audio/PluginHost.h"
#include "audio/System.h"
#include "core_test_support.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>
#include <vector>

namespace audio::test {
namespace {

constexpr std::size_t kBlock = 512;

/// Two plays of a 700-frame sound chained end to end at frames that fall
/// inside blocks, then a stop inside a block: the output has the first play
/// from its frame, no gap and no overlap at the seam, and silence exactly
/// from the stop, whatever block sizes the output asks for.
TEST(CoreTiming, PlaysStartAndStopOnTheirFramesAndChainWithoutAGap) {
    for (std::size_t pull : {kBlock, std::size_t{100}, std::size_t{4096}}) {
        System system;
        system.init(offlineConfig(1));
        ConstantSound sound(1.0f, 700);
        const std::int64_t first = 1234;
        const std::int64_t second = first + sound.lengthFrames();
        const std::int64_t stop = second + 321;

        Channel a = system.playSound(sound, true);
        a.startAt(first);
        Channel b = system.playSound(sound, true);
        b.startAt(second);
        b.stop(stop);
        EXPECT_EQ(system.channelsPlaying(), 0) << "nothing sounds before its frame";

        std::vector<float> mono;
        while (mono.size() < 4000) {
            const Rendered out = render(system, pull);
            mono.insert(mono.end(), out.samples.begin(), out.samples.end());
        }
        for (std::int64_t f = 0; f < 4000; ++f) {
            const float expected = f >= first && f < stop ? 1.0f : 0.0f;
            ASSERT_EQ(mono[static_cast<std::size_t>(f)], expected) << "frame " << f << ", pulled " << pull;
        }
        EXPECT_FALSE(b.isPlaying());
    }
}

TEST(CoreTiming, AStopBeforeAScheduledStartWithdrawsThePlay) {
    System system;
    system.init(offlineConfig(1));
    ConstantSound sound(1.0f, 48000);
    auto group = system.createChannelGroup();
    Channel channel = system.playSound(sound, true);
    channel.setChannelGroup(*group);
    channel.startAt(2000);
    group->stop(1500);  // a scene switch that lands before the planned start
    EXPECT_EQ(render(system, 4 * kBlock).peak(0), 0.0f);
    system.update();
    EXPECT_EQ(sound.readers.alive.load(), 0);
}

/// A fade that the plan fixes in advance is heard frame by frame: a step at
/// one frame, a straight line to another, and a later change withdrawn.
TEST(CoreTiming, GroupVolumeFollowsItsRampsFrameByFrame) {
    System system;
    system.init(offlineConfig(1));
    ConstantSound sound(1.0f, 48000);
    auto group = system.createChannelGroup();
    Channel channel = system.playSound(sound, true);
    channel.setChannelGroup(*group);
    channel.startAt(0);
    group->rampVolume(0.0f, 300, 300);
    group->rampVolume(1.0f, 300, 1300);
    group->rampVolume(0.25f, 1800, 1800);
    group->rampVolume(0.0f, 2000, 2000);
    group->cancelVolumeRamps(1900);
    const Rendered out = render(system, 2200);
    EXPECT_EQ(out.at(299, 0), 1.0f);
    EXPECT_EQ(out.at(300, 0), 0.0f);
    EXPECT_NEAR(out.at(550, 0), 0.25f, 1e-6f);
    EXPECT_NEAR(out.at(1299, 0), 0.999f, 1e-6f);
    EXPECT_EQ(out.at(1300, 0), 1.0f);
    EXPECT_EQ(out.at(1799, 0), 1.0f);
    EXPECT_EQ(out.at(1800, 0), 0.25f);
    EXPECT_EQ(out.at(2199, 0), 0.25f) << "the step at 2000 was withdrawn";
}

/// Twenty thousand groups: the last one made still has its volume and stops.
/// And a chain nested as deep as an adventure file can be is heard through
/// every level's volume.
TEST(CoreTiming, AnyNumberOfGroupsAndAnyDepthAreMixed) {
    System system;
    system.init(offlineConfig(1));
    ConstantSound sound(1.0f, 48000);
    std::vector<std::unique_ptr<ChannelGroup>> many;
    for (int i = 0; i < 20000; ++i) many.push_back(system.createChannelGroup());
    many.back()->setVolume(0.5f);
    Channel channel = playAt(system, sound, {});
    channel.setChannelGroup(*many.back());
    EXPECT_EQ(render(system, kBlock).at(kBlock - 1, 0), 0.5f);
    many.back()->stop();
    EXPECT_EQ(render(system, kBlock).peak(0), 0.0f);

    std::vector<std::unique_ptr<ChannelGroup>> chain;
    for (int depth = 0; depth < 120; ++depth) {
        chain.push_back(system.createChannelGroup());
        chain.back()->setVolume(depth % 2 == 0 ? 2.0f : 0.5f);
        if (depth > 0) chain[chain.size() - 2]->addGroup(*chain.back());
    }
    chain.back()->setVolume(0.75f);
    Channel deep = playAt(system, sound, {});
    deep.setChannelGroup(*chain.back());
    EXPECT_EQ(render(system, kBlock).at(kBlock - 1, 0), 2.0f * 0.75f);
}

/// Emits NaN once asked to, until it is made anew; like every processor it
/// leaves the sound alone while a reset is pending.
class PoisonProcessor : public DspProcessor {
public:
    void setParameter(int, float) override {}
    float parameter(int) const override { return 0.0f; }
    void process(float* interleaved, std::size_t numFrames) noexcept override {
        if (resetPending()) return;
        if (poisoned) interleaved[numFrames / 2] = std::numeric_limits<float>::quiet_NaN();
        ++runs;
    }
    void restart() override { poisoned = false; }
    bool poisoned = false;
    int runs = 0;
};

TEST(CoreTiming, AGroupWhoseEffectGoesWrongIsSilencedAndTheEffectMadeAnew) {
    Mixer mixer(4, 1);
    ConstantReader steady(0.5f, 48000, nullptr, nullptr);
    ConstantReader poisoned(0.25f, 48000, nullptr, nullptr);
    PoisonProcessor effect;
    auto send = [&mixer](MixCommand command) { ASSERT_TRUE(mixer.post(command)); };
    send(MixCommand::to(MixCommand::Kind::CreateGroup, 1));
    MixCommand add = MixCommand::to(MixCommand::Kind::AddDsp, 1);
    add.dsp = &effect;
    send(add);
    for (std::uint32_t voice : {0u, 1u}) {
        MixCommand start = MixCommand::to(MixCommand::Kind::StartVoice, voice, 1);
        start.reader = voice == 0 ? &steady : &poisoned;
        start.group = voice == 0 ? kMasterGroup : 1;
        start.gains = {1.0f};
        send(start);
    }
    std::vector<float> out(kBlock);
    mixer.render(out.data(), kBlock);
    EXPECT_EQ(out[7], 0.75f);

    effect.poisoned = true;
    mixer.render(out.data(), kBlock);
    for (float sample : out) ASSERT_EQ(sample, 0.5f) << "the group is silenced, the rest of the mix kept";
    EXPECT_TRUE(effect.resetPending());
    mixer.render(out.data(), kBlock);
    for (float sample : out) ASSERT_EQ(sample, 0.75f) << "dry until the effect is made anew";

    EXPECT_TRUE(effect.resetIfRequested());  // what the main thread's update does
    mixer.render(out.data(), kBlock);
    EXPECT_EQ(out[7], 0.75f);
    EXPECT_EQ(effect.runs, 3);
}

TEST(CoreTiming, VolumesThatOverflowSilenceTheirGroupInsteadOfTheMix) {
    System system;
    system.init(offlineConfig(1));
    ConstantSound loud(1.0f, 48000);
    ConstantSound quiet(0.5f, 48000);
    auto outer = system.createChannelGroup();
    auto inner = system.createChannelGroup();
    outer->addGroup(*inner);
    outer->setVolume(3e38f);
    inner->setVolume(3e38f);
    playAt(system, loud, {}).setChannelGroup(*inner);
    playAt(system, quiet, {});
    const Rendered out = render(system, 2 * kBlock);
    for (float sample : out.samples) ASSERT_EQ(sample, 0.5f);
}

}  // namespace
}  // namespace audio::test
