// One instant of the life cycle: a program-clock millisecond and the output frame it stands for.
#pragma once

#include "platform/WrapTime.h"

#include <cstdint>
#include <optional>

namespace gloam {

using platform::wrapAdd;
using platform::wrapBefore;
using platform::wrapMs;
using platform::wrapMul;
using platform::wrapSub;

/// An instant, made once per event (from the clock, from a due frame, or
/// from the frame a key takes effect at) and passed down to everything the
/// life cycle does then. `frame` is exact: it is the output frame the engine
/// plays the change on; `ms` is the program-clock millisecond that frame
/// falls in, for plans and traces, which count whole milliseconds. A frame
/// is one sample per output channel at the engine's rate.
struct Moment {
    std::int32_t ms = 0;
    std::int64_t frame = 0;

    friend bool operator==(const Moment&, const Moment&) = default;
};

/// A moment that may be unset: the end of a delay or of a fade-out. It says
/// nothing when unset: there is no value that stands for "none", and it
/// converts to nothing implicitly.
class DueTime {
public:
    DueTime() = default;
    explicit DueTime(Moment at) : at_(at) {}

    bool hasValue() const { return at_.has_value(); }
    /// The moment; only while set.
    const Moment& value() const { return *at_; }
    void reset() { at_.reset(); }
    /// Set and due by `frame`, i.e. at or before it.
    bool dueBy(std::int64_t frame) const { return at_ && at_->frame <= frame; }

private:
    std::optional<Moment> at_;
};

}  // namespace gloam
