// Effect filters heard through whole renders: scene and element filters, tails, the README example.
#include "RenderTestSupport.h"

#include <filesystem>
#include <string>

using namespace rendertest;
using testsupport::writeSine;
using testsupport::writeText;

namespace {

using testsupport::linkPlugin;

constexpr const char* kDelayPath = "/usr/lib/ladspa/delay_1898.so";
constexpr const char* kPlatePath = "/usr/lib/ladspa/plate_1423.so";
constexpr const char* kAmpPath = "/usr/lib/ladspa/amp_1181.so";
constexpr const char* kGverbPath = "/usr/lib/ladspa/gverb_1216.so";

/// Silence, allowing for rounding in the mix.
constexpr double kSilent = 1e-4;

using RenderFilters = RenderSession;

bool installed(const char* path) { return std::filesystem::exists(path); }

}  // namespace

TEST_F(RenderFilters, SceneGainActsOnAllItsElementsOnlyWhileItIsCurrent) {
    linkPlugin(GLOAM_TEST_LADSPA);
    writeSine("sounds/low.wav", 20000, 8000, 440.0, 0.2);
    writeSine("sounds/high.wav", 20000, 8000, 660.0, 0.2);
    // The same two elements, one nested, in both scenes; only the first has
    // the filter.
    writeText("adventures/test.xml", R"(<a>
        <scene name="quiet" key="q"><filter name="gloam_gain_mono" gain="0.25"/>
            <sound src="low.wav" autoStart="1"/><par autoStart="1"><sound src="high.wav"/></par></scene>
        <scene name="plain"><sound src="low.wav" autoStart="1"/><par autoStart="1"><sound src="high.wav"/></par></scene>
    </a>)");
    const Rendered rendered = render("2000:right,4000:left,6000:q", 8);
    ASSERT_EQ(rendered.exitCode, 0) << rendered.messages;

    const double plain = rendered.channelRms(0, 2.2, 3.9);
    ASSERT_GT(plain, 0.05);
    // Were only one of the two tones scaled, the ratio would be about 0.73.
    EXPECT_NEAR(rendered.channelRms(0, 0.2, 1.9) / plain, 0.25, 0.01);
    // Selected again after the other scene, and reselected while current:
    // attached once each time, not lost and not doubled.
    EXPECT_NEAR(rendered.channelRms(0, 4.2, 5.9) / plain, 0.25, 0.01);
    EXPECT_NEAR(rendered.channelRms(0, 6.2, 7.9) / plain, 0.25, 0.01);
}

TEST_F(RenderFilters, ElementGainActsFromTheElementsFirstSample) {
    linkPlugin(GLOAM_TEST_LADSPA);
    writeSine("sounds/tone.wav", 20000, 8000, 440.0, 0.2);
    writeText("adventures/test.xml", R"(<a><scene>
        <sound name="plain" key="p" src="tone.wav"/>
        <sound name="quiet" key="w" src="tone.wav"><filter name="gloam_gain_mono" gain="0.25"/></sound>
    </scene></a>)");
    const Rendered rendered = render("500:p,1500:p,2000:w,3000:w,3500:w", 4.5);
    ASSERT_EQ(rendered.exitCode, 0) << rendered.messages;

    const double plain = rendered.channelRms(0, 0.6, 1.4);
    ASSERT_GT(plain, 0.05);
    EXPECT_NEAR(rendered.channelRms(0, 2.0, 2.05) / plain, 0.25, 0.02);
    EXPECT_NEAR(rendered.channelRms(0, 2.1, 2.9) / plain, 0.25, 0.01);
    // Started again while still Closing: the filter is on, once.
    EXPECT_NEAR(rendered.channelRms(0, 3.6, 4.4) / plain, 0.25, 0.01);
}

namespace {

/// A tone through a half-second delay line (all delayed signal, no direct
/// sound), stopped at 2 s; returns the render.
Rendered renderDelayedTone(int closeDelayMs) {
    writeSine("sounds/tone.wav", 20000, 8000, 440.0, 0.2);
    writeText("adventures/test.xml", R"(<a><scene>
        <sound name="e" key="e" src="tone.wav" autoStart="1" closeDelay=")" + std::to_string(closeDelayMs) +
                                            R"("><filter name="delay_n" max="1" time="0.5"/></sound>
    </scene></a>)");
    return render("2000:e", 4);
}

}  // namespace

