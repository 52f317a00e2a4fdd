// Reading what a render wrote, and measuring its level.
#pragma once

#include <filesystem>
#include <optional>
#include <vector>

namespace testsupport {

/// A sound file read whole, as interleaved float samples.
struct Recording {
    int sampleRate = 0;
    int channels = 0;
    std::vector<float> samples;

    double seconds() const;
    /// RMS over all channels between two times, clamped to the recording;
    /// 0 for an empty stretch.
    double rms(double fromSeconds, double toSeconds) const;
    /// The largest absolute sample.
    float peak() const;
    /// The longest run of consecutive 100 ms windows, counted from the start,
    /// whose RMS is below `floor`, in ms.
    int longestSilenceMs(double floor = 1e-4) const;
};

/// None when the file is missing or not a sound file libsndfile reads.
std::optional<Recording> readRecording(const std::filesystem::path& file);

}  // namespace testsupport
