// How many plan entries the whole adventure holds ahead.
#pragma once

#include <algorithm>
#include <cstdint>

namespace gloam {

/// Counts every entry that every element's plan queues hold (start delays,
/// durations, loop delays, choices), so that planning ahead has one budget
/// for the adventure rather than one per element: a thousand elements that
/// each ask for a million loop delays share what one of them could draw.
/// The queues keep the count (PlanQueue); a PlanBudget asks how much room is
/// left. Main thread only.
class PlanLedger {
public:
    /// Entries the adventure may hold ahead (about 16 MB); enough for a few
    /// elements of a million loops each, so plans drawn whole stay whole.
    static constexpr std::int64_t capacity = std::int64_t{1} << 22;

    void add(std::int64_t entries) { held_ += entries; }
    void remove(std::int64_t entries) { held_ -= entries; }
    std::int64_t held() const { return held_; }
    /// How many more entries may be drawn ahead.
    std::int64_t room() const { return std::max<std::int64_t>(0, capacity - held_); }

private:
    std::int64_t held_ = 0;
};

}  // namespace gloam
