// The program's one clock: milliseconds of real elapsed time, injectable.
#pragma once

#include <chrono>
#include <cstdint>

namespace platform {

/// Milliseconds since the program started, as a signed 32-bit value. Every due
/// time in the program is a value of this clock; 0 means none.
class Clock {
public:
    virtual ~Clock() = default;
    virtual std::int32_t nowMs() const = 0;
};

/// Real elapsed time from a monotonic source (never processor time).
class MonotonicClock final : public Clock {
public:
    MonotonicClock();
    std::int32_t nowMs() const override;

private:
    std::chrono::steady_clock::time_point start_;
};

/// Time that moves only when told to: tests and the offline renderer.
class VirtualClock final : public Clock {
public:
    explicit VirtualClock(std::int32_t startMs = 0) : now_(startMs) {}
    std::int32_t nowMs() const override { return now_; }
    void advance(std::int32_t ms) { now_ += ms; }
    void set(std::int32_t ms) { now_ = ms; }

private:
    std::int32_t now_;
};

/// What the main loop does between passes.
class IdleWait {
public:
    virtual ~IdleWait() = default;
    /// A pass that found nothing due soon: real time sleeps 20 ms.
    virtual void idle() = 0;
    /// A pass that goes straight on because something is due within 50 ms.
    virtual void busy() {}
};

/// Sleeps the thread for real.
class RealIdleWait final : public IdleWait {
public:
    void idle() override;
};

/// Advances a virtual clock instead of sleeping: 20 ms per idle pass, 1 ms per
/// busy pass.
class VirtualIdleWait final : public IdleWait {
public:
    explicit VirtualIdleWait(VirtualClock& clock) : clock_(clock) {}
    void idle() override { clock_.advance(20); }
    void busy() override { clock_.advance(1); }

private:
    VirtualClock& clock_;
};

}  // namespace platform
