// Raw terminal mode, its restoration on every way out and around job control,
// waking on resizes, and key reading.
#include "platform/Terminal.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <iterator>

#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>

namespace platform {

namespace {

constexpr char showCursor[] = "\x1b[?25h";
constexpr char hideCursor[] = "\x1b[?25l";

extern "C" void restoreOnSignal(int signal);
extern "C" void suspendOnStop(int signal);
extern "C" void resumeOnContinue(int signal);
extern "C" void noteResize(int signal);

struct HandledSignal {
    int signal;
    void (*handler)(int);
    /// Keep a signal the caller chose to ignore (nohup, a shell without job
    /// control) ignored.
    bool keepIgnored;
};

constexpr HandledSignal handledSignals[] = {
    {SIGINT, restoreOnSignal, true},   {SIGTERM, restoreOnSignal, true},  {SIGHUP, restoreOnSignal, true},
    {SIGQUIT, restoreOnSignal, true},  {SIGSEGV, restoreOnSignal, true},  {SIGABRT, restoreOnSignal, true},
    {SIGBUS, restoreOnSignal, true},   {SIGFPE, restoreOnSignal, true},   {SIGILL, restoreOnSignal, true},
    {SIGTSTP, suspendOnStop, true},    {SIGCONT, resumeOnContinue, false}, {SIGWINCH, noteResize, false},
};
constexpr std::size_t numHandledSignals = std::size(handledSignals);

// What the signal handlers need. Written only while no handler is installed
// or before `modeActive` is set. Handlers may run on any thread of the
// process, so the flags they share with the main thread are lock-free atomics.
volatile std::sig_atomic_t modeActive = 0;
int savedInputFd = -1;
int savedOutputFd = -1;
bool cursorHidden = false;
termios originalMode{};
termios rawMode{};
struct sigaction previousActions[numHandledSignals]{};
bool handlerInstalled[numHandledSignals]{};
bool atExitRegistered = false;
std::atomic<bool> redrawRequested{false};
/// A self-pipe: handlers write a byte so that a poll() on another thread wakes.
int wakeRead = -1;
int wakeWrite = -1;

/// False when writing stopped for good (the reader is gone, a hang-up).
bool writeAll(int fd, const char* data, std::size_t size) noexcept {
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
            return false;
        }
    }
    return true;
}

/// Writes what the terminal takes at once and gives up on the rest: for the
/// signal handlers, where a terminal that has stopped reading (a suspended
/// emulator, a full pseudo-terminal) must not hold up the way out or the
/// stop. The descriptor is non-blocking for this write only.
void writeWithoutWaiting(int fd, const char* data, std::size_t size) noexcept {
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags < 0) return;
    const bool wasBlocking = (flags & O_NONBLOCK) == 0;
    if (wasBlocking && ::fcntl(fd, F_SETFL, flags | O_NONBLOCK) != 0) return;
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n > 0) {
            data += n;
            size -= static_cast<std::size_t>(n);
        } else if (!(n < 0 && errno == EINTR)) {
            break;
        }
    }
    if (wasBlocking) ::fcntl(fd, F_SETFL, flags);
}

/// True unless the terminal belongs to another process group: a program in
/// the background must not take the terminal from the shell (and tcsetattr
/// would stop it with SIGTTOU).
bool inForeground() noexcept {
    pid_t foreground = ::tcgetpgrp(savedInputFd);
    return foreground == -1 || foreground == ::getpgrp();
}

/// Whether writing the cursor's sequence may wait for the terminal: on the
/// main thread's way out it does, in a signal handler it never does.
enum class Waiting { Allowed, Never };

void writeSequence(const char* sequence, std::size_t size, Waiting waiting) noexcept {
    if (waiting == Waiting::Allowed) {
        writeAll(savedOutputFd, sequence, size);
    } else {
        writeWithoutWaiting(savedOutputFd, sequence, size);
    }
}

// Async-signal-safe, like everything below that a handler calls. The mode is
// set at once (TCSANOW), without waiting for the output to drain.
void putBackOriginalMode(Waiting waiting) noexcept {
    ::tcsetattr(savedInputFd, TCSANOW, &originalMode);
    if (cursorHidden) writeSequence(showCursor, sizeof showCursor - 1, waiting);
}

void takeRawMode(Waiting waiting) noexcept {
    ::tcsetattr(savedInputFd, TCSANOW, &rawMode);
    if (cursorHidden) writeSequence(hideCursor, sizeof hideCursor - 1, waiting);
}

void wakeMainThread() noexcept {
    redrawRequested.store(true);
    if (wakeWrite >= 0) {
        char byte = 1;
        [[maybe_unused]] ssize_t ignored = ::write(wakeWrite, &byte, 1);
    }
}

