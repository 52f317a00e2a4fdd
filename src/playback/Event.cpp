// The parallel group: all children at once; a pass ends when none runs any more.
#include "playback/Event.h"

#include "model/Runtime.h"

#include <tinyxml2.h>

#include <algorithm>

namespace gloam {

Event::Event(Runtime& runtimeValues, SettingContainer& parentNode, tinyxml2::XMLElement& element)
    : Playable(runtimeValues, parentNode, element) {}

bool Event::anyChildRunning() {
    // Within a pass children only ever stop running, so the search goes on
    // from the last child found running: a pass costs one walk over the
    // children, not one per child that ends.
    for (; runningHint_ < children.size(); ++runningHint_) {
        if (children[runningHint_]->isRunning()) return true;
    }
    return std::any_of(children.begin(), children.end(),
                       [](const std::unique_ptr<Playable>& child) { return child->isRunning(); });
}

void Event::playContent(const Moment& at) {
    runningHint_ = 0;
    for (auto& child : children) child->start(at);
    // Children that ended while they were being started were not counted
    // then; if none is left running the pass is already over.
    if (state() == State::Playing && !anyChildRunning()) loopEnded(at);
}

void Event::childFinished(Playable*, const Moment& at) {
    if (state() != State::Playing || inPass()) return;
    if (anyChildRunning()) return;
    loopEnded(at);
}

void Event::childDelayed(Playable& child, std::int32_t, const Moment& at) {
    if (plannedDurations_.empty() || plannedDurations_.front() == -1) return;
    if (child.plannedDurations().empty() || child.plannedStartDelays().empty()) return;
    const std::int32_t childEnd = wrapAdd(child.plannedStartDelays().front(), child.plannedDurations().front());
    extendPlan(wrapSub(childEnd, plannedDurations_.front()), at);
}

void Event::childDrifted(Playable& child, std::int64_t, const Moment& at) {
    const std::optional<std::int64_t> childEnd = child.plannedEndFrame();
    const std::optional<std::int64_t> end = plannedEndFrame();
    if (childEnd && end && *childEnd > *end) addDrift((*childEnd - *end) * 1000, at);
}

void Event::planContent(PlanBudget& budget) {
    std::int32_t& back = plannedDurations_.back();
    const std::int32_t loopDelays = back;
    const std::int64_t passes = settings.loopCount >= 0 ? std::int64_t{settings.loopCount} + 1 : 1;
    std::int64_t pass = 0;
    for (; pass < passes; ++pass) {
        if (pass > 0 && !budget.takeAll(static_cast<std::int64_t>(children.size()))) break;
        std::int32_t longest = 0;
        for (auto& child : children) {
            // Every child is planned once per pass, even once the run is
            // endless, so each holds one planned run per pass.
            const std::int32_t duration = child->plan(budget);
            if (!child->hasContent()) continue;
            if (duration == -1) {
                back = -1;
            } else {
                longest = std::max(longest, wrapAdd(child->plannedStartDelays().back(), duration));
            }
        }
        if (back != -1) back = wrapAdd(back, longest);
    }
    // Passes beyond the budget plan their children when they start.
    if (back != -1) back = wrapAdd(back, extrapolate(wrapSub(back, loopDelays), pass, passes - pass));
}

tinyxml2::XMLElement* Event::writeXml(tinyxml2::XMLNode& node) {
    tinyxml2::XMLElement* element = node.GetDocument()->NewElement("par");
    node.InsertEndChild(element);
    return element;
}

}  // namespace gloam
