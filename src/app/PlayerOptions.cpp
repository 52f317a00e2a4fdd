// The player's options and usage.
#include "app/PlayerOptions.h"

namespace gloam {

platform::CommandLine playerCommandLine(PlayerOptions& options) {
    platform::CommandLine commandLine(
        "gloam", "[options]",
        "Plays the layered soundscapes of an adventure, one key for each scene and element.\n"
        "Keys: '!' loads an adventure from adventures/, cursor left/right or a scene's key\n"
        "switches scenes, an element's key starts it or fades it out, Space fades out the\n"
        "current item of every top-level seq, Escape quits.");
    commandLine
        .option("--root", "DIR", "folder holding adventures/, sounds/ and plugins/\n(default: the working directory)",
                [&options](const std::string& value) -> std::string {
                    if (value.empty()) return "--root needs a folder, not an empty value";
                    options.root = value;
                    return {};
                })
        .option("--seed", "N|random",
                "start the random numbers from seed N (0 to 4294967295), or from\n"
                "one picked now, which is printed when the player ends;\n"
                "default: the same fixed sequence every run",
                [&options](const std::string& value) -> std::string {
                    options.seed = parseSeed(value);
                    if (!options.seed) return "--seed needs a whole number from 0 to 4294967295 or 'random'";
                    return {};
                })
        .option("--remote", "[ADDRESS:]PORT",
                "serve a page and an API to steer the player from a phone or a\n"
                "tablet; ADDRESS defaults to 127.0.0.1 (0.0.0.0 or a network\n"
                "address must be asked for), PORT 0 takes a free one",
                [&options](const std::string& value) -> std::string {
                    std::string problem;
                    options.remote.listen = remote::parseListenAddress(value, problem);
                    if (!options.remote.listen) return "--remote " + value + ": " + problem;
                    return {};
                })
        .option("--remote-token-file", "FILE",
                "keep the remote control's token in FILE (made, mode 0600, when\n"
                "it does not exist), so a phone's bookmark survives restarts",
                [&options](const std::string& value) -> std::string {
                    if (value.empty()) return "--remote-token-file needs a file name";
                    options.remote.tokenFile = value;
                    return {};
                })
        .finally([&options]() -> std::string {
            if (options.remote.tokenFile && !options.remote.listen) {
                return "--remote-token-file is used only with --remote";
            }
            return {};
        })
        .epilogue("Exit code: 0 after Escape, 1 when the remote control cannot listen, 2 for bad usage or an unusable folder. See gloam(1).");
    return commandLine;
}

}  // namespace gloam
