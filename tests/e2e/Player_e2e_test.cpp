// The real player binary in a pseudo-terminal.
#include "PlayerInPty.h"
#include "Recording.h"
#include "TestFiles.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <cmath>
#include <fstream>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <sstream>

#include <pty.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <sndfile.h>
#include <termios.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using testsupport::TempFolder;

const std::string help = "Cursor left/right to select scene, letter to start/stop, '!' to load\n";
using e2e::clearSequence;
using e2e::PlayerInPty;

std::size_t occurrences(const std::string& text, const std::string& part) {
    std::size_t count = 0;
    for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + part.size())) ++count;
    return count;
}

bool showsFirstScreen(const std::string& screen) { return screen == help + "\n\n0 channels active"; }

TEST(PlayerEndToEnd, ShowsTheFirstScreenReportsAMissingFolderAndEndsCleanlyOnEscape) {
    TempFolder dir;
    PlayerInPty player(dir.path());
    ASSERT_TRUE(player.readUntil([&](const std::string&) { return showsFirstScreen(player.screen()); }))
        << "output so far: " << player.output();
    EXPECT_FALSE(player.mode().c_lflag & ECHO) << "raw mode while running";
    EXPECT_FALSE(player.mode().c_lflag & ICANON);

    player.type("!");
    ASSERT_TRUE(player.readUntil([&](const std::string&) {
        return player.screen() == "Directory 'adventures' doesn't exist\n";
    })) << "output so far: " << player.output();

    // The message stays until a key, and that key only takes it away: an
    // Escape meant for the menu does not end the player.
    player.type("\x1b");
    ASSERT_TRUE(player.readUntil([&](const std::string&) { return showsFirstScreen(player.screen()); }))
        << "output so far: " << player.output();
    player.type("\x1b");
    int status = player.waitForExit();
    ASSERT_NE(status, -1) << "the player did not end; output: " << player.output();
    ASSERT_TRUE(WIFEXITED(status)) << "output: " << player.output();
    EXPECT_EQ(WEXITSTATUS(status), 0) << "output: " << player.output();

    termios after = player.mode();
    EXPECT_TRUE(after.c_lflag & ECHO);
    EXPECT_TRUE(after.c_lflag & ICANON);
    EXPECT_EQ(after.c_lflag, player.initialMode().c_lflag);
    EXPECT_EQ(after.c_iflag, player.initialMode().c_iflag);
    EXPECT_NE(player.output().find("\x1b[?25h"), std::string::npos) << "the cursor is shown again";
    EXPECT_EQ(player.output().find("ALSA lib"), std::string::npos) << player.output();
}

TEST(PlayerEndToEnd, LoadsAnAdventureAndSwitchesScenesWithTheCursorKeys) {
    TempFolder dir;
    dir.write("adventures/story.xml", R"(<story>
        <scene name="Forest" key="f"><par name="Birds" key="b"/></scene>
        <scene name="Tavern"/>
    </story>)");
    PlayerInPty player(dir.path());
    ASSERT_TRUE(player.readUntil([&](const std::string&) { return showsFirstScreen(player.screen()); }));

    player.type("!");
    ASSERT_TRUE(player.readUntil([&](const std::string&) {
        return player.screen() == "Select file with cursor up/down\n\n-> story.xml\n";
    })) << player.output();
    player.type("\r");
    ASSERT_TRUE(player.readUntil([&](const std::string&) {
        return player.screen().find(">Forest<") != std::string::npos &&
               player.screen().find(" (b  ) Birds") != std::string::npos;
    })) << player.output();

    player.type("\x1b[C");  // cursor right, as the terminal sends it
    ASSERT_TRUE(player.readUntil([&](const std::string&) {
        return player.screen().find(">Tavern<") != std::string::npos;
    })) << player.output();
    EXPECT_EQ(player.screen().find("Birds"), std::string::npos);

    player.type("\x1b");
    int status = player.waitForExit();
    ASSERT_NE(status, -1) << player.output();
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << player.output();
}

