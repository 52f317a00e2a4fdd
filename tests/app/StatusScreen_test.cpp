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
