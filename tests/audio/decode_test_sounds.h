// Sounds generated for the decoding tests: exact lengths, written with libsndfile into a temp dir.
#pragma once

#include "audio/DecodeWorker.h"
#include "audio/Sound.h"
#include "Recording.h"
#include "TestFiles.h"

#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <numbers>
#include <random>
#include <string>
#include <thread>
#include <vector>

namespace decode_test {

using TempDir = testsupport::TempFolder;
using testsupport::rms;
using testsupport::sine;
using testsupport::writeSound;

constexpr int kMp3 = SF_FORMAT_MPEG | SF_FORMAT_MPEG_LAYER_III;
constexpr int kWav = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
constexpr int kWavFloat = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
constexpr int kAiff = SF_FORMAT_AIFF | SF_FORMAT_PCM_16;
constexpr int kFlac = SF_FORMAT_FLAC | SF_FORMAT_PCM_16;
constexpr int kVorbis = SF_FORMAT_OGG | SF_FORMAT_VORBIS;
constexpr int kOpus = SF_FORMAT_OGG | SF_FORMAT_OPUS;

inline std::vector<float> noise(std::int64_t numFrames, unsigned seed = 7) {
    std::mt19937 generator(seed);
    std::uniform_real_distribution<float> uniform(-0.5f, 0.5f);
    std::vector<float> out(static_cast<std::size_t>(numFrames));
    for (float& s : out) s = uniform(generator);
    return out;
}

inline std::vector<unsigned char> readBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

inline void writeBytes(const std::string& path, const std::vector<unsigned char>& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

/// An ID3v2.3 tag holding one APIC frame with `pictureBytes` of fake image data.
inline std::vector<unsigned char> id3TagWithPicture(std::size_t pictureBytes) {
    std::vector<unsigned char> body{0};  // text encoding
    for (char c : std::string("image/jpeg")) body.push_back(static_cast<unsigned char>(c));
    body.push_back(0);
    body.push_back(3);  // front cover
    body.push_back(0);  // empty description
    for (std::size_t i = 0; i < pictureBytes; ++i) body.push_back(static_cast<unsigned char>((i * 7919) >> 3));
    std::vector<unsigned char> frame{'A', 'P', 'I', 'C'};
    for (int shift = 24; shift >= 0; shift -= 8) frame.push_back(static_cast<unsigned char>(body.size() >> shift));
    frame.push_back(0);
    frame.push_back(0);
    frame.insert(frame.end(), body.begin(), body.end());
    std::vector<unsigned char> tag{'I', 'D', '3', 3, 0, 0};
    for (int shift = 21; shift >= 0; shift -= 7) tag.push_back(static_cast<unsigned char>((frame.size() >> shift) & 0x7F));
    tag.insert(tag.end(), frame.begin(), frame.end());
    return tag;
}

/// Size of the MPEG-1 layer III frame whose header starts at `p`.
inline std::size_t mp3FrameBytes(const unsigned char* p) {
    static constexpr int kKbps[16] = {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 0};
    static constexpr int kRates[4] = {44100, 48000, 32000, 0};
    return static_cast<std::size_t>(144 * kKbps[p[2] >> 4] * 1000 / kRates[(p[2] >> 2) & 3] + ((p[2] >> 1) & 1));
}

/// A FLAC file (as libsndfile writes it: STREAMINFO first) whose header
/// claims `frames` frames, whatever its frames hold.
inline std::vector<unsigned char> withClaimedFlacFrames(std::vector<unsigned char> flac, std::uint64_t frames) {
    // "fLaC", a block header, then STREAMINFO; the 36-bit total starts in
    // the low nibble of its byte 13.
    unsigned char* total = flac.data() + 8 + 13;
    total[0] = static_cast<unsigned char>((total[0] & 0xF0) | ((frames >> 32) & 0x0F));
    for (int i = 1; i <= 4; ++i) total[i] = static_cast<unsigned char>(frames >> (8 * (4 - i)));
    return flac;
}

/// An Ogg file whose last page claims `granule` as its end position, with the
/// page checksum made right again so that the claim is believed.
inline std::vector<unsigned char> withClaimedOggEnd(std::vector<unsigned char> ogg, std::uint64_t granule) {
    std::size_t last = 0;
    for (std::size_t i = 0; i + 4 <= ogg.size(); ++i) {
        if (ogg[i] == 'O' && ogg[i + 1] == 'g' && ogg[i + 2] == 'g' && ogg[i + 3] == 'S') last = i;
    }
    unsigned char* page = ogg.data() + last;
    for (int i = 0; i < 8; ++i) page[6 + i] = static_cast<unsigned char>(granule >> (8 * i));
    std::size_t length = 27 + page[26];
    for (std::size_t i = 0; i < page[26]; ++i) length += page[27 + i];
    std::fill(page + 22, page + 26, 0);
    std::uint32_t crc = 0;  // CRC-32, polynomial 0x04C11DB7, not reflected
    for (std::size_t i = 0; i < length; ++i) {
        crc ^= std::uint32_t{page[i]} << 24;
        for (int bit = 0; bit < 8; ++bit) crc = (crc & 0x80000000u) ? (crc << 1) ^ 0x04C11DB7u : crc << 1;
    }
    for (int i = 0; i < 4; ++i) page[22 + i] = static_cast<unsigned char>(crc >> (8 * i));
    return ogg;
}

/// Frames a plain libsndfile read loop gets out of `path`, to the end.
inline std::int64_t plainlyDecodedFrames(const std::string& path) {
    SF_INFO info{};
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
    if (file == nullptr) return -1;
    std::vector<float> block(4096 * static_cast<std::size_t>(info.channels));
    std::int64_t frames = 0;
    while (const sf_count_t got = sf_readf_float(file, block.data(), 4096)) frames += got;
    sf_close(file);
    return frames;
}

/// Reads up to everything a reader delivers in blocks of `blockFrames`, asking
/// the worker to fill whenever the reader runs dry (no sleeping). Stops at
/// ended() or after `maxFrames`.
inline std::vector<float> drain(audio::SoundReader& reader, audio::DecodeWorker& worker, std::size_t blockFrames,
                                std::size_t maxFrames = 1u << 26);

/// Upward zero crossings of a signal.
inline int upwardZeroCrossings(const std::vector<float>& pcm) {
    int count = 0;
    for (std::size_t i = 1; i < pcm.size(); ++i) {
        if (pcm[i - 1] < 0.0f && pcm[i] >= 0.0f) ++count;
    }
    return count;
}

}  // namespace decode_test

#include "audio/DecodeWorkerImpl.h"

inline std::vector<float> decode_test::drain(audio::SoundReader& reader, audio::DecodeWorker& worker,
                                             std::size_t blockFrames, std::size_t maxFrames) {
    std::vector<float> out;
    std::vector<float> block(blockFrames);
    int dryRounds = 0;
    while (!reader.ended() && out.size() < maxFrames && dryRounds < 1000) {
        const std::size_t got = reader.read(block.data(), blockFrames);
        out.insert(out.end(), block.begin(), block.begin() + static_cast<std::ptrdiff_t>(got));
        if (got < blockFrames && !reader.ended()) {
            worker.impl().fillNow();
            dryRounds = got == 0 ? dryRounds + 1 : 0;
        }
    }
    return out;
}
