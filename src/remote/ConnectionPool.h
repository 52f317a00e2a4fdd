// The threads that serve client connections, a fixed number of them.
#pragma once

#include <httplib.h>

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace remote {

/// cpp-httplib hands each accepted connection to this queue as one task that
/// serves it to the end. There is one thread per allowed connection, so a
/// connection never waits behind another; a connection beyond the limit is
/// served at once on the accepting thread with isRefusing() true, which the
/// server answers by refusing it without reading anything. Threads start
/// with every signal blocked: signals belong to the main thread.
class ConnectionPool final : public httplib::TaskQueue {
public:
    explicit ConnectionPool(std::size_t maxConnections);
    ~ConnectionPool() override;

    /// Accepting thread.
    void enqueue(std::function<void()> task) override;
    /// Finishes the tasks that are there and joins the threads.
    void shutdown() override;

    /// True on the thread of a task that is over the limit.
    static bool isRefusing();

private:
    void work();

    std::size_t maxConnections_;
    std::mutex mutex_;
    std::condition_variable ready_;
    std::deque<std::function<void()>> tasks_;
    std::size_t busy_ = 0;
    bool shuttingDown_ = false;
    std::vector<std::thread> threads_;
};

}  // namespace remote
