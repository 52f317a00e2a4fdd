// WAV, FLAC and Ogg Vorbis output through libsndfile.
#include "AudioWriter.h"

#include "OutputFile.h"
#include "TextEscape.h"

#include <sndfile.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <filesystem>

namespace gloam::render {

namespace {

/// Vorbis quality from 0 to 1: about 160 kbit/s for stereo at 44.1 kHz.
constexpr double vorbisQuality = 0.5;

int sndfileFormat(AudioFormat format) {
    switch (format) {
    case AudioFormat::Flac: return SF_FORMAT_FLAC | SF_FORMAT_PCM_24;
    case AudioFormat::Ogg: return SF_FORMAT_OGG | SF_FORMAT_VORBIS;
    case AudioFormat::Wav: break;
    }
    return SF_FORMAT_RF64 | SF_FORMAT_FLOAT;
}

/// The engine's speaker order for 4, 6 and 8 channels, for the WAV header
/// (in libsndfile's names for the WAV speaker bits).
std::vector<int> speakerMap(int channels) {
    switch (channels) {
    case 4:
        return {SF_CHANNEL_MAP_LEFT, SF_CHANNEL_MAP_RIGHT, SF_CHANNEL_MAP_REAR_LEFT,
                SF_CHANNEL_MAP_REAR_RIGHT};
    case 6:
        return {SF_CHANNEL_MAP_LEFT, SF_CHANNEL_MAP_RIGHT, SF_CHANNEL_MAP_CENTER,
                SF_CHANNEL_MAP_LFE,        SF_CHANNEL_MAP_SIDE_LEFT,   SF_CHANNEL_MAP_SIDE_RIGHT};
    case 8:
        return {SF_CHANNEL_MAP_LEFT, SF_CHANNEL_MAP_RIGHT, SF_CHANNEL_MAP_CENTER,
                SF_CHANNEL_MAP_LFE,        SF_CHANNEL_MAP_REAR_LEFT,   SF_CHANNEL_MAP_REAR_RIGHT,
                SF_CHANNEL_MAP_SIDE_LEFT,  SF_CHANNEL_MAP_SIDE_RIGHT};
    default:
        return {};
    }
}

/// For each Vorbis channel, the engine channel it takes: Vorbis orders 5.1
/// as FL FC FR RL RR LFE and 7.1 as FL FC FR SL SR RL RR LFE.
std::vector<int> vorbisOrder(int channels) {
    switch (channels) {
    case 6: return {0, 2, 1, 4, 5, 3};
    case 8: return {0, 2, 1, 6, 7, 4, 5, 3};
    default: return {};
    }
}

std::uint32_t readLittle32(const unsigned char* bytes) {
    return static_cast<std::uint32_t>(bytes[0]) | static_cast<std::uint32_t>(bytes[1]) << 8 |
           static_cast<std::uint32_t>(bytes[2]) << 16 | static_cast<std::uint32_t>(bytes[3]) << 24;
}

void writeLittle32(unsigned char* bytes, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) bytes[i] = static_cast<unsigned char>(value >> (8 * i));
}

}  // namespace

std::optional<AudioFormat> audioFormatFor(const std::string& path) {
    std::string extension = std::filesystem::path(path).extension().string();
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](char c) { return static_cast<char>(std::tolower(static_cast<unsigned char>(c))); });
    if (extension.empty() || extension == ".wav") return AudioFormat::Wav;
    if (extension == ".flac") return AudioFormat::Flac;
    if (extension == ".ogg") return AudioFormat::Ogg;
    return std::nullopt;
}

std::string unknownFormatMessage(const std::string& path) {
    return "-o needs a file ending in .wav, .flac or .ogg, not '" + quoteForMessage(path) + "'";
}

void AudioWriter::SndfileCloser::operator()(void* file) const { sf_close(static_cast<SNDFILE*>(file)); }

