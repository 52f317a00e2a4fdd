#include "app/MainLoop.h"

#include "PlaybackWorld.h"
#include "model/Scene.h"
#include "platform/ScriptedConsole.h"
#include "playback/Track.h"

#include <gtest/gtest.h>
#include <tinyxml2.h>

#include <climits>
#include <filesystem>
#include <memory>
#include <limits>
#include <string>
#include <vector>

namespace {

using gloam::MainLoop;
using gloam::MainLoopHooks;
using gloam::State;
using platform::ScriptedConsole;
using platform::ScriptedKey;
using testsupport::PlaybackWorld;

const std::string help = "Cursor left/right to select scene, letter to start/stop, '!' to load\n";

/// Remembers until when each pass waited and moves the clock there, as a
/// real wait without keys would.
class RecordingIdleWait final : public platform::IdleWait {
public:
    explicit RecordingIdleWait(platform::VirtualClock& clock) : clock_(clock) {}
    void waitUntil(std::int32_t untilMs) override {
        waits.push_back(gloam::wrapSub(untilMs, clock_.nowMs()));
        if (waits.back() > 0) clock_.set(untilMs);
    }
    /// How long each pass waited, in milliseconds.
    std::vector<std::int32_t> waits;

private:
    platform::VirtualClock& clock_;
};

/// A world, a script of keys at time 0 and a loop over them.
struct Player {
    /// The keys are due at `atMs`; the world's clock starts at 1000.
    explicit Player(std::vector<int> codes = {}, std::int32_t atMs = 0) : idle(world.clock) {
        std::vector<ScriptedKey> script;
        for (int code : codes) script.push_back({atMs, code});
        console = std::make_unique<ScriptedConsole>(script, world.clock);
        hooks.keyRead = [this](int code, const gloam::Moment&) { keysRead.push_back(code); };
        hooks.statusPrinted = [this](const std::string& text) { printed.push_back(text); };
        loop = std::make_unique<MainLoop>(*console, idle, world.runtime, world.adventure, hooks);
    }
    /// Runs passes until no key is left, at most `limit`.
    void passesUntilKeysAreRead(int limit = 50) {
        for (int i = 0; i < limit && console->keysLeft() > 0; ++i) ASSERT_TRUE(loop->runPass());
    }

