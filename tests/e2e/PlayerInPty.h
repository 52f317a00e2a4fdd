// The real player binary on a pseudo-terminal, for end-to-end tests.
#pragma once

#include <chrono>
#include <csignal>
#include <filesystem>
#include <functional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

namespace e2e {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

inline const std::string clearSequence = "\x1b[H\x1b[2J";
inline constexpr auto patience = 10s;

/// The player running on the slave side of a pty, the test on the master.
/// The test keeps the slave open too, so the terminal's mode can be read after
/// the player has gone. With `outputToPipe` the player's standard output is a
/// pipe that the test reads (and may close), as under `gloam | tee`.
class PlayerInPty {
public:
    /// `environment` sets variables for the player (the audio driver is
    /// SDL's dummy device unless it says otherwise).
    /// `arguments` go to the player's command line.
    explicit PlayerInPty(const fs::path& workDir, bool outputToPipe = false,
                         const std::vector<std::pair<std::string, std::string>>& environment = {},
                         const std::vector<std::string>& arguments = {}) {
        std::vector<char*> argv{const_cast<char*>("gloam")};
        for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
        argv.push_back(nullptr);
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
            ::execv(GLOAM_BINARY, argv.data());
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
    pid_t pid() const { return pid_; }
    /// Bytes typed that the player's terminal holds and the player has not read.
    int inputWaiting() const {
        int count = 0;
        ::ioctl(slave_, FIONREAD, &count);
        return count;
    }
    /// Reads whatever output is waiting, within `timeoutMs`.
    void readFor(int timeoutMs) { drain(timeoutMs); }

    /// Waits for the player to end; the raw wait status, or -1 after the
    /// patience ran out.
    int waitForExit() {
        if (exited_) return exitStatus_;
        auto giveUp = std::chrono::steady_clock::now() + patience;
        while (std::chrono::steady_clock::now() < giveUp) {
            int status = 0;
            pid_t done = ::waitpid(pid_, &status, WNOHANG);
            if (done == pid_) {
                exited_ = true;
                exitStatus_ = status;
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
    int pipe_ = -1;
    pid_t pid_ = -1;
    bool exited_ = false;
    int exitStatus_ = 0;
    termios initialMode_{};
    std::string output_;
    std::string pipeOutput_;
};


}  // namespace e2e
