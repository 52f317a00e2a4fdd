// Random alternatives: choices drawn ahead, per pass, and reused start delays.
#include "PlaybackWorld.h"
#include "playback/Random.h"
#include "playback/Sample.h"

#include <gtest/gtest.h>

#include <deque>

using gloam::State;
using testsupport::PlaybackWorld;

namespace {

gloam::Sample& sampleNamed(PlaybackWorld& world, const std::string& name) {
    return static_cast<gloam::Sample&>(world.element(name));
}

void writeThree() {
    testsupport::writeSine("sounds/x.wav", 300);
    testsupport::writeSine("sounds/y.wav", 400);
    testsupport::writeSine("sounds/z.wav", 500);
}

}  // namespace

TEST(Sample, ChoicesForEveryPassAreQueuedBeforeAnythingPlays) {
    PlaybackWorld world;
    writeThree();
    world.load(R"(<a><scene><alt name="alt" loopCount="2"><sound name="X" src="x.wav"/><sound name="Y" src="y.wav"/>
                   <sound name="Z" src="z.wav"/></alt></scene></a>)");
    auto& alt = sampleNamed(world, "alt");
    gloam::Random reference;
    std::deque<std::int32_t> expected;
    for (int i = 0; i < 3; ++i) expected.push_back(reference.randomInt(2));
    const std::int32_t planned = alt.plan();
    EXPECT_EQ(alt.plannedChoices(), expected);
    std::int32_t sum = 0;
    for (auto choice : expected) sum += 300 + 100 * choice;
    EXPECT_EQ(planned, sum);

    alt.start(world.moment());
    world.runFor(2000);
    EXPECT_EQ(alt.state(), State::Finished);
    std::vector<std::string> played;
    for (const auto& record : world.recorder.records) {
        if (record.state == State::Playing && record.name != "alt") played.push_back(record.name);
    }
    ASSERT_EQ(played.size(), 3u);
    for (std::size_t i = 0; i < 3; ++i) EXPECT_EQ(played[i], std::string(1, static_cast<char>('X' + expected[i])));
}

TEST(Sample, OneChildConsumesNoRandomNumber) {
    PlaybackWorld world;
    writeThree();
    world.load(R"(<a><scene><alt name="alt" loopCount="3"><sound src="x.wav"/></alt></scene></a>)");
    sampleNamed(world, "alt").startFromTop(world.moment());
    world.runFor(2000);
    EXPECT_EQ(sampleNamed(world, "alt").state(), State::Finished);
    EXPECT_EQ(world.runtime.random.randomInt(99), 1);  // still the generator's first draw
}

TEST(Sample, EndlessAlternativeDrawsEachChoiceWhenThePreviousPassEnds) {
    PlaybackWorld world;
    writeThree();
    world.load(R"(<a><scene><alt name="alt" loopCount="-1" loopDelay="200"><sound name="X" src="x.wav"/>
                   <sound name="Y" src="y.wav"/></alt></scene></a>)");
    auto& alt = sampleNamed(world, "alt");
    alt.startFromTop(world.moment());
    EXPECT_TRUE(alt.plannedChoices().empty());  // the first choice is already in use
    world.runFor(450);
    ASSERT_EQ(alt.state(), State::Waiting);
    EXPECT_EQ(alt.plannedChoices().size(), 1u);
    world.runFor(5000);
    EXPECT_LE(alt.plannedChoices().size(), 1u);
    EXPECT_LE(alt.plannedDurations().size(), 2u);
    int passes = 0;
    for (const auto& record : world.recorder.records) passes += record.state == State::Playing && record.name != "alt";
    EXPECT_GT(passes, 8);
}

TEST(Sample, SameChildTwiceWithoutLoopDelayReusesItsStartDelay) {
    PlaybackWorld world;
    testsupport::writeSine("sounds/x.wav", 300);
    world.load(R"(<a><scene><alt name="alt" loopCount="1"><sound name="X" src="x.wav" startDelay="100"
                   startDelayVariance="400"/></alt></scene></a>)");
    auto& alt = sampleNamed(world, "alt");
    auto& x = world.element("X");
    alt.startFromTop(world.moment());
    ASSERT_EQ(x.plannedStartDelays().size(), 2u);
    const std::int32_t firstDelay = x.plannedStartDelays().front();
    ASSERT_NE(firstDelay, x.plannedStartDelays().back());
    world.runFor(3000);
    const auto states = world.recorder.of("X");
    // Waiting, Playing, Finished, then the second pass waits the first delay again.
    ASSERT_GE(states.size(), 5u);
    EXPECT_EQ(states[3].state, State::Waiting);
    EXPECT_NEAR(states[4].ms - states[3].ms, firstDelay, 25);
    EXPECT_EQ(alt.state(), State::Finished);
}