AudioWriter::AudioWriter(OutputFile& output, AudioFormat format, int sampleRate, int channels)
    : output_(output), format_(format), channels_(channels) {
    if (!output_.ok()) return;
    SF_INFO info{};
    info.samplerate = sampleRate;
    info.channels = channels;
    info.format = sndfileFormat(format);
    file_.reset(sf_open_fd(output_.descriptor(), SFM_WRITE, &info, SF_FALSE));
    auto* file = static_cast<SNDFILE*>(file_.get());
    if (file == nullptr) {
        output_.fail(sf_strerror(nullptr));
        return;
    }
    switch (format) {
    case AudioFormat::Wav: {
        sf_command(file, SFC_RF64_AUTO_DOWNGRADE, nullptr, SF_TRUE);
        // No SFC_SET_ADD_PEAK_CHUNK: RF64 has no PEAK chunk unless that is
        // sent (with any value), and a PEAK chunk holds the time of day it was
        // written, so that the same render would not give the same file.
        auto map = speakerMap(channels);
        if (!map.empty()) {
            sf_command(file, SFC_SET_CHANNEL_MAP_INFO, map.data(), static_cast<int>(map.size() * sizeof(int)));
        }
        break;
    }
    case AudioFormat::Flac:
        // Integer samples: clip a loud mix instead of letting it wrap round.
        sf_command(file, SFC_SET_CLIPPING, nullptr, SF_TRUE);
        break;
    case AudioFormat::Ogg: {
        double quality = vorbisQuality;
        sf_command(file, SFC_SET_VBR_ENCODING_QUALITY, &quality, sizeof quality);
        vorbisOrder_ = vorbisOrder(channels);
        break;
    }
    }
}

AudioWriter::~AudioWriter() = default;

bool AudioWriter::ok() const { return file_ != nullptr && output_.ok(); }

bool AudioWriter::write(const float* interleaved, std::size_t numFrames) {
    if (!ok()) return false;
    levels_.add(interleaved, numFrames * static_cast<std::size_t>(channels_));
    auto* file = static_cast<SNDFILE*>(file_.get());
    const float* samples = interleaved;
    if (!vorbisOrder_.empty()) {
        const auto width = static_cast<std::size_t>(channels_);
        reordered_.resize(numFrames * width);
        for (std::size_t frame = 0; frame < numFrames; ++frame) {
            for (std::size_t channel = 0; channel < width; ++channel) {
                reordered_[frame * width + channel] =
                    interleaved[frame * width + static_cast<std::size_t>(vorbisOrder_[channel])];
            }
        }
        samples = reordered_.data();
    }
    const auto frames = static_cast<sf_count_t>(numFrames);
    if (sf_writef_float(file, samples, frames) != frames) {
        output_.fail(sf_strerror(file));
        return false;
    }
    return true;
}

bool AudioWriter::finish() {
    if (file_ == nullptr) return false;
    const int status = sf_close(static_cast<SNDFILE*>(file_.release()));
    if (status != 0) output_.fail(sf_error_number(status));
    if (output_.ok() && format_ == AudioFormat::Wav && channels_ <= 2 && output_.isRegularFile()) {
        usePlainFloatHeader();
    }
    return output_.ok();
}

void AudioWriter::usePlainFloatHeader() {
    // libsndfile writes float WAV and RF64 with the extensible format chunk
    // (40 bytes), which sox and others complain about. For mono and stereo
    // it says nothing more than the plain float chunk with its size field
    // (18 bytes); the 22 bytes freed become a JUNK chunk, so nothing moves.
    constexpr std::size_t headerBytes = 512;
    constexpr std::size_t extensibleBytes = 8 + 40;
    static constexpr unsigned char floatSubformat[16] = {0x03, 0x00, 0x00, 0x00, 0x00, 0x00, 0x10, 0x00,
                                                         0x80, 0x00, 0x00, 0xaa, 0x00, 0x38, 0x9b, 0x71};
    std::array<unsigned char, headerBytes> header{};
    const int fd = output_.descriptor();
    const ssize_t length = ::pread(fd, header.data(), header.size(), 0);
    if (length < 12) return;
    const auto end = static_cast<std::size_t>(length);
    std::size_t at = 12;  // after "RIFF"/"RF64", the size and "WAVE"
    while (at + extensibleBytes <= end) {
        const std::uint32_t size = readLittle32(&header[at + 4]);
        if (std::memcmp(&header[at], "data", 4) == 0) return;
        if (std::memcmp(&header[at], "fmt ", 4) == 0) {
            unsigned char* chunk = &header[at];
            if (size != 40 || chunk[8] != 0xfe || chunk[9] != 0xff || std::memcmp(chunk + 32, floatSubformat, 16) != 0) {
                return;
            }
            writeLittle32(chunk + 4, 18);
            chunk[8] = 0x03;  // WAVE_FORMAT_IEEE_FLOAT
            chunk[9] = 0x00;
            chunk[24] = 0;  // the size field: no extension
            chunk[25] = 0;
            std::memcpy(chunk + 26, "JUNK", 4);
            writeLittle32(chunk + 30, 14);
            std::memset(chunk + 34, 0, 14);
            if (::pwrite(fd, chunk, extensibleBytes, static_cast<off_t>(at)) != static_cast<ssize_t>(extensibleBytes)) {
                output_.fail(std::strerror(errno));
            }
            return;
        }
        at += 8 + size + (size & 1);
    }
}

}  // namespace gloam::render
