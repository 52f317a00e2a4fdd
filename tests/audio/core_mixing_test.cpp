// The mixing tree through the public API: volumes down the tree, stopping groups, determinism.
#include "audio/ChannelGroup.h"
#include "audio/System.h"
#include "core_test_support.h"

#include <gtest/gtest.h>

#include <cstring>

namespace audio::test {
namespace {

constexpr std::size_t kBlock = 512;

TEST(CoreMixing, NestedHalfVolumesLowerTheLevelByTwelveDecibels) {
    System system;
    system.init(offlineConfig());
    ConstantSound sound(0.5f, 48000);

    playAt(system, sound, {});
    const float reference = render(system, 2 * kBlock).peak(0, kBlock);

    auto parent = system.createChannelGroup();
    auto child = system.createChannelGroup();
    parent->addGroup(*child);
    parent->setVolume(0.5f);
    child->setVolume(0.5f);
    Channel channel = playAt(system, sound, {});
    channel.setChannelGroup(*child);
    system.masterGroup().stop();
    ASSERT_FALSE(channel.isPlaying());

    Channel nested = playAt(system, sound, {});
    nested.setChannelGroup(*child);
    const Rendered out = render(system, 3 * kBlock);
    // The first block may still ramp from the old volumes.
    EXPECT_NEAR(toDb(out.peak(0, kBlock) / reference), -12.04f, 0.01f);
    EXPECT_NEAR(out.at(2 * kBlock, 1), 0.5f * kCentre * 0.25f, 1e-6f);
    EXPECT_FLOAT_EQ(child->volume(), 0.5f);
}

TEST(CoreMixing, MasterVolumeScalesEverything) {
    System system;
    system.init(offlineConfig());
    ConstantSound sound(1.0f, 48000);
    playAt(system, sound, {});
    system.masterGroup().setVolume(0.25f);
    const Rendered out = render(system, 2 * kBlock);
    EXPECT_NEAR(out.at(kBlock + 7, 0), 0.25f * kCentre, 1e-6f);
}

TEST(CoreMixing, StoppingAParentGroupSilencesAGrandchildChannel) {
    System system;
    system.init(offlineConfig());
    ConstantSound sound(1.0f, 48000);
    auto parent = system.createChannelGroup();
    auto child = system.createChannelGroup();
    auto grandchild = system.createChannelGroup();
    parent->addGroup(*child);
    child->addGroup(*grandchild);
    auto sibling = system.createChannelGroup();

    Channel deep = playAt(system, sound, {});
    deep.setChannelGroup(*grandchild);
    Channel elsewhere = playAt(system, sound, {});
    elsewhere.setChannelGroup(*sibling);
    EXPECT_NEAR(render(system, kBlock).peak(0), 2.0f * kCentre, 1e-5f);

    parent->stop();
    EXPECT_FALSE(deep.isPlaying());
    EXPECT_TRUE(elsewhere.isPlaying());
    EXPECT_NEAR(render(system, kBlock).peak(0), kCentre, 1e-5f);
    EXPECT_EQ(system.channelsPlaying(), 1);
}

TEST(CoreMixing, GroupMovedUnderANewParentTakesThatParentsVolume) {
    System system;
    system.init(offlineConfig());
    ConstantSound sound(1.0f, 48000);
    auto loud = system.createChannelGroup();
    auto quiet = system.createChannelGroup();
    auto leaf = system.createChannelGroup();
    quiet->setVolume(0.1f);
    loud->addGroup(*leaf);
    Channel channel = playAt(system, sound, {});
    channel.setChannelGroup(*leaf);
    EXPECT_NEAR(render(system, 2 * kBlock).peak(0, kBlock), kCentre, 1e-5f);

    quiet->addGroup(*leaf);
    EXPECT_NEAR(render(system, 2 * kBlock).peak(0, kBlock), 0.1f * kCentre, 1e-5f);
}

TEST(CoreMixing, AGroupCannotBeMovedUnderItsOwnSubTree) {
    System system;
    system.init(offlineConfig());
    ConstantSound sound(1.0f, 48000);
    auto top = system.createChannelGroup();
    auto below = system.createChannelGroup();
    top->addGroup(*below);
    below->addGroup(*top);  // would make a loop: ignored
    top->addGroup(*top);
    Channel channel = playAt(system, sound, {});
    channel.setChannelGroup(*below);
    EXPECT_NEAR(render(system, kBlock).peak(0), kCentre, 1e-5f);
}

TEST(CoreMixing, ReleasingAGroupStopsItsChannelsAndSilencesItsSubGroups) {
    System system;
    system.init(offlineConfig());
    ConstantSound sound(1.0f, 48000);
    auto parent = system.createChannelGroup();
    auto child = system.createChannelGroup();
    parent->addGroup(*child);
    Channel inParent = playAt(system, sound, {});
    inParent.setChannelGroup(*parent);
    Channel inChild = playAt(system, sound, {});
    inChild.setChannelGroup(*child);
    render(system, kBlock);

    parent.reset();
    EXPECT_FALSE(inParent.isPlaying());
    EXPECT_TRUE(inChild.isPlaying());
    EXPECT_EQ(render(system, kBlock).peak(0), 0.0f);

    system.masterGroup().addGroup(*child);
    EXPECT_NEAR(render(system, kBlock).peak(0), kCentre, 1e-5f);
}

TEST(CoreMixing, ChannelsInADetachedGroupStillEndOnTime) {
    System system;
    system.init(offlineConfig());
    ConstantSound sound(1.0f, 700);
    auto parent = system.createChannelGroup();
    auto child = system.createChannelGroup();
    parent->addGroup(*child);
    Channel channel = playAt(system, sound, {});
    channel.setChannelGroup(*child);
    parent.reset();
    render(system, 700 + kBlock);
    EXPECT_FALSE(channel.isPlaying());
}

Rendered scenario() {
    System system;
    system.init(offlineConfig());
    ConstantSound a(0.3f, 10000);
    ConstantSound b(-0.7f, 3000);
    auto group = system.createChannelGroup();
    Channel first = playAt(system, a, {2.0f, 0.0f, 1.0f});
    first.setChannelGroup(*group);
    render(system, 333);
    group->setVolume(0.4f);
    Channel second = playAt(system, b, {-5.0f, 0.0f, -3.0f});
    render(system, 1000);
    second.set3DAttributes({1.0f, 0.0f, 0.5f}, {});
    return render(system, 4096);
}

TEST(CoreMixing, TheSameCallsGiveBitIdenticalOutput) {
    const Rendered one = scenario();
    const Rendered two = scenario();
    ASSERT_EQ(one.samples.size(), two.samples.size());
    EXPECT_EQ(std::memcmp(one.samples.data(), two.samples.data(), one.samples.size() * sizeof(float)), 0);
    EXPECT_GT(one.peak(0), 0.0f);
}

TEST(CoreMixing, VolumeChangesRampInsteadOfJumping) {
    System system;
    system.init(offlineConfig(1));
    ConstantSound sound(1.0f, 48000);
    playAt(system, sound, {});
    render(system, kBlock);
    system.masterGroup().setVolume(0.0f);
    const Rendered out = render(system, kBlock);
    EXPECT_NEAR(out.at(0, 0), 1.0f, 1e-6f);
    EXPECT_NEAR(out.at(kBlock / 2, 0), 0.5f, 1e-2f);
    for (std::size_t f = 1; f < kBlock; ++f) EXPECT_LE(out.at(f, 0), out.at(f - 1, 0));
}

TEST(CoreMixing, AGroupSilencedBeforeItsFirstSoundStartsWithoutABlip) {
    System system;
    system.init(offlineConfig());
    ConstantSound sound(1.0f, 48000);
    auto group = system.createChannelGroup();
    render(system, kBlock);
    group->setVolume(0.0f);  // the start of a fade-in
    Channel channel = playAt(system, sound, {});
    channel.setChannelGroup(*group);
    EXPECT_EQ(render(system, kBlock).peak(0), 0.0f);
    group->setVolume(1.0f);
    EXPECT_NEAR(render(system, 2 * kBlock).peak(0, kBlock), kCentre, 1e-6f);
}

TEST(CoreMixing, RenderingReplacesTheBufferEvenWhenNothingPlays) {
    System system;
    system.init(offlineConfig(6));
    const Rendered out = render(system, 700);  // render() pre-fills with -1
    EXPECT_EQ(out.peak(0), 0.0f);
    EXPECT_EQ(out.peak(5), 0.0f);
}

}  // namespace
}  // namespace audio::test