    PlaybackWorld world;
    RecordingIdleWait idle;
    MainLoopHooks hooks;
    std::vector<int> keysRead;
    std::vector<std::string> printed;
    std::unique_ptr<ScriptedConsole> console;
    std::unique_ptr<MainLoop> loop;
};

/// With nothing running the loop rests a quarter of a second per pass (only
/// a key can change anything); once something runs, it passes every 20 ms.
TEST(MainLoopIdle, RestsWhileNothingRunsAndPassesEvery20MsOtherwise) {
    Player player;
    EXPECT_TRUE(player.loop->runPass());
    EXPECT_TRUE(player.loop->runPass());
    EXPECT_EQ(player.idle.waits, (std::vector<std::int32_t>{250, 250}));
    EXPECT_FALSE(player.world.adventure.nextDue);

    testsupport::writeSine("sounds/long.wav", 60000);
    player.world.load(R"(<a><scene><sound src="long.wav" autoStart="1"/></scene></a>)");
    player.idle.waits.clear();
    EXPECT_TRUE(player.loop->runPass());
    EXPECT_EQ(player.idle.waits, std::vector<std::int32_t>{20});
}

/// A planned moment is handed to the engine a lead (20 ms) before it
/// is due: the loop sleeps until then, never longer than the idle period,
/// also across the clock's wrap.
TEST(MainLoopIdle, WaitsUntilALeadBeforeThePlannedMoment) {
    struct Case {
        std::int32_t nowMs;
        std::int32_t dueMs;
        std::int32_t expectedWait;
    };
    for (Case c : {Case{10000, 10060, 20}, Case{10000, 10030, 10}, Case{10000, 10021, 1},
                   Case{INT_MAX - 20, INT_MIN + 10, 11}, Case{INT_MAX - 5, INT_MIN + 100, 20}}) {
        Player player;
        testsupport::writeSine("sounds/tone.wav", 1000);
        player.world.load("<a><scene><sound name=\"late\" src=\"tone.wav\" startDelay=\"" +
                          std::to_string(gloam::wrapSub(c.dueMs, c.nowMs)) + "\"/></scene></a>");
        player.world.clock.set(c.nowMs);
        player.world.element("late").startFromTop(player.world.moment());
        ASSERT_TRUE(player.loop->runPass());
        EXPECT_EQ(player.world.adventure.nextDue, c.dueMs);
        EXPECT_EQ(player.idle.waits, std::vector<std::int32_t>{c.expectedWait}) << "now " << c.nowMs << ", due " << c.dueMs;
    }
}

TEST(MainLoopKeys, LoadWithoutTheFolderPrintsTheMessageAndItStays) {
    Player player({'!'}, 1010);
    ASSERT_TRUE(player.loop->runPass());
    EXPECT_EQ(player.console->screen(), help + "\n\n0 channels active");
    ASSERT_TRUE(player.loop->runPass());
    EXPECT_EQ(player.keysRead, std::vector<int>{'!'});
    EXPECT_EQ(player.console->screen(), "Directory 'adventures' doesn't exist\n");
    ASSERT_TRUE(player.loop->runPass());
    EXPECT_EQ(player.console->screen(), "Directory 'adventures' doesn't exist\n")
        << "the status text did not change, so it is not redrawn";
    EXPECT_EQ(player.printed, std::vector<std::string>{help + "\n\n0 channels active"});
}

TEST(MainLoopKeys, EscapeEndsThePassAtOnce) {
    Player player({27, 'x'});
    player.world.load("<a><scene/></a>");
    EXPECT_FALSE(player.loop->runPass());
    EXPECT_TRUE(player.idle.waits.empty()) << "no wait after Escape";
    EXPECT_TRUE(player.printed.empty()) << "no redraw after Escape";
    EXPECT_EQ(player.console->keysLeft(), 1u);
}

TEST(MainLoopKeys, AtMostOneKeyIsReadPerPass) {
    Player player({'a', 'b', 'c'});
    ASSERT_TRUE(player.loop->runPass());
    EXPECT_EQ(player.keysRead, (std::vector<int>{'a'}));
    ASSERT_TRUE(player.loop->runPass());
    EXPECT_EQ(player.keysRead, (std::vector<int>{'a', 'b'}));
}

TEST(MainLoopKeys, APrefixConsumesTheSecondCodeInTheSamePass) {
    for (int prefix : {0, 224}) {
        for (int second : {int{'K'}, int{'M'}, int{'H'}, int{'P'}, 0xff, 27, int{'!'}}) {
            Player player({prefix, second});
            ASSERT_TRUE(player.loop->runPass());
            EXPECT_EQ(player.keysRead, (std::vector<int>{prefix, second}));
            EXPECT_EQ(player.console->keysLeft(), 0u);
            EXPECT_EQ(player.console->transcript().find("Directory"), std::string::npos);
        }
    }
}

TEST(MainLoopKeys, WithoutAnAdventureCursorSpaceAndLettersDoNothing) {
    Player player({224, 'K', 224, 'M', 224, 'H', ' ', 'a', '0', 0xe9});
    player.passesUntilKeysAreRead();
    EXPECT_EQ(player.world.adventure.currentScene, 0u);
    EXPECT_TRUE(player.world.adventure.scenes.empty());
    EXPECT_EQ(player.console->screen(), help + "\n\n0 channels active");
    EXPECT_EQ(player.console->clearCount(), 1);
}

TEST(MainLoopKeys, CursorLeftAndRightStepThroughScenesWithoutWrapping) {
    Player player({224, 'K', 224, 'M', 224, 'M', 224, 'M', 224, 'K'});
    player.world.load("<a><scene name=\"a\"/><scene name=\"b\"/><scene name=\"c\"/></a>");
    std::vector<std::uint32_t> seen;
    for (int i = 0; i < 5; ++i) {
        ASSERT_TRUE(player.loop->runPass());
        seen.push_back(player.world.adventure.currentScene);
    }
    EXPECT_EQ(seen, (std::vector<std::uint32_t>{0, 1, 2, 2, 1}));
    EXPECT_NE(player.console->screen().find(">b<"), std::string::npos);
}

TEST(MainLoopKeys, ASceneKeySwitchesAndBeatsAnElementKey) {
    Player player({'t', 'x', 'f'});
    testsupport::writeSine("sounds/tone.wav", 5000);
    player.world.load(R"(<a>
        <scene name="forest" key="f"><sound name="clash" key="t" src="tone.wav"/></scene>
        <scene name="tavern" key="t"><sound name="sameKeyInTarget" key="t" src="tone.wav"/></scene>
    </a>)");
    ASSERT_TRUE(player.loop->runPass());
    EXPECT_EQ(player.world.adventure.currentScene, 1u);
    EXPECT_EQ(player.world.element("clash").state(), State::Idle);
    EXPECT_EQ(player.world.element("sameKeyInTarget").state(), State::Idle) << "the key only switched scenes";
    ASSERT_TRUE(player.loop->runPass());
    EXPECT_EQ(player.world.adventure.currentScene, 1u) << "a key nobody holds";
    ASSERT_TRUE(player.loop->runPass());
    EXPECT_EQ(player.world.adventure.currentScene, 0u);
}

TEST(MainLoopKeys, TheCurrentScenesOwnKeyRestartsItsAutoStartElements) {
    Player player({'f'});
    testsupport::writeSine("sounds/tone.wav", 5000);
    player.world.load(R"(<a><scene name="forest" key="f">
        <sound name="bed" src="tone.wav" autoStart="1" startDelay="200"/>
    </scene></a>)");
    ASSERT_EQ(player.world.element("bed").state(), State::Waiting);
    player.world.runFor(400);
    ASSERT_EQ(player.world.element("bed").state(), State::Playing);
    player.world.recorder.records.clear();
    ASSERT_TRUE(player.loop->runPass());
    EXPECT_EQ(player.world.adventure.currentScene, 0u);
    EXPECT_EQ(player.world.element("bed").state(), State::Waiting) << "stopped and started afresh";
    EXPECT_FALSE(player.world.recorder.of("bed").empty());
}

TEST(MainLoopKeys, AnElementKeyStartsAnIdleElementAndFadesOutARunningOne) {
    Player player({'r', 'r'});
    testsupport::writeSine("sounds/rain.wav", 5000);
    player.world.load(R"(<a><scene><sound name="rain" key="r" src="rain.wav" fadeOut="300"/></scene></a>)");
    gloam::Playable& rain = player.world.element("rain");
    ASSERT_EQ(rain.state(), State::Idle);
    ASSERT_TRUE(player.loop->runPass());
    EXPECT_TRUE(rain.isRunning());
    EXPECT_FALSE(rain.fadingOut());
    ASSERT_TRUE(player.loop->runPass());
    EXPECT_TRUE(rain.fadingOut()) << "the second press starts the fade-out";
}

TEST(MainLoopKeys, AnElementKeyFadesOutAWaitingElement) {
    Player player({'w', 'w'});
    testsupport::writeSine("sounds/tone.wav", 5000);
    player.world.load(R"(<a><scene><sound name="late" key="w" src="tone.wav" startDelay="1000" fadeOut="300"/></scene></a>)");
    gloam::Playable& late = player.world.element("late");
    ASSERT_TRUE(player.loop->runPass());
    ASSERT_EQ(late.state(), State::Waiting);
    ASSERT_FALSE(late.fadingOut());
    ASSERT_TRUE(player.loop->runPass());
    EXPECT_TRUE(late.fadingOut());
}

TEST(MainLoopKeys, SpaceFadesOutTheCurrentItemOfTopLevelSequencesOnly) {
    Player player({' '});
    testsupport::writeSine("sounds/tone.wav", 5000);
    player.world.load(R"(<a><scene>
        <seq name="seq" autoStart="1"><sound name="first" src="tone.wav" fadeOut="500"/>
                                      <sound name="second" src="tone.wav"/></seq>
        <par name="par" autoStart="1"><sound name="inPar" src="tone.wav" fadeOut="500"/></par>
        <par name="outer" autoStart="1"><seq name="nested"><sound name="deep" src="tone.wav" fadeOut="500"/></seq></par>
    </scene></a>)");
    player.world.runFor(200);
    ASSERT_EQ(player.world.element("first").state(), State::Playing);
    ASSERT_EQ(player.world.element("inPar").state(), State::Playing);
    ASSERT_EQ(player.world.element("deep").state(), State::Playing);
    ASSERT_TRUE(player.loop->runPass());
    EXPECT_TRUE(player.world.element("first").fadingOut());
    EXPECT_FALSE(player.world.element("inPar").fadingOut());
    EXPECT_FALSE(player.world.element("deep").fadingOut());
}

TEST(MainLoopKeys, LoadingThroughTheChooserReplacesTheAdventure) {
    Player player({'!', 13});
    testsupport::writeText("adventures/story.xml", "<a><scene name=\"chosen\"/></a>");
    ASSERT_TRUE(player.loop->runPass());
    ASSERT_EQ(player.world.adventure.scenes.size(), 1u);
    EXPECT_EQ(player.world.scene().name, "chosen");
    EXPECT_EQ(player.keysRead, (std::vector<int>{'!', 13})) << "the chooser's keys are reported too";
    EXPECT_NE(player.console->screen().find(">chosen<"), std::string::npos);
}

TEST(MainLoopRun, EscapeShutsDownAndExitsWithZero) {
    Player player({27});
    player.world.load("<a><scene name=\"s\" key=\"s\"/></a>");
    EXPECT_EQ(player.loop->run(), 0);
    EXPECT_TRUE(player.world.adventure.scenes.empty());
    EXPECT_EQ(player.world.runtime.sceneHotkeys['s'], nullptr);
}

}  // namespace

