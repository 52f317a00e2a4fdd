// The soak tool's command line and its named cases.
#pragma once

#include "platform/CommandLine.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace gloam::soak {

/// A sound file a case writes into its folder before it starts.
struct CaseSound {
    std::string path;  ///< relative to the case's sounds folder
    int lengthMs = 0;
    double frequency = 440.0;
};

/// A named check with an adventure of its own, written into a temporary folder.
struct SoakCase {
    std::string name;
    std::string description;
    std::string xml;
    std::vector<CaseSound> sounds;
    double hours = 0.0;
    int sampleRate = 8000;
    bool randomKeys = false;
    /// When nonzero, every window of this many seconds of the mix must sound.
    int soundingWindowSeconds = 0;
};

struct SoakOptions {
    std::string root = "demo";                     ///< holds adventures, sounds and plugins
    std::string adventure = "adventures/demo.xml"; ///< relative to root
    double hours = 24.0;
    std::uint32_t seed = 1;
    double keyEverySeconds = 20.0;  ///< mean time between random keys; 0: no keys
    int sampleRate = 8000;
    std::optional<SoakCase> soakCase;
};

/// The soak tool's options, each writing into `options` (which must outlive
/// the result) as CommandLine::parse meets it; a case's own settings are
/// applied once every argument was taken.
platform::CommandLine soakCommandLine(SoakOptions& options);

/// The named cases, in the order the usage lists them.
const std::vector<SoakCase>& soakCases();

}  // namespace gloam::soak
