// The menu that picks an adventure file from the "adventures" folder.
#pragma once

#include <cstdint>
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

/// The adventure menu as a screen of its own that the main loop feeds keys
/// to, so that everything else goes on while it is open. Main thread only.
///
/// open() lists "adventures" in the working directory and shows the menu:
/// cursor up/down move the marker without limits (it may leave the list),
/// Enter reads the marked file with readAdventureFile, Escape closes the
/// menu. A file that is refused or not well-formed XML shows a message until
/// the next key, then the same menu. Without the folder, or without a file to
/// list, a message says so and stays until the next key, which only closes
/// it. File names are shown with their control characters made visible.
class AdventureMenu {
public:
    /// `console` must outlive the menu.
    explicit AdventureMenu(platform::Console& console) : console_(console) {}

    /// Lists the folder afresh and shows the menu or the message.
    void open();
    bool isOpen() const { return stage_ != Stage::Closed; }
    /// Whether it shows the message of a missing or empty folder, which
    /// any key closes.
    bool showsFinalMessage() const { return stage_ == Stage::FinalMessage; }
    /// Acts on one key code read from the console (for a prefix code, its
    /// second code is read from the console when it is waiting). Returns the
    /// chosen file when Enter read one; the menu is closed then.
    std::optional<ChosenAdventure> key(int code);
    /// Writes what it shows once more (the window was resized).
    void redraw();

private:
    enum class Stage { Closed, Menu, Message, FinalMessage };

    void show(const std::string& text);
    void showMenu();

    platform::Console& console_;
    Stage stage_ = Stage::Closed;
    std::vector<std::string> candidates_;
    std::vector<std::string> shownNames_;
    std::int32_t selection_ = 0;
    std::string shown_;
};

/// Runs the menu over "adventures" in the working directory, waiting
/// for each key; when the console asks for a redraw (a resized window) the
/// menu or message on screen is written again. Cursor up/down move the marker
/// without limits (it may leave the list), Enter reads the marked file with
/// readAdventureFile, Escape gives up. Without the folder, or without a file
/// to list, it prints a message and returns at once. A folder that exists but
/// cannot be listed is treated as holding no files. A file that is refused or
/// not well-formed XML shows a message, waits for a key and returns to the
/// same menu. File names are shown with their control characters made
/// visible. When the screen can no longer be written it gives up. Returns the
/// chosen file, or nothing. The same menu as AdventureMenu, for a caller that
/// has nothing else to do meanwhile.
std::optional<ChosenAdventure> chooseAdventure(platform::Console& console);

}  // namespace gloam
