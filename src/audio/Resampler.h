// Sample-rate conversion with libsoxr.
#pragma once

#include <cstddef>

struct soxr;

namespace audio {

/// Converts one float stream (mono, or interleaved frames of a few channels)
/// from one rate to another (libsoxr, high
/// quality, delay compensated so output frame 0 lines up with input frame 0).
/// Owns its soxr handle. Every Resampler is created, used and destroyed on
/// the decoder thread only, so libsoxr is only ever touched by one thread.
class Resampler {
public:
    /// Frames of `channels` interleaved samples (1 by default).
    Resampler(double inRate, double outRate, int channels = 1);
    ~Resampler();
    Resampler(const Resampler&) = delete;
    Resampler& operator=(const Resampler&) = delete;

    /// False when libsoxr refused the rates; then nothing else may be called.
    bool valid() const noexcept { return handle_ != nullptr; }

    /// Feeds numFrames input frames (all of them are taken) and writes up to
    /// outCapacity output frames into `out`; returns how many were written.
    /// outCapacity must be at least maxOutput(numFrames).
    std::size_t process(const float* in, std::size_t numFrames, float* out,
                        std::size_t outCapacity) noexcept;

    /// After the last input: writes up to outCapacity of the remaining output;
    /// returns 0 once everything has come out.
    std::size_t drain(float* out, std::size_t outCapacity) noexcept;

    /// Output frames that numFrames input frames may produce at most.
    std::size_t maxOutput(std::size_t numFrames) const noexcept;

private:
    soxr* handle_ = nullptr;
    double ratio_;
    std::size_t channels_;
};

}  // namespace audio
