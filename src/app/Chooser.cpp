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
constexpr char malformedMessage[] = "\nSelected file isn't well formed xml (open in browser for details)\n";

// From the name's last '.' on; path::extension() would give "" for ".xml".
bool hasXmlExtension(const std::string& fileName) {
    auto dot = fileName.rfind('.');
    return dot != std::string::npos && fileName.compare(dot, std::string::npos, ".xml") == 0;
}

/// Waits for the operator's next key and returns it, showing `screen` again
/// whenever the console asks for a redraw. Escape when nobody can see the
/// menu any more.
int nextMenuKey(platform::Console& console, const std::string& screen) {
    for (;;) {
        if (console.waitForKey(-1)) return console.readKey();
        if (console.outputLost()) return keys::escape;
        // A console that cannot wait decides in its blocking read.
        if (!console.takeRedrawRequest()) return console.readKey();
        console.clearScreen();
        console.print(screen);
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

std::optional<ChosenAdventure> chooseAdventure(platform::Console& console) {
    console.clearScreen();
    std::error_code error;
    if (!fs::exists(adventuresDirectory, error)) {
        console.print(missingMessage);
        return std::nullopt;
    }
    std::vector<std::string> candidates = listAdventureFiles(adventuresDirectory);
    if (candidates.empty()) {
        console.print(emptyMessage);
        return std::nullopt;
    }
    // File names come from someone else's folder: shown only with their
    // control characters made visible.
    std::vector<std::string> shownNames;
    for (const std::string& candidate : candidates) {
        shownNames.push_back(platform::visibleText(fs::path(candidate).filename().string()));
    }

    std::int32_t selection = 0;
    for (;;) {
        console.clearScreen();
        std::string menu = "Select file with cursor up/down\n\n";
        for (std::size_t i = 0; i < shownNames.size(); ++i) {
            menu += static_cast<std::int64_t>(i) == selection ? "->" : "  ";
            menu += ' ';
            menu += shownNames[i];
            menu += '\n';
        }
        console.print(menu);

        int key = nextMenuKey(console, menu);
        if (keys::isPrefix(key)) {
            // The second code comes with its prefix or not at all.
            int second = console.keyWaiting() ? console.readKey() : keys::unmapped;
            // Wrapping steps: the marker may wander off either end and back.
            if (second == keys::up) {
                selection = platform::wrapSub(selection, 1);
            } else if (second == keys::down) {
                selection = platform::wrapAdd(selection, 1);
            }
        } else if (key == keys::enter) {
            // Compared unsigned, so a marker above the list is out of range too.
            auto index = static_cast<std::uint32_t>(selection);
            if (index < candidates.size()) {
                auto document = std::make_unique<tinyxml2::XMLDocument>();
                if (readAdventureFile(candidates[index], *document)) {
                    return ChosenAdventure{candidates[index], std::move(document)};
                }
                console.clearScreen();
                console.print(malformedMessage);
                nextMenuKey(console, malformedMessage);
            }
        } else if (key == keys::escape) {
            return std::nullopt;
        }
    }
}

}  // namespace gloam
