// Whole renders of when things happen: keys act on what is heard at their
// moment, fades stay on their sound's own frames, a new run never inherits an
// old run's fade-out, and the timeline is in time order.
#include "RenderTestSupport.h"

#include <sndfile.h>

#include <random>

using namespace rendertest;
using testsupport::writeSine;
using testsupport::writeText;

namespace {

namespace fs = std::filesystem;

/// The frames of channel 0 of a render, one value per frame.
std::vector<float> firstChannel(const Rendered& rendered) {
    std::vector<float> channel;
    for (std::size_t i = 0; i < rendered.samples.size(); i += static_cast<std::size_t>(rendered.channels)) {
        channel.push_back(rendered.samples[i]);
    }
    return channel;
}

/// Every line's time, in order.
std::vector<int> lineTimes(const std::string& trace) {
    std::istringstream lines(trace);
    std::vector<int> times;
    std::string line;
    while (std::getline(lines, line)) times.push_back(std::stoi(line));
    return times;
}

}  // namespace

class RenderTiming : public RenderSession {};

/// Space 40 ms before the next item fades the item being heard; the next item
/// starts when that one ends (no cross-fade) and plays whole.
TEST_F(RenderTiming, SpaceJustBeforeTheNextItemFadesTheItemBeingHeard) {
    writeSine("sounds/a.wav", 1000);
    writeSine("sounds/b.wav", 1000);
    writeText("adventures/test.xml", R"(<a><scene><seq name="seq" autoStart="1">
        <sound name="a" src="a.wav" fadeOut="500"/><sound name="b" src="b.wav" fadeOut="500"/></seq></scene></a>)");
    const Rendered rendered = render("960:space", 3);
    ASSERT_EQ(rendered.exitCode, 0) << rendered.messages;
    EXPECT_TRUE(hasLine(rendered.trace, "960\tkey\t32")) << rendered.trace;
    // a's fade-out ends 500 ms after the key and stops it there.
    EXPECT_EQ(timeOf(rendered.trace, "\ta\tClosing"), 1460) << rendered.trace;
    EXPECT_EQ(timeOf(rendered.trace, "\tb\tPlaying"), 1000) << rendered.trace;
    EXPECT_EQ(timeOf(rendered.trace, "\tb\tFinished"), 2000) << rendered.trace;
    EXPECT_EQ(timeOf(rendered.trace, "\tb\tClosing"), -1) << rendered.trace;
    // b sounds at full level until its own fade-out toward its end.
    const double full = rendered.channelRms(0, 0.1, 0.45);
    ASSERT_GT(full, 0.1);
    EXPECT_NEAR(rendered.channelRms(0, 1.05, 1.45), full, 0.01 * full);
}

/// An element's key 40 ms before its sound ends fades it out instead of
/// starting it again.
TEST_F(RenderTiming, ElementKeyJustBeforeTheEndFadesTheSoundOut) {
    writeSine("sounds/tone.wav", 1000);
    writeText("adventures/test.xml", R"(<a><scene><sound name="s" key="s" src="tone.wav" fadeOut="500"
        autoStart="1"/></scene></a>)");
    const Rendered rendered = render("960:s", 3);
    ASSERT_EQ(rendered.exitCode, 0) << rendered.messages;
    const std::string afterKey = rendered.trace.substr(rendered.trace.find("\tkey\t"));
    EXPECT_EQ(afterKey.find("\ts\tPlaying"), std::string::npos) << rendered.trace;
    EXPECT_EQ(timeOf(rendered.trace, "\ts\tFinished"), 1000) << rendered.trace;
    EXPECT_LT(rendered.channelRms(0, 1.01, 2.5), 1e-6);
}

/// A sequence that starts its child again at the moment the child ends gives
/// the new run its own fades: full level until its planned fade-out.
TEST_F(RenderTiming, ARunBegunAsTheLastEndsKeepsItsLevelUntilItsOwnFade) {
    writeSine("sounds/t1000.wav", 1000);
    writeText("adventures/test.xml", R"(<a><scene><seq name="seq" loopCount="1" autoStart="1">
        <sound name="t" src="t1000.wav" loopCount="1" loopDelayVariance="3000" fadeOut="500"/></seq></scene></a>)");
    const Rendered rendered = render("", 7);
    ASSERT_EQ(rendered.exitCode, 0) << rendered.messages;
    const double full = rendered.channelRms(0, 0.05, 0.45);
    ASSERT_GT(full, 0.1);
    // The second run's passes, and the last one's first half, at full level.
    const std::string second = rendered.trace.substr(rendered.trace.find("\tt\tFinished"));
    const double lastPass = timeOf(second.substr(second.find("\tt\tWaiting")), "\tt\tPlaying") / 1000.0;
    ASSERT_GT(lastPass, 2.0) << rendered.trace;
    EXPECT_NEAR(rendered.channelRms(0, lastPass + 0.05, lastPass + 0.45), full, 0.01 * full) << rendered.trace;
    EXPECT_LT(rendered.channelRms(0, lastPass + 0.9, lastPass + 0.999), 0.2 * full);
}

