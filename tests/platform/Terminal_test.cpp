#include "platform/Terminal.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <string>
#include <thread>

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

namespace {

using platform::Terminal;

/// How long a test waits for what another process or thread should do at once.
constexpr int patienceMs = 10000;

/// Both ends of a pipe, closed on destruction.
struct Pipe {
    Pipe() { EXPECT_EQ(::pipe(fds), 0); }
    ~Pipe() {
        closeWrite();
        if (fds[0] >= 0) ::close(fds[0]);
    }
    void write(std::string_view bytes) const {
        ASSERT_EQ(::write(fds[1], bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
    }
    void closeWrite() {
        if (fds[1] >= 0) ::close(fds[1]);
        fds[1] = -1;
    }
    std::string drain() const {
        std::string text;
        char buffer[512];
        pollfd ready{fds[0], POLLIN, 0};
        while (::poll(&ready, 1, 0) > 0) {
            ssize_t n = ::read(fds[0], buffer, sizeof buffer);
            if (n <= 0) break;
            text.append(buffer, static_cast<std::size_t>(n));
        }
        return text;
    }
    int fds[2]{-1, -1};
};

/// A pseudo-terminal pair, closed on destruction.
struct Pty {
    Pty() { EXPECT_EQ(::openpty(&master, &slave, nullptr, nullptr, nullptr), 0); }
    ~Pty() {
        ::close(master);
        ::close(slave);
    }
    termios mode() const {
        termios current{};
        EXPECT_EQ(::tcgetattr(slave, &current), 0);
        return current;
    }
    int master = -1;
    int slave = -1;
};

TEST(Terminal, KeysFromAPipeAreDecoded) {
    Pipe input;
    Pipe output;
    Terminal terminal(input.fds[0], output.fds[1]);
    EXPECT_FALSE(terminal.ownsTerminalMode());
    EXPECT_FALSE(terminal.keyWaiting());

    input.write("a\x1b[D\r");
    ASSERT_TRUE(terminal.keyWaiting());
    EXPECT_EQ(terminal.readKey(), 'a');
    EXPECT_EQ(terminal.readKey(), 224);
    EXPECT_EQ(terminal.readKey(), 'K');
    EXPECT_EQ(terminal.readKey(), 13);
    EXPECT_FALSE(terminal.keyWaiting());
}

TEST(Terminal, ALoneEscapeIsReadAfterTheShortWait) {
    Pipe input;
    Pipe output;
    Terminal terminal(input.fds[0], output.fds[1]);
    input.write("\x1b");
    auto before = std::chrono::steady_clock::now();
    ASSERT_TRUE(terminal.keyWaiting());
    auto waited = std::chrono::steady_clock::now() - before;
    EXPECT_GE(waited, std::chrono::milliseconds(Terminal::partialKeyWaitMs - 5));
    EXPECT_EQ(terminal.readKey(), 27);
    EXPECT_FALSE(terminal.keyWaiting()) << "the input is still open";
}

TEST(Terminal, EndOfInputReadsEscapeForever) {
    Pipe input;
    Pipe output;
    Terminal terminal(input.fds[0], output.fds[1]);
    input.write("x");
    input.closeWrite();
    EXPECT_EQ(terminal.readKey(), 'x');
    EXPECT_TRUE(terminal.keyWaiting());
    EXPECT_EQ(terminal.readKey(), 27);
    EXPECT_TRUE(terminal.keyWaiting());
    EXPECT_EQ(terminal.readKey(), 27);
}

TEST(Terminal, AnEscapeRightBeforeEndOfInputIsStillEscape) {
    Pipe input;
    Pipe output;
    Terminal terminal(input.fds[0], output.fds[1]);
    input.write("!\x1b");
    input.closeWrite();
    EXPECT_EQ(terminal.readKey(), '!');
    EXPECT_EQ(terminal.readKey(), 27);
}

TEST(Terminal, PrintWritesEverythingAndClearUsesAnsi) {
    Pipe input;
    Pipe output;
    Terminal terminal(input.fds[0], output.fds[1]);
    terminal.clearScreen();
    terminal.print("hello\n");
    terminal.print(std::string_view("\0x", 2));
    EXPECT_EQ(output.drain(), std::string("\x1b[H\x1b[2Jhello\n") + std::string(1, '\0') + "x");
}

TEST(Terminal, PrintHandlesTextLargerThanThePipeBuffer) {
    Pipe input;
    Pipe output;
    int size = ::fcntl(output.fds[1], F_GETPIPE_SZ);
    ASSERT_GT(size, 0);
    std::string big(static_cast<std::size_t>(size) * 2 + 7, 'z');
    pid_t reader = ::fork();
    ASSERT_GE(reader, 0);
    if (reader == 0) {
        // Child: count what arrives; report success through the exit code.
        ::close(output.fds[1]);
        std::size_t total = 0;
        char buffer[4096];
        ssize_t n;
        while ((n = ::read(output.fds[0], buffer, sizeof buffer)) > 0) total += static_cast<std::size_t>(n);
        ::_exit(total == big.size() ? 0 : 1);
    }
    {
        Terminal terminal(input.fds[0], output.fds[1]);
        terminal.print(big);
    }
    output.closeWrite();
    int status = 0;
    ASSERT_EQ(::waitpid(reader, &status, 0), reader);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

TEST(Terminal, ATerminalGoesRawAndComesBackOnDestruction) {
    Pty pty;
    termios before = pty.mode();
    ASSERT_TRUE(before.c_lflag & ECHO);
    ASSERT_TRUE(before.c_lflag & ICANON);
    {
        Terminal terminal(pty.slave, pty.slave);
        ASSERT_TRUE(terminal.ownsTerminalMode());
        termios raw = pty.mode();
        EXPECT_FALSE(raw.c_lflag & ECHO);
        EXPECT_FALSE(raw.c_lflag & ICANON);
        EXPECT_FALSE(raw.c_iflag & ICRNL) << "Enter must arrive as CR";
        EXPECT_FALSE(raw.c_iflag & IXON);
        EXPECT_TRUE(raw.c_oflag & OPOST) << "\\n must still start a new line";
        EXPECT_TRUE(raw.c_lflag & ISIG);

        // Keys typed without Enter arrive one by one.
        ASSERT_EQ(::write(pty.master, "q\r", 2), 2);
        EXPECT_EQ(terminal.readKey(), 'q');
        EXPECT_EQ(terminal.readKey(), 13);

        Terminal second(pty.slave, pty.slave);
        EXPECT_FALSE(second.ownsTerminalMode()) << "only one takes over the terminal";
    }
    termios after = pty.mode();
    EXPECT_EQ(after.c_lflag, before.c_lflag);
    EXPECT_EQ(after.c_iflag, before.c_iflag);
    EXPECT_EQ(after.c_oflag, before.c_oflag);
}

// Ends a forked child with `signal` while its Terminal holds the pty raw, and
// checks that the child died of that signal with the mode restored.
void expectSignalRestoresMode(int signalNumber) {
    Pty pty;
    termios before = pty.mode();
    pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        // The sanitizers' own handlers would turn the crash into a report and
        // an exit code; the default action is what is being checked.
        ::signal(signalNumber, SIG_DFL);
        rlimit noCore{0, 0};
        ::setrlimit(RLIMIT_CORE, &noCore);
        Terminal terminal(pty.slave, pty.slave);
        if (!terminal.ownsTerminalMode()) ::_exit(3);
        ::raise(signalNumber);
        ::_exit(4);  // not reached when the signal ends the process
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status)) << "signal " << signalNumber << " exit " << WEXITSTATUS(status);
    EXPECT_EQ(WTERMSIG(status), signalNumber);
    termios after = pty.mode();
    EXPECT_EQ(after.c_lflag, before.c_lflag) << "signal " << signalNumber;
    EXPECT_EQ(after.c_iflag, before.c_iflag) << "signal " << signalNumber;
}

TEST(Terminal, EndingSignalsRestoreTheModeAndStillEndTheProcess) {
    for (int signalNumber : {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGABRT, SIGSEGV, SIGBUS, SIGFPE, SIGILL}) {
        expectSignalRestoresMode(signalNumber);
    }
}

TEST(Terminal, AnEndingSignalDoesNotWaitForATerminalThatStoppedReading) {
    Pty pty;  // nobody reads the master: the terminal has stopped reading
    termios before = pty.mode();
    Pipe ready;
    pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::signal(SIGINT, SIG_DFL);
        Terminal terminal(pty.slave, pty.slave);
        if (!terminal.ownsTerminalMode()) ::_exit(3);
        // Fill the terminal's output until it takes no more...
        const int flags = ::fcntl(pty.slave, F_GETFL);
        ::fcntl(pty.slave, F_SETFL, flags | O_NONBLOCK);
        const std::string screen(4096, 'x');
        while (::write(pty.slave, screen.data(), screen.size()) > 0) {
        }
        ::fcntl(pty.slave, F_SETFL, flags);
        ::close(ready.fds[0]);
        [[maybe_unused]] ssize_t said = ::write(ready.fds[1], "f", 1);
        // ... and wait in the next screen, as the player would.
        terminal.print(screen);
        ::_exit(4);
    }
    ready.closeWrite();
    pollfd full{ready.fds[0], POLLIN, 0};
    ASSERT_EQ(::poll(&full, 1, patienceMs), 1);
    ASSERT_EQ(::kill(child, SIGINT), 0);

