// Parsing the renderer's options and key scripts.
#include "RenderOptions.h"

#include "platform/Keys.h"

#include "AudioWriter.h"
#include "TextEscape.h"

#include <cctype>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <map>

namespace gloam::render {

namespace keys = platform::keys;

namespace {

/// Longest key script taken; far beyond any hand-written one, and it keeps a
/// fuzzed or mistaken argument from filling memory.
constexpr std::size_t maxScriptBytes = 1 << 20;

/// Whole numbers are plain digits only: no sign, no spaces, no hex.
bool parseWhole(const std::string& text, long long maxValue, long long& value) {
    if (text.empty() || text.size() > 18) return false;
    value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        value = value * 10 + (c - '0');
    }
    return value <= maxValue;
}

/// Decimals as written by hand: digits with an optional fraction and
/// exponent ("2.5", "90", "1e3"); no hex, infinities, NaN or spaces.
bool parseDecimal(const std::string& text, double& value) {
    if (text.empty() || text.size() > 64) return false;
    for (char c : text) {
        if (!((c >= '0' && c <= '9') || c == '.' || c == 'e' || c == 'E' || c == '+' || c == '-')) return false;
    }
    char* end = nullptr;
    value = std::strtod(text.c_str(), &end);
    return end == text.c_str() + text.size() && std::isfinite(value);
}

/// A KEY that is not a name must be one character: one byte that is not
/// NUL (the console's prefix of special keys), or one well-formed UTF-8
/// sequence, so that its bytes cannot pose as a cursor key.
bool plausibleKey(const std::string& key) {
    if (key.empty() || key.find('\0') != std::string::npos) return false;
    const auto lead = static_cast<unsigned char>(key[0]);
    if (lead < 0x80) return true;
    if (lead < 0xC2 || lead > 0xF4) return false;
    for (std::size_t i = 1; i < key.size(); ++i) {
        if ((static_cast<unsigned char>(key[i]) & 0xC0) != 0x80) return false;
    }
    return true;
}

bool hasSvgExtension(const std::string& path) {
    std::string extension = std::filesystem::path(path).extension().string();
    for (char& c : extension) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return extension == ".svg";
}

std::optional<std::vector<int>> keyCodes(const std::string& key) {
    static const std::map<std::string, std::vector<int>> named = {
        {"left", {keys::prefix, keys::left}}, {"right", {keys::prefix, keys::right}},
        {"up", {keys::prefix, keys::up}},     {"down", {keys::prefix, keys::down}},
        {"delete", {keys::prefix, keys::del}},
        {"space", {keys::space}},             {"enter", {keys::enter}},
        {"esc", {keys::escape}},              {"comma", {','}},
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

std::optional<std::vector<platform::ScriptedKey>> parseKeyScript(const std::string& script, std::string& error) {
    std::vector<platform::ScriptedKey> keys;
    if (script.empty()) return keys;
    if (script.size() > maxScriptBytes) {
        error = "the key script is longer than " + std::to_string(maxScriptBytes) + " characters";
        return std::nullopt;
    }
    std::size_t position = 0;
    long long previous = 0;
    while (position <= script.size()) {
        const std::size_t comma = script.find(',', position);
        const std::string event = script.substr(position, comma == std::string::npos ? std::string::npos : comma - position);
        const std::size_t colon = event.find(':');
        long long ms = 0;
        if (colon == std::string::npos || !parseWhole(event.substr(0, colon), maxKeyTimeMs, ms)) {
            error = "bad key event '" + quoteForMessage(event) + "': expected MS:KEY, MS from 0 to " +
                    std::to_string(maxKeyTimeMs);
            return std::nullopt;
        }
        if (ms < previous) {
            error = "key events must be in time order: '" + quoteForMessage(event) + "'";
            return std::nullopt;
        }
        const std::string key = event.substr(colon + 1);
        auto codes = plausibleKey(key) ? keyCodes(key) : std::nullopt;
        if (!codes) {
            error = "unknown key in '" + quoteForMessage(event) + "'";
            return std::nullopt;
        }
        for (int code : *codes) keys.push_back({static_cast<std::int32_t>(ms), code});
        previous = ms;
        if (comma == std::string::npos) break;
        position = comma + 1;
    }
    return keys;
}

platform::CommandLine renderCommandLine(RenderOptions& options) {
    // A value may be empty only where that means something (an empty key script).
    auto path = [](std::string& target, const char* option) {
        return [&target, option](const std::string& value) -> std::string {
            if (value.empty()) return std::string(option) + " needs a value, not an empty one";
            target = value;
            return {};
        };
    };
    platform::CommandLine commandLine("gloam-render", "[options] -o OUT.wav|OUT.flac|OUT.ogg",
                                      "Plays an adventure on simulated time, pressing keys from a script, and writes\n"
                                      "what you would hear to an audio file and what happened to a timeline.");
    commandLine
        .option("--root", "DIR", "folder holding adventures, sounds and plugins (default: .)", path(options.root, "--root"))
        .option("--adventure", "FILE", "adventure to load at time 0, relative to DIR",
                path(options.adventure, "--adventure"))
        .option("--keys", "SCRIPT",
                "keys as MS:KEY,MS:KEY,... (KEY: a character, or left, right,\n"
                "up, down, delete, space, enter, esc, comma, colon)",
                [&options](const std::string& value) -> std::string {
                    std::string error;
                    auto keys = parseKeyScript(value, error);
                    if (!keys) return error;
                    options.keys = std::move(*keys);
                    return {};
                })
        .option("--seconds", "S", "how long to render (default 60); Escape ends it sooner",
                [&options](const std::string& value) -> std::string {
                    if (!parseDecimal(value, options.seconds) || options.seconds < 0 ||
                        options.seconds > static_cast<double>(maxSeconds)) {
                        return "--seconds needs a number of seconds from 0 to " + std::to_string(maxSeconds) + ", not '" +
                               quoteForMessage(value) + "'";
                    }
                    return {};
                })
        .option("--rate", "HZ", "sample rate (default 48000)",
                [&options](const std::string& value) -> std::string {
                    long long rate = 0;
                    if (!parseWhole(value, 192000, rate) || rate < 8000) {
                        return "--rate needs a sample rate from 8000 to 192000, not '" + quoteForMessage(value) + "'";
                    }
                    options.sampleRate = static_cast<int>(rate);
                    return {};
                })
        .option("--channels", "N", "1, 2, 4, 6 or 8 output channels (default 2)",
                [&options](const std::string& value) -> std::string {
                    long long channels = 0;
                    if (!parseWhole(value, 8, channels) ||
                        (channels != 1 && channels != 2 && channels != 4 && channels != 6 && channels != 8)) {
                        return "--channels needs 1, 2, 4, 6 or 8, not '" + quoteForMessage(value) + "'";
                    }
                    options.channels = static_cast<int>(channels);
                    return {};
                })
        .option("--trace", "FILE", "write the timeline of states and keys", path(options.trace, "--trace"))
        .option("--screens", "FILE", "write every status screen, each after a line @MS", path(options.screens, "--screens"))
        .option("--timeline", "FILE.svg", "draw the timeline as an SVG picture: one lane per element",
                [&options](const std::string& value) -> std::string {
                    if (!hasSvgExtension(value)) {
                        return "--timeline draws an SVG picture: give a file name ending in .svg, not '" +
                               quoteForMessage(value) + "' (the timeline as text is --trace)";
                    }
                    options.timeline = value;
                    return {};
                })
        .option("--seed", "N|random",
                "start the random numbers from seed N (0 to 4294967295), or\n"
                "from one picked now, which is printed; default: the fixed sequence",
                [&options](const std::string& value) -> std::string {
                    options.seed = parseSeed(value);
                    if (!options.seed) {
                        return "--seed needs a whole number from 0 to 4294967295 or 'random', not '" +
                               quoteForMessage(value) + "'";
                    }
                    return {};
                })
        .option("-o", "FILE",
                "the audio file to write: .wav (32-bit float), .flac (24-bit)\n"
                "or .ogg (Vorbis), by its extension",
                [&options](const std::string& value) -> std::string {
                    if (value.empty()) return "-o needs a value, not an empty one";
                    if (!audioFormatFor(value)) return unknownFormatMessage(value);
                    options.output = value;
                    return {};
                })
        .epilogue("Exit code: 0 when every file was written completely, 2 otherwise. See gloam-render(1).")
        .finally([&options]() -> std::string {
            if (options.output.empty()) return "no output file: give -o OUT.wav, OUT.flac or OUT.ogg (see --help)";
            return {};
        });
    return commandLine;
}

std::string renderUsage() {
    RenderOptions unused;
    return renderCommandLine(unused).usage();
}

ParsedOptions parseRenderOptions(const std::vector<std::string>& arguments) {
    RenderOptions options;
    const auto parsed = renderCommandLine(options).parse(arguments);
    ParsedOptions result;
    switch (parsed.request) {
    case platform::CommandLineRequest::Refused:
        result.error = parsed.error;
        return result;
    case platform::CommandLineRequest::Help:
        options.help = true;
        break;
    case platform::CommandLineRequest::Version:
        options.version = true;
        break;
    case platform::CommandLineRequest::Run:
        break;
    }
    result.options = std::move(options);
    return result;
}

}  // namespace gloam::render
