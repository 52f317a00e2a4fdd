// Sequences: plans with overlaps, early starts, wrapping and lateness.
#include "PlaybackWorld.h"
#include "playback/Track.h"

#include <gtest/gtest.h>

using gloam::State;
using testsupport::PlaybackWorld;

namespace {

std::int32_t firstTime(PlaybackWorld& world, const std::string& name, State state, int occurrence = 0) {
    for (const auto& record : world.recorder.of(name)) {
        if (record.state == state && occurrence-- == 0) return record.ms;
    }
    return -1;
}

}  // namespace

TEST(Track, CrossFadeStartsTheNextChildBeforeThePreviousEnds) {
    PlaybackWorld world;
    testsupport::writeSine("sounds/a.wav", 10000);
    testsupport::writeSine("sounds/b.wav", 8000);
    world.load(R"(<a><scene><seq name="seq"><sound name="A" src="a.wav"/>
                   <sound name="B" src="b.wav" crossFade="2000"/></seq></scene></a>)");
    auto& seq = world.element("seq");
    seq.startFromTop(world.moment());
    const std::int32_t began = world.now();
    EXPECT_EQ(seq.plannedDurations().front(), 16000);
    world.runFor(17000);
    const std::int32_t bStarted = firstTime(world, "B", State::Playing);
    EXPECT_NEAR(bStarted - began, 8000, 25);
    EXPECT_GT(firstTime(world, "A", State::Finished), bStarted + 1900);
    EXPECT_EQ(seq.state(), State::Finished);
    EXPECT_NEAR(firstTime(world, "seq", State::Finished) - began, 16000, 60);
}

TEST(Track, LoopsCountTheOverlapBetweenPasses) {
    PlaybackWorld world;
    testsupport::writeSine("sounds/a.wav", 10000);
    testsupport::writeSine("sounds/b.wav", 8000);
    world.load(R"(<a><scene><seq name="seq" loopCount="1" loopDelay="1000"><sound name="A" src="a.wav" crossFade="500"/>
                   <sound name="B" src="b.wav" crossFade="2000"/></seq></scene></a>)");
    auto& seq = world.element("seq");
    seq.startFromTop(world.moment());
    const std::int32_t began = world.now();
    EXPECT_EQ(seq.plannedDurations().front(), 32500);
    world.runFor(34000);
    // The second A starts about 500 ms after the first B ended.
    EXPECT_NEAR(firstTime(world, "A", State::Playing, 1) - firstTime(world, "B", State::Finished), 500, 60);
    EXPECT_NEAR(firstTime(world, "seq", State::Finished) - began, 32500, 120);
}

TEST(Track, NegativeStartDelayOverlapsWithThePreviousChild) {
    PlaybackWorld world;
    testsupport::writeSine("sounds/a.wav", 10000);
    testsupport::writeSine("sounds/c.wav", 4000);
    world.load(R"(<a><scene><seq name="seq"><sound name="A" src="a.wav"/>
                   <sound name="C" src="c.wav" startDelay="-3000"/></seq></scene></a>)");
    auto& seq = world.element("seq");
    seq.startFromTop(world.moment());
    const std::int32_t began = world.now();
    EXPECT_EQ(seq.plannedDurations().front(), 10000 - 3000 + 4000);
    world.runFor(12000);
    EXPECT_NEAR(firstTime(world, "C", State::Playing) - began, 7000, 25);
    EXPECT_EQ(seq.state(), State::Finished);
}

TEST(Track, EndlessSequenceWrapsFromTheLastChildToTheFirst) {
    PlaybackWorld world;
    testsupport::writeSine("sounds/a.wav", 2000);
    testsupport::writeSine("sounds/b.wav", 2000);
    world.load(R"(<a><scene><seq name="seq" loopCount="-1"><sound name="A" src="a.wav" crossFade="500"/>
                   <sound name="B" src="b.wav"/></seq></scene></a>)");
    auto& seq = world.element("seq");
    seq.startFromTop(world.moment());
    world.runFor(4500);
    const std::int32_t secondA = firstTime(world, "A", State::Playing, 1);
    ASSERT_GT(secondA, 0);
    // A starts again 500 ms before B's end, while B still plays.
    EXPECT_LT(secondA, firstTime(world, "B", State::Finished));
    EXPECT_EQ(seq.state(), State::Playing);
    EXPECT_EQ(world.audio.channelsPlaying(), 1);
}

