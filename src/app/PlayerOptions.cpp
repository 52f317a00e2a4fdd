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
        .epilogue("Exit code: 0 after Escape, 2 for bad usage or an unusable folder. See gloam(1).");
    return commandLine;
}

}  // namespace gloam