/// For good: on the way out of the process.
void restoreMode(Waiting waiting) noexcept {
    if (!modeActive) return;
    modeActive = 0;
    putBackOriginalMode(waiting);
}

extern "C" void restoreOnSignal(int signal) {
    int savedErrno = errno;
    restoreMode(Waiting::Never);
    // Put back what was there before and deliver the signal again once this
    // handler returns: the default action ends the process as usual, and an
    // earlier handler (a sanitizer's, say) still gets to run.
    for (std::size_t i = 0; i < numHandledSignals; ++i) {
        if (handledSignals[i].signal == signal && handlerInstalled[i]) {
            ::sigaction(signal, &previousActions[i], nullptr);
            handlerInstalled[i] = false;
        }
    }
    ::raise(signal);
    errno = savedErrno;
}

extern "C" void suspendOnStop(int signal) {
    int savedErrno = errno;
    if (modeActive && inForeground()) putBackOriginalMode(Waiting::Never);
    // Stop right here with the default action; execution goes on below once
    // the shell continues the process (or at once, when the stop is dropped
    // because no shell is left to continue it).
    struct sigaction stop {};
    stop.sa_handler = SIG_DFL;
    sigemptyset(&stop.sa_mask);
    struct sigaction ours {};
    ::sigaction(signal, &stop, &ours);
    sigset_t only;
    sigemptyset(&only);
    sigaddset(&only, signal);
    ::pthread_sigmask(SIG_UNBLOCK, &only, nullptr);
    ::raise(signal);
    ::pthread_sigmask(SIG_BLOCK, &only, nullptr);
    ::sigaction(signal, &ours, nullptr);
    if (modeActive && inForeground()) takeRawMode(Waiting::Never);
    wakeMainThread();
    errno = savedErrno;
}

extern "C" void resumeOnContinue(int) {
    int savedErrno = errno;
    // Also after a stop this program could not see (SIGSTOP): the shell has
    // put its own mode back meanwhile.
    if (modeActive && inForeground()) takeRawMode(Waiting::Never);
    wakeMainThread();
    errno = savedErrno;
}

extern "C" void noteResize(int) {
    int savedErrno = errno;
    wakeMainThread();
    errno = savedErrno;
}

extern "C" void restoreAtExit() { restoreMode(Waiting::Allowed); }

void installHandlers() {
    for (std::size_t i = 0; i < numHandledSignals; ++i) {
        const HandledSignal& entry = handledSignals[i];
        struct sigaction previous {};
        if (::sigaction(entry.signal, nullptr, &previous) != 0) continue;
        if (entry.keepIgnored && previous.sa_handler == SIG_IGN) continue;
        struct sigaction action {};
        action.sa_handler = entry.handler;
        // One of these handlers at a time per thread; other threads' system
        // calls are restarted rather than failed by a resize.
        sigemptyset(&action.sa_mask);
        for (const HandledSignal& other : handledSignals) sigaddset(&action.sa_mask, other.signal);
        action.sa_flags = entry.handler == restoreOnSignal ? 0 : SA_RESTART;
        previousActions[i] = previous;
        if (::sigaction(entry.signal, &action, nullptr) == 0) handlerInstalled[i] = true;
    }
}

void removeHandlers() {
    for (std::size_t i = 0; i < numHandledSignals; ++i) {
        if (!handlerInstalled[i]) continue;
        ::sigaction(handledSignals[i].signal, &previousActions[i], nullptr);
        handlerInstalled[i] = false;
    }
}

void openWakePipe() {
    int fds[2];
    if (::pipe2(fds, O_NONBLOCK | O_CLOEXEC) != 0) return;
    wakeRead = fds[0];
    wakeWrite = fds[1];
}

void closeWakePipe() {
    // Forgotten before closing, so that a late handler does not write into
    // whatever file gets the number next.
    const int readEnd = wakeRead;
    const int writeEnd = wakeWrite;
    wakeRead = wakeWrite = -1;
    if (readEnd >= 0) ::close(readEnd);
    if (writeEnd >= 0) ::close(writeEnd);
}

void drainWakePipe() {
    char buffer[64];
    while (wakeRead >= 0 && ::read(wakeRead, buffer, sizeof buffer) > 0) {
    }
}

termios rawModeFrom(const termios& original) {
    termios raw = original;
    raw.c_iflag &= ~static_cast<tcflag_t>(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IXON);
    raw.c_lflag &= ~static_cast<tcflag_t>(ECHO | ECHONL | ICANON | IEXTEN);
    raw.c_lflag |= ISIG;
    raw.c_cc[VMIN] = 1;
    raw.c_cc[VTIME] = 0;
    return raw;
}

}  // namespace

