// Temporary folders, generated sounds and text files.
#include "WorkFiles.h"

#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <random>
#include <stdexcept>
#include <vector>

namespace gloam::files {

namespace fs = std::filesystem;

TempFolder::TempFolder() {
    std::random_device seed;
    path_ = fs::temp_directory_path() / ("gloam-test-" + std::to_string(seed()) + std::to_string(seed()));
    fs::create_directories(path_);
}

TempFolder::~TempFolder() {
    std::error_code ignored;
    fs::remove_all(path_, ignored);
}

ScopedWorkDir::ScopedWorkDir() : previous_(fs::current_path()) { fs::current_path(folder_.path()); }

ScopedWorkDir::~ScopedWorkDir() {
    // Back out before the folder goes.
    std::error_code ignored;
    fs::current_path(previous_, ignored);
}

void TempFolder::write(const std::string& name, const std::string& text) const { writeText(path_ / name, text); }

std::vector<float> sine(std::int64_t numFrames, double frequency, int sampleRate, double amplitude) {
    std::vector<float> samples(static_cast<std::size_t>(std::max<std::int64_t>(0, numFrames)));
    for (std::size_t i = 0; i < samples.size(); ++i) {
        samples[i] = static_cast<float>(amplitude * std::sin(2.0 * M_PI * frequency * static_cast<double>(i) / sampleRate));
    }
    return samples;
}

bool writeSound(const fs::path& file, int format, int sampleRate, int channels, const std::vector<float>& interleaved) {
    std::error_code ignored;
    if (file.has_parent_path()) fs::create_directories(file.parent_path(), ignored);
    SF_INFO info{};
    info.samplerate = sampleRate;
    info.channels = channels;
    info.format = format;
    SNDFILE* out = sf_open(file.c_str(), SFM_WRITE, &info);
    if (out == nullptr) return false;
    const auto frames = static_cast<sf_count_t>(interleaved.size()) / channels;
    const bool written = sf_writef_float(out, interleaved.data(), frames) == frames;
    return sf_close(out) == 0 && written;
}

void writeSine(const fs::path& file, int lengthMs, int sampleRate, double frequency, double amplitude) {
    const std::int64_t frames = static_cast<std::int64_t>(lengthMs) * sampleRate / 1000;
    if (!writeSound(file, SF_FORMAT_WAV | SF_FORMAT_PCM_16, sampleRate, 1, sine(frames, frequency, sampleRate, amplitude))) {
        throw std::runtime_error("cannot write " + file.string());
    }
}

void writeText(const fs::path& file, const std::string& text) {
    if (file.has_parent_path()) fs::create_directories(file.parent_path());
    std::ofstream(file) << text;
}

}  // namespace gloam::files