    // Ended by Ctrl-C at once, the output still stuck, with the mode restored.
    const int ended = static_cast<int>(::syscall(SYS_pidfd_open, child, 0));
    ASSERT_GE(ended, 0);
    pollfd exited{ended, POLLIN, 0};
    const bool gone = ::poll(&exited, 1, patienceMs) == 1;
    ::close(ended);
    if (!gone) ::kill(child, SIGKILL);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(gone) << "Ctrl-C waited for the terminal to read its output";
    ASSERT_TRUE(WIFSIGNALED(status)) << "exit " << WEXITSTATUS(status);
    EXPECT_EQ(WTERMSIG(status), SIGINT);
    EXPECT_EQ(pty.mode().c_lflag, before.c_lflag);
    EXPECT_EQ(pty.mode().c_iflag, before.c_iflag);
}

TEST(Terminal, ExitRestoresTheModeWithoutTheDestructor) {
    Pty pty;
    termios before = pty.mode();
    pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        // Never destroyed; reachable from a static, so not reported as a leak.
        static Terminal* terminal = new Terminal(pty.slave, pty.slave);
        std::exit(terminal->ownsTerminalMode() ? 0 : 3);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(pty.mode().c_lflag, before.c_lflag);
}

TEST(Terminal, WaitingForAKeyEndsWithAKeyAResizeOrTheTimeout) {
    Pty pty;
    Terminal terminal(pty.slave, pty.slave);
    ASSERT_TRUE(terminal.ownsTerminalMode());
    EXPECT_FALSE(terminal.waitForKey(0));
    auto before = std::chrono::steady_clock::now();
    EXPECT_FALSE(terminal.waitForKey(30));
    EXPECT_GE(std::chrono::steady_clock::now() - before, std::chrono::milliseconds(25));

    ASSERT_EQ(::write(pty.master, "q", 1), 1);
    EXPECT_TRUE(terminal.waitForKey(-1));
    EXPECT_EQ(terminal.readKey(), 'q');

    // A window size change, handled on another thread as it may be when the
    // audio threads run, wakes a wait without limit, and asks for one redraw.
    EXPECT_FALSE(terminal.takeRedrawRequest());
    std::thread resize([] { ::kill(::getpid(), SIGWINCH); });
    before = std::chrono::steady_clock::now();
    EXPECT_FALSE(terminal.waitForKey(patienceMs));
    EXPECT_LT(std::chrono::steady_clock::now() - before, std::chrono::milliseconds(patienceMs / 2));
    resize.join();
    EXPECT_TRUE(terminal.takeRedrawRequest());
    EXPECT_FALSE(terminal.takeRedrawRequest());
    EXPECT_FALSE(terminal.waitForKey(0));
}

TEST(Terminal, AStopGivesTheTerminalBackAndTheContinueTakesItAgain) {
    Pty pty;
    termios before = pty.mode();
    Pipe ready;
    pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        // A job of its own, as a shell starts it, so that the stop happens.
        ::setpgid(0, 0);
        Terminal terminal(pty.slave, pty.slave);
        if (!terminal.ownsTerminalMode()) ::_exit(3);
        ready.write("r");
        while (terminal.waitForKey(patienceMs)) terminal.readKey();
        if (!terminal.takeRedrawRequest()) ::_exit(4);
        termios now{};
        ::tcgetattr(pty.slave, &now);
        ::_exit((now.c_lflag & (ECHO | ICANON)) != 0 ? 5 : 0);
    }
    char byte = 0;
    ASSERT_EQ(::read(ready.fds[0], &byte, 1), 1);

    ASSERT_EQ(::kill(child, SIGTSTP), 0);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, WUNTRACED), child);
    ASSERT_TRUE(WIFSTOPPED(status));
    termios stopped = pty.mode();
    EXPECT_EQ(stopped.c_lflag, before.c_lflag) << "keys echo at the shell while the player is stopped";
    EXPECT_EQ(stopped.c_iflag, before.c_iflag);

    ASSERT_EQ(::kill(child, SIGCONT), 0);
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "3: no raw mode, 4: no redraw asked for, 5: not raw after the continue";

    // Hidden while playing, shown while stopped, hidden again (the continue
    // may be handled twice: in the stop's handler and in its own).
    std::string written;
    char buffer[256];
    pollfd readable{pty.master, POLLIN, 0};
    while (::poll(&readable, 1, 0) > 0) {
        ssize_t n = ::read(pty.master, buffer, sizeof buffer);
        if (n <= 0) break;
        written.append(buffer, static_cast<std::size_t>(n));
    }
    EXPECT_TRUE(written.starts_with("\x1b[?25l\x1b[?25h\x1b[?25l")) << written;
    EXPECT_TRUE(written.ends_with("\x1b[?25l")) << written;
}

}  // namespace
