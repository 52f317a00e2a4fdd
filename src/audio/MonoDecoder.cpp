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

MonoDecoder::MonoDecoder(std::unique_ptr<SoundFile> file, int mixRate, std::int64_t mixFrames)
    : file_(std::move(file)), mixFrames_(mixFrames) {
    const int channels = file_->channels();
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
        resampler_ = std::make_unique<Resampler>(fileRate, mixRate);
        if (resampler_->valid()) outCapacity = resampler_->maxOutput(chunk);
        mono_.resize(chunk);
    }
    pending_.resize(outCapacity);
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
            const float scale = 1.0f / static_cast<float>(channels);
            for (std::size_t i = 0; i < got; ++i) {
                const float* frame = &interleaved_[i * channels];
                float sum = 0.0f;
                for (std::size_t c = 0; c < channels; ++c) sum += cleanSample(frame[c]);
                mono[i] = sum * scale;
            }
            pendingEnd_ = resampler_ ? resampler_->process(mono, got, pending_.data(), pending_.size()) : got;
            return true;
        }
    }
    if (resampler_ && !drained_) {
        pendingEnd_ = resampler_->drain(pending_.data(), pending_.size());
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
            std::fill(out + written, out + wanted, 0.0f);
            written = wanted;
            break;
        }
        const std::size_t n = std::min(wanted - written, pendingEnd_ - pendingBegin_);
        std::copy_n(pending_.data() + pendingBegin_, n, out + written);
        pendingBegin_ += n;
        written += n;
    }
    delivered_ += static_cast<std::int64_t>(written);
    return written;
}

}  // namespace audio
