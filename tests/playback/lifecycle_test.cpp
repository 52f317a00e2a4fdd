// The element life cycle: plans, delays, fades, loops, stopping and closing.
#include "FailingAllocations.h"
#include "PlaybackWorld.h"
#include "audio/ChannelGroup.h"
#include "model/Scene.h"

#include "model/Moment.h"

#include <gtest/gtest.h>

#include <functional>
#include <limits>

using gloam::State;
using testsupport::PlaybackWorld;

namespace {

float groupVolume(gloam::Playable& element) { return element.channelGroup->volume(); }

}  // namespace

TEST(LifeCycle, WorkedRunWithDelaysFadesAndOneLoop) {
    PlaybackWorld world;
    testsupport::writeSine("sounds/three.wav", 3000);
    world.load(R"(<a><scene><sound name="el" src="three.wav" startDelay="1000" fadeIn="500" fadeOut="500"
                   loopCount="1" loopDelay="2000"/></scene></a>)");
    auto& el = world.element("el");
    world.runUntil(10000);
    ASSERT_EQ(world.now(), 10000);
    el.startFromTop(world.moment());

    EXPECT_EQ(el.plannedDurations().front(), 8000);
    EXPECT_EQ(el.state(), State::Waiting);
    EXPECT_EQ(el.runStart().ms, 11000);
    EXPECT_EQ(el.timerEnd().value().ms, 11000);
    EXPECT_FLOAT_EQ(groupVolume(el), 0.0f);

    // The delay is handled ahead of time, on its exact frame: the pass is not
    // late, so the plan keeps its length.
    world.runUntil(11000);
    EXPECT_EQ(el.state(), State::Playing);
    EXPECT_EQ(el.plannedDurations().front(), 8000);

    world.runUntil(11250);
    EXPECT_NEAR(groupVolume(el), 0.5f, 0.05f);
    world.runUntil(12000);
    EXPECT_FLOAT_EQ(groupVolume(el), 1.0f);

    world.runUntil(14100);
    EXPECT_EQ(el.state(), State::Waiting);
    const float heldVolume = groupVolume(el);
    world.runUntil(15900);
    EXPECT_EQ(groupVolume(el), heldVolume);

    world.runUntil(16100);
    EXPECT_EQ(el.state(), State::Playing);
    const std::int32_t plannedEnd = el.runStart().ms + el.plannedDurations().front();
    EXPECT_EQ(plannedEnd, 19000);
    world.runUntil(plannedEnd - 250);
    EXPECT_NEAR(groupVolume(el), 0.5f, 0.05f);

    world.runUntil(plannedEnd + 100);
    EXPECT_EQ(el.state(), State::Finished);
    const auto states = world.recorder.of("el");
    ASSERT_EQ(states.size(), 5u);
    EXPECT_EQ(states[0].state, State::Waiting);
    EXPECT_EQ(states[1].state, State::Playing);
    EXPECT_EQ(states[1].ms, 11000);
    EXPECT_EQ(states[2].state, State::Waiting);
    EXPECT_EQ(states[2].ms, 14000);
    EXPECT_EQ(states[3].state, State::Playing);
    EXPECT_EQ(states[3].ms, 16000);
    EXPECT_EQ(states[4].state, State::Finished);
    EXPECT_EQ(states[4].ms, 19000);
}

TEST(LifeCycle, FadeOutOnAPlayingElementRampsDownThenStops) {
    PlaybackWorld world;
    testsupport::writeSine("sounds/long.wav", 20000);
    world.load(R"(<a><scene><sound name="el" src="long.wav" fadeOut="1000"/></scene></a>)");
    auto& el = world.element("el");
    world.runUntil(5000);
    el.startFromTop(world.moment());
    const std::int32_t started = el.runStart().ms;
    world.runUntil(8000);
    el.startFadeOut(world.moment());
    EXPECT_EQ(el.fadeOutEnd().value().ms, 9000);
    EXPECT_EQ(el.plannedDurations().front(), 9000 - started);
    world.runUntil(8500);
    world.pass();
    EXPECT_NEAR(groupVolume(el), 0.5f, 0.05f);
    EXPECT_EQ(el.state(), State::Playing);
    // A planned end alone does not wake the loop early, so the stop comes
    // with the first 20 ms pass after 9000.
    world.runUntil(9020);
    world.pass();
    EXPECT_EQ(el.state(), State::Closing);
    EXPECT_FALSE(el.fadingOut());
    EXPECT_EQ(world.audio.channelsPlaying(), 0);
}

