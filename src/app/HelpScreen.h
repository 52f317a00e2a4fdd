// The help screen: the program's keys, the scenes and the current scene's elements.
#pragma once

#include "platform/Console.h"

#include <string>

namespace gloam {

class Adventure;

/// The help text: every key the player knows and what it does, every scene
/// with its key (the current one marked), and every element of the current
/// scene in document order, nested ones indented, each with the key it
/// answers (a dash when it answers none). Names and keys appear only in
/// their visible form. In a `window` of known size every line is cut at its
/// width and a list too long for it ends in a "+N more" line; the last line
/// says how to go back. Main thread only.
std::string composeHelp(const Adventure& adventure, platform::WindowSize window = {});

}  // namespace gloam
