// Composing and drawing the status screen.
#include "app/StatusScreen.h"

#include "app/Adventure.h"
#include "model/Scene.h"
#include "platform/Console.h"
#include "platform/Format.h"
#include "playback/Playable.h"

#include <cstdio>

namespace gloam {

namespace {

constexpr char helpLine[] = "Cursor left/right to select scene, letter to start/stop, '!' to load\n";
constexpr char separator[] =
    "\n\n   ----------------------------------------------------------------------\n\n";

/// A label left-aligned in a 19-character column, cut to 511 characters. A
/// longer label keeps its length and pushes what follows to the right.
std::string column(const std::string& label) {
    char buffer[512];
    std::snprintf(buffer, sizeof buffer, "%-19s", label.c_str());
    return buffer;
}

char stateMarker(const Playable& element) {
    switch (element.state) {
    case State::Playing: return element.fadeOutEnd.hasValue() ? 'F' : 'P';
    case State::Waiting: return 'E';
    default: return ' ';
    }
}

}  // namespace

std::string composeStatus(const Adventure& adventure, int channelCount) {
    std::string text = helpLine;
    if (const Scene* current = adventure.current()) {
        for (std::size_t i = 0; i < adventure.scenes.size(); ++i) {
            if (i % 4 == 0) text += '\n';
            const std::string& name = adventure.scenes[i]->name;
            text += column(i == adventure.currentScene ? ">" + name + "<" : " " + name);
        }
        text += separator;
        for (std::size_t key = 0; key < current->elementHotkeys.size(); ++key) {
            const Playable* element = current->elementHotkeys[key];
            if (element == nullptr) continue;
            std::string label = " (";
            label += static_cast<char>(key);
            label += ' ';
            label += stateMarker(*element);
            label += ") ";
            label += element->name;
            text += column(label);
            text += '\n';
        }
    }
    text += platform::format("\n\n%d channels active", channelCount);
    return text;
}

bool StatusScreen::draw(const Adventure& adventure, int channelCount) {
    std::string text = composeStatus(adventure, channelCount);
    if (text == lastPrinted_) return false;
    lastPrinted_ = std::move(text);
    console_.clearScreen();
    console_.print(lastPrinted_);
    return true;
}

}  // namespace gloam
