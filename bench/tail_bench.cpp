// gloam-bench-tail: what a reverb costs per block while sound plays, and while its tail rings
// out into silence (where denormal numbers could otherwise multiply the cost).
#include "WorkFiles.h"
#include "audio/Channel.h"
#include "audio/ChannelGroup.h"
#include "audio/Dsp.h"
#include "audio/Sound.h"
#include "audio/System.h"

#include <sndfile.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

constexpr int kRate = 48000;
constexpr std::size_t kBlock = 512;

/// `seconds` of white noise, mono.
std::vector<float> noise(double seconds) {
    std::mt19937 random(7);
    std::uniform_real_distribution<float> uniform(-0.3f, 0.3f);
    std::vector<float> samples(static_cast<std::size_t>(seconds * kRate));
    for (float& sample : samples) sample = uniform(random);
    return samples;
}

/// Mean wall time of one block over `seconds` of output, in microseconds.
double microsecondsPerBlock(audio::System& system, double seconds, std::vector<float>& out) {
    const auto blocks = static_cast<std::size_t>(seconds * kRate / kBlock);
    const auto start = std::chrono::steady_clock::now();
    for (std::size_t i = 0; i < blocks; ++i) system.renderOffline(out.data(), kBlock);
    const std::chrono::duration<double, std::micro> wall = std::chrono::steady_clock::now() - start;
    return wall.count() / static_cast<double>(blocks);
}

}  // namespace

int main(int argc, char** argv) {
    const std::string library = argc > 1 ? argv[1] : "/usr/lib/ladspa/gverb_1216.so";
    const std::string label = argc > 2 ? argv[2] : "gverb";
    const fs::path noiseFile = fs::temp_directory_path() / "gloam-bench-tail.wav";
    if (!gloam::files::writeSound(noiseFile, SF_FORMAT_WAV | SF_FORMAT_FLOAT, kRate, 1, noise(10.0))) return 1;

    audio::System system;
    audio::SystemConfig config;
    config.output = audio::OutputKind::Offline;
    config.sampleRate = kRate;
    config.offlineChannels = 2;
    system.init(config);
    if (!system.loadPlugin(library)) {
        std::fprintf(stderr, "cannot load %s (Debian's swh-plugins has it)\n", library.c_str());
        return 1;
    }
    int plugin = -1;
    for (int i = 0; i < system.numDspPlugins(); ++i) {
        if (system.dspPluginName(i) == label) plugin = i;
    }
    std::unique_ptr<audio::Sound> sound = system.createSound(noiseFile.string(), audio::SoundMode::Sample);
    fs::remove(noiseFile);
    if (plugin < 0 || !sound) {
        std::fprintf(stderr, "no plug-in labelled %s in %s\n", label.c_str(), library.c_str());
        return 1;
    }
    auto group = system.createChannelGroup();
    std::unique_ptr<audio::Dsp> reverb = system.createDspByPlugin(plugin);
    group->addDsp(*reverb);
    audio::Channel channel = system.playSound(*sound, true);
    channel.setChannelGroup(*group);
    channel.setPaused(false);

    std::vector<float> out(kBlock * 2);
    const double playing = microsecondsPerBlock(system, 10.0, out);
    std::printf("%s while sound plays: %.1f us per block\n", label.c_str(), playing);
    double worst = 0.0;
    for (int second = 0; second < 60; second += 10) {
        const double tail = microsecondsPerBlock(system, 10.0, out);
        worst = std::max(worst, tail);
        std::printf("%s ringing out, %2d-%2d s after: %.1f us per block\n", label.c_str(), second, second + 10, tail);
    }
    std::printf("tail: at most %.2f times the cost while playing\n", worst / playing);
    reverb.reset();
    group.reset();
    sound.reset();
    system.close();
    return 0;
}
