// The status screen: scenes, the current scene's keyed elements, channels.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <unordered_map>

#include "platform/Console.h"

namespace platform {
class Clock;
}  // namespace platform

namespace gloam {

class Adventure;

/// Names of one loaded adventure as the screen shows them: control
/// characters and broken UTF-8 made visible, cut to what a label can hold.
/// Each name is converted once per loaded adventure, so a pass costs the same
/// however long the names in the file are. Main thread only.
class DisplayNames {
public:
    /// The longest label the screen shows, in bytes; longer ones are cut.
    static constexpr std::size_t maxLabelBytes = 511;

    /// Forgets every name when `adventure` was loaded or cleared since the
    /// last call.
    void follow(const Adventure& adventure);
    /// The display form of `name`, the name of the scene or element at
    /// `owner`; made on first use.
    const std::string& of(const void* owner, const std::string& name);

private:
    std::optional<std::uint64_t> revision_;
    std::unordered_map<const void*, std::string> names_;
};

/// The whole status text: the help line; when a scene is current, the scenes
/// four to a line (the current one as ">name<"), a separator and one line per
/// keyed element of the current scene in key-code order with its state
/// letter (F fading out, P playing, E waiting, space otherwise); then the
/// channel count. No final line break. Names appear in their display form.
/// In a `window` of known size that cannot hold it all, every line is cut at
/// the window's width and the element list shortened (ending in a "+N more"
/// line), then blank lines and the separator left out, so that the help line,
/// the scene rows and the channel count stay in view; otherwise, and for a
/// window of unknown size (0 x 0), the text is the whole of it.
/// While the master volume is not at 100 %, the channel count is followed by
/// ", volume N %".
std::string composeStatus(const Adventure& adventure, int channelCount, platform::WindowSize window = {},
                          int volumePercent = 100);

/// Writes the status text, fitted to the console's window, to a console, but
/// only when it differs from what it
/// wrote last, so an unchanged screen is not redrawn 50 times a second, and
/// at most once per writeIntervalMs of the program clock: a change that comes
/// sooner is held back and written by the first draw at or after
/// nextWriteDue(), with the state of that moment. Output others print in
/// between (the chooser) is not tracked: it stays until the status text
/// itself changes or a redraw is requested. Main thread only.
class StatusScreen {
public:
    static constexpr std::int32_t writeIntervalMs = 20;

    /// `console` and `clock` must outlive the screen.
    StatusScreen(platform::Console& console, const platform::Clock& clock);

    /// Composes the text and, if it changed or a redraw was requested and no
    /// write happened in the last writeIntervalMs, clears the console and
    /// prints it. Returns true when it printed.
    bool draw(const Adventure& adventure, int channelCount, int volumePercent = 100);

    /// Writes the text again at the next allowed draw even if it did not
    /// change (the terminal was resized, or a shell wrote over it).
    void requestRedraw() { redrawRequested_ = true; }

    /// When a held-back write is due (a clock value); nothing when the screen
    /// shows the last composed text.
    std::optional<std::int32_t> nextWriteDue() const { return due_; }

    /// What was printed last; empty before the first draw.
    const std::string& lastPrinted() const { return lastPrinted_; }

private:
    platform::Console& console_;
    const platform::Clock& clock_;
    DisplayNames names_;
    std::string composed_;
    std::string lastPrinted_;
    std::optional<std::int32_t> lastWriteMs_;
    std::optional<std::int32_t> due_;
    bool redrawRequested_ = false;
};

}  // namespace gloam
