// The alternative: one child per pass, chosen at random.
#include "playback/Sample.h"

#include "model/Runtime.h"

#include <tinyxml2.h>

namespace gloam {

Sample::Sample(Runtime& runtimeValues, SettingContainer& parentNode, tinyxml2::XMLElement& element)
    : Playable(runtimeValues, parentNode, element), plannedChoices_(runtimeValues.planLedger) {}

std::int32_t Sample::drawChoice() {
    return runtime.random.randomInt(static_cast<std::int32_t>(children.size()) - 1);
}

void Sample::planContent(PlanBudget& budget) {
    std::int32_t& back = plannedDurations_.back();
    const std::int32_t loopDelays = back;
    const std::int64_t passes = settings.loopCount > 0 ? std::int64_t{settings.loopCount} + 1 : 1;
    std::int64_t pass = 0;
    for (; pass < passes; ++pass) {
        if (pass > 0 && !budget.takeAll(1)) break;
        const std::int32_t choice = drawChoice();
        plannedChoices_.push_back(choice);
        Playable& child = *children[static_cast<std::size_t>(choice)];
        const std::int32_t duration = child.plan(budget);
        if (duration == -1) back = -1;
        // A chosen child without content plans nothing and lasts 0.
        if (back != -1 && child.hasContent()) {
            back = wrapAdd(back, wrapAdd(child.plannedStartDelays().back(), duration));
        }
    }
    // Passes beyond the budget draw their choice when they start.
    if (back != -1) back = wrapAdd(back, extrapolate(wrapSub(back, loopDelays), pass, passes - pass));
}

void Sample::playContent(const Moment& at) {
    if (plannedChoices_.empty()) {
        currentIndex_ = drawChoice();
    } else {
        currentIndex_ = plannedChoices_.front();
        plannedChoices_.pop_front();
    }
    Playable& child = *children[static_cast<std::size_t>(currentIndex_)];
    if (child.hasContent()) {
        child.start(at);
    } else if (state() == State::Playing) {
        // Nothing to play: this pass is over at once.
        loopEnded(at);
    }
}

void Sample::childFinished(Playable* child, const Moment& at) {
    if (state() != State::Playing || child != children[static_cast<std::size_t>(currentIndex_)].get()) return;
    loopEnded(at);
}

void Sample::stop(const Moment& at) {
    Playable::stop(at);
    plannedChoices_.clear();
}

void Sample::dropPlans() {
    Playable::dropPlans();
    plannedChoices_.clear();
}

tinyxml2::XMLElement* Sample::writeXml(tinyxml2::XMLNode& node) {
    tinyxml2::XMLElement* element = node.GetDocument()->NewElement("alt");
    node.InsertEndChild(element);
    return element;
}

}  // namespace gloam
