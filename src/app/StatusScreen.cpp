// Composing the status screen from display names, and writing it at a calm pace.
#include "app/StatusScreen.h"

#include "app/Adventure.h"
#include "model/Scene.h"
#include "platform/Clock.h"
#include "platform/Console.h"
#include "platform/TerminalText.h"
#include "model/Moment.h"
#include "playback/Playable.h"

#include <string_view>

namespace gloam {

namespace {

constexpr char helpLine[] = "Cursor left/right to select scene, letter to start/stop, '!' to load\n";
constexpr char separator[] =
    "\n\n   ----------------------------------------------------------------------\n\n";
constexpr std::size_t columnWidth = 19;

/// Appends `head` + `name` + `tail` left-aligned in a 19-byte column, cut to
/// 511 bytes without splitting a character. A longer label keeps its length
/// and pushes what follows to the right.
void appendColumn(std::string& text, std::string_view head, std::string_view name, std::string_view tail) {
    const std::size_t start = text.size();
    text += head;
    text += name;
    text += tail;
    std::string_view label(text.data() + start, text.size() - start);
    text.resize(start + platform::characterBoundary(label, DisplayNames::maxLabelBytes));
    const std::size_t length = text.size() - start;
    if (length < columnWidth) text.append(columnWidth - length, ' ');
}

char stateMarker(const Playable& element) {
    switch (element.state()) {
    case State::Playing: return element.fadingOut() ? 'F' : 'P';
    case State::Waiting: return 'E';
    default: return ' ';
    }
}

/// A key code as one visible character: a control or a lone byte of a
/// multi-byte character would reach the terminal raw.
char visibleKey(std::size_t code) {
    return code >= 0x20 && code < 0x7F ? static_cast<char>(code) : platform::invisiblePlaceholder;
}

void compose(std::string& text, const Adventure& adventure, int channelCount, DisplayNames& names) {
    text = helpLine;
    if (const Scene* current = adventure.current()) {
        for (std::size_t i = 0; i < adventure.scenes.size(); ++i) {
            if (i % 4 == 0) text += '\n';
            const Scene& scene = *adventure.scenes[i];
            const std::string& name = names.of(&scene, scene.name);
            if (i == adventure.currentScene) {
                appendColumn(text, ">", name, "<");
            } else {
                appendColumn(text, " ", name, "");
            }
        }
        text += separator;
        for (std::size_t key = 0; key < current->elementHotkeys.size(); ++key) {
            const Playable* element = current->elementForKey(static_cast<unsigned char>(key));
            if (element == nullptr) continue;
            const char head[] = {' ', '(', visibleKey(key), ' ', stateMarker(*element), ')', ' '};
            appendColumn(text, std::string_view(head, sizeof head), names.of(element, element->name), "");
            text += '\n';
        }
    }
    text += "\n\n";
    text += std::to_string(channelCount);
    text += " channels active";
}

}  // namespace

void DisplayNames::follow(const Adventure& adventure) {
    if (revision_ == adventure.revision()) return;
    revision_ = adventure.revision();
    names_.clear();
}

const std::string& DisplayNames::of(const void* owner, const std::string& name) {
    auto found = names_.find(owner);
    if (found == names_.end()) found = names_.emplace(owner, platform::visibleText(name, maxLabelBytes)).first;
    return found->second;
}

std::string composeStatus(const Adventure& adventure, int channelCount) {
    DisplayNames names;
    std::string text;
    compose(text, adventure, channelCount, names);
    return text;
}

StatusScreen::StatusScreen(platform::Console& console, const platform::Clock& clock)
    : console_(console), clock_(clock) {}

bool StatusScreen::draw(const Adventure& adventure, int channelCount) {
    names_.follow(adventure);
    compose(composed_, adventure, channelCount, names_);
    if (!redrawRequested_ && composed_ == lastPrinted_) {
        due_.reset();
        return false;
    }
    const std::int32_t now = clock_.nowMs();
    const std::int32_t sinceWriteMs = lastWriteMs_ ? wrapSub(now, *lastWriteMs_) : writeIntervalMs;
    if (sinceWriteMs >= 0 && sinceWriteMs < writeIntervalMs) {
        // Too soon after the last write: the first draw from then on writes
        // whatever the screen is by that time.
        due_ = wrapAdd(*lastWriteMs_, writeIntervalMs);
        return false;
    }
    lastPrinted_.swap(composed_);
    console_.clearScreen();
    console_.print(lastPrinted_);
    lastWriteMs_ = now;
    due_.reset();
    redrawRequested_ = false;
    return true;
}

}  // namespace gloam
