// The renderer's command line.
#pragma once

#include "platform/CommandLine.h"
#include "platform/ScriptedConsole.h"
#include "playback/Random.h"

#include <optional>
#include <string>
#include <vector>

namespace gloam::render {

/// The latest time a key script may name, and the longest render.
constexpr long long maxKeyTimeMs = 2000000000;
constexpr long long maxSeconds = 2000000;

struct RenderOptions {
    std::string root = ".";       ///< holds adventures, sounds and plugins
    std::string adventure;        ///< relative to root; empty: none loaded
    std::vector<platform::ScriptedKey> keys;
    double seconds = 60.0;
    int sampleRate = 48000;
    int channels = 2;
    std::string output;           ///< the audio file; its extension names the format
    std::string trace;            ///< the timeline; empty: none
    std::string screens;          ///< every status screen; empty: none
    std::string timeline;         ///< the timeline as an SVG picture; empty: none
    /// --seed: the random sequence starts from this seed (or one picked from
    /// the system); none keeps the fixed sequence.
    std::optional<SeedRequest> seed;
    bool help = false;             ///< -h or --help was given: only the usage is wanted
    bool version = false;          ///< --version was given: only the version is wanted
};

/// The parsed command line, or the one-line message that says what is wrong.
/// Never throws (other than std::bad_alloc): anything malformed, empty, out of
/// range or holding a NUL byte is refused with the message.
struct ParsedOptions {
    std::optional<RenderOptions> options;
    std::string error;
};

ParsedOptions parseRenderOptions(const std::vector<std::string>& arguments);

/// Parses "MS:KEY,MS:KEY,...": MS plain digits up to maxKeyTimeMs, in
/// non-decreasing order; KEY is one character (one byte other than NUL, or
/// the bytes of one well-formed UTF-8 sequence) or one of left, right, up,
/// down, delete, space, enter, esc, comma, colon. Cursor keys and Delete
/// become two codes, 224 and the key's second code. Returns the keys, or none with `error` set to one
/// line; scripts over a megabyte are refused.
std::optional<std::vector<platform::ScriptedKey>> parseKeyScript(const std::string& script, std::string& error);

/// The renderer's options, each writing into `options` (which must outlive
/// the result) as CommandLine::parse meets it; -o is required.
platform::CommandLine renderCommandLine(RenderOptions& options);

std::string renderUsage();

}  // namespace gloam::render
