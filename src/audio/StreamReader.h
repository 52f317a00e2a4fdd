// One play of a compressed sample or a stream, fed by the decoder thread.
#pragma once

#include "audio/Sound.h"
#include "audio/StreamFeed.h"

#include <memory>

namespace audio {

/// Reads what the decoder thread has put in its ring and wakes the thread when
/// the ring runs low. Destroying it (main thread) only marks the feed
/// cancelled: the decoder thread drops the job on its next round, and the
/// ring stays alive until both sides have let go, so a fill in progress is
/// harmless.
class StreamReader final : public SoundReader {
public:
    explicit StreamReader(std::shared_ptr<StreamFeed> feed) : feed_(std::move(feed)) {}
    ~StreamReader() override;
    StreamReader(const StreamReader&) = delete;
    StreamReader& operator=(const StreamReader&) = delete;

    std::size_t read(float* out, std::size_t numFrames) noexcept override;
    bool ended() const noexcept override;
    int channels() const noexcept override { return static_cast<int>(feed_->channels); }
    bool canDeliver(std::size_t numFrames) const noexcept override {
        return feed_->finished.load(std::memory_order_acquire) || framesBuffered() >= numFrames;
    }

    /// Any thread: frames decoded ahead and waiting in the ring.
    std::size_t framesBuffered() const noexcept { return feed_->framesBuffered(); }
    /// Bytes of buffers this play holds: its ring plus the decoder's working
    /// buffers while it decodes.
    std::size_t bufferBytes() const noexcept;

private:
    std::shared_ptr<StreamFeed> feed_;
};

}  // namespace audio