TEST(Track, LatenessOfAChildAlreadyLeftBehindIsIgnored) {
    PlaybackWorld world;
    testsupport::writeSine("sounds/a.wav", 3000);
    testsupport::writeSine("sounds/b.wav", 3000);
    world.load(R"(<a><scene><seq name="seq"><sound name="A" src="a.wav"/>
                   <sound name="B" src="b.wav" crossFade="1000"/></seq></scene></a>)");
    auto& seq = world.element("seq");
    auto& a = world.element("A");
    seq.startFromTop(world.moment());
    world.runFor(2500);
    ASSERT_EQ(static_cast<gloam::Track&>(seq).currentIndex(), 1u);
    const std::int32_t planned = seq.plannedDurations().front();
    a.extendPlan(700, world.moment());
    EXPECT_EQ(seq.plannedDurations().front(), planned);
    world.element("B").extendPlan(300, world.moment());
    EXPECT_EQ(seq.plannedDurations().front(), planned + 300);
}

TEST(Track, ChildrenWithoutContentArePassedOverAtOnce) {
    PlaybackWorld world;
    testsupport::writeSine("sounds/a.wav", 1000);
    testsupport::writeSine("sounds/b.wav", 1000);
    world.load(R"(<a><scene>
        <seq name="gap" loopCount="1"><sound name="missing1" src="none.wav"/><sound name="A" src="a.wav"/>
            <seq name="empty"/><sound name="B" src="b.wav" crossFade="200"/><sound name="missing2" src="none.wav"/></seq>
        <seq name="silent" autoStart="1"><sound src="none.wav"/><alt/></seq>
    </scene></a>)");
    EXPECT_FALSE(world.element("silent").hasContent());
    EXPECT_EQ(world.element("silent").state(), State::Idle);
    auto& gap = world.element("gap");
    gap.startFromTop(world.moment());
    EXPECT_EQ(gap.plannedDurations().front(), 2 * (1000 + 1000 - 200));
    world.runFor(4000);
    EXPECT_EQ(gap.state(), State::Finished);
    int plays = 0;
    for (const auto& record : world.recorder.records) plays += record.state == State::Playing && record.name != "gap";
    EXPECT_EQ(plays, 4);
}

TEST(Track, FadedOutChildHandsOverToTheNextChild) {
    PlaybackWorld world;
    testsupport::writeSine("sounds/a.wav", 10000);
    testsupport::writeSine("sounds/b.wav", 1000);
    world.load(R"(<a><scene><seq name="seq"><sound name="A" src="a.wav" fadeOut="300"/>
                   <sound name="B" src="b.wav"/></seq></scene></a>)");
    auto& seq = world.element("seq");
    seq.startFromTop(world.moment());
    world.runFor(1000);
    world.element("A").startFadeOut(world.moment());
    world.runFor(400);
    EXPECT_EQ(world.element("A").state(), State::Closing);
    EXPECT_EQ(world.element("B").state(), State::Playing);
    world.runFor(1100);
    EXPECT_EQ(seq.state(), State::Finished);
}

TEST(Track, AWalkThatWouldCrossFadeIntoItselfAtOnceLoopsEndToEnd) {
    // Cross-fades as long as the walk itself would start the next walk at
    // the moment this one began, and so on without end: each walk plays to
    // its end instead, as a plain loop does.
    PlaybackWorld world;
    testsupport::writeSine("sounds/tone.wav", 400);
    world.load(R"(<a><scene>
        <seq name="bed" loopCount="-1"><sound src="none.wav"/><sound src="tone.wav" crossFade="400"/></seq>
        <seq name="pair" loopCount="3"><sound name="A" src="tone.wav" crossFade="400"/>
            <sound name="B" src="tone.wav" crossFade="400"/></seq>
        <sound name="plain" src="tone.wav" loopCount="-1"/>
    </scene></a>)");
    auto& bed = world.element("bed");
    bed.startFromTop(world.moment());
    world.runFor(2000);
    EXPECT_EQ(world.audio.channelsPlaying(), 1);
    const double bedLevel = world.takeRms();
    bed.stop(world.moment());
    world.element("plain").startFromTop(world.moment());
    world.takeRms();
    world.runFor(2000);
    EXPECT_NEAR(bedLevel, world.takeRms(), 0.01 * bedLevel) << "the bed sounds as one tone looped end to end";
    world.element("plain").stop(world.moment());

    // A finite run takes as long as it plans: four walks of A and B together.
    auto& pair = world.element("pair");
    pair.startFromTop(world.moment());
    const std::int32_t began = world.now();
    EXPECT_EQ(pair.plannedDurations().front(), 4 * 400);
    world.runFor(1000);
    EXPECT_EQ(world.audio.channelsPlaying(), 2);
    world.runFor(1000);
    EXPECT_EQ(firstTime(world, "pair", State::Finished) - began, 1600);
}