/// Plans count a pass in whole milliseconds; a thousand passes of a sound a
/// fraction of a millisecond longer or shorter still fade out over exactly
/// the last 2000 ms and reach silence on the sound's last frame.
TEST_F(RenderTiming, FadesStayOnTheSoundsFramesOverAThousandLoops) {
    constexpr int rate = 8000;
    constexpr int fadeFrames = 2 * rate;
    for (const int passFrames : {805, 803}) {  // 100.625 ms and 100.375 ms
        SCOPED_TRACE(passFrames);
        // A steady level, so each output frame shows the gain it was given.
        ASSERT_TRUE(testsupport::writeSound("sounds/level.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, rate, 1,
                                            std::vector<float>(passFrames, 0.5f)));
        writeText("adventures/test.xml", R"(<a><scene><sound name="s" src="level.wav" loopCount="999" fadeOut="2000"
            autoStart="1"/></scene></a>)");
        const Rendered rendered = render("", 1000 * passFrames / rate + 1);
        ASSERT_EQ(rendered.exitCode, 0) << rendered.messages;
        const std::vector<float> heard = firstChannel(rendered);
        const std::size_t end = 1000 * static_cast<std::size_t>(passFrames);
        ASSERT_GT(heard.size(), end + rate / 10);
        const float full = heard[rate];
        ASSERT_GT(full, 0.1f);

        std::size_t fadeBegins = 0;
        while (fadeBegins < end && heard[fadeBegins] >= full * 0.9999f) ++fadeBegins;
        std::size_t lastHeard = heard.size();
        while (lastHeard > 0 && heard[lastHeard - 1] == 0.0f) --lastHeard;
        EXPECT_NEAR(static_cast<double>(fadeBegins), static_cast<double>(end - fadeFrames), rate / 1000.0);
        EXPECT_EQ(lastHeard, end) << "silent from the frame after the sound's last";
        EXPECT_NEAR(heard[end - fadeFrames / 2], full * 0.5f, full * 0.001f);
    }
}

/// Space on a sequence that does not play, and its key a minute later: the
/// first item plays to its end, untouched by the fade-out asked for before.
TEST_F(RenderTiming, AFadeOutAskedForBeforeARunNeverReachesIt) {
    writeSine("sounds/a.wav", 1000);
    writeSine("sounds/b.wav", 1000);
    writeText("adventures/test.xml", R"(<a><scene><seq name="seq" key="q">
        <sound name="a" src="a.wav" fadeOut="500"/><sound name="b" src="b.wav"/></seq></scene></a>)");
    const Rendered rendered = render("1000:space,60000:q", 63);
    ASSERT_EQ(rendered.exitCode, 0) << rendered.messages;
    EXPECT_EQ(timeOf(rendered.trace, "\ta\tPlaying"), 60000) << rendered.trace;
    EXPECT_EQ(timeOf(rendered.trace, "\ta\tFinished"), 61000) << rendered.trace;
    EXPECT_EQ(timeOf(rendered.trace, "\ta\tClosing"), -1) << rendered.trace;
    EXPECT_GT(rendered.channelRms(0, 60.5, 60.99), 0.1);
}

/// A negative fade-in follows the fade law after a start delay too: silence.
TEST_F(RenderTiming, NegativeFadeInAfterAStartDelayIsSilent) {
    writeSine("sounds/tone.wav", 2000);
    writeText("adventures/test.xml", R"(<a><scene><sound name="s" src="tone.wav" startDelay="300" fadeIn="-100"
        autoStart="1"/><sound name="t" key="t" src="tone.wav" fadeIn="-100"/></scene></a>)");
    const Rendered rendered = render("", 2);
    ASSERT_EQ(rendered.exitCode, 0) << rendered.messages;
    EXPECT_EQ(timeOf(rendered.trace, "\ts\tPlaying"), 300);
    EXPECT_LT(rendered.channelRms(0, 0.0, 2.0), 1e-6);
}

/// Whatever keys are pressed when, on the bundled demo's first scene, every
/// line of the timeline comes at or after the one before.
TEST_F(RenderTiming, TheTimelineIsInTimeOrderForAnyKeys) {
    const fs::path made = GLOAM_DEMO_MADE;
    if (!fs::exists(made / "sounds")) GTEST_SKIP() << "the demo's sounds are not made";
    fs::create_directory_symlink(GLOAM_SOURCE_DIR "/demo/adventures", "adventures");
    fs::create_directory_symlink(made / "sounds", "sounds");
    const std::string keys = " 0123456789abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ";
    std::mt19937 random(18);
    for (int script = 0; script < 6; ++script) {
        std::string text;
        int atMs = 0;
        for (int key = 0; key < 40; ++key) {
            atMs += std::uniform_int_distribution<int>(0, 900)(random);
            const char code = keys[std::uniform_int_distribution<std::size_t>(0, keys.size() - 1)(random)];
            const int cursor = std::uniform_int_distribution<int>(0, 9)(random);
            text += (text.empty() ? "" : ",") + std::to_string(atMs) + ":" +
                    (cursor == 0 ? "left" : cursor == 1 ? "right" : code == ' ' ? "space" : std::string(1, code));
        }
        SCOPED_TRACE(text);
        const Rendered rendered = render(text, atMs / 1000.0 + 3, "adventures/demo.xml");
        ASSERT_EQ(rendered.exitCode, 0) << rendered.messages;
        const std::vector<int> times = lineTimes(rendered.trace);
        ASSERT_GT(times.size(), 40u);
        EXPECT_TRUE(std::is_sorted(times.begin(), times.end())) << rendered.trace;
    }
}