TEST(LifeCycle, FadeOutOnAnEndlessElementKeepsItsEndlessPlanBehind) {
    PlaybackWorld world;
    testsupport::writeSine("sounds/tone.wav", 500);
    world.load(R"(<a><scene><sound name="el" src="tone.wav" loopCount="-1" fadeOut="300"/></scene></a>)");
    auto& el = world.element("el");
    el.startFromTop(world.moment());
    EXPECT_EQ(el.plannedDurations().front(), -1);
    world.runFor(100);
    el.startFadeOut(world.moment());
    ASSERT_EQ(el.plannedDurations().size(), 2u);
    EXPECT_EQ(el.plannedDurations().front(), el.fadeOutEnd().value().ms - el.runStart().ms);
    EXPECT_EQ(el.plannedDurations().back(), -1);
    world.runFor(400);
    EXPECT_EQ(el.state(), State::Closing);
}

TEST(LifeCycle, StopOnAnIdleElementKeepsItsQueuesForTheNextStart) {
    PlaybackWorld world;
    testsupport::writeSine("sounds/tone.wav", 1000);
    world.load(R"(<a><scene><sound name="el" src="tone.wav" startDelay="300" startDelayVariance="100"/></scene></a>)");
    auto& el = world.element("el");
    el.plan();
    const std::int32_t planned = el.plannedStartDelays().front();
    el.stop(world.moment());
    EXPECT_EQ(el.state(), State::Idle);
    ASSERT_EQ(el.plannedStartDelays().size(), 1u);
    el.start(world.moment());
    EXPECT_EQ(el.timerEnd().value().ms, world.now() + planned);
}

TEST(LifeCycle, ElementWithoutContentIsNeverStarted) {
    PlaybackWorld world;
    world.load(R"(<a><scene><sound name="missing" src="nothing.wav"/><alt name="empty"/></scene></a>)");
    for (const char* name : {"missing", "empty"}) {
        auto& el = world.element(name);
        EXPECT_EQ(el.plan(), 0);
        el.start(world.moment());
        EXPECT_EQ(el.state(), State::Idle);
        EXPECT_TRUE(el.plannedDurations().empty());
    }
    EXPECT_TRUE(world.runtime.activeElements.empty());
}

TEST(LifeCycle, LateTimerAddsItsLatenessToThePlanAndTellsTheParent) {
    PlaybackWorld world;
    testsupport::writeSine("sounds/tone.wav", 1000);
    world.load(R"(<a><scene><alt name="parent"><sound name="child" src="tone.wav" startDelay="1000"/></alt></scene></a>)");
    auto& parent = world.element("parent");
    auto& child = world.element("child");
    parent.startFromTop(world.moment());
    EXPECT_EQ(parent.plannedDurations().front(), 2000);
    EXPECT_EQ(child.plannedDurations().front(), 1000);
    world.advance(1015);
    world.adventure.tick(world.moment());
    EXPECT_EQ(child.state(), State::Playing);
    EXPECT_EQ(child.plannedDurations().front(), 1015);
    EXPECT_EQ(parent.plannedDurations().front(), 2015);
}

TEST(LifeCycle, CloseDelayZeroDeactivatesOnTheFirstLaterTick) {
    PlaybackWorld world;
    testsupport::writeSine("sounds/tone.wav", 1000);
    world.load(R"(<a><scene><sound name="el" src="tone.wav" closeDelay="0"/></scene></a>)");
    auto& el = world.element("el");
    el.startFromTop(world.moment());
    el.stop(world.moment());
    EXPECT_EQ(el.state(), State::Closing);
    world.adventure.tick(world.moment());
    EXPECT_EQ(el.state(), State::Closing);
    world.advance(1);
    world.adventure.tick(world.moment());
    EXPECT_EQ(el.state(), State::Idle);
    EXPECT_TRUE(world.runtime.activeElements.empty());
}

TEST(LifeCycle, StartFromTopOnANestedElementSilencesItsTopLevelAncestor) {
    PlaybackWorld world;
    testsupport::writeSine("sounds/tone.wav", 5000);
    world.load(R"(<a><scene><par name="top"><sound name="a" src="tone.wav"/><seq name="mid">
                   <sound name="b" src="tone.wav"/></seq></par></scene></a>)");
    world.element("top").startFromTop(world.moment());
    world.runFor(200);
    EXPECT_EQ(world.audio.channelsPlaying(), 2);
    world.element("b").startFromTop(world.moment());
    EXPECT_EQ(world.element("top").state(), State::Closing);
    EXPECT_EQ(world.element("a").state(), State::Closing);
    EXPECT_EQ(world.element("mid").state(), State::Closing);
    EXPECT_EQ(world.element("b").state(), State::Playing);
    world.runFor(100);
    EXPECT_EQ(world.audio.channelsPlaying(), 1);
    world.runFor(1600);
    EXPECT_EQ(world.element("top").state(), State::Idle);
    EXPECT_EQ(world.element("b").state(), State::Playing);
}

