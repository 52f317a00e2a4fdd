// The decoder thread's state: the readers it refills and the tasks it runs.
#pragma once

#include "audio/DecodeWorker.h"
#include "audio/MonoDecoder.h"
#include "audio/StreamFeed.h"

#include <chrono>
#include <deque>
#include <functional>
#include <future>
#include <atomic>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace audio {

/// One streaming play being decoded: lives on the decoder thread only, so its
/// file and resampler are created, used and closed there.
struct StreamJob {
    std::unique_ptr<MonoDecoder> decoder;
    std::shared_ptr<StreamFeed> feed;
    /// Whole frames of several channels are decoded here first, so that a
    /// frame never straddles the ring's end.
    std::vector<float> bounce;

    /// Decodes into the ring as far as it has room, at most maxFrames;
    /// returns the frames written. Sets feed->finished at the end.
    std::size_t pump(std::size_t maxFrames) noexcept;
};

struct DecodeWorker::Impl {
    Impl();
    ~Impl();  ///< stops and joins the thread; jobs close on it

    /// Main thread: runs `task` on the decoder thread and waits for it. All
    /// libsoxr work goes through here (or happens in jobs), so libsoxr is only
    /// ever used on the decoder thread. Exceptions propagate to the caller.
    void runSync(std::function<void()> task);

    /// Decoder thread (from a task): starts refilling `job`.
    void addJob(std::unique_ptr<StreamJob> job);

    /// Main thread (offline rendering, before each chunk it mixes): returns
    /// once every reader's ring is full or holds the rest of its sound.
    void fillNow();

    /// Number of jobs still decoding; decoder thread or from a task.
    std::size_t jobCount() const { return jobs_.size(); }

    /// Any thread: whether some reader is still being decoded. After
    /// openReader returns, its job is counted here.
    bool hasJobs() const { return activeJobs_.load(std::memory_order_acquire) > 0; }

    const std::shared_ptr<WakeSignal>& wakeSignal() const { return wake_; }

private:
    void run();
    bool runTasks();
    /// One round over the jobs; true when any of them wrote something.
    bool pumpAll();

    std::shared_ptr<WakeSignal> wake_ = std::make_shared<WakeSignal>();
    std::mutex tasksMutex_;  ///< guards tasks_ and stopping_
    std::deque<std::packaged_task<void()>> tasks_;
    bool stopping_ = false;
    std::vector<std::unique_ptr<StreamJob>> jobs_;  ///< decoder thread only
    std::atomic<std::size_t> activeJobs_{0};        ///< jobs_.size(), for other threads
    std::thread thread_;
};

}  // namespace audio
