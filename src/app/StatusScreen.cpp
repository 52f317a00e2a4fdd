// Composing the status screen from display names, and writing it at a calm pace.
#include "app/StatusScreen.h"

#include "app/Adventure.h"
#include "model/Scene.h"
#include "platform/Clock.h"
#include "platform/Console.h"
#include "platform/TerminalText.h"
#include "model/Moment.h"
#include "playback/Playable.h"

#include <algorithm>
#include <string_view>
#include <vector>

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

/// What a line of the status text is for, when a small window has no room
/// for all of them.
enum class LineRole { Kept, Spacer, Element };

void compose(std::string& text, const Adventure& adventure, int channelCount, int volumePercent, DisplayNames& names) {
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
    if (volumePercent != 100) {
        text += ", volume ";
        text += std::to_string(volumePercent);
        text += " %";
    }
}

/// One line of the status text and what it is for.
struct Line {
    std::string_view text;
    LineRole role = LineRole::Spacer;
};

/// The lines of a composed status text with their roles, from its known
/// shape: the help line, then (with a scene) a blank, the scene rows, a
/// blank, the separator, a blank and the element lines; then two blanks (one
/// without a scene) and the channel count.
std::vector<Line> linesOf(std::string_view text, bool withScene) {
    std::vector<Line> lines;
    for (std::size_t start = 0;;) {
        const std::size_t end = text.find('\n', start);
        lines.push_back({text.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start)});
        if (end == std::string_view::npos) break;
        start = end + 1;
    }
    lines.front().role = LineRole::Kept;
    lines.back().role = LineRole::Kept;
    if (!withScene) return lines;
    std::size_t at = 2;
    while (at < lines.size() && !lines[at].text.empty()) lines[at++].role = LineRole::Kept;  // scene rows
    at += 3;  // blank, separator, blank
    while (at + 3 <= lines.size() && !lines[at].text.empty()) lines[at++].role = LineRole::Element;
    return lines;
}

/// The longest start of `line` that fits in `columns` cells, a character
/// taking one cell.
std::string_view cutToWidth(std::string_view line, int columns) {
    int cells = 0;
    for (std::size_t i = 0; i < line.size(); ++i) {
        if ((static_cast<unsigned char>(line[i]) & 0xC0) == 0x80) continue;  // inside a character
        if (cells++ == columns) return line.substr(0, i);
    }
    return line;
}

/// Fits a composed status text into a window: every line cut at its width;
/// when it is too short, the element list shortened to what fits with a
/// "+N more" line, then the blank lines and the separator dropped from the
/// bottom up, then the "+N more" line and the scene rows but the current
/// one's, so that the help line, the current scene and the channel count
/// stay. A window that holds the whole text, or one of unknown size, leaves
/// it as it is.
void fitToWindow(std::string& text, bool withScene, platform::WindowSize window) {
    if (window.columns <= 0 || window.rows <= 0) return;
    std::vector<Line> lines = linesOf(text, withScene);
    const auto rows = static_cast<std::size_t>(window.rows);
    std::string more;
    if (lines.size() > rows) {
        const auto elements = static_cast<std::size_t>(
            std::count_if(lines.begin(), lines.end(), [](const Line& line) { return line.role == LineRole::Element; }));
        const std::size_t others = lines.size() - elements;
        // The "+N more" line takes the place of one element line.
        const std::size_t shown = others + 1 < rows ? std::min(elements, rows - others - 1) : 0;
        if (shown < elements) {
            more = " +" + std::to_string(elements - shown) + " more";
            std::vector<Line> kept;
            std::size_t seen = 0;
            for (const Line& line : lines) {
                if (line.role != LineRole::Element || seen++ < shown) {
                    kept.push_back(line);
                } else if (seen == shown + 1) {
                    kept.push_back({more, LineRole::Element});
                }
            }
            lines = std::move(kept);
        }
    }
    for (LineRole dropped : {LineRole::Spacer, LineRole::Element}) {
        for (std::size_t i = lines.size(); lines.size() > rows && i-- > 0;) {
            if (lines[i].role == dropped) lines.erase(lines.begin() + static_cast<std::ptrdiff_t>(i));
        }
    }
    for (std::size_t i = lines.size() - 1; lines.size() > rows && i-- > 1;) {
        const bool current = lines[i].text.find('>') != std::string_view::npos;
        if (!current) lines.erase(lines.begin() + static_cast<std::ptrdiff_t>(i));
    }
    std::string fitted;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (i > 0) fitted += '\n';
        fitted += cutToWidth(lines[i].text, window.columns);
    }
    text = std::move(fitted);
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

std::string composeStatus(const Adventure& adventure, int channelCount, platform::WindowSize window,
                          int volumePercent) {
    DisplayNames names;
    std::string text;
    compose(text, adventure, channelCount, volumePercent, names);
    fitToWindow(text, adventure.current() != nullptr, window);
    return text;
}

StatusScreen::StatusScreen(platform::Console& console, const platform::Clock& clock)
    : console_(console), clock_(clock) {}

bool StatusScreen::draw(const Adventure& adventure, int channelCount, int volumePercent) {
    names_.follow(adventure);
    compose(composed_, adventure, channelCount, volumePercent, names_);
    fitToWindow(composed_, adventure.current() != nullptr, console_.windowSize());
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