TEST(LifeCycle, VariancesOnlyRaiseValuesAndDrawInOrder) {
    PlaybackWorld world;
    testsupport::writeSine("sounds/tone.wav", 1000);
    world.load(R"(<a><scene><sound name="el" src="tone.wav" volume="0.5" volumeVariance="0.7"
                   positionX="1" positionXvariance="2.9" positionY="-3" positionYvariance="-4"/></scene></a>)");
    auto& el = world.element("el");
    gloam::Random reference;
    const std::int32_t volumeSteps = reference.randomInt(699);
    const std::int32_t x = reference.randomInt(2);
    el.startFromTop(world.moment());
    EXPECT_FLOAT_EQ(el.effectiveVolume(), 0.5f + static_cast<float>(volumeSteps) * 0.001f);
    EXPECT_FLOAT_EQ(el.effectivePositionX(), 1.0f + static_cast<float>(x));
    EXPECT_FLOAT_EQ(el.effectivePositionY(), -3.0f);
    // The next draw of the shared generator matches the reference's next.
    EXPECT_EQ(world.runtime.random.randomInt(1000), reference.randomInt(1000));
}

TEST(LifeCycle, TimersFadesAndLoopsCarryOnAcrossTheClockWrap) {
    const std::int32_t began = std::numeric_limits<std::int32_t>::max() - 1500;
    PlaybackWorld world(8000, began);
    testsupport::writeSine("sounds/tone.wav", 500);
    testsupport::writeSine("sounds/long.wav", 10000);
    world.load(R"(<a><scene><sound name="el" src="tone.wav" startDelay="1000" loopCount="1" loopDelay="1000"/>
                   <sound name="bed" src="long.wav" fadeOut="1000"/></scene></a>)");
    world.element("el").startFromTop(world.moment());
    world.element("bed").startFromTop(world.moment());
    world.runFor(1200);
    world.element("bed").startFadeOut(world.moment());  // ends just after the wrap
    world.runFor(2000);
    auto since = [&](const testsupport::StateRecord& record) { return gloam::wrapSub(record.ms, began); };
    const auto el = world.recorder.of("el");
    ASSERT_EQ(el.size(), 5u);
    EXPECT_NEAR(since(el[1]), 1000, 25);  // Playing
    EXPECT_EQ(el[2].state, State::Waiting);
    EXPECT_NEAR(since(el[3]), 2500, 30);  // Playing again, after the wrap
    EXPECT_EQ(el[4].state, State::Finished);
    EXPECT_NEAR(since(el[4]), 3000, 60);
    const auto bed = world.recorder.of("bed");
    ASSERT_EQ(bed.size(), 2u);
    EXPECT_EQ(bed[1].state, State::Closing);
    EXPECT_NEAR(since(bed[1]), 2200, 25);
    EXPECT_EQ(world.audio.channelsPlaying(), 0);
}

TEST(LifeCycle, HugeLoopCountsPlanInBoundedMemoryAndTime) {
    PlaybackWorld world;
    testsupport::writeSine("sounds/blip.wav", 50);
    world.load(R"(<a><scene>
        <seq name="top" loopCount="2147483647" loopDelayVariance="3" autoStart="1">
          <alt loopCount="2147483647" loopDelayVariance="5">
            <par loopCount="2147483647" loopDelayVariance="7">
              <sound src="blip.wav" loopCount="2147483647" loopDelayVariance="11"/></par>
            <sound src="blip.wav" loopCount="2147483647" loopDelay="1"/></alt>
          <sound src="blip.wav" loopCount="2147483647"/></seq>
        <alt name="wide" loopCount="2147483646" autoStart="1"><sound src="blip.wav" loopCount="2147483647"/></alt>
    </scene></a>)");
    world.runFor(2000);
    EXPECT_EQ(world.element("top").state(), State::Playing);
    EXPECT_EQ(world.element("wide").state(), State::Playing);
    EXPECT_GT(world.takeRms(), 0.05);
    std::size_t queued = 0;
    std::function<void(gloam::SettingContainer&)> count = [&](gloam::SettingContainer& node) {
        for (auto& child : node.children) {
            queued += child->plannedLoopDelays().size() + child->plannedStartDelays().size() + child->plannedDurations().size();
            count(*child);
        }
    };
    count(world.scene());
    EXPECT_LT(queued, 5'000'000u) << "a few entries per planned pass, not one per loop";

    // Up to a million loops, every loop delay is still drawn when the run is
    // planned, in order.
    PlaybackWorld fresh;
    testsupport::writeSine("sounds/blip.wav", 50);
    fresh.load(R"(<a><scene><sound name="million" src="blip.wav" loopCount="1000000" loopDelayVariance="9"/></scene></a>)");
    gloam::Random reference;
    std::int32_t expected = 1'000'001 * 50;
    for (int loop = 0; loop < 1'000'000; ++loop) expected += reference.randomInt(9);
    EXPECT_EQ(fresh.element("million").plan(), expected);
    EXPECT_EQ(fresh.runtime.random.randomInt(1000), reference.randomInt(1000));
}

