// A console played from a timed list of key codes, on virtual time.
#pragma once

#include "platform/Clock.h"
#include "platform/Console.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace platform {

/// One key code due at a time of the virtual clock.
struct ScriptedKey {
    std::int32_t timeMs = 0;
    int code = 0;
};

/// Whether a ScriptedConsole keeps everything ever printed. A long render
/// prints hundreds of thousands of screens, so it keeps only the current one.
enum class Transcript { Keep, Discard };

/// Plays a script of key codes against a VirtualClock and records the screen.
/// For tests and the offline renderer. Main thread only.
///
/// A key's time is when it takes effect. It is waiting once the clock has
/// come within the read-ahead of that time (0 unless set), so that a reader
/// who needs that long to make a key take effect can do so on time. A
/// blocking read (the chooser's menu) takes the next key at once, moving the
/// clock forward to the time it is read at when that lies ahead. Once the script is used up every read gives Escape
/// (27), so whatever reads keys ends instead of waiting forever.
class ScriptedConsole final : public Console {
public:
    /// `keys` in time order; `clock` must outlive this console.
    ScriptedConsole(std::vector<ScriptedKey> keys, VirtualClock& clock, Transcript transcript = Transcript::Keep);

    bool keyWaiting() override;
    int readKey() override;
    std::optional<std::int32_t> waitingKeyTakesEffectAt() const override { return nextKeyTakesEffectAt(); }
    /// Keys are read `ms` before their time.
    void setReadAhead(std::int32_t ms) { readAheadMs_ = ms; }
    void clearScreen() override;
    void print(std::string_view text) override;

    WindowSize windowSize() const override { return size_; }
    /// The size windowSize() reports from now on (0 x 0 at first).
    void setWindowSize(WindowSize size) { size_ = size; }

    /// Everything printed since the last clear: what the screen shows.
    const std::string& screen() const { return screen_; }
    /// Everything printed, with clears marked as "\f"; empty when discarded.
    const std::string& transcript() const { return transcript_; }
    int clearCount() const { return clearCount_; }
    int printCount() const { return printCount_; }
    /// Keys not read yet.
    std::size_t keysLeft() const { return keys_.size() - next_; }
    /// When the next key is to be read (its time less the read-ahead);
    /// none when the script is used up.
    std::optional<std::int32_t> nextKeyAt() const {
        if (next_ >= keys_.size()) return std::nullopt;
        return wrapSub(keys_[next_].timeMs, readAheadMs_);
    }
    /// The time of the next key; none when the script is used up.
    std::optional<std::int32_t> nextKeyTakesEffectAt() const {
        if (next_ >= keys_.size()) return std::nullopt;
        return keys_[next_].timeMs;
    }

private:
    std::vector<ScriptedKey> keys_;
    std::size_t next_ = 0;
    std::int32_t readAheadMs_ = 0;
    VirtualClock& clock_;
    std::string screen_;
    std::string transcript_;
    bool keepTranscript_;
    int clearCount_ = 0;
    int printCount_ = 0;
    WindowSize size_;
};

}  // namespace platform
