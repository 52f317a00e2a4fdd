// A fixed-size single-producer single-consumer queue that never blocks or allocates.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>

namespace audio {

/// Carries commands from the main thread (the only producer) to whichever
/// thread mixes (the only consumer at any time). Capacity is fixed at
/// construction; both ends are wait-free. Positions count every item ever
/// pushed or popped, so the producer can tell whether the consumer has got
/// past a given item (see popped()).
template <typename T>
class CommandQueue {
public:
    explicit CommandQueue(std::size_t capacity)
        : capacity_(capacity), items_(std::make_unique<T[]>(capacity)) {}

    /// Producer thread. False, with nothing queued, when the queue is full.
    bool tryPush(const T& item) noexcept {
        const std::uint64_t head = head_.load(std::memory_order_relaxed);
        if (head - tail_.load(std::memory_order_acquire) >= capacity_) {
            return false;
        }
        items_[head % capacity_] = item;
        head_.store(head + 1, std::memory_order_release);
        return true;
    }

    /// Consumer thread. False when there is nothing to take.
    bool tryPop(T& item) noexcept {
        const std::uint64_t tail = tail_.load(std::memory_order_relaxed);
        if (tail == head_.load(std::memory_order_acquire)) {
            return false;
        }
        item = items_[tail % capacity_];
        tail_.store(tail + 1, std::memory_order_release);
        return true;
    }

    /// Producer thread: how many items were ever pushed.
    std::uint64_t pushed() const noexcept { return head_.load(std::memory_order_relaxed); }
    /// Any thread: how many items the consumer has taken.
    std::uint64_t popped() const noexcept { return tail_.load(std::memory_order_acquire); }

private:
    const std::size_t capacity_;
    std::unique_ptr<T[]> items_;
    alignas(64) std::atomic<std::uint64_t> head_{0};
    alignas(64) std::atomic<std::uint64_t> tail_{0};
};

}  // namespace audio
