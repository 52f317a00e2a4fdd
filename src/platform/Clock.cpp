// The monotonic clock and the real idle wait.
#include "platform/Clock.h"

#include <thread>

namespace platform {

MonotonicClock::MonotonicClock() : start_(std::chrono::steady_clock::now()) {}

std::int32_t MonotonicClock::nowMs() const {
    auto elapsed = std::chrono::steady_clock::now() - start_;
    // Wraps like a 32-bit millisecond counter after about 24 days.
    auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count();
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(ms));
}

void RealIdleWait::idle() { std::this_thread::sleep_for(std::chrono::milliseconds(20)); }

}  // namespace platform
