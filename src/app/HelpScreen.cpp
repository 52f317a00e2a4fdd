// Composing the help screen from the loaded adventure.
#include "app/HelpScreen.h"

#include "app/Adventure.h"
#include "model/Runtime.h"
#include "model/Scene.h"
#include "platform/TerminalText.h"
#include "playback/Playable.h"

#include <algorithm>
#include <string_view>
#include <vector>

namespace gloam {

namespace {

constexpr std::size_t maxNameBytes = 200;
constexpr char backLine[] = "Any key returns to the status screen.";

/// The program's own keys; the adventure's come after them.
constexpr std::string_view programKeys[][2] = {
    {"cursor left/right", "previous / next scene"},
    {"cursor up/down", "master volume up / down, a tenth of full level a step"},
    {"Delete", "fade out everything playing or waiting in the current scene"},
    {"Space", "fade out the current item of every top-level sequence"},
    {"!", "load an adventure"},
    {"?", "this help"},
    {"Escape", "quit"},
};

/// A key as one visible character, or a dash for none.
std::string shownKey(char key) {
    const auto code = static_cast<unsigned char>(key);
    if (code == 0) return "-";
    if (code >= 0x20 && code < 0x7F) return std::string(1, key);
    return std::string(1, platform::invisiblePlaceholder);
}

void appendElements(std::vector<std::string>& lines, const Scene& scene, const SettingContainer& node, int depth) {
    for (const auto& child : node.children) {
        const auto code = static_cast<unsigned char>(child->settings.key);
        const char key = code != 0 && scene.elementHotkeys[code] == child.get() ? child->settings.key : '\0';
        std::string line(static_cast<std::size_t>(2 + 2 * depth), ' ');
        line += shownKey(key);
        line += "  ";
        line += platform::visibleText(child->name, maxNameBytes);
        lines.push_back(std::move(line));
        appendElements(lines, scene, *child, depth + 1);
    }
}

/// The longest start of `line` that fits in `columns` cells.
std::string cutToWidth(const std::string& line, int columns) {
    int cells = 0;
    for (std::size_t i = 0; i < line.size(); ++i) {
        if ((static_cast<unsigned char>(line[i]) & 0xC0) == 0x80) continue;
        if (cells++ == columns) return line.substr(0, i);
    }
    return line;
}

}  // namespace

std::string composeHelp(const Adventure& adventure, platform::WindowSize window) {
    std::vector<std::string> lines{"Keys"};
    for (const auto& [key, meaning] : programKeys) {
        std::string line = "  " + std::string(key);
        line.resize(std::max<std::size_t>(line.size() + 1, 22), ' ');
        lines.push_back(line + std::string(meaning));
    }
    lines.emplace_back("  a scene's key      switch to that scene (its own key starts it afresh)");
    lines.emplace_back("  an element's key   start it, or fade it out while it plays or waits");
    if (!adventure.scenes.empty()) {
        lines.emplace_back();
        lines.emplace_back("Scenes");
        const Runtime* runtime = nullptr;
        for (std::size_t i = 0; i < adventure.scenes.size(); ++i) {
            const Scene& scene = *adventure.scenes[i];
            runtime = &scene.runtime;
            const auto code = static_cast<unsigned char>(scene.settings.key);
            const char key = code != 0 && runtime->sceneHotkeys[code] == &scene ? scene.settings.key : '\0';
            std::string line = "  " + shownKey(key) + "  " + platform::visibleText(scene.name, maxNameBytes);
            if (i == adventure.currentScene) line += "  (current)";
            lines.push_back(std::move(line));
        }
    }
    if (const Scene* current = adventure.current()) {
        lines.emplace_back();
        lines.push_back("Elements of " + platform::visibleText(current->name, maxNameBytes));
        appendElements(lines, *current, *current, 0);
    }
    lines.emplace_back();

    // In a short window the lists give way; the way back stays.
    if (window.rows > 0 && lines.size() + 1 > static_cast<std::size_t>(window.rows)) {
        const std::size_t room = window.rows > 2 ? static_cast<std::size_t>(window.rows) - 2 : 0;
        const std::size_t left = lines.size() - room;
        lines.resize(room);
        lines.push_back(" +" + std::to_string(left) + " more");
    }
    lines.emplace_back(backLine);
    std::string text;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (i > 0) text += '\n';
        text += window.columns > 0 ? cutToWidth(lines[i], window.columns) : lines[i];
    }
    return text;
}

}  // namespace gloam
