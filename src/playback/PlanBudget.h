// How much one plan may draw and queue ahead.
#pragma once

#include <algorithm>
#include <cstdint>

namespace gloam {

/// Shared by every element that one plan reaches: each loop delay drawn ahead
/// and each child run a container plans ahead takes one entry. While the
/// budget lasts, runs are planned whole and drawn in document order; beyond
/// it, loop delays are drawn and passes planned as the run gets to them, so a
/// loop count of two billion costs no more than this. A million loops of one
/// element still fit, as long as the adventure as a whole has room for them
/// (PlanLedger).
class PlanBudget {
public:
    static constexpr std::int64_t entries = std::int64_t{1} << 20;

    /// At most `entries`, and no more than the `room` the adventure has left.
    explicit PlanBudget(std::int64_t room) : left_(std::clamp<std::int64_t>(room, 0, entries)) {}

    /// Takes up to `wanted` entries; returns how many were granted.
    std::int64_t take(std::int64_t wanted) {
        const std::int64_t granted = std::clamp<std::int64_t>(wanted, 0, left_);
        left_ -= granted;
        return granted;
    }
    /// Takes `wanted` entries if that many are left.
    bool takeAll(std::int64_t wanted) {
        if (wanted > left_) return false;
        left_ -= wanted;
        return true;
    }

private:
    std::int64_t left_;
};

}  // namespace gloam
