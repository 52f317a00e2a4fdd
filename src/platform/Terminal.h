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
/// keys), and Ctrl-Z is a plain key (26) rather than a suspend, so the screen
/// never goes stale under a stopped player. Output processing stays on, so
/// "\n" starts a new line. Ctrl-C and Ctrl-\ keep their usual meaning: they
/// end the program, with the terminal restored. Escape is the normal way out.
///
/// The original mode comes back in the destructor, at exit(), and when the
/// process is ended by SIGINT, SIGTERM, SIGHUP, SIGQUIT or a fatal signal
/// (SIGSEGV, SIGABRT, SIGBUS, SIGFPE, SIGILL), which then takes its usual
/// course. Only one Terminal at a time takes over a terminal; a second one
/// reads and writes without touching the mode.
///
/// When the input is not a terminal (a pipe or a file), its bytes are decoded
/// all the same, so the player can be scripted; at the end of the input every
/// read gives Escape (27) and keyWaiting() stays true, so the player ends.
class Terminal final : public Console {
public:
    explicit Terminal(int inputFd = STDIN_FILENO, int outputFd = STDOUT_FILENO);
    ~Terminal() override;
    Terminal(const Terminal&) = delete;
    Terminal& operator=(const Terminal&) = delete;

    /// Never blocks for long: reads what has arrived; an ESC just read waits
    /// up to escapeWaitMs for the rest of its sequence.
    bool keyWaiting() override;
    /// Blocks until a key arrives; Escape at the end of the input.
    int readKey() override;
    /// ANSI: cursor home, clear the screen and its scroll-back.
    void clearScreen() override;
    /// Writes all of `text`, retrying after interruptions and partial writes.
    void print(std::string_view text) override;

    /// True while this object holds its terminal in raw mode.
    bool ownsTerminalMode() const { return ownsMode_; }

    /// How long a lone ESC waits for the rest of a sequence.
    static constexpr int escapeWaitMs = 50;

private:
    /// Reads what arrives within `timeoutMs` (-1: wait for it) into the
    /// decoder, then completes or flushes a pending escape sequence.
    void pump(int timeoutMs);
    /// One poll and at most one read; false when nothing arrived in time.
    bool readOnce(int timeoutMs);

    int inputFd_;
    int outputFd_;
    bool ownsMode_ = false;
    bool endOfInput_ = false;
    KeyDecoder decoder_;
};

}  // namespace platform
