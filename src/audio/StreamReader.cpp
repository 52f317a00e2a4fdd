// The audio-thread side of a streaming play.
#include "audio/StreamReader.h"

namespace audio {

StreamReader::~StreamReader() {
    feed_->cancelled.store(true, std::memory_order_release);
    feed_->wake->post();
}

std::size_t StreamReader::read(float* out, std::size_t numFrames) noexcept {
    const std::size_t n = feed_->ring.read(out, numFrames * feed_->channels) / feed_->channels;
    if (feed_->framesBuffered() < StreamFeed::kRefillBelowFrames &&
        !feed_->finished.load(std::memory_order_relaxed)) {
        feed_->wake->post();
    }
    return n;
}

bool StreamReader::ended() const noexcept {
    // finished is set after the last write, so an empty ring seen after it
    // really is the end.
    return feed_->finished.load(std::memory_order_acquire) && feed_->ring.readable() == 0;
}

std::size_t StreamReader::bufferBytes() const noexcept {
    return feed_->ring.storageBytes() + feed_->decoderBytes.load(std::memory_order_relaxed);
}

}  // namespace audio
