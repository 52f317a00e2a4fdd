#include "app/StatusScreen.h"

#include "PlaybackWorld.h"
#include "app/Adventure.h"
#include "model/Scene.h"
#include "platform/ScriptedConsole.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using gloam::composeStatus;
using gloam::State;
using testsupport::PlaybackWorld;

const std::string help = "Cursor left/right to select scene, letter to start/stop, '!' to load\n";
const std::string separator =
    "\n\n   " + std::string(70, '-') + "\n\n";

std::string padded(const std::string& label) {
    return label.size() >= 19 ? label : label + std::string(19 - label.size(), ' ');
}

TEST(StatusText, WithoutAnAdventureIsTheHelpLineAndTheChannelCount) {
    PlaybackWorld world;
    EXPECT_EQ(composeStatus(world.adventure, 0), help + "\n\n0 channels active");
    EXPECT_EQ(composeStatus(world.adventure, 17), help + "\n\n17 channels active");
}

TEST(StatusText, AnAdventureWithoutScenesLooksLikeNoAdventure) {
    PlaybackWorld world;
    world.load("<adventure><notAScene name=\"x\"/></adventure>");
    EXPECT_EQ(composeStatus(world.adventure, 0), help + "\n\n0 channels active");
}

TEST(StatusText, FiveScenesStandFourToALineAndKeyedElementsFollowTheSeparator) {
    PlaybackWorld world;
    testsupport::writeSine("sounds/tone.wav", 5000);
    world.load(R"(<adventure>
        <scene name="Forest"/>
        <scene name="Tavern"><par name="Wind" key="1"/><par name="Birds" key="0"><sound src="tone.wav"/></par></scene>
        <scene name="Dungeon"/><scene name="Castle"/><scene name="Swamp"/>
    </adventure>)");
    world.adventure.currentScene = 1;
    world.element("Birds").startFromTop(world.moment());

    std::string expected = help + "\n" + padded(" Forest") + padded(">Tavern<") + padded(" Dungeon") +
                           padded(" Castle") + "\n" + padded(" Swamp") + separator + padded(" (0 P) Birds") + "\n" +
                           padded(" (1  ) Wind") + "\n" + "\n\n3 channels active";
    EXPECT_EQ(composeStatus(world.adventure, 3), expected);
}

TEST(StatusText, MarkersFollowTheElementStates) {
    PlaybackWorld world;
    testsupport::writeSine("sounds/tone.wav", 1000);
    testsupport::writeSine("sounds/short.wav", 200);
    world.load(R"(<a><scene>
        <sound name="e" key="e" src="tone.wav" startDelay="100" fadeOut="300" closeDelay="1000"/>
        <seq name="s" key="s"><sound name="f" key="f" src="short.wav"/><sound src="tone.wav"/></seq>
    </scene></a>)");
    gloam::Playable& element = world.element("e");
    auto markerLine = [&](char key, const char* name) {
        const std::string text = composeStatus(world.adventure, 0);
        const auto at = text.find(std::string(" (") + key + ' ');
        return at == std::string::npos ? std::string() : text.substr(at, 19) + '|' + name;
    };
    EXPECT_EQ(markerLine('e', "idle"), padded(" (e  ) e") + "|idle");
    element.startFromTop(world.moment());
    EXPECT_EQ(markerLine('e', "waiting"), padded(" (e E) e") + "|waiting");
    world.runFor(200);
    EXPECT_EQ(markerLine('e', "playing"), padded(" (e P) e") + "|playing");
    element.startFadeOut(world.moment());
    EXPECT_EQ(markerLine('e', "fading"), padded(" (e F) e") + "|fading");
    world.runFor(400);
    ASSERT_EQ(element.state(), State::Closing);
    EXPECT_EQ(markerLine('e', "closing"), padded(" (e  ) e") + "|closing");

    world.element("s").startFromTop(world.moment());
    world.runFor(300);
    ASSERT_EQ(world.element("f").state(), State::Finished);
    EXPECT_EQ(markerLine('f', "finished"), padded(" (f  ) f") + "|finished");
    EXPECT_EQ(markerLine('s', "sequence"), padded(" (s P) s") + "|sequence");
}

