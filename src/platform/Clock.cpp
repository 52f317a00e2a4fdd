// The monotonic clock and the real idle wait.
#include "platform/Clock.h"

#include "platform/Console.h"
#include "platform/ScriptedConsole.h"

#include <optional>

namespace platform {

MonotonicClock::MonotonicClock() : start_(std::chrono::steady_clock::now()) {}

std::int32_t MonotonicClock::nowMs() const {
    auto elapsed = std::chrono::steady_clock::now() - start_;
    // Wraps like a 32-bit millisecond counter after about 24 days.
    auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count();
    return wrapMs(ms);
}

void RealIdleWait::waitUntil(std::int32_t untilMs) {
    const std::int32_t left = wrapSub(untilMs, clock_.nowMs());
    if (left <= 0) return;
    // It comes back early for a key, a request to redraw or a wake-up; the loop then
    // runs a pass at once, which is what either wants.
    if (wakeFd_ >= 0) {
        console_.waitForKeyOrWake(wakeFd_, left);
    } else {
        console_.waitForKey(left);
    }
}

void VirtualIdleWait::waitUntil(std::int32_t untilMs) {
    std::int32_t target = untilMs;
    if (keys_ != nullptr) {
        if (const std::optional<std::int32_t> key = keys_->nextKeyAt(); key && wrapSub(*key, target) < 0) target = *key;
    }
    if (wrapSub(target, clock_.nowMs()) > 0) clock_.set(target);
}

}  // namespace platform
