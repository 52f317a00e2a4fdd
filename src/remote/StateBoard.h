// The state the main loop last published, for every HTTP thread to read.
#pragma once

#include "remote/StateSnapshot.h"

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>

namespace remote {

/// Holds the newest snapshot. The main loop swaps in a new one after a pass
/// that changed the state; readers share it without copying. The lock only
/// guards the pointer swap, so publishing never waits on a reader.
class StateBoard {
public:
    using Clock = std::chrono::steady_clock;

    /// Starts with the state of a player that has loaded nothing.
    StateBoard();

    /// Main thread: numbers `state`, makes its JSON, and makes it current.
    /// Returns what was published.
    std::shared_ptr<const StateSnapshot> publish(StateSnapshot state);
    /// Any thread: the current snapshot, never null.
    std::shared_ptr<const StateSnapshot> current() const;
    /// Any thread: waits until a snapshot newer than `version` is current,
    /// until `deadline`, or until close(); returns the current snapshot.
    std::shared_ptr<const StateSnapshot> waitNewer(std::uint64_t version, Clock::time_point deadline) const;

    /// Any thread: wakes every waiter for good (the server is stopping).
    void close();
    bool closed() const;

private:
    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    std::shared_ptr<const StateSnapshot> current_;
    bool closed_ = false;
};

}  // namespace remote
