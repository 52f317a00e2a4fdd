// Whole renders: timelines, screens and audio of small adventures.
#include "RenderTestSupport.h"

using namespace rendertest;
using testsupport::writeSine;
using testsupport::writeText;

TEST_F(RenderSession, WorkedRunShowsInTheTimeline) {
    writeSine("sounds/three.wav", 3000);
    writeText("adventures/test.xml", R"(<a><scene><sound name="el" key="e" src="three.wav" startDelay="1000"
        fadeIn="500" fadeOut="500" loopCount="1" loopDelay="2000"/></scene></a>)");
    const Rendered rendered = render("10000:e", 21);
    ASSERT_EQ(rendered.exitCode, 0) << rendered.messages;
    EXPECT_TRUE(hasLine(rendered.trace, "10000\tkey\t101"));
    EXPECT_TRUE(hasLine(rendered.trace, "10000\tstate\t0/0\tel\tWaiting"));
    EXPECT_EQ(timeOf(rendered.trace, "el\tPlaying"), 11001);
    EXPECT_NEAR(timeOf(rendered.trace, "\tel\tFinished"), 19002, 40) << rendered.trace;
    // Silent while waiting, sounding after the fade-in, silent in the loop delay.
    EXPECT_LT(rms(rendered, 0, 10.2, 10.9), 1e-6);
    EXPECT_GT(rms(rendered, 0, 12.0, 13.5), 0.05);
    EXPECT_LT(rms(rendered, 0, 14.3, 15.8), 1e-6);
    EXPECT_LT(rms(rendered, 0, 19.2, 20.0), 1e-6);
}

TEST_F(RenderSession, ScenesSwitchByKeyAndByCursorWithoutWrapping) {
    writeSine("sounds/tone.wav", 20000);
    writeText("adventures/test.xml", R"(<a><scene name="one" key="o"><sound name="a" src="tone.wav" autoStart="1"/></scene>
        <scene name="two" key="t"><sound name="b" src="tone.wav" autoStart="1"/></scene></a>)");
    const Rendered rendered = render("1000:t,2000:right,3000:left,4000:left,5000:o", 6);
    ASSERT_EQ(rendered.exitCode, 0);
    EXPECT_TRUE(hasLine(rendered.trace, "1000\tstate\t1/0\tb\tPlaying"));
    EXPECT_TRUE(hasLine(rendered.trace, "1000\tstate\t0/0\ta\tClosing"));
    // Right on the last scene and left on the first start or stop nothing.
    const std::string afterRight = segment(rendered.trace, "\tkey\t77", "\tkey\t224");
    EXPECT_EQ(afterRight.find("Playing"), std::string::npos);
    EXPECT_EQ(afterRight.find("Closing"), std::string::npos);
    const std::string afterLeft = segment(rendered.trace, "\tkey\t75", "\tkey\t224");
    EXPECT_NE(afterLeft.find("0/0\ta\tPlaying"), std::string::npos);
    const std::string secondLeft = segment(rendered.trace.substr(rendered.trace.find("\tkey\t75") + 1), "\tkey\t75", "\tkey\t111");
    EXPECT_EQ(secondLeft.find("Playing"), std::string::npos);
    // Pressing the current scene's key restarts it.
    const std::string afterO = rendered.trace.substr(rendered.trace.find("\tkey\t111"));
    EXPECT_NE(afterO.find("0/0\ta\tClosing"), std::string::npos);
    EXPECT_NE(afterO.find("0/0\ta\tPlaying"), std::string::npos);
    EXPECT_NE(rendered.screens.find(">one<"), std::string::npos);
}

TEST_F(RenderSession, SpaceWithoutSequencesAndElementKeyOnAWaitingElement) {
    writeSine("sounds/tone.wav", 3000);
    writeText("adventures/test.xml", R"(<a><scene><sound name="bed" src="tone.wav" autoStart="1" loopCount="-1"/>
        <sound name="late" key="l" src="tone.wav" startDelay="5000"/></scene></a>)");
    const Rendered rendered = render("1000:space,2000:l,3000:l", 5);
    ASSERT_EQ(rendered.exitCode, 0);
    EXPECT_EQ(segment(rendered.trace, "\tkey\t32", "\tkey\t108").find("\tstate\t"), std::string::npos);
    EXPECT_NE(timeOf(rendered.trace, "0/1\tlate\tWaiting"), -1);
    // The second press fades the waiting element out (no fade time: stopped at once).
    EXPECT_NE(timeOf(rendered.trace, "0/1\tlate\tClosing"), -1);
    EXPECT_LE(timeOf(rendered.trace, "0/1\tlate\tClosing"), 3021);
    EXPECT_EQ(rendered.screens.find("(l P)"), std::string::npos);
    EXPECT_NE(rendered.screens.find("(l E)"), std::string::npos);
}

