// Several observers of the same element states, behind the one slot the runtime has.
#pragma once

#include "model/Runtime.h"

#include <vector>

namespace gloam::render {

/// Hands every state change and fade-out on to each observer added, in the
/// order they were added. Does not own them. Main thread only.
class ObserverFanOut final : public StateObserver {
public:
    void add(StateObserver& observer) { observers_.push_back(&observer); }
    bool empty() const { return observers_.empty(); }

    void stateChanged(const Playable& element, State state, const Moment& at) override {
        for (StateObserver* observer : observers_) observer->stateChanged(element, state, at);
    }
    void fadeOutStarted(const Playable& element, std::int32_t lengthMs, const Moment& at) override {
        for (StateObserver* observer : observers_) observer->fadeOutStarted(element, lengthMs, at);
    }

private:
    std::vector<StateObserver*> observers_;
};

}  // namespace gloam::render