TEST(StatusText, ElementsAreListedByKeyCodeAndOnlyWithAKey) {
    PlaybackWorld world;
    world.load(R"(<a><scene name="s">
        <seq name="zed" key="z"><par name="nested" key="B"/><par name="nokey"/></seq>
        <par name="auto"/>
    </scene><scene name="other"><par name="elsewhere" key="q"/></scene></a>)");
    std::string text = composeStatus(world.adventure, 0);
    auto body = text.substr(text.find(separator) + separator.size());
    EXPECT_EQ(body, padded(" (0  ) auto") + "\n" + padded(" (B  ) nested") + "\n" + padded(" (z  ) zed") + "\n" +
                        "\n\n0 channels active");
}

TEST(StatusText, ASceneWithoutANameIsABlankOrAnEmptyMarkedLabel) {
    PlaybackWorld world;
    world.load("<a><scene/><scene name=\"b\"/></a>");
    EXPECT_EQ(composeStatus(world.adventure, 0),
              help + "\n" + padded("><") + padded(" b") + separator + "\n\n0 channels active");
    world.adventure.currentScene = 1;
    EXPECT_EQ(composeStatus(world.adventure, 0),
              help + "\n" + padded(" ") + padded(">b<") + separator + "\n\n0 channels active");
}

TEST(StatusText, LongLabelsPushOnAndAreCutAt511Characters) {
    std::string longName(30, 'n');
    std::string hugeName(600, 'h');
    PlaybackWorld world;
    world.load("<a><scene name=\"" + longName + "\"/><scene name=\"" + hugeName + "\"/><scene name=\"c\"/></a>");
    std::string expected = help + "\n>" + longName + "< " + std::string(hugeName, 0, 510) + padded(" c") + separator +
                           "\n\n0 channels active";
    EXPECT_EQ(composeStatus(world.adventure, 0), expected);
}

TEST(StatusText, NamesAndKeysReachTheScreenOnlyInTheirVisibleFormCutAtACharacter) {
    PlaybackWorld world;
    // The window title and alternate screen, an 8-bit CSI, a UTF-8 C1 and a
    // reset; a control character as a key; a huge name of euro signs.
    std::string hugeName = "a";
    for (int i = 0; i < 400000; ++i) hugeName += "\xe2\x82\xac";
    world.load("<a><scene name=\"\x1b]0;pwned\x07" "Forest\x1b[?1049h\">"
               "<par name=\"Bell\x9b" "2J\xc2\x9b\x1b" "c\" key=\"b\"/><par name=\"caf\xc3\xa9\" key=\"\x01\"/></scene>"
               "<scene name=\"" + hugeName + "\"/></a>");
    std::string euroLabel = " a";
    while (euroLabel.size() + 3 <= 511) euroLabel += "\xe2\x82\xac";
    const std::string expected = help + "\n" + ">?]0;pwned?Forest?[?1049h<" + euroLabel + separator +
                                 padded(" (?  ) caf\xc3\xa9") + "\n" + padded(" (b  ) Bell?2J??c") + "\n" +
                                 "\n\n0 channels active";
    EXPECT_EQ(composeStatus(world.adventure, 0), expected);

    // The screen shows the same, and follows a new adventure's names.
    platform::ScriptedConsole console({}, world.clock);
    gloam::StatusScreen screen(console, world.clock);
    ASSERT_TRUE(screen.draw(world.adventure, 0));
    EXPECT_EQ(console.screen(), expected);
    world.load(R"(<a><scene name="plain"/></a>)");
    world.clock.advance(gloam::StatusScreen::writeIntervalMs);
    ASSERT_TRUE(screen.draw(world.adventure, 0));
    EXPECT_EQ(console.screen(), help + "\n" + padded(">plain<") + separator + "\n\n0 channels active");
}