TEST_F(RenderFilters, DelayTailIsCutWhenTheElementBecomesIdleBeforeItEnds) {
    if (!installed(kDelayPath)) GTEST_SKIP() << kDelayPath << " is not installed";
    linkPlugin(kDelayPath);
    const Rendered rendered = renderDelayedTone(200);
    ASSERT_EQ(rendered.exitCode, 0) << rendered.messages;
    const double closing = timeOf(rendered.trace, "\te\tClosing") / 1000.0;
    const double idle = timeOf(rendered.trace, "\te\tIdle") / 1000.0;
    ASSERT_GT(closing, 1.9);
    ASSERT_NEAR(idle - closing, 0.2, 0.03);

    // On from the start: the first half second is the empty delay line.
    EXPECT_LT(rendered.channelRms(0, 0.02, 0.45), kSilent);
    EXPECT_GT(rendered.channelRms(0, 0.6, 1.9), 0.05);
    // The tail rings while Closing and stops with the filter at Idle, well
    // before the line would have run dry.
    EXPECT_GT(rendered.channelRms(0, closing + 0.02, idle - 0.02), 0.05);
    EXPECT_LT(rendered.channelRms(0, idle + 0.03, closing + 0.45), kSilent);
}

TEST_F(RenderFilters, RestartedElementDoesNotReplayTheCutTail) {
    if (!installed(kDelayPath)) GTEST_SKIP() << kDelayPath << " is not installed";
    linkPlugin(kDelayPath);
    writeSine("sounds/tone.wav", 20000, 8000, 440.0, 0.2);
    writeText("adventures/test.xml", R"(<a><scene>
        <sound name="e" key="e" src="tone.wav" autoStart="1" closeDelay="200">
        <filter name="delay_n" max="1" time="0.5"/></sound></scene></a>)");
    // Stopped at 2 s, idle at 2.2 s with 0.3 s of tail cut off, started again at 2.5 s.
    const Rendered rendered = render("2000:e,2500:e", 4);
    ASSERT_EQ(rendered.exitCode, 0) << rendered.messages;
    // The delay line starts empty again: half a second of silence first.
    EXPECT_LT(rendered.channelRms(0, 2.53, 2.95), kSilent);
    EXPECT_GT(rendered.channelRms(0, 3.1, 3.9), 0.05);
}

TEST_F(RenderFilters, DelayTailRingsOutWhenTheCloseDelayOutlastsIt) {
    if (!installed(kDelayPath)) GTEST_SKIP() << kDelayPath << " is not installed";
    linkPlugin(kDelayPath);
    const Rendered rendered = renderDelayedTone(1000);
    ASSERT_EQ(rendered.exitCode, 0) << rendered.messages;
    const double closing = timeOf(rendered.trace, "\te\tClosing") / 1000.0;
    const double idle = timeOf(rendered.trace, "\te\tIdle") / 1000.0;
    ASSERT_GT(closing, 1.9);
    ASSERT_NEAR(idle - closing, 1.0, 0.03);

    // The whole half second of delayed tone, then the line is empty.
    EXPECT_GT(rendered.channelRms(0, closing + 0.02, closing + 0.45), 0.05);
    EXPECT_LT(rendered.channelRms(0, closing + 0.55, idle - 0.02), kSilent);
}

TEST_F(RenderFilters, PlateOnAnElementRingsOnAfterItStops) {
    if (!installed(kPlatePath)) GTEST_SKIP() << kPlatePath << " is not installed";
    linkPlugin(kPlatePath);
    writeSine("sounds/tone.wav", 20000, 8000, 440.0, 0.2);
    writeText("adventures/test.xml", R"(<a><scene>
        <sound name="e" key="e" src="tone.wav" autoStart="1" closeDelay="3000">
            <filter name="plate" time="7" damping="0.1" mix="1"/></sound>
    </scene></a>)");
    const Rendered rendered = render("1000:e", 5);
    ASSERT_EQ(rendered.exitCode, 0) << rendered.messages;
    const double closing = timeOf(rendered.trace, "\te\tClosing") / 1000.0;
    ASSERT_GT(closing, 0.9);
    // The reverb fills both channels and outlasts the tone.
    EXPECT_GT(rendered.channelRms(0, 0.3, 0.9), 0.02);
    EXPECT_GT(rendered.channelRms(1, 0.3, 0.9), 0.02);
    EXPECT_GT(rendered.channelRms(0, closing + 0.3, closing + 0.6), 0.002);
    EXPECT_GT(rendered.channelRms(1, closing + 0.3, closing + 0.6), 0.002);
    EXPECT_LT(rendered.channelRms(0, closing + 3.1, 5.0), kSilent);
}