TEST(PlayerEndToEnd, StartsFadesAndSwitchesWithHotkeys) {
    TempFolder dir;
    testsupport::writeSine(dir.path() / "sounds/rain.wav", 4000, 48000);
    dir.write("adventures/story.xml", R"(<story>
        <scene name="Forest"><sound name="Rain" key="r" src="rain.wav" fadeOut="400"/></scene>
        <scene name="Tavern" key="t"/>
    </story>)");
    PlayerInPty player(dir.path());
    ASSERT_TRUE(player.readUntil([&](const std::string&) { return showsFirstScreen(player.screen()); }));
    player.type("!");
    ASSERT_TRUE(player.readUntil([&](const std::string&) { return player.screen().find("-> story.xml") != std::string::npos; }));
    player.type("\r");
    ASSERT_TRUE(player.readUntil([&](const std::string&) {
        return player.screen().find(" (r  ) Rain") != std::string::npos &&
               player.screen().find("0 channels active") != std::string::npos;
    })) << player.output();

    player.type("r");
    ASSERT_TRUE(player.readUntil([&](const std::string&) {
        return player.screen().find(" (r P) Rain") != std::string::npos &&
               player.screen().find("\n\n1 channels active") != std::string::npos;
    })) << player.screen();

    player.type("r");  // fades out over 400 ms, then stops
    ASSERT_TRUE(player.readUntil([&](const std::string&) { return player.screen().find(" (r F) Rain") != std::string::npos; }))
        << player.screen();
    ASSERT_TRUE(player.readUntil([&](const std::string&) {
        return player.screen().find(" (r  ) Rain") != std::string::npos &&
               player.screen().find("0 channels active") != std::string::npos;
    })) << player.screen();

    player.type("t");
    ASSERT_TRUE(player.readUntil([&](const std::string&) { return player.screen().find(">Tavern<") != std::string::npos; }));
    player.type("\x1b");
    int status = player.waitForExit();
    ASSERT_NE(status, -1) << player.output();
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << player.output();
}

TEST(PlayerEndToEnd, RootOptionReadsAdventuresAndSoundsFromThatFolder) {
    TempFolder dir;
    testsupport::writeSine(dir.path() / "game/sounds/rain.wav", 4000, 48000);
    dir.write("game/adventures/story.xml", R"(<story><scene name="Forest"><sound name="Rain" key="r" src="rain.wav"/></scene></story>)");
    dir.write("adventures/elsewhere.xml", "<other/>");  // the working directory's own, which must not be listed
    PlayerInPty player(dir.path(), false, {}, {"--root", "game"});
    ASSERT_TRUE(player.readUntil([&](const std::string&) { return showsFirstScreen(player.screen()); })) << player.output();
    player.type("!");
    ASSERT_TRUE(player.readUntil([&](const std::string&) {
        return player.screen() == "Select file with cursor up/down\n\n-> story.xml\n";
    })) << player.output();
    player.type("\r");
    ASSERT_TRUE(player.readUntil([&](const std::string&) { return player.screen().find(" (r  ) Rain") != std::string::npos; }))
        << player.output();
    player.type("r");
    ASSERT_TRUE(player.readUntil([&](const std::string&) {
        return player.screen().find(" (r P) Rain") != std::string::npos &&
               player.screen().find("\n\n1 channels active") != std::string::npos;
    })) << player.screen();
    player.type("\x1b");
    int status = player.waitForExit();
    ASSERT_NE(status, -1) << player.output();
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << player.output();
}

TEST(PlayerEndToEnd, AFolderThatCannotBeTheRootStopsThePlayerBeforeItTakesTheTerminal) {
    TempFolder dir;
    PlayerInPty player(dir.path(), false, {}, {"--root", "missing"});
    int status = player.waitForExit();
    ASSERT_NE(status, -1) << player.output();
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 2) << player.output();
    EXPECT_EQ(player.output(), "gloam: cannot use 'missing' as the root folder: No such file or directory\r\n");
    EXPECT_EQ(player.mode().c_lflag, player.initialMode().c_lflag) << "the terminal was never touched";
}

