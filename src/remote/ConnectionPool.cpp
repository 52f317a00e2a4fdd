// One thread per allowed connection; the ones beyond are refused at once.
#include "remote/ConnectionPool.h"

#include <csignal>

#include <pthread.h>

namespace remote {

namespace {

thread_local bool refusing = false;

}  // namespace

ConnectionPool::ConnectionPool(std::size_t maxConnections) : maxConnections_(maxConnections) {
    sigset_t all;
    sigset_t previous;
    sigfillset(&all);
    ::pthread_sigmask(SIG_BLOCK, &all, &previous);
    for (std::size_t i = 0; i < maxConnections_; ++i) threads_.emplace_back([this] { work(); });
    ::pthread_sigmask(SIG_SETMASK, &previous, nullptr);
}

ConnectionPool::~ConnectionPool() { shutdown(); }

bool ConnectionPool::isRefusing() { return refusing; }

void ConnectionPool::enqueue(std::function<void()> task) {
    {
        std::lock_guard lock(mutex_);
        if (!shuttingDown_ && busy_ + tasks_.size() < maxConnections_) {
            tasks_.push_back(std::move(task));
            ready_.notify_one();
            return;
        }
    }
    // The task must still run, or its socket would never be closed; refused,
    // it only writes a short answer without waiting and closes.
    refusing = true;
    task();
    refusing = false;
}

void ConnectionPool::shutdown() {
    {
        std::lock_guard lock(mutex_);
        if (shuttingDown_ && threads_.empty()) return;
        shuttingDown_ = true;
    }
    ready_.notify_all();
    for (std::thread& thread : threads_) thread.join();
    threads_.clear();
}

void ConnectionPool::work() {
    for (;;) {
        std::function<void()> task;
        {
            std::unique_lock lock(mutex_);
            ready_.wait(lock, [this] { return shuttingDown_ || !tasks_.empty(); });
            if (tasks_.empty()) return;
            task = std::move(tasks_.front());
            tasks_.pop_front();
            ++busy_;
        }
        task();
        std::lock_guard lock(mutex_);
        --busy_;
    }
}

}  // namespace remote