namespace {

/// The worked examples of the README's section on effects, word for word.
constexpr const char* kReadmeDungeon = R"(<adventure>
  <scene name="Dungeon" key="D">
    <!-- plate: reverb time, damping, dry/wet mix; acts on the whole scene -->
    <filter name="plate" time="7.5" damping="0.1" mix="0.3"/>

    <sound name="Dripping water" key="d" src="drips.wav" loopCount="-1"/>

    <sound name="Chains" key="c" src="chains.wav">
      <!-- amp: gain in dB; only this element is 6 dB quieter -->
      <filter name="amp" gain="-6"/>
    </sound>
  </scene>
</adventure>)";

constexpr const char* kReadmeBell = R"(
<!-- gverb: room size (m), reverb time (s), damping, input bandwidth,
     dry level (dB), early reflections (dB), tail level (dB) -->
<sound name="Bell" key="b" src="bell.wav" closeDelay="4000">
  <filter name="gverb" room="150" time="4" damping="0.5" bandwidth="0.75"
          dry="0" early="-12" tail="-9"/>
</sound>
)";

/// Links exactly `plugins` into plugins/ and renders the keys.
Rendered renderWithPlugins(std::initializer_list<const char*> plugins, const std::string& keys,
                           double seconds) {
    std::filesystem::remove_all("plugins");
    std::filesystem::create_directories("plugins");
    for (const char* path : plugins) linkPlugin(path);
    return render(keys, seconds);
}

}  // namespace

TEST_F(RenderFilters, ReadmeDungeonExampleIsHeard) {
    for (const char* path : {kPlatePath, kAmpPath}) {
        if (!installed(path)) GTEST_SKIP() << path << " is not installed";
    }
    writeSine("sounds/chains.wav", 1000, 8000, 660.0, 0.2);
    writeSine("sounds/drips.wav", 1000, 8000, 880.0, 0.2);
    writeText("adventures/test.xml", kReadmeDungeon);
    // The chains play from 1 s to 2 s.
    const Rendered both = renderWithPlugins({kPlatePath, kAmpPath}, "1000:c", 3);
    const Rendered plateOnly = renderWithPlugins({kPlatePath}, "1000:c", 3);
    const Rendered none = renderWithPlugins({}, "1000:c", 3);
    ASSERT_EQ(both.exitCode, 0) << both.messages;
    ASSERT_EQ(none.exitCode, 0) << none.messages;

    for (const int channel : {0, 1}) {
        SCOPED_TRACE(channel);
        // -6 dB is a factor of 0.501; the plate after it is linear.
        EXPECT_NEAR(both.channelRms(channel, 1.2, 1.9) / plateOnly.channelRms(channel, 1.2, 1.9), 0.501, 0.005);
        // The scene's reverb rings on after the chains end.
        EXPECT_GT(both.channelRms(channel, 2.2, 2.8), 0.004);
        EXPECT_LT(none.channelRms(channel, 2.2, 2.8), kSilent);
    }
}

TEST_F(RenderFilters, ReadmeBellRingsOnAfterItIsStopped) {
    if (!installed(kGverbPath)) GTEST_SKIP() << kGverbPath << " is not installed";
    writeSine("sounds/bell.wav", 5000, 8000, 440.0, 0.2);
    writeText("adventures/test.xml", std::string("<adventure><scene>") + kReadmeBell + "</scene></adventure>");
    // Started at 1 s, stopped at 2 s.
    const Rendered hall = renderWithPlugins({kGverbPath}, "1000:b,2000:b", 7);
    const Rendered dry = renderWithPlugins({}, "1000:b,2000:b", 7);
    ASSERT_EQ(hall.exitCode, 0) << hall.messages;
    const double closing = timeOf(hall.trace, "\tBell\tClosing") / 1000.0;
    ASSERT_NEAR(closing, 2.02, 0.03);
    EXPECT_NEAR(timeOf(hall.trace, "\tBell\tIdle") / 1000.0, closing + 4.0, 0.03);

    for (const int channel : {0, 1}) {
        SCOPED_TRACE(channel);
        EXPECT_GT(hall.channelRms(channel, closing + 0.05, closing + 0.5), 0.01);
        EXPECT_LT(dry.channelRms(channel, closing + 0.05, closing + 0.5), kSilent);
        EXPECT_LT(hall.channelRms(channel, closing + 4.05, 7.0), kSilent);
    }
}
