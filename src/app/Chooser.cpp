// The adventure chooser's listing and menu.
#include "app/Chooser.h"

#include "app/AdventureFile.h"
#include "platform/Console.h"
#include "platform/Keys.h"
#include "platform/TerminalText.h"
#include "platform/WrapTime.h"

#include <tinyxml2.h>

#include <cstdint>
#include <filesystem>
#include <system_error>

namespace gloam {

namespace fs = std::filesystem;
namespace keys = platform::keys;

namespace {

constexpr char adventuresDirectory[] = "adventures";
constexpr char missingMessage[] = "Directory 'adventures' doesn't exist\n";
constexpr char emptyMessage[] = "Directory adventures doesn't contain any xml files\n";

// From the name's last '.' on; path::extension() would give "" for ".xml".
bool hasXmlExtension(const std::string& fileName) {
    auto dot = fileName.rfind('.');
    return dot != std::string::npos && fileName.compare(dot, std::string::npos, ".xml") == 0;
}

/// Waits for the operator's next key and returns it, showing the menu again
/// whenever the console asks for a redraw. Escape when nobody can see the
/// menu any more.
int nextMenuKey(platform::Console& console, AdventureMenu& menu) {
    for (;;) {
        if (console.waitForKey(-1)) return console.readKey();
        if (console.outputLost()) return keys::escape;
        // A console that cannot wait decides in its blocking read.
        if (!console.takeRedrawRequest()) return console.readKey();
        menu.redraw();
    }
}

}  // namespace

std::vector<std::string> listAdventureFiles(const std::string& directory) {
    std::vector<std::string> files;
    std::error_code error;
    fs::directory_iterator entries(directory, error);
    if (error) return files;
    for (; entries != fs::directory_iterator() && !error; entries.increment(error)) {
        std::error_code typeError;
        if (entries->is_directory(typeError)) continue;
        std::string fileName = entries->path().filename().string();
        if (hasXmlExtension(fileName)) files.push_back(directory + "/" + fileName);
    }
    return files;
}

void AdventureMenu::show(const std::string& text) {
    shown_ = text;
    console_.clearScreen();
    console_.print(shown_);
}

void AdventureMenu::redraw() {
    if (!isOpen()) return;
    console_.clearScreen();
    console_.print(shown_);
}

void AdventureMenu::showMenu() {
    stage_ = Stage::Menu;
    std::string menu = "Select file with cursor up/down\n\n";
    for (std::size_t i = 0; i < shownNames_.size(); ++i) {
        menu += static_cast<std::int64_t>(i) == selection_ ? "->" : "  ";
        menu += ' ';
        menu += shownNames_[i];
        menu += '\n';
    }
    show(menu);
}

void AdventureMenu::open() {
    candidates_.clear();
    shownNames_.clear();
    selection_ = 0;
    console_.clearScreen();
    std::error_code error;
    if (!fs::exists(adventuresDirectory, error)) {
        stage_ = Stage::FinalMessage;
        shown_ = missingMessage;
        console_.print(shown_);
        return;
    }
    candidates_ = listAdventureFiles(adventuresDirectory);
    if (candidates_.empty()) {
        stage_ = Stage::FinalMessage;
        shown_ = emptyMessage;
        console_.print(shown_);
        return;
    }
    // File names come from someone else's folder: shown only with their
    // control characters made visible.
    for (const std::string& candidate : candidates_) {
        shownNames_.push_back(platform::visibleText(fs::path(candidate).filename().string()));
    }
    showMenu();
}

std::optional<ChosenAdventure> AdventureMenu::key(int code) {
    // The second code comes with its prefix or not at all.
    const int second = keys::isPrefix(code) ? (console_.keyWaiting() ? console_.readKey() : keys::unmapped) : 0;
    switch (stage_) {
    case Stage::Closed:
        return std::nullopt;
    case Stage::FinalMessage:
        stage_ = Stage::Closed;
        return std::nullopt;
    case Stage::Message:
        showMenu();
        return std::nullopt;
    case Stage::Menu:
        break;
    }
    if (keys::isPrefix(code)) {
        // Unsigned steps: the marker may wander off either end and back.
        if (second == keys::up) {
            selection_ = static_cast<std::int32_t>(static_cast<std::uint32_t>(selection_) - 1u);
        } else if (second == keys::down) {
            selection_ = static_cast<std::int32_t>(static_cast<std::uint32_t>(selection_) + 1u);
        }
    } else if (code == keys::enter) {
        // Compared unsigned, so a marker above the list is out of range too.
        auto index = static_cast<std::uint32_t>(selection_);
        if (index < candidates_.size()) {
            auto document = std::make_unique<tinyxml2::XMLDocument>();
            if (readAdventureFile(candidates_[index], *document)) {
                stage_ = Stage::Closed;
                return ChosenAdventure{candidates_[index], std::move(document)};
            }
            stage_ = Stage::Message;
            show(malformedFileMessage);
            return std::nullopt;
        }
    } else if (code == keys::escape) {
        stage_ = Stage::Closed;
        return std::nullopt;
    }
    // Every other key draws the menu again, as it always did.
    showMenu();
    return std::nullopt;
}

std::optional<ChosenAdventure> chooseAdventure(platform::Console& console) {
    AdventureMenu menu(console);
    menu.open();
    // A missing or empty folder: the message stays, no key is waited for.
    if (menu.showsFinalMessage()) return std::nullopt;
    while (menu.isOpen()) {
        std::optional<ChosenAdventure> chosen = menu.key(nextMenuKey(console, menu));
        if (chosen) return chosen;
    }
    return std::nullopt;
}

}  // namespace gloam