/// In a small window every line is cut at its width and the element list
/// ends in "+N more", so the help line, the current scene and the channel
/// count stay in view; a window that holds it all, or one of unknown size,
/// gets the whole text.
TEST(StatusText, ASmallWindowKeepsTheHelpLineTheSceneAndTheCountInView) {
    PlaybackWorld world;
    std::string xml = "<a><scene name=\"Forest at dusk\"/><scene name=\"Tavern\">";
    for (int i = 0; i < 20; ++i) xml += "<par name=\"Element number " + std::to_string(i) + " with a long name\"/>";
    xml += "</scene><scene name=\"Dungeon\"/><scene name=\"Castle\"/><scene name=\"Swamp\"/></a>";
    world.load(xml);
    world.adventure.currentScene = 1;
    const std::string whole = composeStatus(world.adventure, 3);
    EXPECT_EQ(composeStatus(world.adventure, 3, {0, 0}), whole);
    EXPECT_EQ(composeStatus(world.adventure, 3, {200, 100}), whole);

    auto linesOf = [](const std::string& text) {
        std::vector<std::string> lines;
        std::size_t start = 0;
        for (std::size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1) {
            lines.push_back(text.substr(start, end - start));
        }
        lines.push_back(text.substr(start));
        return lines;
    };
    const std::string fitted = composeStatus(world.adventure, 3, {40, 12});
    const std::vector<std::string> lines = linesOf(fitted);
    ASSERT_EQ(lines.size(), 12u) << fitted;
    for (const std::string& line : lines) EXPECT_LE(line.size(), 40u) << line;
    EXPECT_EQ(lines.front(), help.substr(0, 40));
    EXPECT_EQ(lines[2], padded(" Forest at dusk") + padded(">Tavern<") + " D");
    EXPECT_EQ(lines.back(), "3 channels active");
    // Around the element list the screen takes ten lines, so one element
    // and the line that counts the rest fit.
    EXPECT_EQ(lines[7], " (0  ) Element number 0 with a long name");
    EXPECT_EQ(lines[8], " +19 more");
    EXPECT_EQ(whole.find(" more"), std::string::npos);
    const std::vector<std::string> taller = linesOf(composeStatus(world.adventure, 3, {40, 20}));
    ASSERT_EQ(taller.size(), 20u);
    EXPECT_EQ(taller[15], " (8  ) Element number 8 with a long name");
    EXPECT_EQ(taller[16], " +11 more");

    // Far too short: only what must stay, the current scene's row among them.
    const std::vector<std::string> tiny = linesOf(composeStatus(world.adventure, 3, {40, 3}));
    ASSERT_EQ(tiny.size(), 3u);
    EXPECT_NE(tiny[1].find(">Tavern<"), std::string::npos);
    EXPECT_EQ(tiny[2], "3 channels active");
    world.adventure.currentScene = 4;
    const std::vector<std::string> second = linesOf(composeStatus(world.adventure, 3, {80, 3}));
    EXPECT_NE(second[1].find(">Swamp<"), std::string::npos);
}

TEST(StatusText, AnInvalidCurrentSceneShowsNoScenes) {
    PlaybackWorld world;
    world.load("<a><scene name=\"a\"/></a>");
    world.adventure.currentScene = 1;
    EXPECT_EQ(composeStatus(world.adventure, 2), help + "\n\n2 channels active");
}