namespace {

/// '?' shows the program's keys, the scenes and the current scene's elements
/// (nested ones indented); the next key only takes the help away, and the
/// status screen comes back. An adventure that gives '?' to a scene or an
/// element keeps it.
TEST(MainLoopHelp, QuestionMarkShowsTheKeysScenesAndElementsUntilTheNextKey) {
    Player player({'?', 'x', '?', 224, 'M'});
    testsupport::writeSine("sounds/tone.wav", 5000);
    player.world.load(R"(<a>
        <scene name="Forest" key="F"><sound name="Wind" key="x" src="tone.wav"/>
            <seq name="Birds"><sound name="Lark" key="l" src="tone.wav"/><sound name="Quiet" src="tone.wav"/></seq></scene>
        <scene name="Tavern"/>
    </a>)");
    ASSERT_TRUE(player.loop->runPass());
    const std::string shown = player.console->screen();
    EXPECT_EQ(shown.rfind("Keys\n", 0), 0u) << shown;
    for (const char* line : {"\n  ?                   this help",
                             "\n  F  Forest  (current)\n  -  Tavern\n", "\nElements of Forest\n  x  Wind\n  0  Birds\n"
                             "    l  Lark\n    -  Quiet\n", "\nAny key returns to the status screen."}) {
        EXPECT_NE(shown.find(line), std::string::npos) << line << " in\n" << shown;
    }
    const int printedBefore = static_cast<int>(player.printed.size());
    ASSERT_TRUE(player.loop->runPass());  // 'x' closes the help: Wind does not start
    player.world.runFor(100);
    EXPECT_EQ(player.world.element("Wind").state(), State::Idle);
    EXPECT_EQ(player.console->screen().rfind(help, 0), 0u) << "the status screen is back";
    EXPECT_GT(static_cast<int>(player.printed.size()), printedBefore);

    player.passesUntilKeysAreRead();  // '?' again, then cursor right only closes it
    EXPECT_EQ(player.world.adventure.currentScene, 0u);
    player.world.runFor(100);
    EXPECT_NE(player.console->screen().find(">Forest<"), std::string::npos);

    Player claimed({'?'});
    testsupport::writeSine("sounds/tone.wav", 5000);
    claimed.world.load(R"(<a><scene><sound name="Owl" key="?" src="tone.wav"/></scene></a>)");
    ASSERT_TRUE(claimed.loop->runPass());
    EXPECT_EQ(claimed.world.element("Owl").state(), State::Playing);
    EXPECT_EQ(claimed.console->screen().find("Keys"), std::string::npos);
}

}  // namespace

