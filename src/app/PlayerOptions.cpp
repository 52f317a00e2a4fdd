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
        .epilogue("Exit code: 0 after Escape, 2 for bad usage or an unusable folder. See gloam(1).");
    return commandLine;
}

}  // namespace gloam
