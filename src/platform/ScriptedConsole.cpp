// The scripted console: keys from a list, screen into strings.
#include "platform/ScriptedConsole.h"

#include <utility>

namespace platform {

ScriptedConsole::ScriptedConsole(std::vector<ScriptedKey> keys, VirtualClock& clock, Transcript transcript)
    : keys_(std::move(keys)), clock_(clock), keepTranscript_(transcript == Transcript::Keep) {}

bool ScriptedConsole::keyWaiting() {
    if (next_ >= keys_.size()) return false;
    // Signed difference, so a clock that wrapped still compares correctly.
    auto ahead = static_cast<std::int32_t>(static_cast<std::uint32_t>(keys_[next_].timeMs) -
                                           static_cast<std::uint32_t>(clock_.nowMs()));
    return ahead <= 0;
}

int ScriptedConsole::readKey() {
    if (next_ >= keys_.size()) return 27;
    const ScriptedKey& key = keys_[next_++];
    auto ahead = static_cast<std::int32_t>(static_cast<std::uint32_t>(key.timeMs) -
                                           static_cast<std::uint32_t>(clock_.nowMs()));
    if (ahead > 0) clock_.set(key.timeMs);
    return key.code & 0xff;
}

void ScriptedConsole::clearScreen() {
    screen_.clear();
    if (keepTranscript_) transcript_ += '\f';
    ++clearCount_;
}

void ScriptedConsole::print(std::string_view text) {
    screen_ += text;
    if (keepTranscript_) transcript_ += text;
    ++printCount_;
}

}  // namespace platform
