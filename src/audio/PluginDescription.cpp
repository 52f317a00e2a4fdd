// Describing a library's plug-ins in text and reading the text back.
#include "audio/PluginDescription.h"

#include "audio/LadspaLibrary.h"

#include <cstdio>
#include <cstdlib>
#include <sstream>

namespace audio {

namespace {

constexpr char kHexDigits[] = "0123456789abcdef";

std::string toHex(const std::string& bytes) {
    std::string hex;
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        hex += kHexDigits[byte >> 4];
        hex += kHexDigits[byte & 15];
    }
    return hex.empty() ? "-" : hex;
}

std::optional<std::string> fromHex(const std::string& hex) {
    if (hex == "-") return std::string();
    if (hex.size() % 2 != 0) return std::nullopt;
    std::string bytes;
    for (std::size_t i = 0; i < hex.size(); i += 2) {
        const auto digit = [](char c) -> int {
            if (c >= '0' && c <= '9') return c - '0';
            if (c >= 'a' && c <= 'f') return c - 'a' + 10;
            return -1;
        };
        const int high = digit(hex[i]);
        const int low = digit(hex[i + 1]);
        if (high < 0 || low < 0) return std::nullopt;
        bytes += static_cast<char>(high * 16 + low);
    }
    return bytes;
}

std::string exactFloat(float value) {
    char text[64];
    std::snprintf(text, sizeof text, "%a", static_cast<double>(value));
    return text;
}

std::optional<float> readFloat(const std::string& text) {
    char* end = nullptr;
    const float value = std::strtof(text.c_str(), &end);
    if (end == text.c_str() || *end != '\0') return std::nullopt;
    return value;
}

}  // namespace

std::vector<PluginDescription> describeLibrary(const LadspaLibrary& library, unsigned long maxDescriptors) {
    std::vector<PluginDescription> found;
    for (unsigned long index = 0; index < maxDescriptors; ++index) {
        const LADSPA_Descriptor* descriptor = library.descriptor(index);
        if (descriptor == nullptr) break;
        PluginDescription description;
        description.label = descriptor->Label != nullptr ? descriptor->Label : "";
        if (descriptor->PortDescriptors != nullptr) {
            for (unsigned long port = 0; port < descriptor->PortCount; ++port) {
                const LADSPA_PortDescriptor kind = descriptor->PortDescriptors[port];
                if (!LADSPA_IS_PORT_INPUT(kind) || !LADSPA_IS_PORT_CONTROL(kind) || LADSPA_IS_PORT_OUTPUT(kind) ||
                    LADSPA_IS_PORT_AUDIO(kind)) {
                    continue;
                }
                description.controls.push_back(descriptor->PortRangeHints != nullptr
                                                   ? descriptor->PortRangeHints[port]
                                                   : LADSPA_PortRangeHint{0, 0.0f, 0.0f});
            }
        }
        found.push_back(std::move(description));
    }
    return found;
}

std::string formatDescriptions(const std::vector<PluginDescription>& descriptions) {
    std::string text;
    for (const PluginDescription& description : descriptions) {
        text += "plugin " + toHex(description.label) + ' ' + std::to_string(description.controls.size());
        for (const LADSPA_PortRangeHint& hint : description.controls) {
            text += ' ' + std::to_string(hint.HintDescriptor) + ' ' + exactFloat(hint.LowerBound) + ' ' +
                    exactFloat(hint.UpperBound);
        }
        text += '\n';
    }
    text += "end " + std::to_string(descriptions.size()) + '\n';
    return text;
}

std::optional<std::vector<PluginDescription>> parseDescriptions(const std::string& text) {
    std::vector<PluginDescription> descriptions;
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        std::istringstream words(line);
        std::string kind;
        words >> kind;
        if (kind == "end") {
            std::size_t count = 0;
            if (!(words >> count) || count != descriptions.size()) return std::nullopt;
            return descriptions;
        }
        if (kind != "plugin") return std::nullopt;
        std::string label;
        std::size_t numControls = 0;
        if (!(words >> label >> numControls) || numControls > 65536) return std::nullopt;
        PluginDescription description;
        const std::optional<std::string> decoded = fromHex(label);
        if (!decoded) return std::nullopt;
        description.label = *decoded;
        for (std::size_t i = 0; i < numControls; ++i) {
            LADSPA_PortRangeHint hint{};
            std::string lower;
            std::string upper;
            if (!(words >> hint.HintDescriptor >> lower >> upper)) return std::nullopt;
            const std::optional<float> low = readFloat(lower);
            const std::optional<float> high = readFloat(upper);
            if (!low || !high) return std::nullopt;
            hint.LowerBound = *low;
            hint.UpperBound = *high;
            description.controls.push_back(hint);
        }
        descriptions.push_back(std::move(description));
    }
    return std::nullopt;  // no "end": cut short
}

}  // namespace audio
