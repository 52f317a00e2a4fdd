// Fuzz target: opening and playing any file contents as a sound, in every mode.
#include "FuzzTarget.h"
#include "audio/DecodeWorker.h"
#include "audio/DecodeWorkerImpl.h"
#include "audio/Sound.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <vector>

namespace fuzz {

namespace {

constexpr int mixRate = 8000;
/// Enough to pass the prefill and the first refills of a stream.
constexpr std::size_t maxFramesRead = 5 * mixRate;

/// What one mode made of the file.
struct Play {
    bool opened = false;
    std::uint32_t lengthMs = 0;
    std::vector<float> pcm;
    bool ended = false;
};

Play play(const std::string& path, audio::SoundMode mode, audio::DecodeWorker& worker) {
    Play result;
    std::unique_ptr<audio::Sound> sound = audio::openSound(path, mode, mixRate, worker);
    if (!sound) return result;
    result.opened = true;
    result.lengthMs = sound->lengthMs();
    check(sound->mode() == mode, "a sound in another mode than asked");
    std::unique_ptr<audio::SoundReader> reader = sound->openReader();
    check(reader != nullptr, "a sound that opened but cannot be read");
    std::array<float, 1024> block{};
    while (result.pcm.size() < maxFramesRead && !reader->ended()) {
        // What the offline engine does before mixing a block.
        worker.impl().fillNow();
        check(reader->canDeliver(block.size()), "a reader not ready after its decoder caught up");
        const std::size_t got = reader->read(block.data(), block.size());
        for (std::size_t i = 0; i < got; ++i) check(std::isfinite(block[i]), "a non-finite sample");
        result.pcm.insert(result.pcm.end(), block.begin(), block.begin() + static_cast<std::ptrdiff_t>(got));
        if (got < block.size()) {
            check(reader->ended(), "a short read before the end of the sound");
        }
    }
    result.ended = reader->ended();
    if (result.ended) {
        // Every mode plays exactly the sound's length, to the nearest millisecond.
        const auto expected = static_cast<double>(result.lengthMs) * mixRate / 1000.0;
        check(std::abs(static_cast<double>(result.pcm.size()) - expected) <= mixRate / 1000.0 + 1.0,
              "a play whose length is not the sound's");
    }
    return result;
}

}  // namespace

int openSoundInput(const std::uint8_t* data, std::size_t size) {
    static audio::DecodeWorker worker;
    const std::string path = (scratchFolder() / "input.sound").string();
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));

    const Play sample = play(path, audio::SoundMode::Sample, worker);
    const Play compressed = play(path, audio::SoundMode::CompressedSample, worker);
    const Play stream = play(path, audio::SoundMode::Stream, worker);

    // The modes differ in when they decode, never in what a file sounds like.
    check(sample.opened == compressed.opened && compressed.opened == stream.opened, "a file that opens in some modes only");
    if (!sample.opened) return 0;
    check(sample.lengthMs == compressed.lengthMs && compressed.lengthMs == stream.lengthMs, "modes disagree on the length");
    for (const Play* other : {&compressed, &stream}) {
        const std::size_t common = std::min(sample.pcm.size(), other->pcm.size());
        for (std::size_t i = 0; i < common; ++i) {
            check(std::abs(sample.pcm[i] - other->pcm[i]) <= 1e-6f, "modes decode different samples");
        }
    }
    return 0;
}

}  // namespace fuzz

GLOAM_FUZZ_TARGET(fuzz::openSoundInput)
