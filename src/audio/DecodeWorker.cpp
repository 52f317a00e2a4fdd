// The decoder thread: runs tasks handed over by the main thread and keeps
// every streaming reader's ring ahead of the mixer.
#include "audio/DecodeWorkerImpl.h"

#include <algorithm>

namespace audio {

namespace {

/// Frames one job decodes before the next job gets its turn.
constexpr std::size_t kPumpFrames = 4096;
/// Readers wake the thread when they run low and tasks when they arrive, and
/// whatever was asked for before a wake-up is seen after it, so the period is
/// only a safety net: long, so an idle player does not wake for nothing.
/// (A ring holds about 0.7 s and asks for more at half.)
constexpr std::chrono::milliseconds kIdlePeriod{100};

}  // namespace

std::size_t StreamJob::pump(std::size_t maxFrames) noexcept {
    const auto channels = static_cast<std::size_t>(decoder->channels());
    if (channels > 1) {
        const std::size_t room = std::min(maxFrames, feed->ring.writableSpans().firstSize / channels +
                                                         feed->ring.writableSpans().secondSize / channels);
        const std::size_t frames = std::min(room, bounce.size() / channels);
        const std::size_t written = frames > 0 ? decoder->decode(bounce.data(), frames) : 0;
        feed->ring.write(bounce.data(), written * channels);
        if (decoder->finished()) feed->finished.store(true, std::memory_order_release);
        return written;
    }
    const RingBuffer::Spans spans = feed->ring.writableSpans();
    std::size_t first = std::min(spans.firstSize, maxFrames);
    std::size_t written = decoder->decode(spans.first, first);
    if (written == first && first < maxFrames) {
        written += decoder->decode(spans.second, std::min(spans.secondSize, maxFrames - first));
    }
    feed->ring.commitWrite(written);
    if (decoder->finished()) feed->finished.store(true, std::memory_order_release);
    return written;
}

DecodeWorker::DecodeWorker() : impl_(std::make_unique<Impl>()) {}
DecodeWorker::~DecodeWorker() = default;

DecodeWorker::Impl::Impl() : thread_([this] { run(); }) {}

DecodeWorker::Impl::~Impl() {
    {
        std::lock_guard<std::mutex> lock(tasksMutex_);
        stopping_ = true;
    }
    wake_->post();
    thread_.join();
}

void DecodeWorker::Impl::runSync(std::function<void()> task) {
    std::packaged_task<void()> packaged(std::move(task));
    std::future<void> done = packaged.get_future();
    {
        std::lock_guard<std::mutex> lock(tasksMutex_);
        tasks_.push_back(std::move(packaged));
    }
    wake_->post();
    done.get();
}

void DecodeWorker::Impl::addJob(std::unique_ptr<StreamJob> job) {
    jobs_.push_back(std::move(job));
    activeJobs_.store(jobs_.size(), std::memory_order_release);
}

void DecodeWorker::Impl::fillNow() {
    runSync([this] {
        while (pumpAll()) {
        }
    });
}

bool DecodeWorker::Impl::runTasks() {
    std::deque<std::packaged_task<void()>> tasks;
    bool stopping = false;
    {
        std::lock_guard<std::mutex> lock(tasksMutex_);
        tasks.swap(tasks_);
        stopping = stopping_;
    }
    for (auto& task : tasks) task();
    return !stopping;
}

bool DecodeWorker::Impl::pumpAll() {
    bool progress = false;
    for (auto& job : jobs_) {
        if (job->feed->cancelled.load(std::memory_order_acquire)) continue;
        progress = job->pump(kPumpFrames) > 0 || progress;
    }
    // Finished or abandoned jobs close their files here, on this thread.
    for (auto& job : jobs_) {
        if (job->decoder->finished() || job->feed->cancelled.load(std::memory_order_acquire)) {
            job->feed->decoderBytes.store(0, std::memory_order_relaxed);
        }
    }
    std::erase_if(jobs_, [](const std::unique_ptr<StreamJob>& job) {
        return job->feed->cancelled.load(std::memory_order_acquire) ||
               job->feed->finished.load(std::memory_order_acquire);
    });
    activeJobs_.store(jobs_.size(), std::memory_order_release);
    return progress;
}

void DecodeWorker::Impl::run() {
    while (runTasks()) {
        if (!pumpAll()) wake_->wait(kIdlePeriod);
    }
    jobs_.clear();
    activeJobs_.store(0, std::memory_order_release);
}

}  // namespace audio
