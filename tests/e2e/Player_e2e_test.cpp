// The real player binary in a pseudo-terminal.
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
const std::string clearSequence = "\x1b[H\x1b[2J";
constexpr auto patience = 10s;

/// The player running on the slave side of a pty, the test on the master.
/// The test keeps the slave open too, so the terminal's mode can be read after
/// the player has gone. With `outputToPipe` the player's standard output is a
/// pipe that the test reads (and may close), as under `gloam | tee`.
class PlayerInPty {
public:
    /// `environment` sets variables for the player (the audio driver is
    /// SDL's dummy device unless it says otherwise).
    explicit PlayerInPty(const fs::path& workDir, bool outputToPipe = false,
                         const std::vector<std::pair<std::string, std::string>>& environment = {}) {
        winsize size{};
        size.ws_row = 40;
        size.ws_col = 120;
        if (::openpty(&master_, &slave_, nullptr, nullptr, &size) != 0) throw std::runtime_error("openpty");
        ::tcgetattr(slave_, &initialMode_);
        int outputPipe[2]{-1, -1};
        if (outputToPipe && ::pipe(outputPipe) != 0) throw std::runtime_error("pipe");
        pid_ = ::fork();
        if (pid_ < 0) throw std::runtime_error("fork");
        if (pid_ == 0) {
            ::setsid();
            ::ioctl(slave_, TIOCSCTTY, 0);
            ::dup2(slave_, 0);
            ::dup2(outputToPipe ? outputPipe[1] : slave_, 1);
            ::dup2(slave_, 2);
            ::close(master_);
            if (outputToPipe) ::close(outputPipe[0]);
            if (::chdir(workDir.c_str()) != 0) ::_exit(126);
            ::setenv("SDL_AUDIODRIVER", "dummy", 1);
            for (const auto& [name, value] : environment) ::setenv(name.c_str(), value.c_str(), 1);
            ::execl(GLOAM_BINARY, "gloam", static_cast<char*>(nullptr));
            ::_exit(127);
        }
        if (outputToPipe) {
            ::close(outputPipe[1]);
            pipe_ = outputPipe[0];
        }
    }
    ~PlayerInPty() {
        if (pid_ > 0 && !exited_) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
        ::close(master_);
        ::close(slave_);
        closeOutputPipe();
    }

    void type(std::string_view keys) const {
        ASSERT_EQ(::write(master_, keys.data(), keys.size()), static_cast<ssize_t>(keys.size()));
    }

    /// Reads output until `done` holds for it or the patience runs out.
    bool readUntil(const std::function<bool(const std::string&)>& done) {
        auto giveUp = std::chrono::steady_clock::now() + patience;
        while (!done(output_)) {
            if (std::chrono::steady_clock::now() > giveUp) return false;
            drain(50);
        }
        return true;
    }

    /// Keeps reading the screen for `duration`, so the player never waits to write it.
    void listen(std::chrono::milliseconds duration) {
        const auto until = std::chrono::steady_clock::now() + duration;
        while (std::chrono::steady_clock::now() < until) drain(20);
    }

    /// Reads the output pipe until `done` holds for what came through it.
    bool readPipeUntil(const std::function<bool(const std::string&)>& done) {
        auto giveUp = std::chrono::steady_clock::now() + patience;
        while (!done(pipeOutput_)) {
            if (std::chrono::steady_clock::now() > giveUp) return false;
            pollfd ready{pipe_, POLLIN, 0};
            char buffer[4096];
            if (::poll(&ready, 1, 50) <= 0) continue;
            ssize_t n = ::read(pipe_, buffer, sizeof buffer);
            if (n <= 0) return false;
            pipeOutput_.append(buffer, static_cast<std::size_t>(n));
        }
        return true;
    }
    /// The reader of the output goes away.
    void closeOutputPipe() {
        if (pipe_ >= 0) ::close(pipe_);
        pipe_ = -1;
    }

    /// The window changes size, as when the operator drags its edge.
    void resize(unsigned short rows, unsigned short columns) const {
        winsize size{};
        size.ws_row = rows;
        size.ws_col = columns;
        ASSERT_EQ(::ioctl(master_, TIOCSWINSZ, &size), 0);
    }

