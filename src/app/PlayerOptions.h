// The player's command line.
#pragma once

#include "app/RemoteOptions.h"
#include "platform/CommandLine.h"
#include "playback/Random.h"

#include <optional>

#include <string>

namespace gloam {

/// What the player was asked on its command line; the defaults are a plain
/// `gloam` in the game's folder.
struct PlayerOptions {
    std::string root = ".";  ///< the folder holding adventures/, sounds/ and plugins/
    /// --seed: the random sequence starts from this seed (or one picked from
    /// the system); none keeps the fixed sequence.
    std::optional<SeedRequest> seed;
    /// --remote and --remote-token-file: the remote control; by default none,
    /// and nothing listens.
    RemoteOptions remote;
};

/// The player's options, each writing into `options` (which must outlive the
/// result) as CommandLine::parse meets it. To add an option, give it a field
/// in PlayerOptions and one `.option(...)` (or `.flag(...)`) line here whose
/// handler parses the value into that field and returns "" or one line that
/// says what is wrong.
platform::CommandLine playerCommandLine(PlayerOptions& options);

}  // namespace gloam
