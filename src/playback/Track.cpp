// The sequence: one child after another, overlaps by cross-fade or negative start delay.
#include "playback/Track.h"

#include "model/Runtime.h"

#include <tinyxml2.h>

#include <algorithm>
#include <limits>
#include <optional>

namespace gloam {

Track::Track(Runtime& runtimeValues, SettingContainer& parentNode, tinyxml2::XMLElement& element)
    : Playable(runtimeValues, parentNode, element) {}

std::uint32_t Track::nextWithContent(std::uint32_t from) const {
    const auto count = static_cast<std::uint32_t>(children.size());
    for (std::uint32_t index = from; index < count; ++index) {
        if (children[index]->hasContent()) return index;
    }
    return count;
}

void Track::playContent(const Moment& at) {
    // Children without content are passed over at once; when none is left in
    // this walk, the pass is over.
    if (currentIndex_ == 0) walkStartFrame_ = at.frame;
    currentIndex_ = nextWithContent(currentIndex_);
    if (currentIndex_ < children.size()) {
        children[currentIndex_]->start(at);
        return;
    }
    currentIndex_ = 0;
    if (state() == State::Playing) loopEnded(at);
}

void Track::childFinished(Playable* child, const Moment& at) {
    if (state() != State::Playing || child == nullptr || child != currentChild()) return;
    ++currentIndex_;
    if (currentIndex_ < children.size()) {
        beginPass(at);
    } else {
        currentIndex_ = 0;
        loopEnded(at);
    }
}

void Track::childDelayed(Playable& child, std::int32_t ms, const Moment& at) {
    if (&child == currentChild()) extendPlan(ms, at);
}

void Track::childDrifted(Playable& child, std::int64_t milliFrames, const Moment& at) {
    if (&child == currentChild()) addDrift(milliFrames, at);
}

std::optional<std::int64_t> Track::earlyStart() const {
    if (state() != State::Playing || currentIndex_ >= children.size()) return std::nullopt;

    const std::uint32_t following = nextWithContent(currentIndex_ + 1);
    const bool currentIsLast = following >= children.size();
    // The last child of the last pass of a finite run always plays to its end.
    if (currentIsLast && settings.loopCount >= 0 && loopsDone() >= settings.loopCount) return std::nullopt;

    const Playable& current = *children[currentIndex_];
    const std::uint32_t nextIndex = currentIsLast ? nextWithContent(0) : following;
    if (nextIndex >= children.size()) return std::nullopt;
    const Playable& next = *children[nextIndex];
    const std::optional<std::int64_t> end = current.plannedEndFrame();
    if (!end) return std::nullopt;

    // The next child starts once less time is left of the current one than
    // its cross-fade, or than its negative start delay asks for.
    std::int64_t overlap = 0;
    if (next.settings.crossFade > 0) overlap = next.settings.crossFade;
    if (!next.plannedStartDelays().empty() && next.plannedStartDelays().front() < 0) {
        overlap = std::max(overlap, -static_cast<std::int64_t>(next.plannedStartDelays().front()));
    }
    if (overlap == 0) return std::nullopt;
    const std::int64_t start = *end - runtime.timebase().framesIn(overlap);
    // A walk that took no time would wrap into one that takes none either:
    // its last child plays to its end instead.
    const std::int64_t currentStart = current.runStart().frame;
    if (currentIsLast && currentStart <= walkStartFrame_ && start <= currentStart) return std::nullopt;
    return start;
}

std::optional<std::int64_t> Track::dueFrame() const {
    std::optional<std::int64_t> due = Playable::dueFrame();
    if (const auto start = earlyStart(); start && (!due || *start < *due)) due = start;
    return due;
}

void Track::tick(const Moment& at) {
    Playable::tick(at);
    // Starting early is the same step as the current child's end; its real
    // end is then ignored, since it is no longer the current child.
    if (const auto start = earlyStart(); start && *start <= at.frame) childFinished(currentChild(), at);
}

void Track::planContent(PlanBudget& budget) {
    // A fresh run walks from the first child. A running walk keeps its place:
    // an endless sequence plans its next pass while that pass may already
    // have begun.
    if (!isRunning()) currentIndex_ = 0;
    std::int32_t& back = plannedDurations_.back();
    const std::int32_t loopDelays = back;
    const std::int64_t passes = settings.loopCount >= 0 ? std::int64_t{settings.loopCount} + 1 : 1;
    std::int64_t pass = 0;
    for (; pass < passes; ++pass) {
        if (pass > 0 && !budget.takeAll(static_cast<std::int64_t>(children.size()))) break;
        const Playable* previous = nullptr;
        const Playable* first = nullptr;
        const std::int32_t walkBegin = back;
        for (auto& child : children) {
            const std::int32_t duration = child->plan(budget);
            // A child without content plans nothing and lasts 0.
            if (!child->hasContent()) continue;
            if (duration == -1) back = -1;
            if (back != -1) {
                back = wrapAdd(back, wrapAdd(child->plannedStartDelays().back(), duration));
                if (previous != nullptr) {
                    const std::int32_t previousLength =
                        wrapAdd(previous->plannedStartDelays().back(), previous->plannedDurations().back());
                    back = wrapSub(back, std::min(previousLength, child->settings.crossFade));
                }
            }
            if (first == nullptr) first = child.get();
            previous = child.get();
        }
        const bool anotherPass = pass + 1 < passes;
        if (back != -1 && anotherPass && first != nullptr && first->settings.crossFade != 0) {
            const std::int32_t lastLength =
                wrapAdd(previous->plannedStartDelays().back(), previous->plannedDurations().back());
            // As when it plays: a walk whose last child sounds from its
            // start does not cross-fade into the next.
            const std::int32_t lastDuration = previous->plannedDurations().back();
            const bool walkTookTime = wrapSub(wrapSub(back, walkBegin), lastDuration) > 0;
            if (walkTookTime || first->settings.crossFade < lastDuration) {
                back = wrapSub(back, std::min(lastLength, first->settings.crossFade));
            }
        }
    }
    // Passes beyond the budget plan their children when they start; they are
    // counted as long as the planned ones were on average.
    if (back != -1) back = wrapAdd(back, extrapolate(wrapSub(back, loopDelays), pass, passes - pass));
}

tinyxml2::XMLElement* Track::writeXml(tinyxml2::XMLNode& node) {
    tinyxml2::XMLElement* element = node.GetDocument()->NewElement("seq");
    node.InsertEndChild(element);
    return element;
}

}  // namespace gloam
