// What the remote control asks of the main loop, and what comes back.
#pragma once

#include "remote/StateSnapshot.h"

#include <memory>
#include <string>
#include <vector>

namespace remote {

/// One request, checked at the edge: every field holds what its kind allows.
struct Command {
    enum class Kind { Key, Load, Volume };
    Kind kind = Kind::Key;
    /// Key: the codes the keyboard would deliver for it (one code, or a
    /// prefix followed by its second code).
    std::vector<int> codes;
    /// Load: a file name that the adventure list held (no folder part).
    std::string file;
    /// Volume: the master volume, 0..1.
    float volume = 1.0f;
};

/// What the loop made of a command.
struct CommandOutcome {
    int status = 200;   ///< 200, or the HTTP status of the refusal
    std::string error;  ///< why, when refused
    /// The state published after the command was applied.
    std::shared_ptr<const StateSnapshot> state;
};

}  // namespace remote
