// Parsing the renderer's options and key scripts.
#include "RenderOptions.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <map>

namespace gloam::render {

namespace {

bool parseWhole(const std::string& text, long& value) {
    if (text.empty()) return false;
    char* end = nullptr;
    errno = 0;
    value = std::strtol(text.c_str(), &end, 10);
    return errno == 0 && *end == '\0';
}

bool parseDecimal(const std::string& text, double& value) {
    if (text.empty()) return false;
    char* end = nullptr;
    value = std::strtod(text.c_str(), &end);
    return *end == '\0' && std::isfinite(value);
}

std::optional<std::vector<int>> keyCodes(const std::string& key) {
    static const std::map<std::string, std::vector<int>> named = {
        {"left", {224, 'K'}}, {"right", {224, 'M'}}, {"up", {224, 'H'}}, {"down", {224, 'P'}},
        {"space", {' '}},     {"enter", {13}},       {"esc", {27}},      {"comma", {','}},
        {"colon", {':'}},
    };
    if (auto found = named.find(key); found != named.end()) return found->second;
    if (key.empty()) return std::nullopt;
    // One character: a single byte, or the bytes of one UTF-8 sequence.
    const auto lead = static_cast<unsigned char>(key[0]);
    const std::size_t length = lead < 0x80 ? 1 : lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
    if (key.size() != length) return std::nullopt;
    std::vector<int> codes;
    for (char byte : key) codes.push_back(static_cast<unsigned char>(byte));
    return codes;
}

}  // namespace

const char* renderUsage() {
    return "usage: gloam-render [options] -o OUT.wav\n"
           "  --root DIR         folder holding adventures, sounds and plugins (default: .)\n"
           "  --adventure FILE   adventure to load at time 0, relative to DIR\n"
           "  --keys SCRIPT      keys as MS:KEY,MS:KEY,... (KEY: a character, or left, right,\n"
           "                     up, down, space, enter, esc, comma, colon)\n"
           "  --seconds S        how long to render (default 60); Escape ends it sooner\n"
           "  --rate HZ          sample rate (default 48000)\n"
           "  --channels N       1, 2, 4, 6 or 8 output channels (default 2)\n"
           "  --trace FILE       write the timeline of states and keys\n"
           "  --screens FILE     write every status screen, each after a line @MS\n"
           "  -o FILE            the 32-bit float WAV file to write\n"
           "  -h, --help         this text\n";
}

std::optional<std::vector<platform::ScriptedKey>> parseKeyScript(const std::string& script, std::string& error) {
    std::vector<platform::ScriptedKey> keys;
    if (script.empty()) return keys;
    std::size_t position = 0;
    long previous = 0;
    while (position <= script.size()) {
        const std::size_t comma = script.find(',', position);
        const std::string event = script.substr(position, comma == std::string::npos ? std::string::npos : comma - position);
        const std::size_t colon = event.find(':');
        long ms = 0;
        if (colon == std::string::npos || !parseWhole(event.substr(0, colon), ms) || ms < 0 || ms > 2000000000) {
            error = "bad key event '" + event + "': expected MS:KEY";
            return std::nullopt;
        }
        if (ms < previous) {
            error = "key events must be in time order: '" + event + "'";
            return std::nullopt;
        }
        auto codes = keyCodes(event.substr(colon + 1));
        if (!codes) {
            error = "unknown key in '" + event + "'";
            return std::nullopt;
        }
        for (int code : *codes) keys.push_back({static_cast<std::int32_t>(ms), code});
        previous = ms;
        if (comma == std::string::npos) break;
        position = comma + 1;
    }
    return keys;
}

ParsedOptions parseRenderOptions(const std::vector<std::string>& arguments) {
    RenderOptions options;
    ParsedOptions result;
    auto fail = [&result](std::string message) {
        result.error = std::move(message);
        return result;
    };
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        if (argument == "-h" || argument == "--help") {
            options.help = true;
            result.options = options;
            return result;
        }
        if (i + 1 >= arguments.size()) return fail("missing value after " + argument);
        const std::string& value = arguments[++i];
        if (argument == "--root") {
            options.root = value;
        } else if (argument == "--adventure") {
            options.adventure = value;
        } else if (argument == "--keys") {
            std::string error;
            auto keys = parseKeyScript(value, error);
            if (!keys) return fail(error);
            options.keys = std::move(*keys);
        } else if (argument == "--seconds") {
            if (!parseDecimal(value, options.seconds) || options.seconds < 0 || options.seconds > 2000000) {
                return fail("--seconds needs a number of seconds, not '" + value + "'");
            }
        } else if (argument == "--rate") {
            long rate = 0;
            if (!parseWhole(value, rate) || rate < 8000 || rate > 192000) {
                return fail("--rate needs a sample rate from 8000 to 192000, not '" + value + "'");
            }
            options.sampleRate = static_cast<int>(rate);
        } else if (argument == "--channels") {
            long channels = 0;
            if (!parseWhole(value, channels) || (channels != 1 && channels != 2 && channels != 4 && channels != 6 &&
                                                channels != 8)) {
                return fail("--channels needs 1, 2, 4, 6 or 8, not '" + value + "'");
            }
            options.channels = static_cast<int>(channels);
        } else if (argument == "--trace") {
            options.trace = value;
        } else if (argument == "--screens") {
            options.screens = value;
        } else if (argument == "-o") {
            options.output = value;
        } else {
            return fail("unknown option " + argument + " (see --help)");
        }
    }
    if (options.output.empty()) return fail("no output file: give -o OUT.wav (see --help)");
    result.options = options;
    return result;
}

}  // namespace gloam::render
