// The operator's console on a POSIX terminal.
#pragma once

#include "platform/Console.h"
#include "platform/KeyDecoder.h"

#include <unistd.h>

namespace platform {

/// Keys from `inputFd`, text to `outputFd`. Main thread only.
///
/// When the input is a terminal it is put into raw mode: no echo, no line
/// buffering, no CR-to-LF translation, no flow control (Ctrl-S and Ctrl-Q are
/// keys). Output processing stays on, so "\n" starts a new line. Ctrl-C and
/// Ctrl-\ keep their usual meaning: they end the program, with the terminal
/// restored. Escape is the normal way out.
///
/// The original mode comes back in the destructor, at exit(), and when the
/// process is ended by SIGINT, SIGTERM, SIGHUP, SIGQUIT or a fatal signal
/// (SIGSEGV, SIGABRT, SIGBUS, SIGFPE, SIGILL), which then takes its usual
/// course. Job control works: on a stop (Ctrl-Z, SIGTSTP) the original mode
/// and the cursor come back before the process stops, and on every continue
/// (also after a SIGSTOP, which cannot be caught) raw mode is taken again once
/// the program is in the foreground and a redraw is requested. A window size
/// change requests a redraw too. Only one Terminal at a time takes over a
/// terminal; a second one reads and writes without touching the mode.
///
/// When the input is not a terminal (a pipe or a file), its bytes are decoded
/// all the same, so the player can be scripted; at the end of the input every
/// read gives Escape (27) and keyWaiting() stays true, so the player ends.
///
/// Writing never raises SIGPIPE once a Terminal exists (it is ignored for the
/// whole process); a write that fails for good marks the output as lost.
class Terminal final : public Console {
public:
    explicit Terminal(int inputFd = STDIN_FILENO, int outputFd = STDOUT_FILENO);
    ~Terminal() override;
    Terminal(const Terminal&) = delete;
    Terminal& operator=(const Terminal&) = delete;

    /// Never blocks for long: reads what has arrived; an unfinished key just
    /// read waits up to partialKeyWaitMs for the rest.
    bool keyWaiting() override;
    /// Blocks until a key arrives; Escape at the end of the input.
    int readKey() override;
    /// ANSI: cursor home, clear the screen and its scroll-back.
    void clearScreen() override;
    /// Writes all of `text`, retrying after interruptions and partial writes.
    void print(std::string_view text) override;
    /// Sleeps in poll() on the input, woken early by a window size change or
    /// a continue after a stop (false) or by the end of the input (true).
    bool waitForKey(int timeoutMs) override;
    /// Also wakes (false) when `wakeFd` becomes readable.
    bool waitForKeyOrWake(int wakeFd, int timeoutMs) override;
    bool takeRedrawRequest() override;
    bool outputLost() const override { return outputLost_; }
    /// Asked of the output (TIOCGWINSZ) on every call, so a resize is seen at once.
    WindowSize windowSize() const override;

    /// True while this object holds its terminal in raw mode.
    bool ownsTerminalMode() const { return ownsMode_; }

    /// How long a lone ESC or prefix byte waits for the rest of its key.
    static constexpr int partialKeyWaitMs = 50;

private:
    /// Reads what arrives within `timeoutMs` (-1: wait for it) into the
    /// decoder, then completes or flushes a pending unfinished key.
    void pump(int timeoutMs);
    /// One poll and at most one read; false when nothing arrived in time.
    bool readOnce(int timeoutMs);
    /// waitForKey, also watching `wakeFd` when it is not negative.
    bool waitFor(int timeoutMs, int wakeFd);

    int inputFd_;
    int outputFd_;
    bool ownsMode_ = false;
    bool endOfInput_ = false;
    bool outputLost_ = false;
    KeyDecoder decoder_;
};

}  // namespace platform
