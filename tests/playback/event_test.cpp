// Parallel groups: the longest child, loops, endless and late children.
#include "PlaybackWorld.h"

#include <gtest/gtest.h>

using gloam::State;
using testsupport::PlaybackWorld;

namespace {

const char* threeChildren = R"(<a><scene><alt name="outer"><par name="par" %s>
    <sound name="A" src="a.wav"/><sound name="B" src="b.wav" startDelay="2000"/><sound name="C" src="c.wav"/>
    </par></alt></scene></a>)";

std::string withAttributes(const char* attributes) {
    char buffer[1024];
    std::snprintf(buffer, sizeof buffer, threeChildren, attributes);
    return buffer;
}

void writeThree() {
    testsupport::writeSine("sounds/a.wav", 5000);
    testsupport::writeSine("sounds/b.wav", 12000);
    testsupport::writeSine("sounds/c.wav", 8000);
}

}  // namespace

TEST(Event, PassLastsAsLongAsItsLongestChildWithItsStartDelay) {
    PlaybackWorld world;
    writeThree();
    world.load(withAttributes(""));
    auto& par = world.element("par");
    par.startFromTop(world.moment());
    const std::int32_t began = world.now();
    EXPECT_EQ(par.plannedDurations().front(), 14000);
    EXPECT_EQ(world.element("A").state(), State::Playing);
    EXPECT_EQ(world.element("B").state(), State::Waiting);
    world.runFor(9000);
    // A and C have ended; B still plays, so the pass goes on.
    EXPECT_EQ(world.element("C").state(), State::Finished);
    EXPECT_EQ(par.state(), State::Playing);
    world.runFor(6000);
    EXPECT_EQ(par.state(), State::Finished);
    EXPECT_NEAR(world.recorder.of("par").back().ms - began, 14000, 60);
}

TEST(Event, LoopsPlanEachPassFromTheChildrensPlans) {
    PlaybackWorld world;
    writeThree();
    world.load(withAttributes(R"(loopCount="1" loopDelay="500")"));
    auto& par = world.element("par");
    par.startFromTop(world.moment());
    EXPECT_EQ(par.plannedDurations().front(), 28500);
    EXPECT_EQ(world.element("B").plannedDurations().size(), 2u);
    world.runFor(29000);
    EXPECT_EQ(par.state(), State::Finished);
}

TEST(Event, EndlessChildMakesThePassEndless) {
    PlaybackWorld world;
    testsupport::writeSine("sounds/a.wav", 500);
    testsupport::writeSine("sounds/b.wav", 300);
    world.load(R"(<a><scene><par name="par"><sound name="A" src="a.wav" loopCount="-1"/>
                   <sound name="B" src="b.wav"/></par></scene></a>)");
    auto& par = world.element("par");
    par.startFromTop(world.moment());
    EXPECT_EQ(par.plannedDurations().front(), -1);
    world.runFor(3000);
    EXPECT_EQ(par.state(), State::Playing);
    EXPECT_EQ(world.element("B").state(), State::Finished);
}

TEST(Event, LateChildStretchesThePlanByExactlyItsOvershoot) {
    PlaybackWorld world;
    writeThree();
    world.load(withAttributes(""));
    auto& outer = world.element("outer");
    auto& par = world.element("par");
    outer.startFromTop(world.moment());
    ASSERT_EQ(par.plannedDurations().front(), 14000);
    const std::int32_t outerPlan = outer.plannedDurations().front();
    // C (8000) reported 7000 late ends at 15000, 1000 past the plan.
    world.element("C").extendPlan(7000, world.moment());
    EXPECT_EQ(par.plannedDurations().front(), 15000);
    EXPECT_EQ(outer.plannedDurations().front(), outerPlan + 1000);
    // A lateness that still fits changes nothing.
    world.element("A").extendPlan(2000, world.moment());
    EXPECT_EQ(par.plannedDurations().front(), 15000);
}

TEST(Event, ChildrenWithoutContentDoNotCountAndAFadedChildEndsThePass) {
    PlaybackWorld world;
    testsupport::writeSine("sounds/a.wav", 10000);
    world.load(R"(<a><scene><par name="par"><sound src="missing.wav"/><sound name="A" src="a.wav" fadeOut="200"/>
                   <seq/></par></scene></a>)");
    auto& par = world.element("par");
    par.startFromTop(world.moment());
    EXPECT_EQ(par.plannedDurations().front(), 10000);
    world.runFor(500);
    world.element("A").startFadeOut(world.moment());
    world.runFor(300);
    EXPECT_EQ(par.state(), State::Finished);
}
