// Keys in, text out: the operator's console.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace platform {

/// The size of the window in character cells; 0 x 0 when it is not known.
struct WindowSize {
    int columns = 0;
    int rows = 0;
};

/// Key codes are 0..255 (platform/Keys.h). Cursor keys arrive as 224 followed
/// by 'K', 'M', 'H' or 'P' (left, right, up, down); other special keys as 224
/// and a code that is none of those; Escape is 27, Enter 13. A prefix code is
/// waiting together with its second code, so a reader that finds no second
/// code waiting after a prefix treats the prefix as a key that does nothing.
class Console {
public:
    virtual ~Console() = default;
    /// Non-blocking: is a key (or the rest of one) waiting?
    virtual bool keyWaiting() = 0;
    /// Blocking, unbuffered, unechoed read of one code 0..255.
    virtual int readKey() = 0;
    /// Clears the screen and puts the cursor at the top left.
    virtual void clearScreen() = 0;
    /// Writes `text` as it is: callers make untrusted text visible first
    /// (platform/TerminalText.h).
    virtual void print(std::string_view text) = 0;

    /// Waits up to `timeoutMs` for a key (0: just look; negative: no limit).
    /// True as soon as a key is waiting; false when the time ran out or when
    /// there is another reason to run a pass first (a redraw request, lost
    /// output). A console that cannot wait only looks.
    virtual bool waitForKey(int /*timeoutMs*/) { return keyWaiting(); }
    /// The same, but also returns (false) as soon as `wakeFd` is readable,
    /// which it leaves readable: the owner of the descriptor drains it. A
    /// console that cannot wait only looks.
    virtual bool waitForKeyOrWake(int /*wakeFd*/, int timeoutMs) { return waitForKey(timeoutMs); }
    /// True once after the screen was disturbed from outside (the window was
    /// resized, or the program continued after a stop): whatever it shows
    /// should be written again. Clears the request.
    virtual bool takeRedrawRequest() { return false; }
    /// True once writing to the screen has failed for good (the reader of the
    /// output went away): nothing printed can be seen any more.
    virtual bool outputLost() const { return false; }
    /// The window's size as the terminal reports it now; 0 x 0 when it does
    /// not (a bare pseudo-terminal, a pipe).
    virtual WindowSize windowSize() const { return {}; }
    /// When the key that keyWaiting() reports is to take effect, in program
    /// milliseconds, for a console that knows (a script of keys); none: as
    /// soon as the reader can make it.
    virtual std::optional<std::int32_t> waitingKeyTakesEffectAt() const { return std::nullopt; }
};

}  // namespace platform