TEST_F(RenderSession, MalformedReloadKeepsTheOldAdventurePlaying) {
    writeSine("sounds/tone.wav", 3000);
    writeText("good.xml", R"(<a><scene><sound name="bed" src="tone.wav" autoStart="1" loopCount="-1"/></scene></a>)");
    writeText("adventures/bad.xml", "<a><scene></a>");
    const Rendered rendered = render("1000:!,1500:enter,2000:x,2500:esc", 4, "good.xml");
    ASSERT_EQ(rendered.exitCode, 0);
    EXPECT_EQ(rendered.trace.find("bed\tClosing"), std::string::npos);
    EXPECT_GT(rms(rendered, 0, 3.0, 4.0), 0.05);
    EXPECT_NE(rendered.screens.find("1 channels active"), std::string::npos);
}

TEST_F(RenderSession, SameArgumentsGiveIdenticalFiles) {
    writeSine("sounds/tone.wav", 700);
    writeText("adventures/test.xml", R"(<a><scene><alt name="alt" autoStart="1" loopCount="-1" loopDelayVariance="300">
        <sound src="tone.wav" volumeVariance="0.5" positionXvariance="5"/><sound src="tone.wav" startDelayVariance="200"/>
        </alt></scene></a>)");
    const Rendered first = render("1500:0,2500:0", 6);
    const std::string firstWav = readFile("out.wav");
    const Rendered second = render("1500:0,2500:0", 6);
    EXPECT_EQ(first.trace, second.trace);
    EXPECT_EQ(first.screens, second.screens);
    EXPECT_EQ(firstWav, readFile("out.wav"));
    EXPECT_FALSE(first.trace.empty());
}

TEST_F(RenderSession, SceneVolumeAndPositionAreHeard) {
    writeSine("sounds/tone.wav", 5000);
    writeText("adventures/test.xml", R"(<a><scene key="f"><sound src="tone.wav" autoStart="1"/></scene>
        <scene key="h" volume="0.5"><sound src="tone.wav" autoStart="1"/></scene>
        <scene key="r"><sound src="tone.wav" autoStart="1" positionX="3" positionY="1"/></scene></a>)");
    const Rendered rendered = render("1500:h,3000:r", 4.5);
    ASSERT_EQ(rendered.exitCode, 0);
    const double full = rms(rendered, 0, 0.5, 1.4);
    const double half = rms(rendered, 0, 2.0, 2.9);
    EXPECT_NEAR(20.0 * std::log10(half / full), -6.02, 0.1);
    EXPECT_GT(rms(rendered, 1, 3.5, 4.4), 2.0 * rms(rendered, 0, 3.5, 4.4));
}

TEST_F(RenderSession, MissingFilesAreReportedWithExitCodeTwo) {
    std::string error;
    RenderOptions options;
    options.output = "out.wav";
    options.adventure = "nowhere.xml";
    std::ostringstream messages;
    EXPECT_EQ(runRender(options, messages), 2);
    EXPECT_NE(messages.str().find("nowhere.xml"), std::string::npos);
    options.root = "no-such-folder";
    messages.str("");
    EXPECT_EQ(runRender(options, messages), 2);
    const std::string message = messages.str();
    EXPECT_EQ(std::count(message.begin(), message.end(), '\n'), 1);
}

TEST_F(RenderSession, EscapeEndsTheRenderEarly) {
    writeText("adventures/test.xml", "<a/>");
    const Rendered rendered = render("500:esc", 10);
    ASSERT_EQ(rendered.exitCode, 0);
    EXPECT_NEAR(static_cast<double>(rendered.samples.size()) / 2 / 8000, 0.5, 0.01);
}