TEST(LifeCycle, HugeLoopsOfManyElementsShareOneBudgetForTheAdventure) {
    // Each copy of the wildcard asks for a billion loop delays; a budget per
    // element would let each draw a million of them ahead.
    PlaybackWorld world;
    for (int i = 0; i < 12; ++i) testsupport::writeSine("sounds/drip" + std::to_string(i) + ".wav", 50);
    world.load(R"(<a><scene><sound name="drip" src="drip*" autoStart="1" loopCount="999999999" loopDelayVariance="60000"/>
    </scene></a>)");
    std::size_t queued = 0;
    std::size_t playing = 0;
    for (auto& copy : world.scene().children) {
        queued += copy->plannedLoopDelays().size() + copy->plannedStartDelays().size() + copy->plannedDurations().size();
        playing += copy->state() == State::Playing ? 1 : 0;
    }
    EXPECT_EQ(playing, 12u);
    EXPECT_LT(queued, 5'000'000u) << "one budget for the adventure, not a million delays per copy";
    // Every copy goes on past its first pass, drawing what was not drawn ahead.
    world.runFor(200);
    for (auto& copy : world.scene().children) EXPECT_EQ(copy->state(), State::Waiting) << copy->name;
}

TEST(LifeCycle, AnElementThatCannotBePlannedStaysSilentAndTheRestPlays) {
    PlaybackWorld world;
    testsupport::writeSine("sounds/blip.wav", 50);
    testsupport::writeSine("sounds/bed.wav", 400);
    const std::string xml = R"(<a><scene>
        <sound name="huge" src="blip.wav" autoStart="1" loopCount="1000000" loopDelayVariance="9"/>
        <sound name="bed" src="bed.wav" autoStart="1" loopCount="-1"/></scene></a>)";
    const std::size_t refusedBefore = testsupport::FailingAllocations::refused();
    {
        // The million loop delays need megabytes; nothing else does.
        testsupport::FailingAllocations failing(std::size_t{1} << 20);
        world.load(xml);
    }
    ASSERT_GT(testsupport::FailingAllocations::refused(), refusedBefore);
    auto& huge = world.element("huge");
    EXPECT_EQ(huge.state(), State::Idle);
    EXPECT_TRUE(huge.plannedLoopDelays().empty());
    EXPECT_TRUE(huge.plannedStartDelays().empty());
    EXPECT_TRUE(world.recorder.of("huge").empty());
    EXPECT_EQ(world.runtime.activeElements.size(), 1u);
    world.runFor(1000);
    EXPECT_EQ(world.element("bed").state(), State::Playing);
    EXPECT_GT(world.takeRms(), 0.05);

    // With memory back, the element plays when it is started again.
    huge.startFromTop(world.moment());
    EXPECT_EQ(huge.state(), State::Playing);
    EXPECT_EQ(huge.plannedLoopDelays().size(), 1'000'000u);
}

TEST(LifeCycle, EndlessElementKeepsItsQueuesSmallPassAfterPass) {
    // A queue that grows by an entry per pass shows within a few thousand
    // passes; hours of this are the soak tool's endless-queue case.
    PlaybackWorld world(1000);  // a low mix rate keeps the passes quick
    testsupport::writeSine("sounds/blip.wav", 50);
    world.load(R"(<a mode="preload"><scene><sound name="el" src="blip.wav" loopCount="-1" loopDelayVariance="30"/></scene></a>)");
    auto& el = world.element("el");
    el.startFromTop(world.moment());
    const std::int32_t end = world.now() + 3600 * 1000;
    std::size_t largest = 0;
    int passes = 0;
    while (passes < 3000 && world.now() < end) {
        world.audio.update();
        const State before = el.state();
        world.adventure.tick(world.moment());
        if (before != State::Playing && el.state() == State::Playing) ++passes;
        largest = std::max({largest, el.plannedDurations().size(), el.plannedStartDelays().size(), el.plannedLoopDelays().size()});
        world.advance(40);
    }
    EXPECT_EQ(el.state() == State::Playing || el.state() == State::Waiting, true);
    EXPECT_EQ(passes, 3000);
    EXPECT_LE(largest, 2u);
}
