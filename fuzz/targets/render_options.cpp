// Fuzz target: gloam-render's command line and key scripts.
//
// The input is the command line: arguments separated by NUL bytes.
#include "FuzzTarget.h"
#include "RenderOptions.h"

#include <cmath>
#include <string>
#include <vector>

namespace fuzz {

namespace {

using gloam::render::parseKeyScript;
using platform::ScriptedKey;

bool sameKeys(const std::vector<ScriptedKey>& a, const std::vector<ScriptedKey>& b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (a[i].timeMs != b[i].timeMs || a[i].code != b[i].code) return false;
    }
    return true;
}

/// Writes parsed keys back as a script: cursor keys and the characters the
/// script syntax uses by their names, every other code as its byte.
std::string scriptOf(const std::vector<ScriptedKey>& keys) {
    std::string script;
    for (std::size_t i = 0; i < keys.size(); ++i) {
        if (!script.empty()) script += ',';
        script += std::to_string(keys[i].timeMs) + ':';
        const int code = keys[i].code;
        const int next = i + 1 < keys.size() && keys[i + 1].timeMs == keys[i].timeMs ? keys[i + 1].code : -1;
        const char* cursor = code != 224 ? nullptr
                             : next == 'K' ? "left"
                             : next == 'M' ? "right"
                             : next == 'H' ? "up"
                             : next == 'P' ? "down"
                             : next == 'S' ? "delete"
                                           : nullptr;
        if (cursor != nullptr) {
            script += cursor;
            ++i;
        } else if (code == ',') {
            script += "comma";
        } else if (code == ':') {
            script += "colon";
        } else if (code == ' ') {
            script += "space";
        } else if (code == 13) {
            script += "enter";
        } else if (code == 27) {
            script += "esc";
        } else if (code >= 0x80) {
            // A lone byte of a multi-byte character is not a key of its own;
            // take the whole character as the script wrote it.
            const std::size_t length = code >= 0xF0 ? 4 : code >= 0xE0 ? 3 : code >= 0xC0 ? 2 : 1;
            for (std::size_t k = 0; k < length && i < keys.size(); ++k) script += static_cast<char>(keys[i++].code);
            --i;
        } else {
            script += static_cast<char>(code);
        }
    }
    return script;
}

void checkKeys(const std::string& script, const std::vector<ScriptedKey>& keys) {
    std::size_t events = 1;
    for (char c : script) events += c == ',' ? 1 : 0;
    check(keys.size() <= 4 * events, "more keys than events can give");
    std::int32_t previous = 0;
    for (const ScriptedKey& key : keys) {
        check(key.code >= 0 && key.code <= 255, "a key code outside 0..255");
        check(key.timeMs >= previous, "keys out of time order");
        previous = key.timeMs;
    }
    // What was read can be written back and reads the same.
    std::string error;
    const auto again = parseKeyScript(scriptOf(keys), error);
    check(again.has_value(), "parsed keys written back do not parse");
    check(sameKeys(*again, keys), "parsed keys written back read differently");
}

}  // namespace

int renderOptionsInput(const std::uint8_t* data, std::size_t size) {
    std::vector<std::string> arguments(1);
    for (std::size_t i = 0; i < size; ++i) {
        if (data[i] == 0) {
            arguments.emplace_back();
        } else {
            arguments.back() += static_cast<char>(data[i]);
        }
    }

    for (const std::string& argument : arguments) {
        std::string error;
        const auto keys = parseKeyScript(argument, error);
        check(keys.has_value() == error.empty(), "a key script must give keys or a message, not both");
        if (keys) checkKeys(argument, *keys);
    }

    const auto parsed = gloam::render::parseRenderOptions(arguments);
    check(parsed.options.has_value() == parsed.error.empty(), "options must parse or give a message, not both");
    if (!parsed.options || parsed.options->help || parsed.options->version) return 0;
    const auto& options = *parsed.options;
    check(!options.output.empty(), "options without an output file");
    check(std::isfinite(options.seconds) && options.seconds >= 0 && options.seconds <= 2000000, "an unusable duration");
    check(options.sampleRate >= 8000 && options.sampleRate <= 192000, "an unusable sample rate");
    const int channels = options.channels;
    check(channels == 1 || channels == 2 || channels == 4 || channels == 6 || channels == 8, "an unusable channel count");
    return 0;
}

}  // namespace fuzz

GLOAM_FUZZ_TARGET(fuzz::renderOptionsInput)