namespace {

/// The master volume set from outside is clamped to silence..full and shown
/// while it is not full; a key from a level between tenths goes to the next
/// tenth in its direction.
TEST(MainLoopVolume, SetVolumeIsClampedShownAndSteppedToTheNextTenth) {
    Player player({224, 'P', 224, 'H', 224, 'H'});
    player.loop->setMasterVolume(1.7f);
    EXPECT_EQ(player.loop->masterVolume(), 1.0f);
    player.loop->setMasterVolume(-0.5f);
    EXPECT_EQ(player.loop->masterVolume(), 0.0f);
    player.loop->setMasterVolume(std::numeric_limits<float>::quiet_NaN());
    EXPECT_EQ(player.loop->masterVolume(), 0.0f);
    player.loop->setMasterVolume(0.55f);
    ASSERT_TRUE(player.loop->runPass());
    EXPECT_NEAR(player.loop->masterVolume(), 0.5f, 1e-6f);
    ASSERT_TRUE(player.loop->runPass());
    EXPECT_NEAR(player.loop->masterVolume(), 0.6f, 1e-6f);
    ASSERT_TRUE(player.loop->runPass());
    player.world.runFor(100);
    EXPECT_NEAR(player.loop->masterVolume(), 0.7f, 1e-6f);
    EXPECT_EQ(player.console->screen(), help + "\n\n0 channels active, volume 70 %");
}

}  // namespace

