// Raw terminal mode, its restoration on every way out, and key reading.
#include "platform/Terminal.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <iterator>

#include <poll.h>
#include <termios.h>

namespace platform {

namespace {

constexpr char showCursor[] = "\x1b[?25h";
constexpr char hideCursor[] = "\x1b[?25l";

constexpr int restoringSignals[] = {SIGINT,  SIGTERM, SIGHUP, SIGQUIT, SIGSEGV,
                                    SIGABRT, SIGBUS,  SIGFPE, SIGILL};
constexpr std::size_t numRestoringSignals = std::size(restoringSignals);

// What a signal handler needs to undo raw mode. Written only while no
// handler is installed or before `modeActive` is set.
volatile std::sig_atomic_t modeActive = 0;
int savedInputFd = -1;
int savedOutputFd = -1;
bool cursorHidden = false;
termios originalMode{};
struct sigaction previousActions[numRestoringSignals]{};
bool handlerInstalled[numRestoringSignals]{};
bool atExitRegistered = false;

void writeAll(int fd, const char* data, std::size_t size) noexcept {
    while (size > 0) {
        ssize_t n = ::write(fd, data, size);
        if (n > 0) {
            data += n;
            size -= static_cast<std::size_t>(n);
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            pollfd waitFor{fd, POLLOUT, 0};
            ::poll(&waitFor, 1, 100);
        } else {
            return;  // the output is gone; nothing sensible is left to do
        }
    }
}

// Async-signal-safe: only tcsetattr and write.
void restoreMode() noexcept {
    if (!modeActive) return;
    modeActive = 0;
    ::tcsetattr(savedInputFd, TCSANOW, &originalMode);
    if (cursorHidden) writeAll(savedOutputFd, showCursor, sizeof showCursor - 1);
}

extern "C" void restoreOnSignal(int signal) {
    int savedErrno = errno;
    restoreMode();
    // Put back what was there before and deliver the signal again once this
    // handler returns: the default action ends the process as usual, and an
    // earlier handler (a sanitizer's, say) still gets to run.
    for (std::size_t i = 0; i < numRestoringSignals; ++i) {
        if (restoringSignals[i] == signal && handlerInstalled[i]) {
            ::sigaction(signal, &previousActions[i], nullptr);
            handlerInstalled[i] = false;
        }
    }
    ::raise(signal);
    errno = savedErrno;
}

extern "C" void restoreAtExit() { restoreMode(); }

void installHandlers() {
    for (std::size_t i = 0; i < numRestoringSignals; ++i) {
        struct sigaction previous {};
        if (::sigaction(restoringSignals[i], nullptr, &previous) != 0) continue;
        // A signal the caller chose to ignore (nohup) stays ignored.
        if (previous.sa_handler == SIG_IGN) continue;
        struct sigaction action {};
        action.sa_handler = restoreOnSignal;
        sigemptyset(&action.sa_mask);
        previousActions[i] = previous;
        if (::sigaction(restoringSignals[i], &action, nullptr) == 0) handlerInstalled[i] = true;
    }
}

void removeHandlers() {
    for (std::size_t i = 0; i < numRestoringSignals; ++i) {
        if (!handlerInstalled[i]) continue;
        ::sigaction(restoringSignals[i], &previousActions[i], nullptr);
        handlerInstalled[i] = false;
    }
}

termios rawModeFrom(const termios& original) {
    termios raw = original;
    raw.c_iflag &= ~static_cast<tcflag_t>(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IXON);
    raw.c_lflag &= ~static_cast<tcflag_t>(ECHO | ECHONL | ICANON | IEXTEN);
    raw.c_lflag |= ISIG;
    raw.c_cc[VSUSP] = _POSIX_VDISABLE;
    raw.c_cc[VMIN] = 1;
    raw.c_cc[VTIME] = 0;
    return raw;
}

}  // namespace

Terminal::Terminal(int inputFd, int outputFd) : inputFd_(inputFd), outputFd_(outputFd) {
    if (modeActive || !::isatty(inputFd)) return;
    termios original{};
    if (::tcgetattr(inputFd, &original) != 0) return;

    originalMode = original;
    savedInputFd = inputFd;
    savedOutputFd = outputFd;
    cursorHidden = ::isatty(outputFd) != 0;
    if (!atExitRegistered) {
        atExitRegistered = std::atexit(restoreAtExit) == 0;
    }
    installHandlers();
    modeActive = 1;
    termios raw = rawModeFrom(original);
    if (::tcsetattr(inputFd, TCSANOW, &raw) != 0) {
        modeActive = 0;
        removeHandlers();
        return;
    }
    ownsMode_ = true;
    if (cursorHidden) writeAll(outputFd_, hideCursor, sizeof hideCursor - 1);
}

Terminal::~Terminal() {
    if (!ownsMode_) return;
    bool wasShowingScreen = cursorHidden;
    restoreMode();
    removeHandlers();
    // The last screen stays; the shell's prompt starts below it.
    if (wasShowingScreen) writeAll(outputFd_, "\n", 1);
}

bool Terminal::readOnce(int timeoutMs) {
    pollfd ready{inputFd_, POLLIN, 0};
    int polled = ::poll(&ready, 1, timeoutMs);
    if (polled <= 0) return false;  // timed out, or interrupted

    unsigned char buffer[256];
    ssize_t n = ::read(inputFd_, buffer, sizeof buffer);
    if (n > 0) {
        for (ssize_t i = 0; i < n; ++i) decoder_.feed(buffer[i]);
        return true;
    }
    if (n < 0 && (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK)) return false;
    // End of the input, a hang-up or an unusable descriptor: no key will come.
    endOfInput_ = true;
    decoder_.flush();
    return true;
}

void Terminal::pump(int timeoutMs) {
    if (!readOnce(timeoutMs)) return;
    // A sequence's bytes come together; a lone ESC is followed by silence.
    while (decoder_.incomplete() && !endOfInput_) {
        if (!readOnce(escapeWaitMs)) decoder_.flush();
    }
}

bool Terminal::keyWaiting() {
    if (decoder_.hasKey() || endOfInput_) return true;
    pump(0);
    return decoder_.hasKey() || endOfInput_;
}

int Terminal::readKey() {
    while (!decoder_.hasKey()) {
        if (endOfInput_) return keys::escape;
        pump(-1);
    }
    return decoder_.takeKey();
}

void Terminal::clearScreen() {
    static constexpr char clear[] = "\x1b[H\x1b[2J";
    writeAll(outputFd_, clear, sizeof clear - 1);
}

void Terminal::print(std::string_view text) { writeAll(outputFd_, text.data(), text.size()); }

}  // namespace platform
