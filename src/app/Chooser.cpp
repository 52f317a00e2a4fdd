// The adventure chooser's listing and menu.
#include "app/Chooser.h"

#include "platform/Console.h"

#include <tinyxml2.h>

#include <cstdint>
#include <filesystem>
#include <system_error>

namespace gloam {

namespace fs = std::filesystem;

namespace {

constexpr char adventuresDirectory[] = "adventures";
constexpr char missingMessage[] = "Directory 'adventures' doesn't exist\n";
constexpr char emptyMessage[] = "Directory adventures doesn't contain any xml files\n";
constexpr char malformedMessage[] = "\nSelected file isn't well formed xml (open in browser for details)\n";

constexpr int prefixZero = 0;
constexpr int prefix = 224;
constexpr int keyUp = 'H';
constexpr int keyDown = 'P';
constexpr int keyEnter = 13;
constexpr int keyEscape = 27;

// From the name's last '.' on; path::extension() would give "" for ".xml".
bool hasXmlExtension(const std::string& fileName) {
    auto dot = fileName.rfind('.');
    return dot != std::string::npos && fileName.compare(dot, std::string::npos, ".xml") == 0;
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

    std::int32_t selection = 0;
    for (;;) {
        console.clearScreen();
        std::string menu = "Select file with cursor up/down\n\n";
        for (std::size_t i = 0; i < candidates.size(); ++i) {
            menu += static_cast<std::int64_t>(i) == selection ? "->" : "  ";
            menu += ' ';
            menu += fs::path(candidates[i]).filename().string();
            menu += '\n';
        }
        console.print(menu);

        int key = console.readKey();
        if (key == prefixZero || key == prefix) {
            int second = console.readKey();
            // Unsigned steps: the marker may wander off either end and back.
            if (second == keyUp) {
                selection = static_cast<std::int32_t>(static_cast<std::uint32_t>(selection) - 1u);
            } else if (second == keyDown) {
                selection = static_cast<std::int32_t>(static_cast<std::uint32_t>(selection) + 1u);
            }
        } else if (key == keyEnter) {
            // Compared unsigned, so a marker above the list is out of range too.
            auto index = static_cast<std::uint32_t>(selection);
            if (index < candidates.size()) {
                auto document = std::make_unique<tinyxml2::XMLDocument>();
                if (document->LoadFile(candidates[index].c_str()) == tinyxml2::XML_SUCCESS) {
                    return ChosenAdventure{candidates[index], std::move(document)};
                }
                console.clearScreen();
                console.print(malformedMessage);
                console.readKey();
            }
        } else if (key == keyEscape) {
            return std::nullopt;
        }
    }
}

}  // namespace gloam
