// The menu that picks an adventure file from the "adventures" folder.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace tinyxml2 {
class XMLDocument;
}
namespace platform {
class Console;
}

namespace gloam {

/// What the menu says about a file it cannot read as XML.
inline constexpr char malformedFileMessage[] =
    "\nSelected file isn't well formed xml (open in browser for details)\n";

/// A chosen adventure file, already read and parsed, for Adventure::load.
struct ChosenAdventure {
    std::string path;  ///< "adventures/<file name>"
    std::unique_ptr<tinyxml2::XMLDocument> document;
};

/// The entries of `directory` whose file name ends in exactly ".xml" (byte for
/// byte, so "a.XML" and "a.xml.bak" are out and a file named ".xml" is in),
/// directories left out, in the order the directory lists them, each as
/// "<directory>/<file name>". A directory that cannot be listed, or stops
/// listing part-way, gives what was listed so far; an entry whose type
/// cannot be told counts as a file.
std::vector<std::string> listAdventureFiles(const std::string& directory);

/// Runs the modal menu over "adventures" in the working directory, waiting
/// for each key; when the console asks for a redraw (a resized window) the
/// menu or message on screen is written again. Cursor up/down move the marker
/// without limits (it may leave the list), Enter reads the marked file with
/// readAdventureFile, Escape gives up. Without the folder, or without a file
/// to list, it prints a message and returns at once. A folder that exists but
/// cannot be listed is treated as holding no files. A file that is refused or
/// not well-formed XML shows a message, waits for a key and returns to the
/// same menu. File names are shown with their control characters made
/// visible. When the screen can no longer be written it gives up. Returns the
/// chosen file, or nothing.
std::optional<ChosenAdventure> chooseAdventure(platform::Console& console);

}  // namespace gloam
