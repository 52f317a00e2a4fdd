// Chunked decode, mix-down and resampling of one sound file.
#include "audio/MonoDecoder.h"

#include <algorithm>
#include <cmath>

namespace audio {

namespace {

float cleanSample(float sample) noexcept {
    if (!std::isfinite(sample)) return 0.0f;
    return std::clamp(sample, -MonoDecoder::kMaxSampleMagnitude, MonoDecoder::kMaxSampleMagnitude);
}

}  // namespace

MonoDecoder::MonoDecoder(std::unique_ptr<SoundFile> file, int mixRate, std::int64_t mixFrames, bool keepChannels)
    : file_(std::move(file)), mixFrames_(mixFrames) {
    const int channels = file_->channels();
    if (keepChannels && channels <= kMaxSoundChannels) outChannels_ = static_cast<std::size_t>(channels);
    const int fileRate = file_->sampleRate();
    // Chunks small enough that a streaming reader's buffers stay well within
    // its budget whatever the channel count and rate ratio.
    std::size_t chunk = 2048;
    chunk = std::min(chunk, std::max<std::size_t>(16, 8192 / static_cast<std::size_t>(channels)));
    if (mixRate > fileRate) {
        chunk = std::min(chunk, std::max<std::size_t>(
                                    16, 4096 * static_cast<std::size_t>(fileRate) / static_cast<std::size_t>(mixRate)));
    }
    chunkFrames_ = chunk;
    interleaved_.resize(chunk * static_cast<std::size_t>(channels));
    std::size_t outCapacity = chunk;
    if (fileRate != mixRate) {
        resampler_ = std::make_unique<Resampler>(fileRate, mixRate, static_cast<int>(outChannels_));
        if (resampler_->valid()) outCapacity = resampler_->maxOutput(chunk);
        mono_.resize(chunk * outChannels_);
    }
    pending_.resize(outCapacity * outChannels_);
}

std::size_t MonoDecoder::bufferBytes() const noexcept {
    return (interleaved_.capacity() + mono_.capacity() + pending_.capacity()) * sizeof(float);
}

bool MonoDecoder::refill() noexcept {
    pendingBegin_ = 0;
    pendingEnd_ = 0;
    if (!inputDone_) {
        const std::size_t got = file_->readFrames(interleaved_.data(), chunkFrames_);
        if (got == 0) {
            inputDone_ = true;
        } else {
            framesRead_ += static_cast<std::int64_t>(got);
            const auto channels = static_cast<std::size_t>(file_->channels());
            float* mono = resampler_ ? mono_.data() : pending_.data();
            if (outChannels_ == 1) {
                const float scale = 1.0f / static_cast<float>(channels);
                for (std::size_t i = 0; i < got; ++i) {
                    const float* frame = &interleaved_[i * channels];
                    float sum = 0.0f;
                    for (std::size_t c = 0; c < channels; ++c) sum += cleanSample(frame[c]);
                    mono[i] = sum * scale;
                }
            } else {
                for (std::size_t i = 0; i < got * channels; ++i) mono[i] = cleanSample(interleaved_[i]);
            }
            pendingEnd_ = resampler_ ? resampler_->process(mono, got, pending_.data(), pending_.size() / outChannels_)
                                     : got;
            return true;
        }
    }
    if (resampler_ && !drained_) {
        pendingEnd_ = resampler_->drain(pending_.data(), pending_.size() / outChannels_);
        drained_ = pendingEnd_ == 0;
        return !drained_;
    }
    return false;
}

std::size_t MonoDecoder::decode(float* out, std::size_t numFrames) noexcept {
    const auto wanted = untilTheEnd() ? numFrames
                                      : static_cast<std::size_t>(std::min<std::int64_t>(
                                            static_cast<std::int64_t>(numFrames), mixFrames_ - delivered_));
    std::size_t written = 0;
    while (written < wanted) {
        if (pendingBegin_ == pendingEnd_ && !refill()) {
            exhausted_ = true;
            if (untilTheEnd()) break;
            // The file gave less than its length: the rest is silence.
            std::fill(out + written * outChannels_, out + wanted * outChannels_, 0.0f);
            written = wanted;
            break;
        }
        const std::size_t n = std::min(wanted - written, pendingEnd_ - pendingBegin_);
        std::copy_n(pending_.data() + pendingBegin_ * outChannels_, n * outChannels_, out + written * outChannels_);
        pendingBegin_ += n;
        written += n;
    }
    delivered_ += static_cast<std::int64_t>(written);
    return written;
}

}  // namespace audio
