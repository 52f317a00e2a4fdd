// gloam-bench-decode: streaming decode speed against a plain libsndfile read loop.
//
// Generates a few minutes of Ogg Vorbis and MP3 (stereo, at the mix rate so
// neither side resamples), then decodes each file through a Stream reader,
// draining it as fast as the decoder thread fills it, and through
// sf_readf_float over the same file, and prints both speeds and their ratio.
#include "audio/DecodeWorker.h"
#include "audio/DecodeWorkerImpl.h"
#include "audio/Sound.h"
#include "audio/StreamReader.h"

#include <sndfile.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <numbers>
#include <random>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr int kRate = 48000;
constexpr int kSeconds = 180;

using Clock = std::chrono::steady_clock;

bool writeMusicLike(const std::string& path, int format) {
    SF_INFO info{};
    info.samplerate = kRate;
    info.channels = 2;
    info.format = format;
    SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
    if (file == nullptr) return false;
    std::mt19937 generator(1);
    std::uniform_real_distribution<float> uniform(-0.05f, 0.05f);
    std::vector<float> block(2 * 4800);
    for (std::int64_t start = 0; start < std::int64_t{kRate} * kSeconds; start += 4800) {
        for (std::size_t i = 0; i < 4800; ++i) {
            const double t = static_cast<double>(start + static_cast<std::int64_t>(i)) / kRate;
            const auto tone = static_cast<float>(0.3 * std::sin(2 * std::numbers::pi * 220.0 * t) +
                                                 0.2 * std::sin(2 * std::numbers::pi * 331.0 * t));
            block[2 * i] = tone + uniform(generator);
            block[2 * i + 1] = tone - uniform(generator);
        }
        sf_writef_float(file, block.data(), 4800);
    }
    sf_close(file);
    return true;
}

/// Seconds to decode the whole file with sf_readf_float; frames in `frames`.
double plainLoop(const std::string& path, std::int64_t& frames) {
    const auto start = Clock::now();
    SF_INFO info{};
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
    if (file == nullptr) return -1;
    std::vector<float> buffer(4096 * static_cast<std::size_t>(info.channels));
    frames = 0;
    while (const sf_count_t got = sf_readf_float(file, buffer.data(), 4096)) frames += got;
    sf_close(file);
    return std::chrono::duration<double>(Clock::now() - start).count();
}

/// Seconds to open a Stream and drain its reader; peak bytes in `bytes`.
double streamReader(const std::string& path, audio::DecodeWorker& worker, std::int64_t& frames, std::size_t& bytes) {
    const auto start = Clock::now();
    auto sound = audio::openSound(path, audio::SoundMode::Stream, kRate, worker);
    if (!sound) return -1;
    auto reader = sound->openReader();
    auto* stream = dynamic_cast<audio::StreamReader*>(reader.get());
    std::vector<float> block(512);
    frames = 0;
    bytes = stream->bufferBytes();
    while (!reader->ended()) {
        const std::size_t got = reader->read(block.data(), block.size());
        frames += static_cast<std::int64_t>(got);
        if (got == 0) std::this_thread::yield();
    }
    return std::chrono::duration<double>(Clock::now() - start).count();
}

void compare(const char* name, const std::string& path, audio::DecodeWorker& worker) {
    std::int64_t plainFrames = 0;
    std::int64_t ourFrames = 0;
    std::size_t bytes = 0;
    // Best of three each, alternating, to damp noise from a shared machine.
    double plain = 1e9;
    double ours = 1e9;
    for (int round = 0; round < 3; ++round) {
        plain = std::min(plain, plainLoop(path, plainFrames));
        ours = std::min(ours, streamReader(path, worker, ourFrames, bytes));
    }
    const double audioSeconds = static_cast<double>(plainFrames) / kRate;
    std::printf("%-11s plain sf_readf_float: %7.1f ms (%6.0fx real time)\n", name, plain * 1e3, audioSeconds / plain);
    std::printf("%-11s Stream reader:        %7.1f ms (%6.0fx real time), %lld frames\n", name, ours * 1e3,
                audioSeconds / ours, static_cast<long long>(ourFrames));
    std::printf("%-11s ratio (ours / plain speed): %.2f   reader buffers: %zu bytes (%.1f KiB)\n\n", name,
                plain / ours, bytes, static_cast<double>(bytes) / 1024.0);
}

}  // namespace

int main() {
    const auto dir = std::filesystem::temp_directory_path() / "gloam-bench-decode";
    std::filesystem::create_directories(dir);
    const std::string ogg = (dir / "music.ogg").string();
    const std::string mp3 = (dir / "music.mp3").string();
    std::printf("generating %d s of stereo audio at %d Hz...\n\n", kSeconds, kRate);
    if (!writeMusicLike(ogg, SF_FORMAT_OGG | SF_FORMAT_VORBIS) ||
        !writeMusicLike(mp3, SF_FORMAT_MPEG | SF_FORMAT_MPEG_LAYER_III)) {
        std::fprintf(stderr, "could not write the test files\n");
        return 1;
    }
    {
        audio::DecodeWorker worker;
        compare("Ogg Vorbis", ogg, worker);
        compare("MP3", mp3, worker);
    }
    std::filesystem::remove_all(dir);
    return 0;
}
