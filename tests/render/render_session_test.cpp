// Whole renders: timelines, screens and audio of small adventures.
#include "RenderTestSupport.h"

#include <sndfile.h>

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
    // Every moment lands exactly on its planned time.
    EXPECT_EQ(timeOf(rendered.trace, "el\tPlaying"), 11000);
    EXPECT_EQ(timeOf(rendered.trace, "\tel\tFinished"), 19000) << rendered.trace;
    // Silent while waiting, sounding after the fade-in, silent in the loop delay.
    EXPECT_LT(rendered.channelRms(0, 10.2, 10.9), 1e-6);
    EXPECT_GT(rendered.channelRms(0, 12.0, 13.5), 0.05);
    EXPECT_LT(rendered.channelRms(0, 14.3, 15.8), 1e-6);
    EXPECT_LT(rendered.channelRms(0, 19.2, 20.0), 1e-6);
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
    EXPECT_GT(rendered.channelRms(0, 3.0, 4.0), 0.05);
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
    // A PEAK chunk would hold the second it was written, so two renders a
    // second apart would differ.
    EXPECT_EQ(firstWav.find("PEAK"), std::string::npos);
    EXPECT_FALSE(first.trace.empty());
}

/// A picked seed is said on standard error and in the timeline's first line,
/// and a render given that seed is the same file again, byte for byte; two
/// picked seeds draw differently. Without --seed nothing of this appears.
TEST_F(RenderSession, APickedSeedIsSaidAndRepeatsTheRenderExactly) {
    writeSine("sounds/tone.wav", 300);
    writeText("adventures/test.xml", R"(<a><scene><alt name="alt" autoStart="1" loopCount="-1" loopDelayVariance="5000">
        <sound src="tone.wav" volumeVariance="0.5" positionXvariance="5"/><sound src="tone.wav" startDelayVariance="2000"/>
        </alt></scene></a>)");
    auto seeded = [](const std::string& seed) {
        RenderOptions options = testOptions("", 30);
        options.seed = gloam::parseSeed(seed);
        Rendered rendered = render(options);
        return std::pair{rendered, readFile("out.wav")};
    };
    auto pickedSeed = [](const Rendered& rendered) {
        const std::string said = "gloam-render: seed ";
        EXPECT_EQ(rendered.messages.rfind(said, 0), 0u) << rendered.messages;
        const std::string seed = rendered.messages.substr(said.size(), rendered.messages.find('\n') - said.size());
        EXPECT_EQ(rendered.trace.rfind("# seed " + seed + "\n", 0), 0u);
        return seed;
    };
    const auto [first, firstWav] = seeded("random");
    const auto [second, secondWav] = seeded("random");
    ASSERT_EQ(first.exitCode, 0);
    const std::string firstSeed = pickedSeed(first);
    const std::string secondSeed = pickedSeed(second);
    ASSERT_NE(firstSeed, secondSeed);
    EXPECT_NE(first.trace.substr(first.trace.find('\n')), second.trace.substr(second.trace.find('\n')));
    EXPECT_NE(firstWav, secondWav);

    const auto [again, againWav] = seeded(firstSeed);
    EXPECT_TRUE(again.messages.empty()) << again.messages;
    EXPECT_EQ(again.trace, first.trace);
    EXPECT_EQ(againWav, firstWav);
    EXPECT_EQ(seeded(secondSeed).second, secondWav);

    const Rendered unseeded = render("", 30);
    EXPECT_TRUE(unseeded.messages.empty());
    EXPECT_EQ(unseeded.trace.find("seed"), std::string::npos);
    EXPECT_NE(unseeded.trace, again.trace);
}

