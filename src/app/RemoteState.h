// What the remote control is shown of the player, taken from the loop's objects.
#pragma once

#include "remote/StateSnapshot.h"

#include <optional>
#include <string>

namespace gloam {

class Adventure;
class DisplayNames;
struct Runtime;

/// The state as the remote control shows it: the loaded file, the scenes
/// with their keys and the current one, the current scene's elements in the
/// status screen's order (those on a key code that is not printable ASCII,
/// which no request can name, are left out) with their states, the channel
/// count and the master volume. Names appear as on the status screen. Main
/// thread only.
remote::StateSnapshot describeState(const Adventure& adventure, const Runtime& runtime, int channels, float volume,
                                    const std::optional<std::string>& adventureFile, DisplayNames& names);

}  // namespace gloam
