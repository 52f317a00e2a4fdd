// gloam-bench-mix: how many times faster than real time the engine mixes 128 placed voices,
// and how that compares with OpenAL Soft rendering the same scene.
#include "MixScene.h"
#include "WorkFiles.h"
#include "audio/Channel.h"
#include "audio/Sound.h"
#include "audio/System.h"

#include <sndfile.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace {

constexpr int kTrials = 3;

/// Wall seconds for the engine to render numSeconds of the scene offline.
double renderWithEngine(audio::System& system, audio::Sound& sound, double numSeconds) {
    std::vector<audio::Channel> channels;
    for (const bench::Position& p : bench::sourcePositions()) {
        audio::Channel channel = system.playSound(sound, true);
        channel.set3DAttributes({p.x, p.y, p.z}, {});
        channel.setPaused(false);
        channels.push_back(channel);
    }
    std::vector<float> out(bench::kBlockFrames * 2);
    const auto totalFrames = static_cast<std::size_t>(numSeconds * bench::kSampleRate);
    const auto start = std::chrono::steady_clock::now();
    for (std::size_t done = 0; done < totalFrames; done += bench::kBlockFrames) {
        system.renderOffline(out.data(), bench::kBlockFrames);
    }
    const std::chrono::duration<double> wall = std::chrono::steady_clock::now() - start;
    if (system.channelsPlaying() != bench::kNumSources) std::fprintf(stderr, "gloam: voices ended early\n");
    // A silent mix would be a broken engine, not a fast one.
    if (*std::max_element(out.begin(), out.end()) <= 0.0f) std::fprintf(stderr, "gloam: the mix is silent\n");
    for (audio::Channel& channel : channels) channel.stop();
    system.update();
    return wall.count();
}

}  // namespace

int main(int argc, char** argv) {
    const double numSeconds = argc > 1 ? std::max(1.0, std::atof(argv[1])) : 60.0;
    const std::vector<float> signal =
        bench::sourceSignal(static_cast<std::size_t>((numSeconds + 2.0) * bench::kSampleRate));
    const auto path = std::filesystem::temp_directory_path() / "gloam-bench-mix.wav";
    if (!gloam::files::writeSound(path, SF_FORMAT_WAV | SF_FORMAT_FLOAT, bench::kSampleRate, 1, signal)) {
        std::fprintf(stderr, "cannot write %s\n", path.c_str());
        return 1;
    }

    audio::System system;
    audio::SystemConfig config;
    config.output = audio::OutputKind::Offline;
    config.sampleRate = bench::kSampleRate;
    config.offlineChannels = 2;
    system.init(config);
    std::unique_ptr<audio::Sound> sound = system.createSound(path.string(), audio::SoundMode::Sample);
    std::filesystem::remove(path);
    if (!sound) {
        std::fprintf(stderr, "cannot open the benchmark sound\n");
        return 1;
    }

    // Best of a few trials each, interleaved, so a busy neighbour hurts both alike.
    double ours = 1e30;
    double theirs = 1e30;
    for (int trial = 0; trial < kTrials; ++trial) {
        ours = std::min(ours, renderWithEngine(system, *sound, numSeconds));
        const double openAl = bench::renderWithOpenAl(signal, numSeconds);
        if (openAl <= 0.0) {
            std::fprintf(stderr, "OpenAL Soft loopback rendering is not available\n");
            return 1;
        }
        theirs = std::min(theirs, openAl);
    }
    sound.reset();
    system.close();

    const double ourSpeed = numSeconds / ours;
    const double theirSpeed = numSeconds / theirs;
    std::printf("gloam: %.1f s of audio in %.3f s\n", numSeconds, ours);
    std::printf("OpenAL Soft: %.1f s of audio in %.3f s (%.1f times real time)\n", numSeconds, theirs,
                theirSpeed);
    std::printf("mix: %.1f times real time, %.2f times OpenAL Soft\n", ourSpeed, ourSpeed / theirSpeed);
    return 0;
}