TEST_F(RenderSession, SceneVolumeAndPositionAreHeard) {
    writeSine("sounds/tone.wav", 5000);
    writeText("adventures/test.xml", R"(<a><scene key="f"><sound src="tone.wav" autoStart="1"/></scene>
        <scene key="h" volume="0.5"><sound src="tone.wav" autoStart="1"/></scene>
        <scene key="r"><sound src="tone.wav" autoStart="1" positionX="3" positionY="1"/></scene></a>)");
    const Rendered rendered = render("1500:h,3000:r", 4.5);
    ASSERT_EQ(rendered.exitCode, 0);
    const double full = rendered.channelRms(0, 0.5, 1.4);
    const double half = rendered.channelRms(0, 2.0, 2.9);
    EXPECT_NEAR(20.0 * std::log10(half / full), -6.02, 0.1);
    EXPECT_GT(rendered.channelRms(1, 3.5, 4.4), 2.0 * rendered.channelRms(0, 3.5, 4.4));
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

TEST_F(RenderSession, NamesCannotForgeTimelineLinesOrFields) {
    writeSine("sounds/tone.wav", 1000);
    // A tab, a line break with a forged event after it, a backslash, a
    // carriage return and another control character, all in one name.
    // The second name holds a C1 control (CSI, U+009B), the same as a bare
    // byte, and a byte that begins no UTF-8 character, around UTF-8 text
    // that stays as it is.
    writeText("adventures/test.xml", R"(<a><scene><sound name="a&#9;b&#10;0	key	27\c&#13;&#1;" src="tone.wav"
        autoStart="1"/><sound name="C&#155;2J)" "\x9b" "2J\xff\xc3\xa9" R"(" src="tone.wav" autoStart="1"/></scene></a>)");
    const Rendered rendered = render("", 2);
    ASSERT_EQ(rendered.exitCode, 0) << rendered.messages;
    std::istringstream lines(rendered.trace);
    std::string line;
    int states = 0;
    while (std::getline(lines, line)) {
        const auto fields = std::count(line.begin(), line.end(), '\t') + 1;
        ASSERT_EQ(fields, line.find("\tkey\t") != std::string::npos ? 3 : 5) << line;
        ASSERT_EQ(line.find('\r'), std::string::npos);
        ++states;
    }
    EXPECT_EQ(states, 4);
    EXPECT_TRUE(hasLine(rendered.trace, R"(0	state	0/0	a\tb\n0\tkey\t27\\c\r\x01	Playing)")) << rendered.trace;
    EXPECT_TRUE(hasLine(rendered.trace, "0\tstate\t0/1\tC\\xc2\\x9b2J\\x9b2J\\xff\xc3\xa9\tPlaying")) << rendered.trace;
}

TEST_F(RenderSession, OutputsThatNameAnInputOrEachOtherAreRefusedBeforeAnythingIsWritten) {
    writeSine("sounds/tone.wav", 1000);
    writeText("adventures/test.xml", R"(<a><scene><sound src="tone.wav" autoStart="1"/></scene></a>)");
    const std::string adventure = readFile("adventures/test.xml");
    const std::string sound = readFile("sounds/tone.wav");
    std::filesystem::create_symlink("adventures/test.xml", "link.tsv");
    std::filesystem::create_hard_link("adventures/test.xml", "hard.tsv");
    std::filesystem::create_directory("elsewhere");
    std::filesystem::create_directory_symlink("../sounds", "elsewhere/samples");

    struct Case {
        std::string output, trace, screens;
    };
    for (const Case& outputs : std::vector<Case>{
             {"out.wav", "adventures/test.xml", ""},          // the adventure itself
             {"out.wav", "link.tsv", ""},                     // through a symbolic link
             {"out.wav", "", "hard.tsv"},                     // through a hard link
             {"sounds/../sounds/tone.wav", "", ""},           // a sound, spelled otherwise
             {"elsewhere/samples/new.wav", "", ""},           // the sounds folder, through a link
             {"out.wav", "", "adventures/notes.txt"},         // a new file among the adventures
             {"out.wav", "./out.wav", ""},                    // two outputs, one file
             {"out.wav", "trace.tsv", "elsewhere/../trace.tsv"},
         }) {
        RenderOptions options = testOptions("", 1);
        options.output = outputs.output;
        options.trace = outputs.trace;
        options.screens = outputs.screens;
        const Rendered rendered = render(options);
        EXPECT_EQ(rendered.exitCode, 2) << outputs.output << ' ' << outputs.trace << ' ' << outputs.screens;
        EXPECT_EQ(std::count(rendered.messages.begin(), rendered.messages.end(), '\n'), 1) << rendered.messages;
        EXPECT_EQ(readFile("adventures/test.xml"), adventure);
        EXPECT_EQ(readFile("sounds/tone.wav"), sound);
        EXPECT_EQ(filesIn("."), (std::vector<std::string>{"adventures", "elsewhere", "hard.tsv", "link.tsv", "sounds"}));
        EXPECT_EQ(filesIn("adventures"), std::vector<std::string>{"test.xml"});
    }
}

TEST_F(RenderSession, SoundsReachedThroughLinksInTheSoundsFolderAreNeverOverwritten) {
    // A shared library of sounds, linked into sounds/ file by file and as a
    // whole sub-folder, and one sound of sounds/ hard-linked out of it.
    writeSine("library/rain.wav", 1000);
    writeSine("library/bell.wav", 1000);
    writeSine("sounds/drip.wav", 1000);
    std::filesystem::create_symlink("../library/rain.wav", "sounds/rain.wav");
    std::filesystem::create_directory_symlink("../library", "sounds/lib");
    std::filesystem::create_hard_link("sounds/drip.wav", "library/drip.wav");
    writeText("adventures/test.xml", R"(<a><scene><sound src="rain.wav" autoStart="1"/><sound src="lib/bell.wav"/>
        <sound src="drip.wav"/></scene></a>)");
    const std::string rain = readFile("library/rain.wav");
    const std::string bell = readFile("library/bell.wav");
    const std::string drip = readFile("sounds/drip.wav");

    struct Case {
        std::string output;
        std::string keys;
        std::string adventure;
        std::string saying;
    };
    for (const Case& each : std::vector<Case>{
             {"library/rain.wav", "", "adventures/test.xml", "which the adventure plays"},  // linked into sounds/
             {"library/bell.wav", "", "adventures/test.xml", "which the adventure plays"},  // in a linked sub-folder
             {"library/drip.wav", "", "adventures/test.xml", "which the adventure plays"},  // a hard link to a sound
             {"sounds/lib/new.wav", "", "adventures/test.xml", "lies in the folder"},       // in sounds/ as written
             {"library/rain.wav", "100:!,200:enter", "", "which the adventure plays"},      // loaded by the keys
         }) {
        RenderOptions options = testOptions(each.keys, 1, each.adventure);
        options.output = each.output;
        options.trace.clear();
        options.screens.clear();
        const Rendered rendered = render(options);
        EXPECT_EQ(rendered.exitCode, 2) << each.output << ' ' << each.keys;
        EXPECT_EQ(std::count(rendered.messages.begin(), rendered.messages.end(), '\n'), 1) << rendered.messages;
        EXPECT_NE(rendered.messages.find(each.saying), std::string::npos) << rendered.messages;
        EXPECT_EQ(readFile("library/rain.wav"), rain) << each.output;
        EXPECT_EQ(readFile("library/bell.wav"), bell) << each.output;
        EXPECT_EQ(readFile("sounds/drip.wav"), drip) << each.output;
        EXPECT_EQ(filesIn("library"), (std::vector<std::string>{"bell.wav", "drip.wav", "rain.wav"})) << each.output;
    }
    // A file of the library that the adventure does not play may be written.
    RenderOptions options = testOptions("", 1);
    options.output = "library/preview.wav";
    const Rendered preview = render(options);
    EXPECT_EQ(preview.exitCode, 0) << preview.messages;
}

TEST_F(RenderSession, AFailedWriteKeepsTheLastGoodFilesAndSaysSo) {
    writeSine("sounds/tone.wav", 1000);
    writeText("adventures/test.xml", R"(<a><scene><sound name="tone" src="tone.wav" autoStart="1"/></scene></a>)");
    const Rendered good = render("", 2);
    ASSERT_EQ(good.exitCode, 0) << good.messages;
    const std::string goodWav = readFile("out.wav");

    // A full disk for the timeline: the render fails with a message, and
    // neither it nor the audio replaces what the last good render left.
    RenderOptions options = testOptions("", 3);
    options.trace = "/dev/full";
    const Rendered failed = render(options);
    EXPECT_EQ(failed.exitCode, 2);
    EXPECT_NE(failed.messages.find("/dev/full"), std::string::npos) << failed.messages;
    EXPECT_EQ(std::count(failed.messages.begin(), failed.messages.end(), '\n'), 1) << failed.messages;
    EXPECT_EQ(readFile("out.wav"), goodWav);
    EXPECT_EQ(readFile("screens.txt"), good.screens);
    EXPECT_EQ(filesIn("."), (std::vector<std::string>{"adventures", "out.wav", "screens.txt", "sounds", "trace.tsv"}));

    // Devices are written directly: audio into /dev/null, only a timeline kept.
    options = testOptions("", 2);
    options.output = "/dev/null";
    options.screens.clear();
    const Rendered timelineOnly = render(options);
    EXPECT_EQ(timelineOnly.exitCode, 0) << timelineOnly.messages;
    EXPECT_TRUE(hasLine(timelineOnly.trace, "1000\tstate\t0/0\ttone\tFinished")) << timelineOnly.trace;
}

TEST_F(RenderSession, TheExtensionChoosesTheAudioFormatAndEachCarriesTheSameSound) {
    writeSine("sounds/tone.wav", 3000, 8000, 440.0, 0.5);
    // Ahead to the right, at the angle of a 5.1 front right speaker (30 degrees).
    writeText("adventures/test.xml", R"(<a><scene><sound src="tone.wav" autoStart="1" positionX="0.57735" positionY="1"/>
        </scene></a>)");
    auto renderTo = [](const std::string& output, int channels = 2) {
        RenderOptions options = testOptions("", 2);
        options.output = output;
        options.channels = channels;
        return render(options);
    };
    const Rendered wav = renderTo("out.wav");
    ASSERT_EQ(wav.exitCode, 0) << wav.messages;
    EXPECT_EQ(wav.format, SF_FORMAT_WAV | SF_FORMAT_FLOAT);
    const double level = wav.channelRms(1, 0.5, 1.5);
    ASSERT_GT(level, 0.1);
    // Mono and stereo WAVs carry the plain float format chunk with its size
    // field, which sox and other readers take without a warning.
    const std::string header = readFile("out.wav").substr(0, 256);
    const auto fmt = header.find("fmt ");
    ASSERT_NE(fmt, std::string::npos);
    EXPECT_EQ(header.substr(fmt + 4, 6), std::string("\x12\0\0\0\x03\0", 6));
    EXPECT_EQ(header.substr(fmt + 24, 2), std::string("\0\0", 2));

    const Rendered flac = renderTo("out.FLAC");
    ASSERT_EQ(flac.exitCode, 0) << flac.messages;
    EXPECT_EQ(flac.format, SF_FORMAT_FLAC | SF_FORMAT_PCM_24);
    ASSERT_EQ(flac.samples.size(), wav.samples.size());
    for (std::size_t i = 0; i < wav.samples.size(); ++i) ASSERT_NEAR(flac.samples[i], wav.samples[i], 1e-6) << i;

    const Rendered ogg = renderTo("out.ogg");
    ASSERT_EQ(ogg.exitCode, 0) << ogg.messages;
    EXPECT_EQ(ogg.format, SF_FORMAT_OGG | SF_FORMAT_VORBIS);
    EXPECT_NEAR(ogg.channelRms(1, 0.5, 1.5) / level, 1.0, 0.05);

    // Vorbis has its own speaker order: front right is its third channel.
    const Rendered surround = renderTo("surround.ogg", 6);
    ASSERT_EQ(surround.exitCode, 0) << surround.messages;
    const double frontRight = surround.channelRms(2, 0.5, 1.5);
    EXPECT_GT(frontRight, 0.1);
    for (int channel : {0, 1, 3, 4, 5}) EXPECT_LT(surround.channelRms(channel, 0.5, 1.5), 0.01 * frontRight) << channel;

    const Rendered unknown = renderTo("out.mp3");
    EXPECT_EQ(unknown.exitCode, 2);
    EXPECT_EQ(std::count(unknown.messages.begin(), unknown.messages.end(), '\n'), 1) << unknown.messages;
    EXPECT_FALSE(std::filesystem::exists("out.mp3"));
}

namespace {

/// Pearson correlation of one channel of a render with a reference signal,
/// over frames [from, to).
double correlation(const Rendered& rendered, int channel, const std::vector<float>& reference, std::size_t from,
                   std::size_t to) {
    double sumXY = 0.0;
    double sumXX = 0.0;
    double sumYY = 0.0;
    for (std::size_t i = from; i < to; ++i) {
        const double x = rendered.samples[i * static_cast<std::size_t>(rendered.channels) + static_cast<std::size_t>(channel)];
        const double y = reference[i];
        sumXY += x * y;
        sumXX += x * x;
        sumYY += y * y;
    }
    return sumXX > 0.0 && sumYY > 0.0 ? sumXY / std::sqrt(sumXX * sumYY) : 0.0;
}

}  // namespace

/// A stereo file at the listener with spread="180" plays as the stereo file it
/// is, in every mode and through the resampler; without a spread it is mixed
/// down and placed exactly as before, sample for sample.
TEST_F(RenderSession, SpreadPlaysAStereoFileAsStereoAndItsAbsenceChangesNothing) {
    const int fileRate = 16000;
    const std::vector<float> left = testsupport::sine(fileRate * 2, 300.0, fileRate, 0.4);
    const std::vector<float> right = testsupport::sine(fileRate * 2, 700.0, fileRate, 0.4);
    std::vector<float> stereo;
    std::vector<float> mixedDown;
    for (std::size_t i = 0; i < left.size(); ++i) {
        stereo.insert(stereo.end(), {left[i], right[i]});
        mixedDown.push_back((left[i] + right[i]) * 0.5f);
    }
    ASSERT_TRUE(testsupport::writeSound("sounds/stereo.wav", SF_FORMAT_WAV | SF_FORMAT_FLOAT, fileRate, 2, stereo));
    ASSERT_TRUE(testsupport::writeSound("sounds/mono.wav", SF_FORMAT_WAV | SF_FORMAT_FLOAT, fileRate, 1, mixedDown));
    // The references at the render's rate (8 kHz): every second frame.
    std::vector<float> leftAt8k;
    std::vector<float> rightAt8k;
    for (std::size_t i = 0; i < left.size(); i += 2) {
        leftAt8k.push_back(left[i]);
        rightAt8k.push_back(right[i]);
    }

    for (const char* mode : {"stream", "preload", "compressed"}) {
        writeText("adventures/test.xml", std::string(R"(<a mode=")") + mode +
                                             R"("><scene><sound src="stereo.wav" spread="180" autoStart="1"/></scene></a>)");
        const Rendered spread = render("", 2);
        ASSERT_EQ(spread.exitCode, 0) << spread.messages;
        // Well inside the sound, away from the resampler's edges.
        EXPECT_GT(correlation(spread, 0, leftAt8k, 1000, 15000), 0.9) << mode;
        EXPECT_LT(std::abs(correlation(spread, 0, rightAt8k, 1000, 15000)), 0.1) << mode;
        EXPECT_GT(correlation(spread, 1, rightAt8k, 1000, 15000), 0.9) << mode;
        EXPECT_LT(std::abs(correlation(spread, 1, leftAt8k, 1000, 15000)), 0.1) << mode;
        // At full level: the file's own channels, not a half of each.
        EXPECT_NEAR(spread.channelRms(0, 0.2, 1.8), 0.4 / std::sqrt(2.0), 0.01) << mode;

        writeText("adventures/test.xml", std::string(R"(<a mode=")") + mode +
                                             R"("><scene><sound src="stereo.wav" positionX="2" autoStart="1"/></scene></a>)");
        render("", 2);
        const std::string withoutSpread = readFile("out.wav");
        writeText("adventures/test.xml", std::string(R"(<a mode=")") + mode +
                                             R"("><scene><sound src="mono.wav" positionX="2" autoStart="1"/></scene></a>)");
        render("", 2);
        EXPECT_EQ(withoutSpread, readFile("out.wav")) << mode;
    }
}

/// Spread narrows with its angle and turns with the source: at 90 degrees a
/// stereo file straight ahead keeps its left mostly left; placed far to the
/// right, both channels come from the right; a spread on an enclosing element
/// reaches its sounds.
TEST_F(RenderSession, SpreadWidensAroundTheSourceDirection) {
    const int rate = 8000;
    const std::vector<float> tone = testsupport::sine(rate * 2, 300.0, rate, 0.4);
    std::vector<float> leftOnly;
    for (float sample : tone) leftOnly.insert(leftOnly.end(), {sample, 0.0f});
    ASSERT_TRUE(testsupport::writeSound("sounds/left.wav", SF_FORMAT_WAV | SF_FORMAT_FLOAT, rate, 2, leftOnly));
    auto levels = [](const std::string& element) {
        writeText("adventures/test.xml", "<a><scene>" + element + "</scene></a>");
        const Rendered rendered = render("", 1.5);
        EXPECT_EQ(rendered.exitCode, 0) << rendered.messages;
        return std::pair{rendered.channelRms(0, 0.2, 1.4), rendered.channelRms(1, 0.2, 1.4)};
    };
    const auto full = levels(R"(<sound src="left.wav" spread="180" autoStart="1"/>)");
    const auto half = levels(R"(<sound src="left.wav" spread="90" autoStart="1"/>)");
    const auto none = levels(R"(<sound src="left.wav" autoStart="1"/>)");
    const auto turned = levels(R"(<sound src="left.wav" spread="180" positionX="1" positionY="0.0001" autoStart="1"/>)");
    const auto inherited = levels(R"(<seq spread="180" autoStart="1"><sound src="left.wav"/></seq>)");
    EXPECT_LT(full.second, 1e-4);
    EXPECT_GT(half.first, 2.0 * half.second);
    EXPECT_GT(half.second, 0.1 * half.first);
    // No spread: the mixdown (half the level) in the middle.
    EXPECT_NEAR(none.first, none.second, 1e-6);
    EXPECT_NEAR(none.first, 0.2 / std::sqrt(2.0) * std::sqrt(0.5), 0.005);
    // A source at 90 degrees right: its left channel now comes from straight ahead.
    EXPECT_NEAR(turned.first, turned.second, 0.01);
    EXPECT_NEAR(inherited.first, full.first, 1e-6);
    EXPECT_LT(inherited.second, 1e-4);
}

/// Cursor down and up move the master volume a tenth of full level a press,
/// each step changing the level by exactly that (within 0.2 dB) without a
/// jump larger than the signal's own; ten presses reach silence and no
/// further; the screen shows the volume only while it is not 100 %.
TEST_F(RenderSession, CursorUpAndDownStepTheMasterVolumeWithoutClicks) {
    // A low tone: its own steps from sample to sample are small, so a jump shows.
    writeSine("sounds/bed.wav", 2000, 8000, 20.0, 0.5);
    writeText("adventures/test.xml", R"(<a><scene><sound src="bed.wav" autoStart="1" loopCount="-1"/></scene></a>)");
    // Pressed near the tone's peaks, where a jump would be largest.
    std::string keys = "1012:down,2012:down,3012:up,4012:up,4512:up";
    for (int i = 0; i < 11; ++i) keys += ",5012:down";
    const Rendered rendered = render(keys, 6);
    ASSERT_EQ(rendered.exitCode, 0) << rendered.messages;
    const double full = rendered.rms(0.2, 0.9);
    auto stepDb = [&](double from, double to) { return 20.0 * std::log10(rendered.rms(from, to) / full); };
    EXPECT_NEAR(stepDb(1.2, 1.9), 20.0 * std::log10(0.9), 0.2);
    EXPECT_NEAR(stepDb(2.2, 2.9), 20.0 * std::log10(0.8), 0.2);
    EXPECT_NEAR(stepDb(3.2, 3.9), 20.0 * std::log10(0.9), 0.2);
    EXPECT_NEAR(stepDb(4.2, 4.45), 0.0, 0.05);
    EXPECT_NEAR(stepDb(4.6, 4.9), 0.0, 0.05) << "no louder than full";
    EXPECT_LT(rendered.rms(5.2, 6.0), 1e-6) << "ten presses: silence";

    // The largest sample-to-sample change is the tone's own.
    auto largestStep = [&](double from, double to) {
        float largest = 0.0f;
        const auto first = static_cast<std::size_t>(from * 8000) * 2;
        const auto last = std::min(static_cast<std::size_t>(to * 8000) * 2, rendered.samples.size());
        for (std::size_t i = first + 2; i < last; ++i) largest = std::max(largest, std::abs(rendered.samples[i] - rendered.samples[i - 2]));
        return largest;
    };
    EXPECT_LE(largestStep(0.9, 5.5), largestStep(0.1, 0.9) * 1.001f);

    EXPECT_NE(rendered.screens.find("\n1 channels active, volume 90 %\n"), std::string::npos);
    EXPECT_NE(rendered.screens.find("\n1 channels active, volume 80 %\n"), std::string::npos);
    EXPECT_NE(rendered.screens.find("channels active, volume 0 %\n"), std::string::npos);
    EXPECT_EQ(rendered.screens.find("volume 100"), std::string::npos);
    // A scripted key is read one lead (20 ms) before it acts, and the screen
    // is written then.
    const std::string atFullAgain = segment(rendered.screens, "@3992", "@4992");
    EXPECT_NE(atFullAgain.find("\n1 channels active\n"), std::string::npos) << atFullAgain;
}

/// Delete fades out the room: every element of the current scene that plays
/// or waits fades over its own fadeOut (at once without one), just as its own
/// key would; what is idle stays idle.
TEST_F(RenderSession, DeleteFadesEveryRunningElementOfTheSceneOverItsOwnFadeOut) {
    writeSine("sounds/bed.wav", 2000, 8000, 200.0, 0.5);
    writeText("adventures/test.xml", R"(<a><scene>
        <sound name="bed" src="bed.wav" autoStart="1" loopCount="-1" fadeOut="1000"/>
        <sound name="drone" src="bed.wav" autoStart="1" loopCount="-1" positionX="-2"/>
        <sound name="later" src="bed.wav" autoStart="1" startDelay="9000"/>
        <sound name="idle" key="i" src="bed.wav"/>
        </scene></a>)");
    const Rendered rendered = render("2000:delete", 4);
    ASSERT_EQ(rendered.exitCode, 0) << rendered.messages;
    EXPECT_TRUE(hasLine(rendered.trace, "2000\tkey\t224"));
    EXPECT_TRUE(hasLine(rendered.trace, "2000\tkey\t83"));
    EXPECT_EQ(timeOf(rendered.trace, "\tbed\tClosing"), 3000);
    // No fadeOut: stopped at the next pass, as with its own key.
    EXPECT_LE(timeOf(rendered.trace, "\tdrone\tClosing"), 2021);
    EXPECT_LE(timeOf(rendered.trace, "\tlater\tClosing"), 2021);
    EXPECT_EQ(rendered.trace.find("\tidle\t"), std::string::npos);
    // The bed alone, halfway down its fade, then silence.
    const double full = rendered.rms(0.5, 1.5);
    EXPECT_GT(full, 0.1);
    EXPECT_NEAR(rendered.rms(2.45, 2.55) / rendered.rms(2.02, 2.06), 0.5, 0.06);
    EXPECT_LT(rendered.rms(3.1, 4.0), 1e-6);
}

/// A scene's fadeOut fades its group to silence when it is left, its
/// elements stopping only then, while the next scene's fadeIn brings that one
/// up at once: a cross-fade, each a straight line, without a gap or a click.
/// Left is scene A (heard on the left), right scene B.
TEST_F(RenderSession, SceneFadesCrossFadeOnASwitchAndAPlainSceneStillCuts) {
    writeSine("sounds/bed.wav", 2000, 8000, 20.0, 0.5);
    writeText("adventures/test.xml", R"(<a>
        <scene name="A" key="a" fadeOut="3000"><sound name="left" src="bed.wav" autoStart="1" loopCount="-1" positionX="-1"/></scene>
        <scene name="B" key="b" fadeIn="2000"><sound name="right" src="bed.wav" autoStart="1" loopCount="-1" positionX="1"/></scene>
        <scene name="C" key="c"><sound name="plain" src="bed.wav" autoStart="1" loopCount="-1" positionX="1"/></scene>
        </a>)");
    const Rendered rendered = render("2000:b,7000:a,8000:c", 9);
    ASSERT_EQ(rendered.exitCode, 0) << rendered.messages;
    const double full = rendered.channelRms(0, 0.0, 2.0);
    ASSERT_GT(full, 0.1);
    // 100 ms windows (two periods of the tone) along both fades.
    for (double t : {0.5, 1.0, 1.5, 2.0, 2.5}) {
        const double at = 2.0 + t;
        const double left = rendered.channelRms(0, at - 0.05, at + 0.05) / full;
        EXPECT_NEAR(left, 1.0 - t / 3.0, 0.02) << "A at " << at;
        const double right = rendered.channelRms(1, at - 0.05, at + 0.05) / full;
        EXPECT_NEAR(right, std::min(1.0, t / 2.0), 0.02) << "B at " << at;
    }
    EXPECT_LT(rendered.channelRms(0, 5.05, 6.9), 1e-6);
    // A's elements play on under the fade and stop when it is over; the
    // screen shows B at once.
    EXPECT_EQ(timeOf(rendered.trace, "0/0\tleft\tClosing"), 5000);
    EXPECT_EQ(timeOf(rendered.trace, "1/0\tright\tPlaying"), 2000);
    EXPECT_NE(segment(rendered.screens, "@2000", "@2020").find(">B<"), std::string::npos);
    // No click anywhere along the way.
    float ownStep = 0.0f;
    float largest = 0.0f;
    for (std::size_t i = 2; i < rendered.samples.size(); ++i) {
        const float step = std::abs(rendered.samples[i] - rendered.samples[i - 2]);
        (i < 2 * 16000 ? ownStep : largest) = std::max(i < 2 * 16000 ? ownStep : largest, step);
    }
    EXPECT_LE(largest, ownStep * 1.01f);

    // B has no fadeOut: back to A it cuts, as every scene change did; and C,
    // without fades, starts at full level at once while A fades.
    EXPECT_EQ(timeOf(rendered.trace, "1/0\tright\tClosing"), 7000);
    EXPECT_EQ(timeOf(rendered.trace, "2/0\tplain\tPlaying"), 8000);
    EXPECT_NEAR(rendered.channelRms(1, 8.0, 8.1) / full, 1.0, 0.02);
}

/// A scene chosen again while it still fades out comes back without a cut;
/// its own key with a fadeOut fades it out and then starts it afresh; and
/// loading another adventure lets the current scene fade out while the new
/// one starts.
TEST_F(RenderSession, ASceneFadingOutComesBackRestartsAfterItsFadeAndOutlivesAReload) {
    writeSine("sounds/bed.wav", 2000, 8000, 20.0, 0.5);
    writeText("adventures/test.xml", R"(<a>
        <scene name="A" key="a" fadeOut="2000"><sound name="bed" src="bed.wav" autoStart="1" loopCount="-1"/></scene>
        <scene name="B" key="b"/></a>)");
    const Rendered back = render("1000:b,2000:a", 4);
    ASSERT_EQ(back.exitCode, 0) << back.messages;
    EXPECT_EQ(back.trace.find("bed\tClosing"), std::string::npos) << back.trace;
    const double full = back.rms(0.2, 1.0);
    EXPECT_NEAR(back.rms(1.9, 2.0) / full, 0.525, 0.02);  // halfway down the fade
    EXPECT_NEAR(back.rms(2.2, 4.0) / full, 1.0, 0.01);
    EXPECT_GT(back.rms(1.95, 2.25) / full, 0.45) << "no gap";

    const Rendered restarted = render("1000:a", 4);
    EXPECT_EQ(timeOf(restarted.trace, "bed\tClosing"), 3000);
    EXPECT_TRUE(hasLine(restarted.trace, "3000\tstate\t0/0\tbed\tPlaying")) << restarted.trace;
    EXPECT_NEAR(restarted.rms(1.9, 2.1) / full, 0.5, 0.05);

    // Reloaded through the menu: the old scene fades out (it has no place in
    // the new adventure, so its path is unknown) while the new one plays.
    const Rendered reloaded = render("1000:!,1000:enter", 4);
    ASSERT_EQ(reloaded.exitCode, 0) << reloaded.messages;
    EXPECT_TRUE(hasLine(reloaded.trace, "3000\tstate\t?\tbed\tClosing")) << reloaded.trace;
    EXPECT_EQ(timeOf(reloaded.trace, "0/0\tbed\tClosing"), -1);
    EXPECT_NEAR(reloaded.rms(3.2, 4.0) / full, 1.0, 0.01);
    EXPECT_GT(reloaded.rms(1.5, 2.5) / full, 1.05) << "the old scene fading under the new one";
}

/// With the adventure menu open the world keeps turning: a looping bed
/// sounds on, a delayed start comes on time; and when the menu goes (here by
/// Escape), the status screen is written again at once, though its text is
/// what it was.
TEST_F(RenderSession, TheWorldKeepsTurningWhileTheMenuIsOpenAndTheScreenComesBackAfterIt) {
    writeSine("sounds/bed.wav", 2000, 8000, 220.0, 0.5);
    writeSine("sounds/short.wav", 500, 8000, 330.0, 0.1);
    writeText("adventures/test.xml", R"(<a><scene>
        <sound name="bed" src="bed.wav" autoStart="1" loopCount="-1"/>
        <seq name="later" autoStart="1" startDelay="3200"><sound name="one" src="short.wav"/><sound name="two" src="short.wav"/></seq>
        </scene></a>)");
    const Rendered rendered = render("3000:!,8000:esc", 10);
    ASSERT_EQ(rendered.exitCode, 0) << rendered.messages;
    const double bed = rendered.rms(0.0, 2.0);
    for (double at = 0.0; at + 0.1 <= 10.0; at += 0.1) {
        EXPECT_GT(20.0 * std::log10(rendered.rms(at, at + 0.1) / bed), -40.0) << "silent at " << at << " s";
    }
    EXPECT_EQ(timeOf(rendered.trace, "\tone\tPlaying"), 3200);
    EXPECT_EQ(timeOf(rendered.trace, "\ttwo\tPlaying"), 3700);
    EXPECT_EQ(timeOf(rendered.trace, "\tlater\tFinished"), 4200);
    // The menu's keys are in the timeline; Escape closes the menu only.
    EXPECT_TRUE(hasLine(rendered.trace, "8000\tkey\t27"));
    EXPECT_EQ(rendered.trace.find("bed\tClosing"), std::string::npos);
    // Escape is read one lead (20 ms) before it acts, and the screen is written then.
    const std::string afterMenu = segment(rendered.screens, "@7980\n", "@");
    EXPECT_NE(afterMenu.find("channels active"), std::string::npos) << rendered.screens;
}