TEST(PlayerEndToEnd, CtrlCEndsThePlayerWithTheTerminalRestored) {
    TempFolder dir;
    PlayerInPty player(dir.path());
    ASSERT_TRUE(player.readUntil([&](const std::string&) { return showsFirstScreen(player.screen()); }));
    player.type("\x03");
    int status = player.waitForExit();
    ASSERT_NE(status, -1) << player.output();
    ASSERT_TRUE(WIFSIGNALED(status)) << player.output();
    EXPECT_EQ(WTERMSIG(status), SIGINT);
    EXPECT_TRUE(player.mode().c_lflag & ECHO);
    EXPECT_TRUE(player.mode().c_lflag & ICANON);
}

TEST(PlayerEndToEnd, CtrlSpaceIsAKeyThatDoesNothingAndTheLoopGoesOn) {
    TempFolder dir;
    testsupport::writeSine(dir.path() / "sounds/tone.wav", 3000, 48000);
    dir.write("adventures/story.xml",
              R"(<a><scene name="S"><sound name="Late" key="l" src="tone.wav" autoStart="1" startDelay="1500"/></scene></a>)");
    PlayerInPty player(dir.path());
    ASSERT_TRUE(player.readUntil([&](const std::string&) { return showsFirstScreen(player.screen()); }));
    player.type("!");
    ASSERT_TRUE(player.readUntil([&](const std::string&) { return player.screen().find("-> story.xml") != std::string::npos; }));
    player.type("\r");
    ASSERT_TRUE(player.readUntil([&](const std::string&) { return player.screen().find(" (l E) Late") != std::string::npos; }))
        << player.output();

    // Ctrl+Space sends byte 0. The loop keeps ticking: the delay runs out and
    // the screen follows, with no other key pressed.
    player.type(std::string_view("\0", 1));
    ASSERT_TRUE(player.readUntil([&](const std::string&) { return player.screen().find(" (l P) Late") != std::string::npos; }))
        << "the loop stood still after byte 0; output: " << player.output();
    // And the next key is a key of its own, not swallowed.
    player.type("!");
    ASSERT_TRUE(player.readUntil([&](const std::string&) { return player.screen().find("-> story.xml") != std::string::npos; }))
        << player.output();
    player.type("\x1b");
    player.type("\x1b");
    int status = player.waitForExit();
    ASSERT_NE(status, -1) << player.output();
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << player.output();
}

TEST(PlayerEndToEnd, AResizedWindowGetsTheSameScreenOnceMoreInTheLoopAndInTheMenu) {
    TempFolder dir;
    dir.write("adventures/story.xml", "<a/>");
    PlayerInPty player(dir.path());
    const std::string status = help + "\n\n0 channels active";
    ASSERT_TRUE(player.readUntil([&](const std::string&) { return showsFirstScreen(player.screen()); }));
    ASSERT_EQ(occurrences(player.output(), clearSequence), 1u);

    player.resize(30, 100);
    ASSERT_TRUE(player.readUntil([&](const std::string& output) {
        return occurrences(output, clearSequence) == 2 && player.screen() == status;
    })) << player.output();

    const std::string menu = "Select file with cursor up/down\n\n-> story.xml\n";
    player.type("!");
    ASSERT_TRUE(player.readUntil([&](const std::string&) { return player.screen() == menu; }));
    const std::size_t clearsInMenu = occurrences(player.output(), clearSequence);
    player.resize(50, 132);
    ASSERT_TRUE(player.readUntil([&](const std::string& output) {
        return occurrences(output, clearSequence) == clearsInMenu + 1 && player.screen() == menu;
    })) << player.output();

    // Back in the loop the status screen is written again, though its text
    // did not change: a menu left on screen would invite a second Escape.
    player.type("\x1b");
    ASSERT_TRUE(player.readUntil([&](const std::string& output) {
        return occurrences(output, clearSequence) == clearsInMenu + 2 && player.screen() == status;
    })) << player.output();
    player.type("\x1b");
    int exit = player.waitForExit();
    ASSERT_NE(exit, -1) << player.output();
    EXPECT_TRUE(WIFEXITED(exit) && WEXITSTATUS(exit) == 0) << player.output();
    EXPECT_EQ(occurrences(player.output(), clearSequence), clearsInMenu + 2) << "one redraw per resize";
    EXPECT_TRUE(player.screen().starts_with(status)) << player.screen();
}

