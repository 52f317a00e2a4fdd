// Rendered files read back and measured.
#include "Recording.h"

#include <sndfile.h>

#include <algorithm>
#include <cmath>

namespace testsupport {

namespace {

/// RMS of every `stride`-th sample in [from, to).
double rmsOf(const std::vector<float>& samples, std::size_t from, std::size_t to, std::size_t stride = 1) {
    double sum = 0.0;
    std::size_t count = 0;
    for (std::size_t i = from; i < to; i += stride, ++count) sum += static_cast<double>(samples[i]) * samples[i];
    return count == 0 ? 0.0 : std::sqrt(sum / static_cast<double>(count));
}

}  // namespace

double rms(const float* samples, std::size_t count) {
    double sum = 0.0;
    for (std::size_t i = 0; i < count; ++i) sum += static_cast<double>(samples[i]) * samples[i];
    return count == 0 ? 0.0 : std::sqrt(sum / static_cast<double>(count));
}

std::optional<Recording> readRecording(const std::filesystem::path& file) {
    SF_INFO info{};
    SNDFILE* in = sf_open(file.c_str(), SFM_READ, &info);
    if (in == nullptr) return std::nullopt;
    Recording recording;
    recording.sampleRate = info.samplerate;
    recording.channels = info.channels;
    recording.format = info.format;
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

double Recording::channelRms(int channel, double fromSeconds, double toSeconds) const {
    if (sampleRate <= 0 || channel < 0 || channel >= channels) return 0.0;
    const auto frames = samples.size() / static_cast<std::size_t>(channels);
    const auto frameAt = [&](double atSeconds) {
        return std::min(static_cast<std::size_t>(std::max(0.0, atSeconds) * sampleRate), frames);
    };
    const auto width = static_cast<std::size_t>(channels);
    return rmsOf(samples, frameAt(fromSeconds) * width + static_cast<std::size_t>(channel), frameAt(toSeconds) * width,
                 width);
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
