// One offline render: the player's main loop on virtual time with scripted keys.
#pragma once

#include "RenderOptions.h"

#include <ostream>

namespace gloam::render {

/// Runs the player's main loop on virtual time: a pass that sleeps moves the
/// clock 20 ms, one that goes straight on 1 ms, and after every pass exactly
/// the audio of the time that passed is rendered. Works inside options.root
/// (the working directory is changed for the duration). Messages go to `err`.
/// Returns the exit code: 0, or 2 for missing or unusable files.
int runRender(const RenderOptions& options, std::ostream& err);

}  // namespace gloam::render
