// The output used when no sound device is available: mixes at real-time pace into nothing.
#pragma once

#include "audio/MixTypes.h"

#include <atomic>
#include <cstddef>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

namespace audio {

class Mixer;

/// Runs its own thread that renders one block at a time into a scratch buffer
/// and waits until that block's real-time length has passed, so channels end
/// when they would have on a device. The mixer must outlive it. Constructed
/// and destroyed on the main thread; the destructor stops and joins the thread.
class SilentOutput {
public:
    /// Frames it mixes per wake-up: as many as the device output asks for.
    static constexpr std::size_t kBufferFrames = 2 * kMaxBlockFrames;

    SilentOutput(Mixer& mixer, int sampleRate);
    ~SilentOutput();
    SilentOutput(const SilentOutput&) = delete;
    SilentOutput& operator=(const SilentOutput&) = delete;

private:
    void run();

    Mixer& mixer_;
    int sampleRate_;
    std::vector<float> scratch_;
    std::mutex mutex_;  ///< guards stopping_ for the wait only; never taken while mixing
    std::condition_variable wake_;
    bool stopping_ = false;
    std::thread thread_;
};

}  // namespace audio
