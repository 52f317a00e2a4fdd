// Publishing snapshots and waiting for the next one.
#include "remote/StateBoard.h"

#include <utility>

namespace remote {

StateBoard::StateBoard() {
    StateSnapshot empty;
    empty.version = 1;
    empty.json = toJson(empty);
    current_ = std::make_shared<const StateSnapshot>(std::move(empty));
}

std::shared_ptr<const StateSnapshot> StateBoard::publish(StateSnapshot state) {
    state.json = toJson(state);
    std::shared_ptr<const StateSnapshot> published;
    {
        std::lock_guard lock(mutex_);
        state.version = current_->version + 1;
        published = std::make_shared<const StateSnapshot>(std::move(state));
        current_ = published;
    }
    changed_.notify_all();
    return published;
}

std::shared_ptr<const StateSnapshot> StateBoard::current() const {
    std::lock_guard lock(mutex_);
    return current_;
}

std::shared_ptr<const StateSnapshot> StateBoard::waitNewer(std::uint64_t version, Clock::time_point deadline) const {
    std::unique_lock lock(mutex_);
    changed_.wait_until(lock, deadline, [&] { return closed_ || current_->version > version; });
    return current_;
}

void StateBoard::close() {
    {
        std::lock_guard lock(mutex_);
        closed_ = true;
    }
    changed_.notify_all();
}

bool StateBoard::closed() const {
    std::lock_guard lock(mutex_);
    return closed_;
}

}  // namespace remote
