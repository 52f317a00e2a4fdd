// Parsing the checker's options.
#include "CheckOptions.h"

namespace gloam::check {

const char* checkUsage() {
    return "usage: gloam-check [--root DIR] [--format text|json] [FILE.xml ...]\n"
           "  --root DIR         folder holding adventures, sounds and plugins (default: .)\n"
           "  --format FORMAT    text (default): one finding a line, FILE:LINE:COLUMN: severity: message;\n"
           "                     json: an array of {file, line, column, severity, code, message}\n"
           "  FILE.xml ...       the adventures to check (default: every .xml file in DIR/adventures)\n"
           "  -h, --help         this text\n"
           "Exit code: 1 when there is an error, 2 for bad usage, 0 otherwise.\n";
}

ParsedCheckOptions parseCheckOptions(const std::vector<std::string>& arguments) {
    CheckOptions options;
    bool onlyFiles = false;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        if (onlyFiles || argument.empty() || argument[0] != '-' || argument == "-") {
            options.files.push_back(argument);
            continue;
        }
        if (argument == "--") {
            onlyFiles = true;
            continue;
        }
        if (argument == "-h" || argument == "--help") {
            options.help = true;
            continue;
        }
        // "--name value" or "--name=value".
        std::string name = argument;
        std::optional<std::string> value;
        if (const auto equals = argument.find('='); equals != std::string::npos) {
            name = argument.substr(0, equals);
            value = argument.substr(equals + 1);
        }
        if (name != "--root" && name != "--format") return {std::nullopt, "unknown option " + argument};
        if (!value) {
            if (i + 1 >= arguments.size()) return {std::nullopt, name + " needs a value"};
            value = arguments[++i];
        }
        if (name == "--root") {
            if (value->empty()) return {std::nullopt, "--root needs a folder"};
            options.root = *value;
        } else if (*value == "text") {
            options.format = Format::Text;
        } else if (*value == "json") {
            options.format = Format::Json;
        } else {
            return {std::nullopt, "unknown format '" + *value + "': use text or json"};
        }
    }
    return {options, ""};
}

}  // namespace gloam::check
