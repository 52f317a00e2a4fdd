// The libsoxr wrapper.
#include "audio/Resampler.h"

#include <soxr.h>

#include <cmath>

namespace audio {

Resampler::Resampler(double inRate, double outRate, int channels) : ratio_(outRate / inRate), channels_(static_cast<std::size_t>(channels)) {
    soxr_error_t error = nullptr;
    const soxr_io_spec_t io = soxr_io_spec(SOXR_FLOAT32_I, SOXR_FLOAT32_I);
    const soxr_quality_spec_t quality = soxr_quality_spec(SOXR_HQ, 0);
    // One thread: libsoxr must not fan out to OpenMP workers of its own.
    const soxr_runtime_spec_t runtime = soxr_runtime_spec(1);
    handle_ = soxr_create(inRate, outRate, static_cast<unsigned>(channels), &error, &io, &quality, &runtime);
    if (error != nullptr && handle_ != nullptr) {
        soxr_delete(handle_);
        handle_ = nullptr;
    }
}

Resampler::~Resampler() {
    if (handle_ != nullptr) soxr_delete(handle_);
}

std::size_t Resampler::maxOutput(std::size_t numFrames) const noexcept {
    return static_cast<std::size_t>(std::ceil(static_cast<double>(numFrames) * ratio_)) + 64;
}

std::size_t Resampler::process(const float* in, std::size_t numFrames, float* out,
                               std::size_t outCapacity) noexcept {
    std::size_t written = 0;
    // soxr buffers what it cannot emit yet, so one call normally takes all
    // input; loop in case it stops early on a full output.
    while (numFrames > 0 && written < outCapacity) {
        std::size_t used = 0;
        std::size_t done = 0;
        if (soxr_process(handle_, in, numFrames, &used, out + written * channels_, outCapacity - written,
                         &done) != nullptr) {
            return written;
        }
        written += done;
        in += used * channels_;
        numFrames -= used;
        if (used == 0 && done == 0) break;
    }
    return written;
}

std::size_t Resampler::drain(float* out, std::size_t outCapacity) noexcept {
    std::size_t done = 0;
    if (soxr_process(handle_, nullptr, 0, nullptr, out, outCapacity, &done) != nullptr) return 0;
    return done;
}

}  // namespace audio
