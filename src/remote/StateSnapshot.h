// What the remote control shows: one immutable picture of the player's state.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace remote {

/// One scene of the loaded adventure, in list order.
struct SceneEntry {
    std::uint32_t index = 0;
    std::string name;  ///< as the status screen shows it
    std::optional<char> key;  ///< the scene's hotkey, when it is a printable ASCII character
    bool current = false;
    bool operator==(const SceneEntry&) const = default;
};

/// One keyed element of the current scene, in key-code order.
struct ElementEntry {
    char key = 0;  ///< printable ASCII; elements on other codes are left out
    std::string name;
    const char* state = "idle";  ///< "idle", "playing", "waiting", "closing" or "finished"
    bool fading = false;         ///< playing and fading out
    bool operator==(const ElementEntry& other) const {
        return key == other.key && name == other.name && std::string_view(state) == other.state &&
               fading == other.fading;
    }
};

/// The state as the main loop published it after a pass. Built on the main
/// thread, never changed afterwards, read by any thread.
struct StateSnapshot {
    std::optional<std::string> adventure;  ///< file name of the loaded adventure
    std::vector<SceneEntry> scenes;
    std::vector<ElementEntry> elements;
    int channels = 0;
    float volume = 1.0f;  ///< master volume, 0..1
    /// Counts publications; not part of the state itself.
    std::uint64_t version = 0;
    /// toJson of the above, made once when it is published.
    std::string json;

    /// Equal in everything a client sees (the version aside).
    bool sameStateAs(const StateSnapshot& other) const {
        return adventure == other.adventure && scenes == other.scenes && elements == other.elements &&
               channels == other.channels && volume == other.volume;
    }
};

/// The snapshot as the API's JSON object: adventure, scenes, elements,
/// channels, volume. Text that is not UTF-8 is replaced, never thrown on.
std::string toJson(const StateSnapshot& state);

}  // namespace remote
