// The checker's command line.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace gloam::check {

enum class Format { Text, Json };

struct CheckOptions {
    std::string root = ".";          ///< holds adventures, sounds and plugins
    Format format = Format::Text;
    std::vector<std::string> files;  ///< empty: every adventure in root/adventures
    bool help = false;
};

/// The parsed command line, or the one-line message that says what is wrong.
struct ParsedCheckOptions {
    std::optional<CheckOptions> options;
    std::string error;
};

ParsedCheckOptions parseCheckOptions(const std::vector<std::string>& arguments);

const char* checkUsage();

}  // namespace gloam::check
