// Parsing the remote control's options.
#include "app/RemoteOptions.h"

namespace gloam {

std::optional<RemoteOptions> parseRemoteOptions(const std::vector<std::string>& arguments, std::string& error) {
    RemoteOptions options;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        std::string name = arguments[i];
        std::optional<std::string> value;
        if (auto equals = name.find('='); name.rfind("--", 0) == 0 && equals != std::string::npos) {
            value = name.substr(equals + 1);
            name.resize(equals);
        }
        if (name != "--remote" && name != "--remote-token-file") {
            error = "unknown option '" + arguments[i] + "'";
            return std::nullopt;
        }
        if (!value) {
            if (i + 1 >= arguments.size()) {
                error = name + " needs a value";
                return std::nullopt;
            }
            value = arguments[++i];
        }
        if (name == "--remote") {
            std::string problem;
            options.listen = remote::parseListenAddress(*value, problem);
            if (!options.listen) {
                error = "--remote " + *value + ": " + problem;
                return std::nullopt;
            }
        } else {
            if (value->empty()) {
                error = "--remote-token-file needs a file name";
                return std::nullopt;
            }
            options.tokenFile = *value;
        }
    }
    if (options.tokenFile && !options.listen) {
        error = "--remote-token-file is used only with --remote";
        return std::nullopt;
    }
    return options;
}

}  // namespace gloam
