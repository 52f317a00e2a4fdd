// What the decoder thread and one streaming play share: a ring and a few flags.
#pragma once

#include "audio/RingBuffer.h"

#include <atomic>
#include <chrono>
#include <cstddef>
#include <memory>
#include <semaphore>

namespace audio {

/// Wakes the decoder thread. post() is for any thread including the audio
/// thread: it never blocks or allocates (an atomic flag plus a semaphore
/// release, at most one release outstanding).
class WakeSignal {
public:
    void post() noexcept {
        if (!pending_.exchange(true, std::memory_order_acq_rel)) semaphore_.release();
    }
    /// Decoder thread: waits for a post or the timeout.
    void wait(std::chrono::milliseconds timeout) {
        if (semaphore_.try_acquire_for(timeout)) pending_.store(false, std::memory_order_release);
    }

private:
    std::counting_semaphore<1024> semaphore_{0};
    std::atomic<bool> pending_{false};
};

/// PCM at the mix rate (frames of `channels` samples) travelling from the
/// decoder thread (producer) to the audio thread (consumer) of one play; only
/// whole frames are ever written. Shared by the reader and its
/// decoding job, so whichever lets go last frees it.
struct StreamFeed {
    /// ~0.7 s at 48 kHz: covers a decoder thread that is late by many mix blocks.
    static constexpr std::size_t kRingFrames = 32768;
    /// The reader wakes the decoder once this little is left.
    static constexpr std::size_t kRefillBelowFrames = kRingFrames / 2;

    explicit StreamFeed(std::shared_ptr<WakeSignal> wakeSignal, int numChannels = 1)
        : channels(static_cast<std::size_t>(numChannels)), ring(kRingFrames * channels), wake(std::move(wakeSignal)) {}

    /// Any thread: whole frames waiting in the ring.
    std::size_t framesBuffered() const noexcept { return ring.readable() / channels; }

    const std::size_t channels;
    RingBuffer ring;
    std::shared_ptr<WakeSignal> wake;
    std::atomic<bool> finished{false};   ///< decoder thread: every frame is in the ring
    std::atomic<bool> cancelled{false};  ///< main thread: the reader is gone
    std::atomic<std::size_t> decoderBytes{0};  ///< the job's working buffers
};

}  // namespace audio
