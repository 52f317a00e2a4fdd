// Reading what a render wrote, and measuring its level.
#pragma once

#include <cstddef>
#include <filesystem>
#include <optional>
#include <vector>

namespace testsupport {

/// Root mean square of `count` samples; 0 for none.
double rms(const float* samples, std::size_t count);

/// A sound file read whole, as interleaved float samples.
struct Recording {
    int sampleRate = 0;
    int channels = 0;
    int format = 0;  // libsndfile's SF_FORMAT_* of the file
    std::vector<float> samples;

    double seconds() const;
    /// RMS over all channels between two times, clamped to the recording;
    /// 0 for an empty stretch.
    double rms(double fromSeconds, double toSeconds) const;
    /// RMS of one channel between two times, clamped to the recording.
    double channelRms(int channel, double fromSeconds, double toSeconds) const;
    /// The largest absolute sample.
    float peak() const;
    /// The longest run of consecutive 100 ms windows, counted from the start,
    /// whose RMS is below `floor`, in ms.
    int longestSilenceMs(double floor = 1e-4) const;
};

/// None when the file is missing or not a sound file libsndfile reads.
std::optional<Recording> readRecording(const std::filesystem::path& file);

}  // namespace testsupport