TEST(Sample, PickingAChildWithoutContentEndsThePassWithoutStalling) {
    PlaybackWorld world;
    writeThree();
    world.load(R"(<a><scene><alt name="alt" loopCount="-1"><sound src="missing.wav"/><sound src="none.wav"/>
                   <sound name="X" src="x.wav"/></alt></scene></a>)");
    auto& alt = sampleNamed(world, "alt");
    alt.startFromTop(world.moment());
    world.runFor(10000);
    EXPECT_EQ(alt.state(), State::Playing);
    int passes = 0;
    for (const auto& record : world.recorder.of("X")) passes += record.state == State::Playing;
    EXPECT_GT(passes, 20);
}

TEST(Sample, PassThatEndsAtOnceCountsOnceAndLeavesNoPlanBehind) {
    PlaybackWorld world;
    testsupport::writeSine("sounds/x.wav", 1000);
    world.load(R"(<a><scene><alt name="alt" loopCount="1"><sound src="missing.wav"/><sound name="X" src="x.wav"/>
                   </alt></scene></a>)");
    auto& alt = sampleNamed(world, "alt");
    // After three draws the generator's choices between two children run 0,
    // 1, 1: the silent child, then X, then X again for a surplus pass.
    gloam::Random reference;
    for (int i = 0; i < 3; ++i) EXPECT_EQ(world.runtime.random.randomInt(1), reference.randomInt(1));
    alt.startFromTop(world.moment());
    world.runFor(3000);
    EXPECT_EQ(alt.state(), State::Finished);
    ASSERT_EQ(world.recorder.of("X").size(), 2u) << "X plays once, in the second pass";
    EXPECT_EQ(world.recorder.of("X").front().state, State::Playing);
    EXPECT_TRUE(alt.plannedStartDelays().empty());
    EXPECT_TRUE(alt.plannedDurations().empty());
    EXPECT_TRUE(alt.plannedLoopDelays().empty());
    // Only the run's two choices were drawn.
    reference.randomInt(1);
    reference.randomInt(1);
    EXPECT_EQ(world.runtime.random.randomInt(1000), reference.randomInt(1000));
}

TEST(Sample, StopEmptiesTheChoicesEvenWhenIdle) {
    PlaybackWorld world;
    writeThree();
    world.load(R"(<a><scene><alt name="alt" loopCount="2"><sound src="x.wav"/><sound src="y.wav"/></alt></scene></a>)");
    auto& alt = sampleNamed(world, "alt");
    alt.plan();
    alt.stop(world.moment());
    EXPECT_TRUE(alt.plannedChoices().empty());
    EXPECT_EQ(alt.plannedDurations().size(), 1u);
}

TEST(NestedTree, SequenceOfAlternativesOfParallelGroupsPlaysOnForMinutes) {
    PlaybackWorld world;
    testsupport::writeSine("sounds/short.wav", 300);
    testsupport::writeSine("sounds/long.wav", 500);
    testsupport::writeSine("sounds/other.wav", 400);
    world.load(R"(<a><scene><seq name="seq" loopCount="-1" autoStart="1">
        <alt name="alt1"><par name="p1"><sound src="short.wav"/><sound src="long.wav"/></par>
                        <par name="p2"><sound src="other.wav"/><sound src="missing.wav"/></par></alt>
        <alt name="alt2" loopCount="1"><par name="p3"><sound src="long.wav"/></par><sound src="nothing.wav"/></alt>
    </seq></scene></a>)");
    // Two minutes hold some hundred walks; hours of it are the soak tool's.
    world.runFor(2 * 60 * 1000);
    EXPECT_EQ(world.element("seq").state(), State::Playing);
    int alternativePasses = 0;
    for (const auto& record : world.recorder.records) {
        alternativePasses += record.state == State::Playing && (record.name == "alt1" || record.name == "alt2");
    }
    // Each walk lasts about 0.45 + 2 x 0.5 s or less; never silent for long.
    EXPECT_GT(alternativePasses, 120);
    EXPECT_LT(world.runtime.activeElements.size(), 20u);
}
