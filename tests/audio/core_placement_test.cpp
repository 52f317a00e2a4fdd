// 3D placement: distance attenuation and panning, on its own and through the mix.
#include "audio/Spatializer.h"
#include "audio/System.h"
#include "core_test_support.h"

#include <gtest/gtest.h>

#include <cmath>

namespace audio::test {
namespace {

constexpr std::size_t kBlock = 512;

float power(const SpeakerGains& gains) {
    float sum = 0.0f;
    for (float g : gains) sum += g * g;
    return sum;
}

TEST(CorePlacement, DistanceGainIsInverseBetweenOneAndTenThousandUnits) {
    EXPECT_FLOAT_EQ(Spatializer::distanceGain({0.0f, 0.0f, 0.5f}), 1.0f);
    EXPECT_FLOAT_EQ(Spatializer::distanceGain({0.0f, 1.0f, 0.0f}), 1.0f);
    EXPECT_FLOAT_EQ(Spatializer::distanceGain({3.0f, 0.0f, 4.0f}), 0.2f);
    EXPECT_FLOAT_EQ(Spatializer::distanceGain({0.0f, 0.0f, 10000.0f}), 1e-4f);
    EXPECT_FLOAT_EQ(Spatializer::distanceGain({0.0f, 0.0f, -50000.0f}), 1e-4f);
}

TEST(CorePlacement, StereoPanningIsEqualPowerAndFoldsTheRearOntoTheFront) {
    const Spatializer stereo(2);
    const SpeakerGains right = stereo.gains({1.0f, 0.0f, 0.0f});
    EXPECT_NEAR(right[0], 0.0f, 1e-6f);
    EXPECT_NEAR(right[1], 1.0f, 1e-6f);
    const SpeakerGains left = stereo.gains({-1.0f, 0.0f, 0.0f});
    EXPECT_NEAR(left[0], 1.0f, 1e-6f);

    const SpeakerGains frontRight = stereo.gains({0.5f, 0.0f, 0.5f});
    const SpeakerGains backRight = stereo.gains({0.5f, 0.0f, -0.5f});
    EXPECT_FLOAT_EQ(frontRight[0], backRight[0]);
    EXPECT_FLOAT_EQ(frontRight[1], backRight[1]);
    EXPECT_NEAR(power(frontRight), 1.0f, 1e-5f);
    EXPECT_NEAR(frontRight[1], std::sin(3.0f * 3.14159265f / 8.0f), 1e-5f);  // 45 degrees right
    EXPECT_NEAR(power(stereo.gains({7.0f, 0.0f, 2.0f})), 1.0f / 53.0f, 1e-6f);
}

TEST(CorePlacement, ASourceOnTheListenerIsCentredAtFullLevel) {
    const SpeakerGains centred = Spatializer(2).gains({});
    EXPECT_NEAR(centred[0], kCentre, 1e-6f);
    EXPECT_NEAR(centred[1], kCentre, 1e-6f);
    EXPECT_FLOAT_EQ(Spatializer(1).gains({})[0], 1.0f);
    EXPECT_FLOAT_EQ(Spatializer(6).gains({})[2], 1.0f);  // the centre speaker
}

TEST(CorePlacement, MonoOutputTakesOnlyTheDistance) {
    const Spatializer mono(1);
    EXPECT_FLOAT_EQ(mono.gains({4.0f, 0.0f, 0.0f})[0], 0.25f);
    EXPECT_FLOAT_EQ(mono.gains({-4.0f, 0.0f, 0.0f})[0], 0.25f);
}

/// A spread fans a file's channels out to their places in its layout by 180
/// degrees, and beyond that blends each towards every speaker, keeping its
/// power; the LFE of an output never takes part.
TEST(CorePlacement, SpreadPlacesEachChannelOfAFileAroundTheDirection) {
    const Spatializer stereo(2);
    const Vector3 ahead{0.0f, 0.0f, 2.0f};
    const SpeakerGains left = stereo.spreadGains(ahead, 180.0f, 0, 2);
    EXPECT_NEAR(left[0], 0.5f, 1e-6f);  // distance 2: half the level, all of it left
    EXPECT_NEAR(left[1], 0.0f, 1e-6f);
    const SpeakerGains right = stereo.spreadGains(ahead, 180.0f, 1, 2);
    EXPECT_NEAR(right[1], 0.5f, 1e-6f);
    // No spread: every channel where the source is.
    for (int channel = 0; channel < 2; ++channel) {
        const SpeakerGains point = stereo.spreadGains(ahead, 0.0f, channel, 2);
        EXPECT_FLOAT_EQ(point[0], stereo.gains(ahead)[0]);
        EXPECT_FLOAT_EQ(point[1], stereo.gains(ahead)[1]);
    }
    // All around: every speaker alike, at the channel's power.
    const SpeakerGains around = stereo.spreadGains({}, 360.0f, 0, 2);
    EXPECT_NEAR(around[0], around[1], 1e-6f);
    EXPECT_NEAR(power(around), 1.0f, 1e-5f);
    EXPECT_NEAR(power(stereo.spreadGains({}, 270.0f, 0, 2)), 1.0f, 1e-5f);

    // A 5.1 file on a 5.1 output, straight ahead at 180: each channel on its
    // own speaker (its surrounds at 110 degrees, where the output's are).
    const Spatializer surround(6);
    for (int channel : {0, 1, 2, 4, 5}) {
        const SpeakerGains gains = surround.spreadGains({}, 180.0f, channel, 6);
        EXPECT_NEAR(gains[static_cast<std::size_t>(channel)], 1.0f, 1e-5f) << channel;
    }
    const SpeakerGains allAround = surround.spreadGains({}, 360.0f, 0, 6);
    EXPECT_EQ(allAround[3], 0.0f);  // the LFE
    EXPECT_NEAR(allAround[0], allAround[4], 1e-6f);
    EXPECT_NEAR(power(allAround), 1.0f, 1e-5f);
}

TEST(CorePlacement, WiderLayoutsPanBetweenTheTwoNearestSpeakersAndLeaveTheLfeSilent) {
    const Spatializer quad(4);  // FL FR BL BR at -45, 45, -135, 135 degrees
    const SpeakerGains atFrontRight = quad.gains({1.0f, 0.0f, 1.0f});
    EXPECT_NEAR(atFrontRight[1], 1.0f / std::sqrt(2.0f), 1e-5f);  // distance sqrt(2)
    EXPECT_NEAR(atFrontRight[0] + atFrontRight[2] + atFrontRight[3], 0.0f, 1e-6f);
    const SpeakerGains right = quad.gains({1.0f, 0.0f, 0.0f});  // halfway FR..BR
    EXPECT_NEAR(right[1], kCentre, 1e-5f);
    EXPECT_NEAR(right[3], kCentre, 1e-5f);
    const SpeakerGains behind = quad.gains({0.0f, 0.0f, -1.0f});  // across the wrap at 180
    EXPECT_NEAR(behind[2], kCentre, 1e-5f);
    EXPECT_NEAR(behind[3], kCentre, 1e-5f);

    const Spatializer surround51(6);  // FL FR FC LFE SL SR
    for (const Vector3 p : {Vector3{0, 0, 1}, Vector3{1, 0, 0}, Vector3{-0.6f, 0, -0.8f}, Vector3{0.28f, 0, -0.96f}}) {
        const SpeakerGains g = surround51.gains(p);
        EXPECT_EQ(g[3], 0.0f);
        EXPECT_NEAR(power(g), 1.0f, 1e-5f);
    }
    const SpeakerGains straightBack = surround51.gains({0.0f, 0.0f, -1.0f});
    EXPECT_NEAR(straightBack[4], kCentre, 1e-5f);
    EXPECT_NEAR(straightBack[5], kCentre, 1e-5f);

    const Spatializer surround71(8);  // FL FR FC LFE BL BR SL SR
    const SpeakerGains side = surround71.gains({-2.0f, 0.0f, 0.0f});
    EXPECT_NEAR(side[6], 0.5f, 1e-5f);
    EXPECT_EQ(side[3], 0.0f);
}

TEST(CorePlacement, ChannelsArePlacedInTheMix) {
    System system;
    system.init(offlineConfig());
    ConstantSound sound(1.0f, 48000);

    Channel right = playAt(system, sound, {1.0f, 0.0f, 0.0f});
    Rendered out = render(system, kBlock);
    EXPECT_GT(out.at(10, 1), out.at(10, 0));
    EXPECT_NEAR(out.at(10, 1), 1.0f, 1e-5f);
    right.stop();

    Channel near = playAt(system, sound, {0.0f, 0.0f, 1.0f});
    const float nearLevel = render(system, kBlock).peak(0);
    near.set3DAttributes({0.0f, 0.0f, 2.0f}, {});
    out = render(system, 2 * kBlock);
    EXPECT_NEAR(out.peak(0, kBlock) / nearLevel, 0.5f, 1e-5f);
    near.stop();

    playAt(system, sound, {});
    out = render(system, kBlock);
    EXPECT_NEAR(out.at(0, 0), kCentre, 1e-6f);
    EXPECT_NEAR(out.at(0, 1), kCentre, 1e-6f);
}

TEST(CorePlacement, APositionChangeRampsOverOneBlock) {
    System system;
    system.init(offlineConfig());
    ConstantSound sound(1.0f, 48000);
    Channel channel = playAt(system, sound, {-1.0f, 0.0f, 0.0f});
    render(system, kBlock);
    channel.set3DAttributes({1.0f, 0.0f, 0.0f}, {});
    const Rendered out = render(system, kBlock);
    EXPECT_NEAR(out.at(0, 0), 1.0f, 1e-6f);
    EXPECT_NEAR(out.at(kBlock / 2, 0), 0.5f, 1e-2f);
    EXPECT_LT(out.at(kBlock - 1, 0), 0.01f);
}

TEST(CorePlacement, SurroundOutputPutsAFrontSourceOnTheCentreSpeaker) {
    System system;
    system.init(offlineConfig(6));
    ConstantSound sound(1.0f, 48000);
    playAt(system, sound, {0.0f, 0.0f, 5.0f});
    const Rendered out = render(system, kBlock);
    EXPECT_NEAR(out.at(3, 2), 0.2f, 1e-6f);
    EXPECT_EQ(out.peak(0), 0.0f);
    EXPECT_EQ(out.peak(3), 0.0f);
}

}  // namespace
}  // namespace audio::test