    /// Stops the player the way no handler can see (SIGSTOP) and waits until
    /// it stands still.
    void stop() const {
        ASSERT_EQ(::kill(pid_, SIGSTOP), 0);
        int status = 0;
        ASSERT_EQ(::waitpid(pid_, &status, WUNTRACED), pid_);
        ASSERT_TRUE(WIFSTOPPED(status));
    }
    void resume() const { ASSERT_EQ(::kill(pid_, SIGCONT), 0); }
    /// Sets the terminal's mode, as a shell does when it takes the terminal.
    void setMode(const termios& mode) const { ASSERT_EQ(::tcsetattr(slave_, TCSANOW, &mode), 0); }

    /// What the screen shows: the output since the last clear, with the
    /// terminal's CR of each line end taken out.
    std::string screen() const {
        auto at = output_.rfind(clearSequence);
        std::string text = at == std::string::npos ? output_ : output_.substr(at + clearSequence.size());
        std::string plain;
        for (char c : text) {
            if (c != '\r') plain += c;
        }
        return plain;
    }
    const std::string& output() const { return output_; }

    /// Waits for the player to end; the raw wait status, or -1 after the
    /// patience ran out.
    int waitForExit() {
        auto giveUp = std::chrono::steady_clock::now() + patience;
        while (std::chrono::steady_clock::now() < giveUp) {
            int status = 0;
            pid_t done = ::waitpid(pid_, &status, WNOHANG);
            if (done == pid_) {
                exited_ = true;
                drain(0);
                return status;
            }
            drain(20);
        }
        return -1;
    }

    pid_t pid() const { return pid_; }

    termios mode() const {
        termios current{};
        ::tcgetattr(slave_, &current);
        return current;
    }
    const termios& initialMode() const { return initialMode_; }

private:
    void drain(int timeoutMs) {
        pollfd ready{master_, POLLIN, 0};
        while (::poll(&ready, 1, timeoutMs) > 0) {
            char buffer[4096];
            ssize_t n = ::read(master_, buffer, sizeof buffer);
            if (n <= 0) return;
            output_.append(buffer, static_cast<std::size_t>(n));
            timeoutMs = 0;
        }
    }

    int master_ = -1;
    int slave_ = -1;
    int pipe_ = -1;
    pid_t pid_ = -1;
    bool exited_ = false;
    termios initialMode_{};
    std::string output_;
    std::string pipeOutput_;
};

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

    player.type("\x1b");  // back in the loop: the status text did not change, so the menu stays
    player.type("\x1b");
    int exit = player.waitForExit();
    ASSERT_NE(exit, -1) << player.output();
    EXPECT_TRUE(WIFEXITED(exit) && WEXITSTATUS(exit) == 0) << player.output();
    EXPECT_EQ(occurrences(player.output(), clearSequence), clearsInMenu + 1) << "one redraw per resize";
    EXPECT_TRUE(player.screen().starts_with(menu)) << player.screen();
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

TEST(PlayerEndToEnd, EndlessLoopsOfOneSampleNeverKeepEscapeWaiting) {
    // Three hundred endless loops of a one-sample sound ask for fourteen
    // million passes a second, far more than the loop can hand over: it falls
    // behind, merges what came due meanwhile, and still reads every key.
    TempFolder dir;
    ASSERT_TRUE(gloam::files::writeSound(dir.path() / "sounds/one.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 48000, 1, {0.25f}));
    std::string xml = R"(<a mode="preload"><scene name="Clicks">)";
    for (int i = 0; i < 300; ++i) xml += R"(<sound src="one.wav" loopCount="-1" autoStart="1"/>)";
    dir.write("adventures/clicks.xml", xml + "</scene></a>");
    PlayerInPty player(dir.path());
    ASSERT_TRUE(player.readUntil([&](const std::string&) { return showsFirstScreen(player.screen()); }));
    player.type("!");
    ASSERT_TRUE(player.readUntil([&](const std::string&) { return player.screen().find("-> clicks.xml") != std::string::npos; }));
    player.type("\r");
    ASSERT_TRUE(player.readUntil([&](const std::string&) { return player.screen().find(">Clicks<") != std::string::npos; }))
        << player.output();
    player.listen(1500ms);

    const auto asked = std::chrono::steady_clock::now();
    player.type("\x1b");
    const int status = player.waitForExit();
    const auto took = std::chrono::steady_clock::now() - asked;
    ASSERT_NE(status, -1) << "Escape was not taken";
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    EXPECT_LT(took, 1s) << std::chrono::duration_cast<std::chrono::milliseconds>(took).count() << " ms";
}
