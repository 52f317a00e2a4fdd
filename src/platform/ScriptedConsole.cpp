// The scripted console: keys from a list, screen into strings.
#include "platform/ScriptedConsole.h"

#include "platform/WrapTime.h"

#include <utility>

namespace platform {

ScriptedConsole::ScriptedConsole(std::vector<ScriptedKey> keys, VirtualClock& clock, Transcript transcript)
    : keys_(std::move(keys)), clock_(clock), keepTranscript_(transcript == Transcript::Keep) {}

bool ScriptedConsole::keyWaiting() {
    if (next_ >= keys_.size()) return false;
    return wrapSub(*nextKeyAt(), clock_.nowMs()) <= 0;
}

int ScriptedConsole::readKey() {
    if (next_ >= keys_.size()) return 27;
    const std::int32_t readAt = *nextKeyAt();
    const ScriptedKey& key = keys_[next_++];
    if (wrapSub(readAt, clock_.nowMs()) > 0) clock_.set(readAt);
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
