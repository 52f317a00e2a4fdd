// The checker's command line.
#pragma once

#include "platform/CommandLine.h"

#include <optional>
#include <string>
#include <vector>

namespace gloam::check {

enum class Format { Text, Json };

struct CheckOptions {
    std::string root = ".";          ///< holds adventures, sounds and plugins
    Format format = Format::Text;
    std::vector<std::string> files;  ///< empty: every adventure in root/adventures
    bool help = false;               ///< -h or --help: only the usage is wanted
    bool version = false;            ///< --version: only the version is wanted
};

/// The parsed command line, or the one-line message that says what is wrong.
struct ParsedCheckOptions {
    std::optional<CheckOptions> options;
    std::string error;
};

ParsedCheckOptions parseCheckOptions(const std::vector<std::string>& arguments);

/// The checker's options, each writing into `options` (which must outlive
/// the result) as CommandLine::parse meets it.
platform::CommandLine checkCommandLine(CheckOptions& options);

std::string checkUsage();

}  // namespace gloam::check
