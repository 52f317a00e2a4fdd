// One offline render: the player's main loop on virtual time with scripted keys.
#pragma once

#include "RenderOptions.h"
#include "RenderReport.h"

#include <ostream>

namespace gloam::render {

/// Runs the player's main loop on virtual time: a pass that sleeps moves the
/// clock 20 ms, one that goes straight on 1 ms, and after every pass exactly
/// the audio of the time that passed is rendered. Works inside options.root
/// (the working directory is changed for the duration).
///
/// Outputs are refused before anything runs when one is the adventure, lies
/// in the root's sounds/, plugins/ or adventures/, or is the same file as
/// another. Each is written beside its target under a temporary name and
/// renamed into place only when everything was written; devices and pipes
/// are written directly. Returns the exit code: 0 when every output was
/// written completely, else 2 with one line in `err` (missing folder or
/// adventure, unknown format, refused output, any failed write or close).
/// When standard error is a terminal, a progress line stands on it while the
/// render runs and is gone when this returns. After a render that succeeded,
/// `report` (when given) holds its length, level and files.
int runRender(const RenderOptions& options, std::ostream& err, RenderReport* report = nullptr);

}  // namespace gloam::render
