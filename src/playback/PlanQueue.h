// A queue of planned values that costs nothing while empty.
#pragma once

#include "playback/PlanLedger.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <iterator>
#include <vector>

namespace gloam {

/// First in, first out, of whole numbers (delays, durations, choices). Unlike
/// std::deque it allocates nothing until the first entry, and keeps `ledger`
/// (which must outlive it) told how many entries it holds. Only the front and
/// the back are read while planning and playing; iteration is for readers.
/// Main thread only.
class PlanQueue {
public:
    using value_type = std::int32_t;
    using const_iterator = std::vector<std::int32_t>::const_iterator;
    using iterator = const_iterator;

    explicit PlanQueue(PlanLedger& ledger) : ledger_(&ledger) {}
    ~PlanQueue() { ledger_->remove(static_cast<std::int64_t>(size())); }
    PlanQueue(const PlanQueue&) = delete;
    PlanQueue& operator=(const PlanQueue&) = delete;

    bool empty() const { return head_ == items_.size(); }
    std::size_t size() const { return items_.size() - head_; }
    std::int32_t front() const { return items_[head_]; }
    std::int32_t& front() { return items_[head_]; }
    std::int32_t back() const { return items_.back(); }
    std::int32_t& back() { return items_.back(); }
    const_iterator begin() const { return items_.begin() + static_cast<std::ptrdiff_t>(head_); }
    const_iterator end() const { return items_.end(); }

    /// May throw std::bad_alloc; the queue is then unchanged.
    void push_back(std::int32_t value) {
        // What was taken from the front is given back before the storage
        // would grow, so a queue fed and drained in turn stays its size.
        if (head_ > 0 && items_.size() == items_.capacity() && head_ * 2 >= items_.size()) compact();
        items_.push_back(value);
        ledger_->add(1);
    }
    void pop_front() {
        ++head_;
        ledger_->remove(1);
        if (!empty()) return;
        // Small storage is kept for the next plan; a long plan's is given back.
        head_ = 0;
        if (items_.capacity() > keptCapacity) {
            std::vector<std::int32_t>().swap(items_);
        } else {
            items_.clear();
        }
    }
    /// Empties the queue and gives its storage back.
    void clear() {
        ledger_->remove(static_cast<std::int64_t>(size()));
        std::vector<std::int32_t>().swap(items_);
        head_ = 0;
    }
    /// Keeps only the front and the back entry.
    void keepEnds() {
        if (size() <= 2) return;
        ledger_->remove(static_cast<std::int64_t>(size() - 2));
        items_[0] = front();
        items_[1] = back();
        items_.resize(2);
        head_ = 0;
    }

    /// The same values in the same order as any other sequence.
    template <class Range>
    friend bool operator==(const PlanQueue& queue, const Range& other) {
        return std::equal(queue.begin(), queue.end(), std::begin(other), std::end(other));
    }

private:
    static constexpr std::size_t keptCapacity = 16;

    void compact() {
        items_.erase(items_.begin(), items_.begin() + static_cast<std::ptrdiff_t>(head_));
        head_ = 0;
    }

    std::vector<std::int32_t> items_;
    std::size_t head_ = 0;
    PlanLedger* ledger_;
};

}  // namespace gloam