/// In a window of 40 x 12 the status screen is cut to the window: no line
/// wider than it, the help line, the current scene and the channel count in
/// view; grown again, the window gets the whole screen back.
TEST(PlayerEndToEnd, ASmallWindowShowsTheHelpLineTheSceneAndTheCount) {
    TempFolder dir;
    std::string xml = "<a><scene name=\"Forest at dusk\" key=\"F\">";
    for (int i = 0; i < 30; ++i) xml += "<par name=\"Element number " + std::to_string(i) + " with a long name\"/>";
    xml += "</scene><scene name=\"Tavern\"/><scene name=\"Dungeon\"/><scene name=\"Castle\"/><scene name=\"Swamp\"/></a>";
    dir.write("adventures/story.xml", xml);
    PlayerInPty player(dir.path());
    ASSERT_TRUE(player.readUntil([&](const std::string&) { return showsFirstScreen(player.screen()); }));
    player.type("!");
    ASSERT_TRUE(player.readUntil([&](const std::string&) { return player.screen().find("-> story.xml") != std::string::npos; }));
    player.type("\r");
    ASSERT_TRUE(player.readUntil([&](const std::string&) { return player.screen().find("(T  ) Element number 29") != std::string::npos; }))
        << player.output();

    player.resize(12, 40);
    ASSERT_TRUE(player.readUntil([&](const std::string&) { return player.screen().find(" more") != std::string::npos; }))
        << player.output();
    const std::string screen = player.screen();
    std::vector<std::string> lines;
    std::istringstream text(screen);
    for (std::string line; std::getline(text, line);) lines.push_back(line);
    ASSERT_LE(lines.size(), 12u) << screen;
    for (const std::string& line : lines) EXPECT_LE(line.size(), 40u) << line;
    EXPECT_EQ(lines.front(), help.substr(0, 40));
    EXPECT_NE(screen.find(">Forest at dusk<"), std::string::npos) << screen;
    EXPECT_EQ(lines.back(), "0 channels active");
    EXPECT_NE(screen.find(" +29 more"), std::string::npos) << screen;

    player.resize(50, 132);
    ASSERT_TRUE(player.readUntil([&](const std::string&) { return player.screen().find("(T  ) Element number 29") != std::string::npos; }))
        << player.output();
    EXPECT_EQ(player.screen().find(" more"), std::string::npos);
    player.type("\x1b");
    ASSERT_NE(player.waitForExit(), -1) << player.output();
}

TEST(PlayerEndToEnd, AfterAStopAndContinueThePlayerTakesTheTerminalBackAndRedraws) {
    TempFolder dir;
    PlayerInPty player(dir.path());
    ASSERT_TRUE(player.readUntil([&](const std::string&) { return showsFirstScreen(player.screen()); }));

    // Stopped, the shell puts its own mode back; then `fg` continues the player.
    player.stop();
    player.setMode(player.initialMode());
    player.resume();
    ASSERT_TRUE(player.readUntil([&](const std::string& output) {
        return occurrences(output, clearSequence) == 2 && showsFirstScreen(player.screen());
    })) << "no redraw after the continue; output: " << player.output();
    EXPECT_FALSE(player.mode().c_lflag & ECHO) << "raw again: keys do not echo";
    EXPECT_FALSE(player.mode().c_lflag & ICANON) << "raw again: Escape arrives on its own";

    player.type("\x1b");
    int status = player.waitForExit();
    ASSERT_NE(status, -1) << player.output();
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << player.output();
    EXPECT_EQ(player.mode().c_lflag, player.initialMode().c_lflag);
}

