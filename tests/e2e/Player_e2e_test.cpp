// The real player binary in a pseudo-terminal.
#include "TestFiles.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <string>

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

const std::string help = "Cursor left/right to select scene, letter to start/stop, '!' to load\n";
const std::string clearSequence = "\x1b[H\x1b[2J";
constexpr auto patience = 10s;

/// A fresh folder for the player to run in, removed afterwards.
struct TempDir {
    TempDir() {
        std::random_device seed;
        path = fs::temp_directory_path() / ("gloam-e2e-" + std::to_string(seed()) + std::to_string(seed()));
        fs::create_directories(path);
    }
    ~TempDir() {
        std::error_code ignored;
        fs::remove_all(path, ignored);
    }
    void write(const std::string& name, const std::string& text) const {
        fs::create_directories((path / name).parent_path());
        std::ofstream(path / name) << text;
    }
    fs::path path;
};

/// The player running on the slave side of a pty, the test on the master.
/// The test keeps the slave open too, so the terminal's mode can be read after
/// the player has gone.
class PlayerInPty {
public:
    explicit PlayerInPty(const fs::path& workDir) {
        winsize size{};
        size.ws_row = 40;
        size.ws_col = 120;
        if (::openpty(&master_, &slave_, nullptr, nullptr, &size) != 0) throw std::runtime_error("openpty");
        ::tcgetattr(slave_, &initialMode_);
        pid_ = ::fork();
        if (pid_ < 0) throw std::runtime_error("fork");
        if (pid_ == 0) {
            ::setsid();
            ::ioctl(slave_, TIOCSCTTY, 0);
            ::dup2(slave_, 0);
            ::dup2(slave_, 1);
            ::dup2(slave_, 2);
            ::close(master_);
            if (::chdir(workDir.c_str()) != 0) ::_exit(126);
            ::setenv("SDL_AUDIODRIVER", "dummy", 1);
            ::execl(GLOAM_BINARY, "gloam", static_cast<char*>(nullptr));
            ::_exit(127);
        }
    }
    ~PlayerInPty() {
        if (pid_ > 0 && !exited_) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
        ::close(master_);
        ::close(slave_);
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
    pid_t pid_ = -1;
    bool exited_ = false;
    termios initialMode_{};
    std::string output_;
};

bool showsFirstScreen(const std::string& screen) { return screen == help + "\n\n0 channels active"; }

TEST(PlayerEndToEnd, ShowsTheFirstScreenReportsAMissingFolderAndEndsCleanlyOnEscape) {
    TempDir dir;
    PlayerInPty player(dir.path);
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
    TempDir dir;
    dir.write("adventures/story.xml", R"(<story>
        <scene name="Forest" key="f"><par name="Birds" key="b"/></scene>
        <scene name="Tavern"/>
    </story>)");
    PlayerInPty player(dir.path);
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
    TempDir dir;
    testsupport::writeSine(dir.path / "sounds/rain.wav", 4000, 48000);
    dir.write("adventures/story.xml", R"(<story>
        <scene name="Forest"><sound name="Rain" key="r" src="rain.wav" fadeOut="400"/></scene>
        <scene name="Tavern" key="t"/>
    </story>)");
    PlayerInPty player(dir.path);
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
    TempDir dir;
    PlayerInPty player(dir.path);
    ASSERT_TRUE(player.readUntil([&](const std::string&) { return showsFirstScreen(player.screen()); }));
    player.type("\x03");
    int status = player.waitForExit();
    ASSERT_NE(status, -1) << player.output();
    ASSERT_TRUE(WIFSIGNALED(status)) << player.output();
    EXPECT_EQ(WTERMSIG(status), SIGINT);
    EXPECT_TRUE(player.mode().c_lflag & ECHO);
    EXPECT_TRUE(player.mode().c_lflag & ICANON);
}

}  // namespace
