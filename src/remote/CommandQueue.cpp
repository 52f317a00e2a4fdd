// The command queue's hand-over between the HTTP threads and the main loop.
#include "remote/CommandQueue.h"

#include <algorithm>
#include <cstdint>

#include <sys/eventfd.h>
#include <unistd.h>

namespace remote {

CommandQueue::CommandQueue(std::size_t capacity)
    : capacity_(capacity), wakeFd_(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {}

CommandQueue::~CommandQueue() {
    if (wakeFd_ >= 0) ::close(wakeFd_);
}

CommandOutcome CommandQueue::stoppedOutcome() {
    CommandOutcome outcome;
    outcome.status = 503;
    outcome.error = "the player has stopped";
    return outcome;
}

std::optional<std::uint64_t> CommandQueue::push(Command command) {
    std::lock_guard lock(mutex_);
    if (closed_ || waiting_.size() >= capacity_) return std::nullopt;
    const std::uint64_t ticket = nextTicket_++;
    waiting_.push_back(Entry{ticket, Clock::now(), std::move(command)});
    slots_.emplace(ticket, Slot{});
    if (wakeFd_ >= 0) {
        const std::uint64_t one = 1;
        [[maybe_unused]] ssize_t written = ::write(wakeFd_, &one, sizeof one);
    }
    return ticket;
}

std::optional<CommandOutcome> CommandQueue::await(std::uint64_t ticket, Clock::duration timeout) {
    std::unique_lock lock(mutex_);
    auto done = [&] {
        auto slot = slots_.find(ticket);
        return closed_ || slot == slots_.end() || slot->second.stage == Stage::Finished;
    };
    if (!finished_.wait_for(lock, timeout, done)) {
        auto slot = slots_.find(ticket);
        if (slot->second.stage == Stage::Waiting) {
            // Not taken in time: it must never act after its caller was told so.
            waiting_.erase(std::find_if(waiting_.begin(), waiting_.end(),
                                        [ticket](const Entry& entry) { return entry.ticket == ticket; }));
            slots_.erase(slot);
            quietIfEmpty();
            return std::nullopt;
        }
        // Being applied (a large adventure loading): that ends by itself.
        finished_.wait_for(lock, timeout, done);
    }
    auto slot = slots_.find(ticket);
    if (slot == slots_.end() || slot->second.stage != Stage::Finished) {
        if (slot != slots_.end()) slots_.erase(slot);
        if (closed_) return stoppedOutcome();
        CommandOutcome late;
        late.status = 503;
        late.error = "the player did not answer in time";
        return late;
    }
    CommandOutcome outcome = std::move(slot->second.outcome);
    slots_.erase(slot);
    return outcome;
}

std::optional<CommandQueue::Clock::time_point> CommandQueue::nextArrival() {
    std::lock_guard lock(mutex_);
    quietIfEmpty();
    if (waiting_.empty()) return std::nullopt;
    return waiting_.front().arrival;
}

std::optional<CommandQueue::Taken> CommandQueue::take() {
    std::lock_guard lock(mutex_);
    if (waiting_.empty()) return std::nullopt;
    Taken taken{waiting_.front().ticket, std::move(waiting_.front().command)};
    waiting_.pop_front();
    slots_[taken.ticket].stage = Stage::Taken;
    quietIfEmpty();
    return taken;
}

void CommandQueue::finish(std::uint64_t ticket, CommandOutcome outcome) {
    {
        std::lock_guard lock(mutex_);
        auto slot = slots_.find(ticket);
        if (slot == slots_.end()) return;
        slot->second.stage = Stage::Finished;
        slot->second.outcome = std::move(outcome);
    }
    finished_.notify_all();
}

void CommandQueue::close() {
    {
        std::lock_guard lock(mutex_);
        closed_ = true;
        waiting_.clear();
        quietIfEmpty();
    }
    finished_.notify_all();
}

void CommandQueue::quietIfEmpty() {
    if (!waiting_.empty() || wakeFd_ < 0) return;
    std::uint64_t count = 0;
    [[maybe_unused]] ssize_t read = ::read(wakeFd_, &count, sizeof count);
}

}  // namespace remote