TEST(PlayerEndToEnd, AClosedOutputEndsThePlayerCleanlyWithTheTerminalRestored) {
    TempFolder dir;
    PlayerInPty player(dir.path(), true);
    ASSERT_TRUE(player.readPipeUntil([&](const std::string& output) {
        return output.find("0 channels active") != std::string::npos;
    }));
    player.closeOutputPipe();
    player.type("!");  // the chooser writes to the closed pipe
    int status = player.waitForExit();
    ASSERT_NE(status, -1) << player.output();
    ASSERT_TRUE(WIFEXITED(status)) << "ended by signal " << (WIFSIGNALED(status) ? WTERMSIG(status) : 0);
    EXPECT_EQ(WEXITSTATUS(status), 1) << "a lost screen is not a success";
    EXPECT_NE(player.output().find("gloam: the screen can no longer be written"), std::string::npos) << player.output();
    EXPECT_EQ(player.mode().c_lflag, player.initialMode().c_lflag);
    EXPECT_EQ(player.mode().c_iflag, player.initialMode().c_iflag);
}

/// The codes of the bytes in `output` that could command the terminal, after
/// taking out the player's own clear and cursor sequences; empty when none.
std::string foreignControls(std::string output) {
    for (const std::string& own : {clearSequence, std::string("\x1b[?25l"), std::string("\x1b[?25h")}) {
        for (auto at = output.find(own); at != std::string::npos; at = output.find(own)) output.erase(at, own.size());
    }
    std::string found;
    for (std::size_t i = 0; i < output.size(); ++i) {
        // Everything shown in this test is ASCII, so any byte from 0x7F up
        // is a DEL, an 8-bit C1 control or a part of one.
        const auto byte = static_cast<unsigned char>(output[i]);
        if ((byte < 0x20 && byte != '\r' && byte != '\n') || byte >= 0x7F) found += std::to_string(byte) + " ";
    }
    return found;
}

TEST(PlayerEndToEnd, AStrangersAdventuresFolderCanNeitherCommandTheTerminalNorBlockTheMenu) {
    TempFolder dir;
    // Window title, alternate screen, clipboard (OSC 52), an 8-bit CSI and
    // its UTF-8 form, and a reset, in names of scenes, elements and files.
    dir.write("adventures/evil.xml",
              "<a><scene name=\"\x1b]0;pwned\x07" "Forest\x1b[?1049h\">"
              "<par name=\"\x1b]52;c;cHduZWQ=\x07" "Bell\x9b" "2J\xc2\x9b\x1b" "c\" key=\"b\"/></scene></a>");
    dir.write("adventures/\x1b]2;title\x07.xml", "<a/>");
    ASSERT_EQ(::mkfifo((dir.path() / "adventures/fifo.xml").c_str(), 0600), 0);
    std::vector<std::string> order;
    for (const auto& entry : fs::directory_iterator(dir.path() / "adventures")) order.push_back(entry.path().filename());
    auto indexOf = [&](const std::string& name) { return std::find(order.begin(), order.end(), name) - order.begin(); };
    const std::string down = "\x1b[B";

    PlayerInPty player(dir.path());
    ASSERT_TRUE(player.readUntil([&](const std::string&) { return showsFirstScreen(player.screen()); }));
    player.type("!");
    ASSERT_TRUE(player.readUntil([&](const std::string&) { return player.screen().find("?]2;title?.xml\n") != std::string::npos; }))
        << player.output();

    // A FIFO is refused at once, like a broken file, and the menu comes back.
    for (auto i = indexOf("fifo.xml"); i > 0; --i) player.type(down);
    player.type("\r");
    ASSERT_TRUE(player.readUntil([&](const std::string&) {
        return player.screen() == "\nSelected file isn't well formed xml (open in browser for details)\n";
    })) << "the chooser blocked on the FIFO; output: " << player.output();
    player.type("k");
    ASSERT_TRUE(player.readUntil([&](const std::string&) { return player.screen().find("-> fifo.xml") != std::string::npos; }));

    for (auto i = indexOf("fifo.xml"); i < indexOf("evil.xml"); ++i) player.type(down);
    for (auto i = indexOf("fifo.xml"); i > indexOf("evil.xml"); --i) player.type("\x1b[A");
    player.type("\r");
    ASSERT_TRUE(player.readUntil([&](const std::string&) {
        return player.screen().find(">?]0;pwned?Forest?[?1049h<") != std::string::npos &&
               player.screen().find(" (b  ) ?]52;c;cHduZWQ=?Bell?2J??c\n") != std::string::npos;
    })) << player.output();
    player.type("\x1b");
    int status = player.waitForExit();
    ASSERT_NE(status, -1) << player.output();
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << player.output();
    EXPECT_EQ(foreignControls(player.output()), "");
}

}  // namespace

