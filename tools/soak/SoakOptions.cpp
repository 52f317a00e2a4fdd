// Parsing the soak tool's options; the named cases.
#include "SoakOptions.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <memory>

namespace gloam::soak {

namespace {

bool parseNumber(const std::string& text, double& value) {
    if (text.empty()) return false;
    char* end = nullptr;
    errno = 0;
    value = std::strtod(text.c_str(), &end);
    return errno == 0 && *end == '\0' && std::isfinite(value);
}

}  // namespace

const std::vector<SoakCase>& soakCases() {
    static const std::vector<SoakCase> cases = {
        {"missing-first-child",
         "an endless seq whose first child is a missing file keeps sounding: every 10 s window of a ten-minute "
         "render holds sound",
         R"(<adventure><scene name="Edge">
  <seq name="Bed" autoStart="1" loopCount="-1">
    <sound src="missing.wav"/>
    <sound src="tone.wav"/>
  </seq>
</scene></adventure>)",
         {{"tone.wav", 3000, 440.0}},
         10.0 / 60.0,
         8000,
         false,
         10},
        {"endless-queue",
         "a short sound repeating without end, with a random loop delay, for ten hours: its plan queues stay small",
         R"(<adventure mode="preload"><scene name="Queue">
  <sound name="Blip" src="blip.wav" autoStart="1" loopCount="-1" loopDelayVariance="30"/>
</scene></adventure>)",
         {{"blip.wav", 50, 440.0}},
         10.0,
         1000,
         false,
         0},
    };
    return cases;
}

namespace {

/// What the soak watches for and the named cases, after the options.
std::string soakRules() {
    std::string text =
        "It prints one line per virtual hour (per sixth of the run when that is shorter): the\n"
        "peak resident memory in that stretch, the channels playing (and the most at once),\n"
        "the largest plan queue of any element, the active elements (and the most at once),\n"
        "the mix level and peak, the keys pressed, and the main loop's passes a second (a\n"
        "player that rests between planned moments makes 4 to 50). It exits 1 with a\n"
        "message when\n"
        "  - a measure grows without bound, judged when the run has at least four stretches:\n"
        "    its highest value in the last quarter of the stretches exceeds, by more than a\n"
        "    slack, its highest value in the first quarter (memory, where a slow leak would\n"
        "    hide in the stretches just before; slack 8 MB plus 10%) or in all stretches\n"
        "    before (plan queue: 4 entries; channels and active elements: 50% plus 4);\n"
        "  - a channel plays that no element plays, for more than 10 s;\n"
        "  - an element stays silent for longer than its plan allows: an element that is\n"
        "    Playing or Waiting, none of whose sounds (its own, or its descendants') has a\n"
        "    channel playing, for longer than the sum, over the element and every element\n"
        "    below it, of the longest start delay (startDelay + startDelayVariance) and, where\n"
        "    it repeats, the longest loop delay (loopDelay + loopDelayVariance), plus 2 s for\n"
        "    the player to notice ends; negative values count as 0;\n"
        "  - the mix holds a sample that is not a finite number;\n"
        "  - (cases that ask for it) a window of the mix holds no sound at all.\n"
        "Exit code 2: unusable options or files.\n"
        "\n"
        "Cases:\n";
    for (const SoakCase& soakCase : soakCases()) text += "  " + soakCase.name + ": " + soakCase.description + "\n";
    return text;
}

}  // namespace

platform::CommandLine soakCommandLine(SoakOptions& options) {
    // A case brings its own length, rate and keys; an explicit --hours still counts.
    auto hoursGiven = std::make_shared<bool>(false);
    platform::CommandLine commandLine(
        "gloam-soak", "[options]",
        "Plays an adventure for hours of virtual time with keys pressed at random (scene keys,\n"
        "element keys, cursor left/right, Space, reloads through the '!' menu), renders the\n"
        "mix offline and watches the player.");
    commandLine
        .option("--root", "DIR", "folder holding adventures, sounds and plugins (default: demo)",
                [&options](const std::string& value) -> std::string {
                    options.root = value;
                    return {};
                })
        .option("--adventure", "FILE", "adventure to play, relative to DIR (default: adventures/demo.xml)",
                [&options](const std::string& value) -> std::string {
                    options.adventure = value;
                    return {};
                })
        .option("--hours", "H", "virtual hours to play (default 24; fractions allowed)",
                [&options, hoursGiven](const std::string& value) -> std::string {
                    double number = 0.0;
                    if (!parseNumber(value, number) || number <= 0.0 || number > 24.0 * 20) {
                        return "--hours needs a number of hours up to 480, not '" + value + "'";
                    }
                    options.hours = number;
                    *hoursGiven = true;
                    return {};
                })
        .option("--seed", "N", "seed of the random keys (default 1)",
                [&options](const std::string& value) -> std::string {
                    double number = 0.0;
                    if (!parseNumber(value, number) || number < 0 || number > 4294967295.0 || number != std::floor(number)) {
                        return "--seed needs a whole number from 0 to 4294967295, not '" + value + "'";
                    }
                    options.seed = static_cast<std::uint32_t>(number);
                    return {};
                })
        .option("--key-every", "S", "mean seconds between random keys (default 20; 0: no keys)",
                [&options](const std::string& value) -> std::string {
                    double number = 0.0;
                    if (!parseNumber(value, number) || number < 0.0 || (number > 0.0 && number < 0.1)) {
                        return "--key-every needs 0 or at least 0.1 seconds, not '" + value + "'";
                    }
                    options.keyEverySeconds = number;
                    return {};
                })
        .option("--rate", "HZ", "mix rate (default 8000, mono)",
                [&options](const std::string& value) -> std::string {
                    double number = 0.0;
                    if (!parseNumber(value, number) || number < 1000 || number > 192000 || number != std::floor(number)) {
                        return "--rate needs a whole number from 1000 to 192000, not '" + value + "'";
                    }
                    options.sampleRate = static_cast<int>(number);
                    return {};
                })
        .option("--case", "NAME", "run a named case: its own adventure, length, rate and keys\n(--hours still applies)",
                [&options](const std::string& value) -> std::string {
                    for (const SoakCase& soakCase : soakCases()) {
                        if (soakCase.name == value) options.soakCase = soakCase;
                    }
                    if (!options.soakCase) return "no case named '" + value + "' (see --help)";
                    return {};
                })
        .epilogue(soakRules())
        .finally([&options, hoursGiven]() -> std::string {
            if (options.soakCase) {
                if (!*hoursGiven) options.hours = options.soakCase->hours;
                options.sampleRate = options.soakCase->sampleRate;
                if (!options.soakCase->randomKeys) options.keyEverySeconds = 0.0;
            }
            return {};
        });
    return commandLine;
}

}  // namespace gloam::soak