Terminal::Terminal(int inputFd, int outputFd) : inputFd_(inputFd), outputFd_(outputFd) {
    // A reader of the output that goes away must not kill the player with the
    // terminal still raw; print() notices the failed write instead.
    ::signal(SIGPIPE, SIG_IGN);
    if (modeActive || !::isatty(inputFd)) return;
    termios original{};
    if (::tcgetattr(inputFd, &original) != 0) return;

    originalMode = original;
    rawMode = rawModeFrom(original);
    savedInputFd = inputFd;
    savedOutputFd = outputFd;
    cursorHidden = ::isatty(outputFd) != 0;
    if (!atExitRegistered) {
        atExitRegistered = std::atexit(restoreAtExit) == 0;
    }
    redrawRequested.store(false);
    openWakePipe();
    installHandlers();
    modeActive = 1;
    if (::tcsetattr(inputFd, TCSANOW, &rawMode) != 0) {
        modeActive = 0;
        removeHandlers();
        closeWakePipe();
        return;
    }
    ownsMode_ = true;
    if (cursorHidden) writeAll(outputFd_, hideCursor, sizeof hideCursor - 1);
}

Terminal::~Terminal() {
    if (!ownsMode_) return;
    bool wasShowingScreen = cursorHidden;
    restoreMode(Waiting::Allowed);
    removeHandlers();
    closeWakePipe();
    // The last screen stays; the shell's prompt starts below it.
    if (wasShowingScreen) writeAll(outputFd_, "\n", 1);
}

bool Terminal::readOnce(int timeoutMs) {
    using std::chrono::steady_clock;
    const auto giveUp = steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    pollfd ready{inputFd_, POLLIN, 0};
    int polled = ::poll(&ready, 1, timeoutMs);
    // A resize in the middle of a key's bytes must not cut the key short.
    while (polled < 0 && errno == EINTR) {
        int remainingMs = -1;
        if (timeoutMs >= 0) {
            auto left = std::chrono::duration_cast<std::chrono::milliseconds>(giveUp - steady_clock::now()).count();
            remainingMs = left > 0 ? static_cast<int>(left) : 0;
        }
        polled = ::poll(&ready, 1, remainingMs);
    }
    if (polled <= 0) return false;  // timed out

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
    // A key's bytes come together; a lone ESC or prefix is followed by silence.
    while (decoder_.incomplete() && !endOfInput_) {
        if (!readOnce(partialKeyWaitMs)) decoder_.flush();
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

bool Terminal::waitForKey(int timeoutMs) { return waitFor(timeoutMs, -1); }

bool Terminal::waitForKeyOrWake(int wakeFd, int timeoutMs) { return waitFor(timeoutMs, wakeFd); }

bool Terminal::waitFor(int timeoutMs, int wakeFd) {
    using std::chrono::steady_clock;
    const auto start = steady_clock::now();
    for (;;) {
        if (decoder_.hasKey() || endOfInput_) return true;
        if (redrawRequested.load() || outputLost_) return false;
        int remainingMs = -1;
        if (timeoutMs >= 0) {
            auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(steady_clock::now() - start);
            remainingMs = elapsed.count() >= timeoutMs ? 0 : timeoutMs - static_cast<int>(elapsed.count());
        }
        // The input, the signal handlers' pipe and the caller's descriptor;
        // a negative descriptor is skipped by poll().
        pollfd ready[3] = {{inputFd_, POLLIN, 0}, {wakeRead, POLLIN, 0}, {wakeFd, POLLIN, 0}};
        int polled = ::poll(ready, 3, remainingMs);
        if (polled < 0 && errno == EINTR) continue;
        if (polled < 0) {
            // The input cannot be waited on at all: no key will ever come.
            endOfInput_ = true;
            continue;
        }
        if (polled == 0) return false;
        if (ready[1].revents != 0) drainWakePipe();
        if (ready[0].revents != 0) pump(0);
        if (ready[2].revents != 0) return decoder_.hasKey() || endOfInput_;
    }
}

bool Terminal::takeRedrawRequest() {
    if (!ownsMode_) return false;
    return redrawRequested.exchange(false);
}

void Terminal::clearScreen() {
    static constexpr char clear[] = "\x1b[H\x1b[2J";
    print(std::string_view(clear, sizeof clear - 1));
}

void Terminal::print(std::string_view text) {
    if (outputLost_) return;
    if (!writeAll(outputFd_, text.data(), text.size())) outputLost_ = true;
}

WindowSize Terminal::windowSize() const {
    winsize size{};
    if (::ioctl(outputFd_, TIOCGWINSZ, &size) != 0) return {};
    return {size.ws_col, size.ws_row};
}

}  // namespace platform
