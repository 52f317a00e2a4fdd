// The player's command-line options for the remote control.
#pragma once

#include "remote/ListenAddress.h"

#include <optional>
#include <string>

namespace gloam {

/// What the command line asks of the remote control.
struct RemoteOptions {
    /// Where to listen; nothing: no remote control, nothing listens.
    std::optional<remote::ListenAddress> listen;
    /// Where the token is kept between runs; nothing: a fresh token per run.
    std::optional<std::string> tokenFile;
};

}  // namespace gloam
