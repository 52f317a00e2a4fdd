// The version the programs report, and their answer to --help and --version.
#pragma once

#include "platform/CommandLine.h"

#include <optional>
#include <ostream>
#include <string>

namespace gloam {

/// The version, from the project's one version number, followed by the git
/// revision in parentheses when built from a checkout: "0.1 (git 55afdfb1c2a4)".
std::string versionText();

/// What a program's main() does with a parsed command line before it runs:
/// the usage on `out` for Help, "PROGRAM VERSION" on `out` for Version, and
/// one line "PROGRAM: error" on `err` for Refused. Returns the exit code to
/// leave with (0, 0 and 2), or none when the program should run.
std::optional<int> answerCommandLine(const platform::CommandLine& commandLine,
                                     const platform::CommandLine::Result& result, std::ostream& out,
                                     std::ostream& err);

}  // namespace gloam
