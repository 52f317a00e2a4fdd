// What a plug-in library offers, as read in a probe process and handed back as text.
#pragma once

#include <ladspa.h>

#include <optional>
#include <string>
#include <vector>

namespace audio {

class LadspaLibrary;

/// One descriptor of a library, as far as the host needs to know it without
/// running the library's code: its label and its parameters' range hints.
struct PluginDescription {
    std::string label;                           ///< the descriptor's Label, whole
    std::vector<LADSPA_PortRangeHint> controls;  ///< control inputs, in port order
};

/// Reads every descriptor of `library` (at most `maxDescriptors`), the way
/// the host loads it. Runs the library's code: probe process only.
std::vector<PluginDescription> describeLibrary(const LadspaLibrary& library, unsigned long maxDescriptors);

/// The descriptions as text, one line each, closed by an "end N" line, so a
/// reader can tell a whole answer from one cut short. Numbers are written
/// exactly (hexadecimal floats), labels as hex bytes.
std::string formatDescriptions(const std::vector<PluginDescription>& descriptions);

/// The descriptions back from formatDescriptions' text; nullopt when the text
/// is not such an answer or was cut short.
std::optional<std::vector<PluginDescription>> parseDescriptions(const std::string& text);

}  // namespace audio
