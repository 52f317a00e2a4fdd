// A moment on the program clock that may be unset.
#pragma once

#include "playback/Int32.h"

#include <cstdint>

namespace gloam {

/// A due time in program-clock milliseconds, or none. Every clock value, 0
/// and negative ones included, is an ordinary time: the renderer's clock
/// starts at 0, and the player's wraps after about 24.8 days.
class DueTime {
public:
    DueTime() = default;
    /// Set to `ms`.
    DueTime(std::int32_t ms) : ms_(ms), set_(true) {}

    bool hasValue() const { return set_; }
    /// The time; meaningful only while set.
    std::int32_t value() const { return ms_; }
    void reset() { *this = DueTime(); }
    /// Set and strictly before `nowMs`, compared across the clock's wrap.
    bool passedBy(std::int32_t nowMs) const { return set_ && wrapSub(ms_, nowMs) < 0; }

    /// Reads as the clock value, or 0 when unset, for readers that only show
    /// or compare it. Decisions go through hasValue and passedBy.
    operator std::int32_t() const { return set_ ? ms_ : 0; }

private:
    std::int32_t ms_ = 0;
    bool set_ = false;
};

}  // namespace gloam
