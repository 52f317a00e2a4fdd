// gloam-plugin-probe: opens one plug-in library, or runs one plug-in, in a process of its own.
//
//   gloam-plugin-probe describe LIBRARY
//   gloam-plugin-probe run LIBRARY INDEX RATE CHANNELS VALUE...
//
// The programs start it in a child process before they let a library or a
// filter's values into their own, and take only a complete answer followed
// by exit status 0 as a pass: whatever the library does to this process
// (crash, hang, abort) costs them nothing but the verdict. "describe" opens
// the library as the host does, reads every descriptor and closes it again,
// then prints the descriptions. "run" makes descriptor INDEX for a bus of
// CHANNELS channels at RATE with the given parameter values, activates it,
// runs it over blocks of silence and of a tone, takes it down, then prints
// "ran". The answer is written only after the library was closed, so a
// crash on the way out counts too.
#include "audio/LadspaLibrary.h"
#include "audio/LadspaPlugin.h"
#include "audio/MixTypes.h"
#include "audio/PluginDescription.h"
#include "audio/PluginQuarantine.h"

#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

// A plug-in that crashes here should end this process at once, without a
// report or a leak check: the verdict is all the caller reads.
extern "C" const char* __asan_default_options() {
    return "handle_segv=0:handle_sigbus=0:handle_sigill=0:handle_sigfpe=0:handle_abort=0:detect_leaks=0:symbolize=0";
}

namespace {

/// Matches the host's own limit, so the probe reads what the host would.
constexpr unsigned long kMaxDescriptors = 4096;

/// Writes all of `text` and leaves at once: no destructor or exit handler
/// of the library runs after the verdict.
[[noreturn]] void answer(const std::string& text) {
    for (std::size_t done = 0; done < text.size();) {
        const ssize_t n = ::write(1, text.data() + done, text.size() - done);
        if (n <= 0) ::_exit(3);
        done += static_cast<std::size_t>(n);
    }
    ::_exit(0);
}

bool parseWhole(const char* text, long& out) {
    char* end = nullptr;
    out = std::strtol(text, &end, 10);
    return end != text && *end == '\0';
}

int describe(const char* path) {
    std::string text;
    {
        std::shared_ptr<const audio::LadspaLibrary> library = audio::LadspaLibrary::open(path);
        if (library == nullptr) answer(audio::formatDescriptions({}));
        text = audio::formatDescriptions(audio::describeLibrary(*library, kMaxDescriptors));
    }  // closed here, as the host closes it at the end
    answer(text);
}

int run(int argc, char** argv) {
    long index = 0;
    long rate = 0;
    long channels = 0;
    if (argc < 6 || !parseWhole(argv[3], index) || !parseWhole(argv[4], rate) || !parseWhole(argv[5], channels) ||
        index < 0 || rate <= 0 || channels <= 0 || channels > 64) {
        return 2;
    }
    std::vector<float> values;
    for (int i = 6; i < argc; ++i) {
        char* end = nullptr;
        values.push_back(std::strtof(argv[i], &end));
        if (end == argv[i] || *end != '\0') return 2;
    }
    {
        std::shared_ptr<const audio::LadspaLibrary> library = audio::LadspaLibrary::open(argv[2]);
        if (library == nullptr) return 1;
        const LADSPA_Descriptor* descriptor = library->descriptor(static_cast<unsigned long>(index));
        if (descriptor == nullptr) return 1;
        audio::LadspaPlugin plugin(library, *descriptor, static_cast<int>(rate));
        auto processor = plugin.createProcessor(static_cast<int>(rate), static_cast<int>(channels), audio::kMaxBlockFrames);
        for (std::size_t i = 0; i < values.size(); ++i) processor->setParameter(static_cast<int>(i), values[i]);
        processor->activate();
        const std::size_t numSamples = audio::kMaxBlockFrames * static_cast<std::size_t>(channels);
        std::vector<float> block(numSamples);
        for (int pass = 0; pass < audio::PluginQuarantine::kTrialBlocks; ++pass) {
            // Silence first, then a quiet tone: some plug-ins only fail once
            // there is something to process.
            for (std::size_t i = 0; i < numSamples; ++i) {
                const double t = double(std::size_t(pass) * audio::kMaxBlockFrames + i / std::size_t(channels));
                block[i] = pass < audio::PluginQuarantine::kTrialBlocks / 2 ? 0.0f : float(0.25 * std::sin(0.06 * t));
            }
            processor->process(block.data(), audio::kMaxBlockFrames);
        }
        processor.reset();
    }
    answer("ran\n");
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::strcmp(argv[1], "describe") == 0) return describe(argv[2]);
    if (argc >= 6 && std::strcmp(argv[1], "run") == 0) return run(argc, argv);
    const char* usage = "usage: gloam-plugin-probe describe LIBRARY | run LIBRARY INDEX RATE CHANNELS VALUE...\n";
    if (::write(2, usage, std::strlen(usage)) < 0) return 2;
    return 2;
}