/// At the table, through the sound device's real-time path (SDL's disk driver
/// captures what the player sends it): a sequence of two sounds joins without
/// a gap or an overlap, and its loop delay is exactly that many samples of
/// silence, pass after pass, so the capture is the files' samples laid end to
/// end with nothing added or lost.
TEST(PlayerEndToEnd, LoopsAndSequencesJoinOnTheSampleAtTheTable) {
    TempFolder dir;
    constexpr int rate = 48000;
    // Whole numbers of cycles, so the joins need nothing but the right sample.
    testsupport::writeSine(dir.path() / "sounds/a.wav", 100, rate, 480.0);
    testsupport::writeSine(dir.path() / "sounds/b.wav", 100, rate, 960.0);
    testsupport::writeText(dir.path() / "adventures/joins.xml", R"(<a mode="preload"><scene>
        <seq autoStart="1" loopCount="-1" loopDelay="30"><sound src="a.wav"/><sound src="b.wav"/></seq>
        </scene></a>)");
    const fs::path capture = dir.path() / "capture.raw";
    {
        PlayerInPty player(dir.path(), false, {{"SDL_AUDIODRIVER", "disk"}, {"SDL_DISKAUDIOFILE", capture.string()}});
        ASSERT_TRUE(player.readUntil([](const std::string& out) { return out.find("channels active") != std::string::npos; }));
        player.type("!");
        ASSERT_TRUE(player.readUntil([](const std::string& out) { return out.find("joins.xml") != std::string::npos; }));
        player.type("\r");
        ASSERT_TRUE(player.readUntil([](const std::string& out) { return out.find("1 channels active") != std::string::npos; }));
        player.listen(1500ms);
        player.type("\x1b");
        EXPECT_EQ(player.waitForExit(), 0);
    }

    // What one round should be: a, b, then 30 ms of silence.
    std::vector<float> round;
    for (const char* name : {"sounds/a.wav", "sounds/b.wav"}) {
        const std::optional<testsupport::Recording> sound = testsupport::readRecording(dir.path() / name);
        ASSERT_TRUE(sound);
        round.insert(round.end(), sound->samples.begin(), sound->samples.end());
    }
    round.resize(round.size() + 30 * rate / 1000, 0.0f);

    // The surround output has six channels; a centred sound is in one.
    std::ifstream in(capture, std::ios::binary);
    std::vector<float> interleaved;
    for (float sample = 0.0f; in.read(reinterpret_cast<char*>(&sample), sizeof sample);) interleaved.push_back(sample);
    constexpr std::size_t channels = 6;
    std::vector<double> energy(channels, 0.0);
    for (std::size_t i = 0; i < interleaved.size(); ++i) energy[i % channels] += interleaved[i] * interleaved[i];
    const std::size_t loudest = static_cast<std::size_t>(std::max_element(energy.begin(), energy.end()) - energy.begin());
    std::vector<float> heard;
    for (std::size_t i = loudest; i < interleaved.size(); i += channels) heard.push_back(interleaved[i]);
    // The first sample of a sine is 0; the sound began one frame before the first that is not.
    std::size_t start = 0;
    while (start < heard.size() && heard[start] == 0.0f) ++start;
    ASSERT_GT(start, 0u);
    --start;
    const double gain = heard[start + 1] / round[1];
    const std::size_t rounds = (heard.size() - start) / round.size();
    ASSERT_GE(rounds, 5u) << "the capture holds too little";
    for (std::size_t n = 0; n + 1 < rounds * round.size(); ++n) {
        ASSERT_NEAR(heard[start + n], gain * round[n % round.size()], 1e-5)
            << "sample " << n << " of the loop (round " << n / round.size() << ", at " << n % round.size() << ")";
    }
}

