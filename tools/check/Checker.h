// A check run: the engine without a device, each adventure loaded by the player's code.
#pragma once

#include "CheckOptions.h"
#include "Finding.h"

#include <ostream>
#include <string>
#include <vector>

namespace audio {
class System;
}

namespace gloam::check {

/// Loads the adventure at `path` with the player's own Adventure::load on
/// `system` (opened with its plug-ins), listening to what it reads, and
/// returns what there is to say, ordered by line; each finding carries
/// `shownAs` as its file. Works in the current folder, as the player does.
/// Sounds are opened as streams: their headers are read and a little is
/// decoded, enough to know that they play.
std::vector<Finding> checkAdventure(audio::System& system, const std::string& path, const std::string& shownAs);

/// Checks the adventures `options` name, or all of DIR/adventures, inside
/// options.root (the working directory is changed for the duration, and
/// relative file names are taken from where the check started, else from
/// DIR). Writes the findings and then the summary to `out`; in JSON form the
/// summary goes to `err` so that `out` holds only JSON. Returns the exit
/// code: 1 when there is an error, 2 for bad usage, 0 otherwise.
int runCheck(const CheckOptions& options, std::ostream& out, std::ostream& err);

}  // namespace gloam::check
