// Starting the audio engine with its plug-ins, and the orderly shut-down.
#pragma once

#include <string>
#include <vector>

namespace audio {
class System;
struct SystemConfig;
}  // namespace audio

namespace gloam {

class Adventure;

/// The entries of `directory` that are not directories (a symbolic link
/// counts as what it points to), in the order the directory lists them, as
/// "<directory>/<name>". Empty when the directory is missing or cannot be
/// listed; never throws.
std::vector<std::string> pluginCandidates(const std::string& directory);

/// Opens the engine (`config` as given; the player asks for 128 channels and
/// surround), fixes the listener at the origin looking along +z with +y up,
/// then offers every file in "plugins" of the working directory to the engine
/// as a plug-in, whatever its extension. Nothing here fails the program: a
/// missing or unreadable "plugins" just means no plug-ins.
void startAudio(audio::System& system, const audio::SystemConfig& config);

/// The way out: the scenes are destroyed in order and the cached sounds
/// released (Adventure::clear), then the engine is closed.
void shutDown(Adventure& adventure, audio::System& system);

}  // namespace gloam
