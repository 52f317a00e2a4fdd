// Rendered files read back and measured.
#include "Recording.h"

#include <sndfile.h>

#include <algorithm>
#include <cmath>

namespace testsupport {

namespace {

double rmsOf(const std::vector<float>& samples, std::size_t from, std::size_t to) {
    if (to <= from) return 0.0;
    double sum = 0.0;
    for (std::size_t i = from; i < to; ++i) sum += static_cast<double>(samples[i]) * samples[i];
    return std::sqrt(sum / static_cast<double>(to - from));
}

}  // namespace

std::optional<Recording> readRecording(const std::filesystem::path& file) {
    SF_INFO info{};
    SNDFILE* in = sf_open(file.c_str(), SFM_READ, &info);
    if (in == nullptr) return std::nullopt;
    Recording recording;
    recording.sampleRate = info.samplerate;
    recording.channels = info.channels;
    recording.samples.resize(static_cast<std::size_t>(info.frames * info.channels));
    const sf_count_t read = sf_readf_float(in, recording.samples.data(), info.frames);
    sf_close(in);
    recording.samples.resize(static_cast<std::size_t>(read * info.channels));
    return recording;
}

double Recording::seconds() const {
    if (sampleRate <= 0 || channels <= 0) return 0.0;
    return static_cast<double>(samples.size() / static_cast<std::size_t>(channels)) / sampleRate;
}

double Recording::rms(double fromSeconds, double toSeconds) const {
    if (sampleRate <= 0 || channels <= 0) return 0.0;
    const auto sampleAt = [this](double atSeconds) {
        const auto frame = static_cast<std::size_t>(std::max(0.0, atSeconds) * sampleRate);
        return std::min(frame * static_cast<std::size_t>(channels), samples.size());
    };
    return rmsOf(samples, sampleAt(fromSeconds), sampleAt(toSeconds));
}

float Recording::peak() const {
    float largest = 0.0f;
    for (float sample : samples) largest = std::max(largest, std::abs(sample));
    return largest;
}

int Recording::longestSilenceMs(double floor) const {
    const auto window = static_cast<std::size_t>(std::max(0, sampleRate / 10) * std::max(0, channels));
    int longest = 0;
    int run = 0;
    for (std::size_t start = 0; window > 0 && start + window <= samples.size(); start += window) {
        run = rmsOf(samples, start, start + window) < floor ? run + 100 : 0;
        longest = std::max(longest, run);
    }
    return longest;
}

}  // namespace testsupport
