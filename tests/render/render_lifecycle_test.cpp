// Whole renders of the element life cycle at its edges: silent children,
// stale fade-outs and keys at time 0.
#include "RenderTestSupport.h"

using namespace rendertest;
using testsupport::writeSine;
using testsupport::writeText;

namespace {

int countOf(const std::string& text, const std::string& what) {
    int count = 0;
    for (auto at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++count;
    return count;
}

}  // namespace

TEST_F(RenderSession, EndlessSequenceWithASilentFirstChildNeverFallsSilent) {
    writeSine("sounds/a.wav", 1000);
    writeSine("sounds/b.wav", 1000, 8000, 660.0);
    writeSine("sounds/c.wav", 1000, 8000, 550.0);
    writeSine("sounds/d.wav", 1000, 8000, 770.0);
    // With and without a loop delay: both walk A, B, A, B, ...
    writeText("adventures/test.xml", R"(<a><scene>
        <seq name="direct" autoStart="1" loopCount="-1"><sound src="missing.wav"/><sound name="A" src="a.wav"/>
            <sound name="B" src="b.wav"/></seq>
        <seq name="paused" autoStart="1" loopCount="-1" loopDelay="100"><sound src="missing.wav"/>
            <sound name="C" src="c.wav"/><sound name="D" src="d.wav"/></seq></scene></a>)");
    const Rendered rendered = render("", 8);
    ASSERT_EQ(rendered.exitCode, 0) << rendered.messages;
    EXPECT_GE(countOf(rendered.trace, "\tA\tPlaying"), 4) << rendered.trace;
    EXPECT_GE(countOf(rendered.trace, "\tB\tPlaying"), 3);
    EXPECT_GE(countOf(rendered.trace, "\tC\tPlaying"), 3);
    EXPECT_GE(countOf(rendered.trace, "\tD\tPlaying"), 3);
    // Both sequences are still heard at the end (one alone gives 0.25).
    EXPECT_GT(rendered.channelRms(0, 7.0, 7.5), 0.3);
}

TEST_F(RenderSession, ReturningToASceneStartsAFadedOutBedAfresh) {
    writeSine("sounds/bed.wav", 30000);
    writeText("adventures/test.xml", R"(<a><scene name="tavern" key="T">
            <sound name="bed" src="bed.wav" autoStart="1" fadeOut="3000"/></scene>
        <scene name="dungeon" key="D"/></a>)");
    // The fade-out (until 5000) is cut short by leaving the scene; the return
    // long after must not be stopped by what is left of it.
    const Rendered rendered = render("1000:T,2000:0,3000:D,20000:T", 23);
    ASSERT_EQ(rendered.exitCode, 0) << rendered.messages;
    const std::string afterReturn = rendered.trace.substr(rendered.trace.rfind("\tkey\t84"));
    EXPECT_NE(afterReturn.find("\tbed\tPlaying"), std::string::npos) << rendered.trace;
    EXPECT_EQ(afterReturn.find("\tbed\tClosing"), std::string::npos) << rendered.trace;
    EXPECT_GT(rendered.channelRms(0, 21.0, 23.0), 0.1);
}

TEST_F(RenderSession, ElementKeyAtTimeZeroStopsAnElementWithoutFadeOut) {
    writeSine("sounds/bed.wav", 10000);
    writeText("adventures/test.xml", R"(<a><scene><sound name="bed" src="bed.wav" autoStart="1"/></scene></a>)");
    const Rendered rendered = render("0:0", 2);
    ASSERT_EQ(rendered.exitCode, 0) << rendered.messages;
    EXPECT_NE(timeOf(rendered.trace, "\tbed\tClosing"), -1) << rendered.trace;
    EXPECT_LE(timeOf(rendered.trace, "\tbed\tClosing"), 21);
    EXPECT_LT(rendered.channelRms(0, 0.1, 2.0), 1e-6);
}

/// However large and deep the tree: the 20 000th element of a scene still
/// has its own volume and stops with its key, and a sound nested as deep as
/// the XML parser allows is heard through every level's volume.
TEST_F(RenderSession, HugeAndDeepTreesSoundAsTheyAreWritten) {
    writeSine("sounds/tone.wav", 10000);
    std::string crowd = "<a><scene>";
    for (int i = 0; i < 19999; ++i) crowd += "<sound/>";
    crowd += R"(<sound name="last" src="tone.wav" key="z" autoStart="1" volume="0.5"/></scene></a>)";
    writeText("adventures/test.xml", crowd);
    const Rendered huge = render("1000:z", 2);
    ASSERT_EQ(huge.exitCode, 0) << huge.messages;
    const double full = 0.5 * std::sqrt(0.5);  // the tone's level, centred on two channels
    EXPECT_NEAR(huge.channelRms(0, 0.2, 0.9), 0.5 * full * std::sqrt(0.5), 0.01);
    EXPECT_LT(huge.channelRms(0, 1.1, 2.0), 1e-6) << "its key stops it";

    // The parser takes 99 levels: the root, the scene, 96 containers and the sound.
    std::string deep = "<a><scene>";
    for (int level = 0; level < 96; ++level) deep += std::string(R"(<seq autoStart="1" volume=")") + (level % 2 == 0 ? "2" : "0.5") + "\">";
    deep += R"(<sound src="tone.wav" volume="0.25"/>)";
    for (int level = 0; level < 96; ++level) deep += "</seq>";
    writeText("adventures/test.xml", deep + "</scene></a>");
    const Rendered nested = render("", 1);
    ASSERT_EQ(nested.exitCode, 0) << nested.messages;
    EXPECT_NEAR(nested.channelRms(0, 0.2, 0.9), 0.25 * full * std::sqrt(0.5), 0.005);
}
