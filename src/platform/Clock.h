// The program's one clock: milliseconds of real elapsed time, injectable.
#pragma once

#include "platform/WrapTime.h"

#include <chrono>
#include <cstdint>

namespace platform {

class Console;
class ScriptedConsole;

/// Milliseconds since the program started, as a signed 32-bit value that
/// wraps after about 24.8 days. Every due time in the program is a value of
/// this clock; every value, 0 and negative ones too, is an ordinary time.
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
    /// Wraps like the real clock's 32-bit counter.
    void advance(std::int32_t ms) {
        now_ = wrapAdd(now_, ms);
    }
    void set(std::int32_t ms) { now_ = ms; }

private:
    std::int32_t now_;
};

/// What the main loop does between passes: it waits until a time of the
/// program clock or until a key arrives, whichever comes first, so the
/// player never spins and a pass still runs on time.
class IdleWait {
public:
    virtual ~IdleWait() = default;
    /// Returns at `untilMs` at the latest, at once when that time has come
    /// (times compare as a wrapping 32-bit clock), and earlier when a key or
    /// a redraw request is waiting.
    virtual void waitUntil(std::int32_t untilMs) = 0;
};

/// Waits for real: on the console's input, with a timeout measured against
/// the clock, so an early wake-up (a signal) does not shorten the wait.
class RealIdleWait final : public IdleWait {
public:
    RealIdleWait(Console& console, const Clock& clock) : console_(console), clock_(clock) {}
    void waitUntil(std::int32_t untilMs) override;
    /// Also comes back as soon as `fd` is readable (another input of the
    /// loop, which drains it); -1 for none.
    void alsoWakeOn(int fd) { wakeFd_ = fd; }

private:
    Console& console_;
    const Clock& clock_;
    int wakeFd_ = -1;
};

/// Moves a virtual clock on instead of waiting: to the time asked for, or to
/// the next key of `keys` (when given) if that comes first.
class VirtualIdleWait final : public IdleWait {
public:
    explicit VirtualIdleWait(VirtualClock& clock, const ScriptedConsole* keys = nullptr) : clock_(clock), keys_(keys) {}
    void waitUntil(std::int32_t untilMs) override;

private:
    VirtualClock& clock_;
    const ScriptedConsole* keys_;
};

}  // namespace platform