namespace {

/// The menu's message about a missing folder stays until a key; that key
/// only takes it away (here the scene's own key, which would restart the
/// scene), and the status screen is written again though nothing on it
/// changed. Meanwhile the loop went on: the element played on.
TEST(MainLoopMenu, WhenTheMenuGoesTheStatusScreenIsWrittenAgainAndItsKeyIsNotDispatched) {
    Player player;
    player.console = std::make_unique<ScriptedConsole>(std::vector<ScriptedKey>{{1010, '!'}, {3000, 'f'}}, player.world.clock);
    player.loop = std::make_unique<MainLoop>(*player.console, player.idle, player.world.runtime, player.world.adventure,
                                             player.hooks);
    testsupport::writeSine("sounds/tone.wav", 60000);
    player.world.load(R"(<a><scene key="f"><sound name="bed" src="tone.wav" autoStart="1"/></scene></a>)");
    std::filesystem::remove_all("adventures");
    while (player.world.now() < 2990) ASSERT_TRUE(player.loop->runPass());
    EXPECT_EQ(player.console->screen(), "Directory 'adventures' doesn't exist\n");
    const std::size_t printed = player.printed.size();
    const std::size_t changes = player.world.recorder.records.size();

    while (player.console->keysLeft() > 0) ASSERT_TRUE(player.loop->runPass());
    EXPECT_EQ(player.console->screen(), player.printed.back());
    EXPECT_EQ(player.printed.size(), printed + 1);
    EXPECT_EQ(player.printed.back(), player.printed.at(printed - 1)) << "the same text, written again";
    EXPECT_EQ(player.world.recorder.records.size(), changes) << "'f' did not restart the scene";
    EXPECT_EQ(player.world.element("bed").state(), State::Playing);
}

}  // namespace
