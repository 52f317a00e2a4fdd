// Parsing the checker's options.
#include "CheckOptions.h"

#include "platform/TerminalText.h"

namespace gloam::check {

platform::CommandLine checkCommandLine(CheckOptions& options) {
    platform::CommandLine commandLine(
        "gloam-check", "[--root DIR] [--format text|json] [FILE.xml ...]",
        "Loads adventures with the player's own code and says, with file, line and column,\n"
        "what the player would pass over in silence.");
    commandLine
        .option("--root", "DIR", "folder holding adventures, sounds and plugins (default: .)",
                [&options](const std::string& value) -> std::string {
                    if (value.empty()) return "--root needs a folder";
                    options.root = value;
                    return {};
                })
        .option("--format", "FORMAT",
                "text (default): one finding a line, FILE:LINE:COLUMN: severity: message;\n"
                "json: an array of {file, line, column, severity, code, message}",
                [&options](const std::string& value) -> std::string {
                    if (value == "text") {
                        options.format = Format::Text;
                    } else if (value == "json") {
                        options.format = Format::Json;
                    } else {
                        return "unknown format '" + platform::visibleText(value, 60) + "': use text or json";
                    }
                    return {};
                })
        .operands("FILE.xml ...", "the adventures to check (default: every .xml file in DIR/adventures)",
                  [&options](const std::string& value) -> std::string {
                      options.files.push_back(value);
                      return {};
                  })
        .epilogue("Exit code: 1 when there is an error, 2 for bad usage, 0 otherwise. See gloam-check(1).");
    return commandLine;
}

std::string checkUsage() {
    CheckOptions unused;
    return checkCommandLine(unused).usage();
}

ParsedCheckOptions parseCheckOptions(const std::vector<std::string>& arguments) {
    CheckOptions options;
    const auto parsed = checkCommandLine(options).parse(arguments);
    switch (parsed.request) {
    case platform::CommandLineRequest::Refused:
        return {std::nullopt, parsed.error};
    case platform::CommandLineRequest::Help:
        options.help = true;
        break;
    case platform::CommandLineRequest::Version:
        options.version = true;
        break;
    case platform::CommandLineRequest::Run:
        break;
    }
    return {options, ""};
}

}  // namespace gloam::check
