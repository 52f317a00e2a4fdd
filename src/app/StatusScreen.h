// The status screen: scenes, the current scene's keyed elements, channels.
#pragma once

#include <string>

namespace platform {
class Console;
}

namespace gloam {

class Adventure;

/// The whole status text: the help line; when a scene is current, the scenes
/// four to a line (the current one as ">name<"), a separator and one line per
/// keyed element of the current scene in key-code order with its state
/// letter (F fading out, P playing, E waiting, space otherwise); then the
/// channel count. No final line break.
std::string composeStatus(const Adventure& adventure, int channelCount);

/// Writes the status text to a console, but only when it differs from what it
/// wrote last, so an unchanged screen is not redrawn 50 times a second.
/// Output others print in between (the chooser) is not tracked: it stays until
/// the status text itself changes. Main thread only.
class StatusScreen {
public:
    explicit StatusScreen(platform::Console& console) : console_(console) {}

    /// Composes the text and, if it changed, clears the console and prints
    /// it. Returns true when it printed.
    bool draw(const Adventure& adventure, int channelCount);

    /// What was printed last; empty before the first draw.
    const std::string& lastPrinted() const { return lastPrinted_; }

private:
    platform::Console& console_;
    std::string lastPrinted_;
};

}  // namespace gloam
