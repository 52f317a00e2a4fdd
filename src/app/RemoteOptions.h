// The player's command-line options for the remote control.
#pragma once

#include "remote/ListenAddress.h"

#include <optional>
#include <string>
#include <vector>

namespace gloam {

/// What the command line asks of the remote control.
struct RemoteOptions {
    /// Where to listen; nothing: no remote control, nothing listens.
    std::optional<remote::ListenAddress> listen;
    /// Where the token is kept between runs; nothing: a fresh token per run.
    std::optional<std::string> tokenFile;
};

/// Reads `--remote [ADDRESS:]PORT` and `--remote-token-file FILE` (each also
/// as `--option=VALUE`). Nothing and a one-line message for anything else:
/// an unknown argument, a missing or malformed value, a token file without
/// --remote.
std::optional<RemoteOptions> parseRemoteOptions(const std::vector<std::string>& arguments, std::string& error);

}  // namespace gloam
