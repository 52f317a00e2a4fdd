// Preloaded sounds and their plays: copying out of shared PCM.
#include "audio/SampleReader.h"
#include "audio/SampleSound.h"

#include <algorithm>

namespace audio {

std::size_t SampleReader::read(float* out, std::size_t numFrames) noexcept {
    const std::size_t n = std::min(numFrames, (pcm_->size() - position_) / channels_);
    std::copy_n(pcm_->data() + position_, n * channels_, out);
    position_ += n * channels_;
    return n;
}

std::unique_ptr<SoundReader> SampleSound::openReader() { return std::make_unique<SampleReader>(pcm_, channels_); }

}  // namespace audio
