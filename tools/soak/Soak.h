// One soak run: the player's main loop on virtual time for hours, with random keys.
#pragma once

#include "SoakOptions.h"

#include <ostream>

namespace gloam::soak {

/// Plays options.adventure in options.root (or the named case's adventure in
/// a temporary folder) on virtual time: the player's own MainLoop, keys from
/// a KeyMonkey, the mix rendered offline in mono and measured. Prints the
/// report to `out`, one line per stretch, and the verdict. Returns 0 when
/// the run was clean, 1 on a finding (growth, stall, lost channel, non-finite
/// sample, silent window), 2 when the files cannot be used.
int runSoak(const SoakOptions& options, std::ostream& out);

}  // namespace gloam::soak
