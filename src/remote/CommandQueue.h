// Commands from the network's threads to the main loop, in arrival order.
#pragma once

#include "remote/Command.h"

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <optional>
#include <unordered_map>

namespace remote {

/// The one way into the main loop from the network. HTTP threads push a
/// command and wait (bounded) for its outcome; the main loop takes the
/// commands one at a time and reports each outcome once the state that
/// follows from it is published. An eventfd is readable while commands wait,
/// so the loop's idle wait can watch it. The lock is only ever held for a few
/// pointer moves, so the main loop never waits on it for long.
class CommandQueue {
public:
    using Clock = std::chrono::steady_clock;

    /// At most `capacity` commands wait at a time.
    explicit CommandQueue(std::size_t capacity = 64);
    ~CommandQueue();
    CommandQueue(const CommandQueue&) = delete;
    CommandQueue& operator=(const CommandQueue&) = delete;

    /// Readable while a command waits. Any thread; owned by the queue.
    int wakeFd() const { return wakeFd_; }

    /// Any thread. Queues `command` stamped with the time of its arrival and
    /// wakes the loop; returns its ticket, or nothing when the queue is full
    /// or closed.
    std::optional<std::uint64_t> push(Command command);
    /// Any thread. Waits up to `timeout` for the outcome of `ticket`. If the
    /// loop has not taken the command by then, it is withdrawn (it will never
    /// act) and nothing is returned; once taken, the wait goes on until it is
    /// applied, up to `timeout` more. After close(), a 503 outcome at once.
    std::optional<CommandOutcome> await(std::uint64_t ticket, Clock::duration timeout);

    /// Main thread: when the oldest waiting command arrived.
    std::optional<Clock::time_point> nextArrival();
    struct Taken {
        std::uint64_t ticket = 0;
        Command command;
    };
    /// Main thread: removes the oldest waiting command.
    std::optional<Taken> take();
    /// Main thread: the outcome of a taken command, for its waiter.
    void finish(std::uint64_t ticket, CommandOutcome outcome);

    /// Any thread: no more commands are taken in; every waiter, now and
    /// later, gets a 503 outcome.
    void close();

private:
    enum class Stage { Waiting, Taken, Finished };
    struct Slot {
        Stage stage = Stage::Waiting;
        CommandOutcome outcome;
    };
    struct Entry {
        std::uint64_t ticket;
        Clock::time_point arrival;
        Command command;
    };

    /// With the lock held: clears the wake-up once nothing waits any more.
    void quietIfEmpty();
    static CommandOutcome stoppedOutcome();

    std::size_t capacity_;
    int wakeFd_ = -1;
    std::mutex mutex_;
    std::condition_variable finished_;
    std::deque<Entry> waiting_;
    std::unordered_map<std::uint64_t, Slot> slots_;
    std::uint64_t nextTicket_ = 1;
    bool closed_ = false;
};

}  // namespace remote