TEST(PlayerEndToEnd, PluginsThatCrashWhenOpenedOrOnTheirValuesAreLeftOutAndThePlayerPlaysOn) {
    const fs::path swh = "/usr/lib/ladspa";
    if (!fs::exists(swh / "delay_1898.so")) GTEST_SKIP() << "swh-plugins is not installed";
    TempFolder dir;
    // Copies of the right size with a zeroed tail and with flipped bytes,
    // each of which crashes a process that opens it; and the real delay.
    testsupport::writeDamagedCopy(swh / "amp_1181.so", dir.path() / "plugins/amp_1181.so",
                                  testsupport::Damage::ZeroTail, 0.3);
    testsupport::writeDamagedCopy(swh / "plate_1423.so", dir.path() / "plugins/plate_1423.so",
                                  testsupport::Damage::FlippedBytes, 0.1);
    fs::create_symlink(swh / "delay_1898.so", dir.path() / "plugins/delay_1898.so");
    testsupport::writeSine(dir.path() / "sounds/rain.wav", 4000, 48000);
    // delay_n declares its maximum delay unbounded; this one never gets made.
    dir.write("adventures/story.xml", R"(<story><scene name="Cellar">
        <sound name="Rain" key="r" src="rain.wav"><filter name="delay_n" max="44740" time="0.1"/></sound>
        <sound name="Drip" key="d" src="rain.wav"><filter name="amp" gain="-6"/></sound>
    </scene></story>)");
    PlayerInPty player(dir.path());
    ASSERT_TRUE(player.readUntil([&](const std::string&) { return showsFirstScreen(player.screen()); }))
        << "output so far: " << player.output();
    player.type("!");
    ASSERT_TRUE(player.readUntil([&](const std::string&) { return player.screen().find("-> story.xml") != std::string::npos; }));
    player.type("\r");
    ASSERT_TRUE(player.readUntil([&](const std::string&) { return player.screen().find(" (r  ) Rain") != std::string::npos; }))
        << player.output();
    player.type("r");
    ASSERT_TRUE(player.readUntil([&](const std::string&) {
        return player.screen().find(" (r P) Rain") != std::string::npos &&
               player.screen().find("\n\n1 channels active") != std::string::npos;
    })) << player.screen();
    player.type("d");
    ASSERT_TRUE(player.readUntil([&](const std::string&) {
        return player.screen().find(" (d P) Drip") != std::string::npos &&
               player.screen().find("\n\n2 channels active") != std::string::npos;
    })) << player.screen();

    player.type("\x1b");
    const int status = player.waitForExit();
    ASSERT_NE(status, -1) << player.output();
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << player.output();
    EXPECT_EQ(player.output().find("ERROR"), std::string::npos) << "no crash report of a probe reaches the screen";
}
