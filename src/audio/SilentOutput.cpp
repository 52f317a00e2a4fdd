// The silent output's pacing thread.
#include "audio/SilentOutput.h"

#include "audio/MixTypes.h"
#include "audio/Mixer.h"

#include <chrono>

namespace audio {

SilentOutput::SilentOutput(Mixer& mixer, int sampleRate)
    : mixer_(mixer),
      sampleRate_(sampleRate > 0 ? sampleRate : 48000),
      scratch_(kBufferFrames * static_cast<std::size_t>(mixer.numChannels()), 0.0f),
      thread_([this] { run(); }) {}

SilentOutput::~SilentOutput() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    thread_.join();
}

void SilentOutput::run() {
    using Clock = std::chrono::steady_clock;
    const Clock::time_point start = Clock::now();
    long long framesRendered = 0;
    std::unique_lock lock(mutex_);
    while (!stopping_) {
        lock.unlock();
        mixer_.render(scratch_.data(), kBufferFrames);
        framesRendered += static_cast<long long>(kBufferFrames);
        lock.lock();
        // Pace against the start time, not the last wake-up, so late wake-ups
        // do not add up to drift.
        const auto due = start + std::chrono::duration_cast<Clock::duration>(
                                     std::chrono::duration<double>(static_cast<double>(framesRendered) /
                                                                   sampleRate_));
        wake_.wait_until(lock, due, [this] { return stopping_; });
    }
}

}  // namespace audio
