// Preloaded sounds and their plays: copying out of shared PCM.
#include "audio/SampleReader.h"
#include "audio/SampleSound.h"

#include <algorithm>

namespace audio {

std::size_t SampleReader::read(float* out, std::size_t numFrames) noexcept {
    const std::size_t n = std::min(numFrames, pcm_->size() - position_);
    std::copy_n(pcm_->data() + position_, n, out);
    position_ += n;
    return n;
}

std::unique_ptr<SoundReader> SampleSound::openReader() { return std::make_unique<SampleReader>(pcm_); }

}  // namespace audio
