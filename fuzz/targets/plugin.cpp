// Fuzz target: damaged copies of real plug-in libraries and extreme filter values, through the quarantine.
//
// The input picks one of Debian's swh libraries (byte 0) and how to damage a
// copy of it of the same size (byte 1: 0 none, 1 a zero-filled tail, 2
// flipped bytes, 3 single bytes written where the input says), at a place
// given by the next two bytes as a fraction of the size. For kind 3 a count
// byte follows, then per patch four bytes of offset and the byte to write.
// The rest gives the plug-ins' parameter values, four bytes each: a small
// first byte picks one of the extremes below, any other is a raw float.
//
// The copy is offered to an engine as the programs offer a file from
// plugins/, and each plug-in it yields is tried with the values; whatever
// passes is then made, attached and run over a tone in this process. Checks
// that nothing crashes or hangs this process (libFuzzer's -timeout) and
// that no probe outlives its verdict.
#include "FuzzTarget.h"
#include "audio/ChannelGroup.h"
#include "audio/Dsp.h"
#include "audio/Sound.h"
#include "audio/System.h"

#include <unistd.h>

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <limits>
#include <sstream>
#include <string>
#include <vector>

namespace fuzz {

namespace {

namespace fs = std::filesystem;

/// Whether a child of this process is the plug-in probe: one the quarantine
/// started and did not reap. Other children (the sanitizers' helpers) are
/// not the quarantine's to reap.
bool probeLeftBehind() {
    const std::string self = std::to_string(::getpid());
    std::error_code error;
    for (const fs::directory_entry& process : fs::directory_iterator("/proc", error)) {
        std::ifstream stat(process.path() / "stat");
        std::string line;
        if (!std::getline(stat, line)) continue;
        // pid (comm) state ppid ...; comm may hold spaces, so read after the last ')'.
        const auto close = line.rfind(')');
        const auto open = line.find('(');
        if (close == std::string::npos || open == std::string::npos) continue;
        std::istringstream rest(line.substr(close + 1));
        std::string state;
        std::string parent;
        rest >> state >> parent;
        if (parent == self && line.substr(open + 1, close - open - 1).rfind("gloam-plugin", 0) == 0) return true;
    }
    return false;
}

constexpr int mixRate = 8000;
constexpr const char* libraries[] = {"amp_1181.so", "delay_1898.so", "svf_1214.so", "plate_1423.so"};
constexpr float extremes[] = {0.0f,    -0.0f,   1.0f,     -1.0f,   44739.0f, 44740.0f, 1e9f,
                              FLT_MAX, -FLT_MAX, FLT_MIN, 1e-45f,  std::numeric_limits<float>::infinity(),
                              -std::numeric_limits<float>::infinity(), std::numeric_limits<float>::quiet_NaN()};

std::string damagedCopy(InputReader& input, const std::string& bytes) {
    std::string copy = bytes;
    const std::uint8_t kind = input.byte() % 4;
    const std::size_t at = (copy.size() * ((std::size_t{input.byte()} << 8) | input.byte())) >> 16;
    if (kind == 1) {
        std::fill(copy.begin() + static_cast<std::ptrdiff_t>(at), copy.end(), '\0');
    } else if (kind == 2) {
        for (std::size_t i = at; i < std::min(at + 64, copy.size()); ++i) copy[i] = static_cast<char>(~copy[i]);
    } else if (kind == 3) {
        const int patches = input.byte() % 16;
        for (int i = 0; i < patches && !copy.empty(); ++i) {
            std::uint32_t offset = 0;
            for (int k = 0; k < 4; ++k) offset = (offset << 8) | input.byte();
            copy[offset % copy.size()] = static_cast<char>(input.byte());
        }
    }
    return copy;
}

float nextValue(InputReader& input) {
    const std::uint8_t first = input.byte();
    if (first < std::size(extremes)) return extremes[first];
    std::uint32_t bits = first;
    for (int k = 0; k < 3; ++k) bits = (bits << 8) | input.byte();
    float value = 0.0f;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

}  // namespace

int pluginInput(const std::uint8_t* data, std::size_t size) {
    InputReader input(data, size);
    const fs::path original = fs::path("/usr/lib/ladspa") / libraries[input.byte() % std::size(libraries)];
    std::ifstream in(original, std::ios::binary);
    if (!in) return 0;  // swh-plugins is not installed
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    // A fresh name each time: the loader knows a library by its file.
    static int copies = 0;
    const fs::path copy = scratchFolder() / ("plugin" + std::to_string(copies++) + ".so");
    {
        const std::string damaged = damagedCopy(input, bytes);
        std::ofstream(copy, std::ios::binary | std::ios::trunc)
            .write(damaged.data(), static_cast<std::streamsize>(damaged.size()));
    }

    {
        audio::System engine;
        audio::SystemConfig config;
        config.output = audio::OutputKind::Offline;
        config.sampleRate = mixRate;
        config.pluginVerdictFile = "-";  // every input is a new file; keep nothing
        engine.init(config);
        if (engine.loadPlugin(copy.string())) {
            auto group = engine.createChannelGroup();
            std::vector<std::unique_ptr<audio::Dsp>> effects;
            for (int index = 0; index < engine.numDspPlugins(); ++index) {
                std::vector<float> values;
                for (const audio::DspParameterInfo& info : engine.dspPluginParameters(index)) {
                    // Clamped into range as a filter's values are.
                    values.push_back(std::clamp(nextValue(input), info.min, info.max));
                    if (std::isnan(values.back())) values.back() = info.defaultValue;
                }
                if (!engine.dspRunsWith(index, values)) continue;
                auto dsp = engine.createDspByPlugin(index);
                check(dsp != nullptr, "a plug-in that passed its trial gave no effect");
                for (std::size_t i = 0; i < values.size(); ++i) dsp->setParameter(static_cast<int>(i), values[i]);
                group->addDsp(*dsp);
                effects.push_back(std::move(dsp));
            }
            std::vector<float> out(4 * 512 * static_cast<std::size_t>(engine.outputChannels()));
            engine.renderOffline(out.data(), 4 * 512);
            engine.update();
        }
        engine.close();
    }
    fs::remove(copy);
    // Every probe was reaped: none is left as a child of this process.
    check(!probeLeftBehind(), "a probe process left behind");
    return 0;
}

}  // namespace fuzz

GLOAM_FUZZ_TARGET(fuzz::pluginInput)
