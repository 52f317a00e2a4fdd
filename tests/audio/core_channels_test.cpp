// Channels: ending, stale handles, pausing, taking over voices, the playing count, freeing readers.
#include "audio/ChannelGroup.h"
#include "audio/System.h"
#include "core_test_support.h"

#include <gtest/gtest.h>

namespace audio::test {
namespace {

constexpr std::size_t kBlock = 512;

TEST(CoreChannels, AChannelPlaysItsSoundToTheLastFrameAndThenReadsNotPlaying) {
    System system;
    system.init(offlineConfig(1));
    constexpr std::size_t kLength = 1000;
    ConstantSound sound(0.5f, kLength);
    Channel channel = playAt(system, sound, {});

    const Rendered before = render(system, kLength - 1);
    EXPECT_TRUE(channel.isPlaying());
    EXPECT_EQ(before.at(kLength - 2, 0), 0.5f);

    const Rendered after = render(system, 1 + kBlock);
    EXPECT_EQ(after.at(0, 0), 0.5f);  // the sound's last frame
    EXPECT_EQ(after.peak(0, 1), 0.0f);
    EXPECT_FALSE(channel.isPlaying());
    EXPECT_EQ(system.channelsPlaying(), 0);
}

TEST(CoreChannels, AStaleHandleReadsNotPlayingAndCannotTouchTheVoicesNextPlay) {
    SystemConfig config = offlineConfig(1);
    config.maxChannels = 1;
    System system;
    system.init(config);
    ConstantSound shortSound(1.0f, 100);
    ConstantSound longSound(0.25f, 48000);

    Channel old = playAt(system, shortSound, {});
    render(system, 100 + kBlock);
    Channel fresh = playAt(system, longSound, {});  // reuses the only voice
    EXPECT_FALSE(old.isPlaying());
    old.stop();
    old.setPaused(true);
    old.set3DAttributes({100.0f, 0.0f, 0.0f}, {});
    EXPECT_TRUE(fresh.isPlaying());
    EXPECT_EQ(render(system, kBlock).at(kBlock - 1, 0), 0.25f);
}

TEST(CoreChannels, ANullHandleDoesNothing) {
    Channel none;
    EXPECT_FALSE(none.isPlaying());
    none.stop();
    none.setPaused(false);
    EXPECT_FALSE(static_cast<bool>(none));
}

TEST(CoreChannels, APausedChannelHoldsItsPlaceAndIsNotCounted) {
    System system;
    system.init(offlineConfig(1));
    ConstantSound sound(1.0f, 600);
    Channel channel = system.playSound(sound, true);
    EXPECT_TRUE(channel.isPlaying());
    EXPECT_EQ(system.channelsPlaying(), 0);
    EXPECT_EQ(render(system, 5 * kBlock).peak(0), 0.0f);

    channel.setPaused(false);
    EXPECT_EQ(system.channelsPlaying(), 1);
    render(system, 599);
    EXPECT_TRUE(channel.isPlaying());
    render(system, 1);
    EXPECT_FALSE(channel.isPlaying());
}

TEST(CoreChannels, TheChannelCountIsTheSoundingChannels) {
    System system;
    system.init(offlineConfig());
    ConstantSound longSound(1.0f, 48000);
    ConstantSound shortSound(1.0f, 10);
    for (int i = 0; i < 3; ++i) playAt(system, longSound, {});
    system.playSound(longSound, true);  // paused: not sounding
    playAt(system, longSound, {}).stop();
    Channel ending = playAt(system, shortSound, {});
    EXPECT_EQ(system.channelsPlaying(), 4);
    render(system, kBlock);
    EXPECT_FALSE(ending.isPlaying());
    EXPECT_EQ(system.channelsPlaying(), 3);
}

TEST(CoreChannels, TheFirstPlayBeyondTheLimitTakesOverTheQuietestVoice) {
    System system;
    system.init(offlineConfig());
    ConstantSound sound(0.01f, 48000);
    auto quietGroup = system.createChannelGroup();
    quietGroup->setVolume(0.5f);
    std::vector<Channel> channels;
    for (int i = 0; i < 128; ++i) {
        Vector3 position{0.0f, 0.0f, 1.0f};
        if (i == 70) position.z = 10.0f;  // gain 0.1: the quietest
        if (i == 90) position.z = 4.0f;   // 0.25, but halved by its group below
        channels.push_back(playAt(system, sound, position));
    }
    channels[90].setChannelGroup(*quietGroup);
    render(system, kBlock);
    EXPECT_EQ(system.channelsPlaying(), 128);

    Channel extra = playAt(system, sound, {});
    EXPECT_TRUE(extra.isPlaying());
    EXPECT_FALSE(channels[70].isPlaying());
    EXPECT_TRUE(channels[90].isPlaying());
    EXPECT_EQ(system.channelsPlaying(), 128);

    Channel another = playAt(system, sound, {});
    EXPECT_TRUE(another.isPlaying());
    EXPECT_FALSE(channels[90].isPlaying());  // 0.125 is now the quietest
    for (int i = 0; i < 128; ++i) {
        if (i != 70 && i != 90) {
            EXPECT_TRUE(channels[static_cast<std::size_t>(i)].isPlaying()) << i;
        }
    }
}

TEST(CoreChannels, AmongEquallyLoudVoicesTheOldestIsTakenOver) {
    SystemConfig config = offlineConfig();
    config.maxChannels = 3;
    System system;
    system.init(config);
    ConstantSound sound(0.1f, 48000);
    Channel a = playAt(system, sound, {});
    Channel b = playAt(system, sound, {});
    Channel c = playAt(system, sound, {});
    Channel d = playAt(system, sound, {});
    EXPECT_FALSE(a.isPlaying());
    EXPECT_TRUE(b.isPlaying());
    Channel e = playAt(system, sound, {});
    EXPECT_FALSE(b.isPlaying());
    EXPECT_TRUE(c.isPlaying() && d.isPlaying() && e.isPlaying());
    // The displaced play is gone from the mix, not just from the handle.
    EXPECT_NEAR(render(system, kBlock).peak(0), 3 * 0.1f * kCentre, 1e-5f);
}

/// Plays set up in one go (as the life cycle makes them) beyond the voice
/// limit: an equal one does not take a voice but plays virtually, on time;
/// a louder one takes over the quietest.
TEST(CoreChannels, BeyondTheLimitAPlayNoLouderThanAnyIsVirtualAndKeepsItsTime) {
    SystemConfig config = offlineConfig(1);
    config.maxChannels = 2;
    System system;
    system.init(config);
    ConstantSound sound(0.25f, 1000);
    auto loud = system.createChannelGroup();
    loud->setVolume(2.0f);
    System::PlayRequest request;
    request.startFrame = 100;
    Channel a = system.playSoundAt(sound, request);
    Channel b = system.playSoundAt(sound, request);
    Channel c = system.playSoundAt(sound, request);
    EXPECT_TRUE(c.isVirtual());
    EXPECT_TRUE(a.isPlaying() && b.isPlaying() && c.isPlaying());
    const Rendered out = render(system, 1099);
    EXPECT_EQ(out.at(1098, 0), 0.5f) << "two are heard";
    EXPECT_EQ(system.channelsPlaying(), 2);
    EXPECT_TRUE(c.isPlaying()) << "the virtual play lasts as long as the sound";
    render(system, 1);
    EXPECT_FALSE(c.isPlaying());

    request.startFrame = kAtOnce;
    Channel d = system.playSoundAt(sound, request);
    request.group = loud.get();
    Channel e = system.playSoundAt(sound, request);
    Channel f = system.playSoundAt(sound, request);
    EXPECT_FALSE(d.isVirtual() || e.isVirtual() || f.isVirtual());
    EXPECT_TRUE(e.isPlaying() && f.isPlaying());
    EXPECT_FALSE(d.isPlaying()) << "taken over by a louder play";
}

TEST(CoreChannels, AReaderThatFallsBehindCostsSilenceButNotTheChannel) {
    System system;
    system.init(offlineConfig(1));
    ConstantSound sound(1.0f, 2000);
    Channel channel = playAt(system, sound, {});
    render(system, kBlock);
    sound.starve = true;
    EXPECT_EQ(render(system, 4 * kBlock).peak(0), 0.0f);
    EXPECT_TRUE(channel.isPlaying());
    sound.starve = false;
    const Rendered rest = render(system, 2000 - kBlock);
    EXPECT_EQ(rest.peak(0), 1.0f);
    EXPECT_FALSE(channel.isPlaying());
}

TEST(CoreChannels, FinishedAndStoppedReadersAreFreedByUpdate) {
    System system;
    system.init(offlineConfig());
    ConstantSound sound(1.0f, 100);
    Channel ends = playAt(system, sound, {});
    Channel stopped = playAt(system, sound, {});
    render(system, kBlock);
    stopped.stop();
    EXPECT_EQ(sound.readers.alive.load(), 2);  // the mixer has not taken the stop yet
    render(system, kBlock);
    system.update();
    EXPECT_EQ(sound.readers.alive.load(), 0);
    EXPECT_FALSE(ends.isPlaying());
}

TEST(CoreChannels, ASoundWithoutAReaderGivesANullChannel) {
    struct Unreadable : ConstantSound {
        Unreadable() : ConstantSound(1.0f, 10) {}
        std::unique_ptr<SoundReader> openReader() override { return nullptr; }
    } sound;
    System system;
    system.init(offlineConfig());
    Channel channel = system.playSound(sound, false);
    EXPECT_FALSE(channel.isPlaying());
    EXPECT_EQ(system.channelsPlaying(), 0);
}

TEST(CoreChannels, CallsAfterCloseDoNothing) {
    System system;
    system.init(offlineConfig());
    ConstantSound sound(1.0f, 48000);
    auto group = system.createChannelGroup();
    Channel channel = playAt(system, sound, {});
    system.close();
    EXPECT_FALSE(channel.isPlaying());
    EXPECT_EQ(system.channelsPlaying(), 0);
    EXPECT_EQ(sound.readers.alive.load(), 0);
    group->setVolume(0.5f);
    group->stop();
    EXPECT_FALSE(system.playSound(sound, false).isPlaying());
    system.close();
}

}  // namespace
}  // namespace audio::test