TEST(StatusScreen, PrintsOnlyWhenTheTextChanges) {
    PlaybackWorld world;
    platform::ScriptedConsole console({}, world.clock);
    gloam::StatusScreen screen(console, world.clock);
    EXPECT_EQ(screen.lastPrinted(), "");

    EXPECT_TRUE(screen.draw(world.adventure, 0));
    EXPECT_EQ(console.screen(), help + "\n\n0 channels active");
    EXPECT_EQ(console.clearCount(), 1);
    EXPECT_FALSE(screen.draw(world.adventure, 0));
    EXPECT_EQ(console.clearCount(), 1);
    EXPECT_EQ(console.printCount(), 1);

    // Output of others is not tracked: it stays until the text changes.
    console.clearScreen();
    console.print("menu");
    EXPECT_FALSE(screen.draw(world.adventure, 0));
    EXPECT_EQ(console.screen(), "menu");

    world.clock.advance(gloam::StatusScreen::writeIntervalMs);
    EXPECT_TRUE(screen.draw(world.adventure, 1));
    EXPECT_EQ(console.screen(), help + "\n\n1 channels active");
    EXPECT_EQ(screen.lastPrinted(), console.screen());
}

}  // namespace

namespace {

TEST(StatusScreen, AnElementStartingToFadeCausesExactlyOneRedraw) {
    PlaybackWorld world;
    testsupport::writeSine("sounds/rain.wav", 10000);
    world.load(R"(<a><scene name="Forest"><sound name="Rain" key="a" src="rain.wav" autoStart="1" fadeOut="2000"/></scene></a>)");
    platform::ScriptedConsole console({}, world.clock);
    gloam::StatusScreen screen(console, world.clock);
    world.runFor(100);
    EXPECT_TRUE(screen.draw(world.adventure, world.audio.channelsPlaying()));
    EXPECT_NE(console.screen().find(" (a P) Rain"), std::string::npos);

    world.element("Rain").startFadeOut(world.moment());
    world.runFor(100);
    EXPECT_TRUE(screen.draw(world.adventure, world.audio.channelsPlaying()));
    EXPECT_NE(console.screen().find(" (a F) Rain"), std::string::npos);
    world.runFor(100);
    EXPECT_FALSE(screen.draw(world.adventure, world.audio.channelsPlaying()));
    EXPECT_EQ(console.clearCount(), 2);
}

TEST(StatusScreen, ChangesAreWrittenAtMostEvery20MsAndTheLastStateIsAlwaysShown) {
    PlaybackWorld world;
    platform::ScriptedConsole console({}, world.clock);
    gloam::StatusScreen screen(console, world.clock);
    const std::int32_t start = world.now();
    ASSERT_TRUE(screen.draw(world.adventure, 0));
    EXPECT_FALSE(screen.nextWriteDue().has_value());

    // Changes within 20 ms of the last write wait; the write then shows the
    // state of its own moment.
    world.clock.advance(5);
    EXPECT_FALSE(screen.draw(world.adventure, 1));
    EXPECT_EQ(screen.nextWriteDue(), start + 20);
    world.clock.advance(14);
    EXPECT_FALSE(screen.draw(world.adventure, 2));
    world.clock.advance(1);
    EXPECT_TRUE(screen.draw(world.adventure, 3));
    EXPECT_EQ(console.screen(), help + "\n\n3 channels active");
    EXPECT_FALSE(screen.nextWriteDue().has_value());

    // A change undone before its time writes nothing.
    world.clock.advance(1);
    EXPECT_FALSE(screen.draw(world.adventure, 4));
    EXPECT_TRUE(screen.nextWriteDue().has_value());
    EXPECT_FALSE(screen.draw(world.adventure, 3));
    EXPECT_FALSE(screen.nextWriteDue().has_value());

    // A redraw request writes the same text once more, at the same pace.
    screen.requestRedraw();
    EXPECT_FALSE(screen.draw(world.adventure, 3));
    EXPECT_EQ(screen.nextWriteDue(), start + 40);
    world.clock.set(start + 40);
    EXPECT_TRUE(screen.draw(world.adventure, 3));
    world.clock.advance(100);
    EXPECT_FALSE(screen.draw(world.adventure, 3));
    EXPECT_EQ(console.clearCount(), 3);
    EXPECT_EQ(console.transcript(), "\f" + help + "\n\n0 channels active\f" + help + "\n\n3 channels active\f" + help +
                                        "\n\n3 channels active");
}

}  // namespace
