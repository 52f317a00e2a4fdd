// A single-producer single-consumer ring of floats, lock-free.
#pragma once

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <cstring>
#include <memory>

namespace audio {

/// Fixed-capacity ring of samples between exactly one producer thread (the
/// decoder thread) and one consumer thread (the audio thread). Neither side
/// ever blocks or allocates; the storage is allocated once at construction
/// (main thread). Capacity is rounded up to a power of two.
class RingBuffer {
public:
    explicit RingBuffer(std::size_t minCapacity)
        : capacity_(roundUpPow2(minCapacity)), mask_(capacity_ - 1),
          data_(std::make_unique<float[]>(capacity_)) {}

    std::size_t capacity() const noexcept { return capacity_; }
    std::size_t storageBytes() const noexcept { return capacity_ * sizeof(float); }

    /// Consumer: samples ready to read.
    std::size_t readable() const noexcept {
        return head_.load(std::memory_order_acquire) - tail_.load(std::memory_order_relaxed);
    }

    /// Consumer: copies up to numSamples into `out` and returns how many.
    std::size_t read(float* out, std::size_t numSamples) noexcept {
        const std::size_t tail = tail_.load(std::memory_order_relaxed);
        const std::size_t n = std::min(numSamples, head_.load(std::memory_order_acquire) - tail);
        const std::size_t start = tail & mask_;
        const std::size_t first = std::min(n, capacity_ - start);
        std::memcpy(out, data_.get() + start, first * sizeof(float));
        std::memcpy(out + first, data_.get(), (n - first) * sizeof(float));
        tail_.store(tail + n, std::memory_order_release);
        return n;
    }

    /// Producer: the free space as up to two contiguous spans; fill them in
    /// order, then commitWrite() the number of samples written.
    struct Spans {
        float* first = nullptr;
        std::size_t firstSize = 0;
        float* second = nullptr;
        std::size_t secondSize = 0;
    };
    Spans writableSpans() noexcept {
        const std::size_t head = head_.load(std::memory_order_relaxed);
        const std::size_t free = capacity_ - (head - tail_.load(std::memory_order_acquire));
        const std::size_t start = head & mask_;
        const std::size_t first = std::min(free, capacity_ - start);
        return {data_.get() + start, first, data_.get(), free - first};
    }
    void commitWrite(std::size_t numSamples) noexcept {
        head_.store(head_.load(std::memory_order_relaxed) + numSamples, std::memory_order_release);
    }

    /// Producer: copies up to numSamples from `in`; returns how many fitted.
    std::size_t write(const float* in, std::size_t numSamples) noexcept {
        const Spans s = writableSpans();
        const std::size_t first = std::min(numSamples, s.firstSize);
        const std::size_t second = std::min(numSamples - first, s.secondSize);
        std::memcpy(s.first, in, first * sizeof(float));
        std::memcpy(s.second, in + first, second * sizeof(float));
        commitWrite(first + second);
        return first + second;
    }

private:
    static std::size_t roundUpPow2(std::size_t n) {
        std::size_t c = 1;
        while (c < n) c <<= 1;
        return c;
    }

    const std::size_t capacity_;
    const std::size_t mask_;
    std::unique_ptr<float[]> data_;
    // Monotonic counters; only their difference and low bits matter.
    alignas(64) std::atomic<std::size_t> head_{0};  ///< written by the producer
    alignas(64) std::atomic<std::size_t> tail_{0};  ///< written by the consumer
};

}  // namespace audio
