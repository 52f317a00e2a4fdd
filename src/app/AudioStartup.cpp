// Engine start-up and shut-down.
#include "app/AudioStartup.h"

#include "app/Adventure.h"
#include "audio/System.h"

#include <filesystem>
#include <system_error>

namespace gloam {

namespace fs = std::filesystem;

std::vector<std::string> pluginCandidates(const std::string& directory) {
    std::vector<std::string> paths;
    std::error_code error;
    fs::directory_iterator entries(directory, error);
    if (error) return paths;
    for (; entries != fs::directory_iterator() && !error; entries.increment(error)) {
        std::error_code typeError;
        if (entries->is_directory(typeError)) continue;
        paths.push_back(directory + "/" + entries->path().filename().string());
    }
    return paths;
}

void startAudio(audio::System& system, const audio::SystemConfig& config) {
    system.init(config);
    system.setListener(audio::Vector3{0.0f, 0.0f, 0.0f}, audio::Vector3{0.0f, 0.0f, 0.0f},
                       audio::Vector3{0.0f, 0.0f, 1.0f}, audio::Vector3{0.0f, 1.0f, 0.0f});
    for (const std::string& path : pluginCandidates("plugins")) {
        // A file that is no plug-in is refused quietly; the next one is tried.
        system.loadPlugin(path);
    }
}

void shutDown(Adventure& adventure, audio::System& system) {
    adventure.clear();
    system.close();
}

}  // namespace gloam
