// Turns one open sound file into mono PCM at the mix rate, of an exact length.
#pragma once

#include "audio/MixTypes.h"
#include "audio/Resampler.h"
#include "audio/SoundFile.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace audio {

/// Decodes, mixes down to mono (the average of the channels) unless asked to
/// keep the file's channels, and resamples to the mix rate, in chunks, delivering exactly `mixFrames` frames: output the
/// file does not provide (a short or damaged file) is silence, output past the
/// true length is dropped, so every mode plays exactly the sound's length.
/// With kUntilTheEnd it delivers whatever the file decodes to instead.
///
/// Samples are cleaned on the way: NaN and infinities (a damaged float file)
/// become 0 and magnitudes beyond kMaxSampleMagnitude are clipped, so the mix
/// and every effect above it only ever see finite, bounded input.
/// Owns the file and, when the rates differ, a Resampler: decoder thread only.
class MonoDecoder {
public:
    static constexpr std::int64_t kUntilTheEnd = -1;
    /// Far above the headroom of any real recording (+24 dBFS), far below
    /// what could overflow a mix of many voices.
    static constexpr float kMaxSampleMagnitude = 16.0f;

    /// With `keepChannels` a file of up to kMaxSoundChannels channels is
    /// delivered as interleaved frames of all its channels.
    MonoDecoder(std::unique_ptr<SoundFile> file, int mixRate, std::int64_t mixFrames, bool keepChannels = false);

    /// False when the resampler could not be created.
    bool valid() const noexcept { return !resampler_ || resampler_->valid(); }

    /// Writes up to numFrames of the next output into `out` (replacing it;
    /// channels() samples a frame) and returns how many frames; fewer only at
    /// the end.
    std::size_t decode(float* out, std::size_t numFrames) noexcept;

    /// Samples per output frame: 1, or the file's channels when kept.
    int channels() const noexcept { return static_cast<int>(outChannels_); }

    bool finished() const noexcept { return untilTheEnd() ? exhausted_ : delivered_ >= mixFrames_; }

    /// Frames read from the file so far, at its own rate.
    std::int64_t framesRead() const noexcept { return framesRead_; }

    /// Bytes of the working buffers this decoder holds.
    std::size_t bufferBytes() const noexcept;

private:
    /// Refills pending_ with the next chunk of output; false at the end of input.
    bool refill() noexcept;
    bool untilTheEnd() const noexcept { return mixFrames_ == kUntilTheEnd; }

    std::unique_ptr<SoundFile> file_;
    std::unique_ptr<Resampler> resampler_;
    std::int64_t mixFrames_;
    std::int64_t delivered_ = 0;
    std::int64_t framesRead_ = 0;
    std::size_t chunkFrames_;          ///< input frames per file read
    std::size_t outChannels_ = 1;      ///< samples per output frame
    std::vector<float> interleaved_;   ///< one chunk as read
    std::vector<float> mono_;          ///< one chunk mixed down (or cleaned), before resampling
    std::vector<float> pending_;       ///< output not yet handed out
    std::size_t pendingBegin_ = 0;     ///< in frames
    std::size_t pendingEnd_ = 0;       ///< in frames
    bool inputDone_ = false;
    bool drained_ = false;
    bool exhausted_ = false;  ///< every output there is has been handed out
};

}  // namespace audio
