// The shared element life cycle: planning, waiting, fades, loops, stopping, closing.
#include "playback/Playable.h"

#include "audio/ChannelGroup.h"
#include "audio/Dsp.h"
#include "model/Diagnostics.h"
#include "model/Runtime.h"
#include "model/Scene.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <new>
#include <vector>

namespace gloam {

namespace {

/// A variance setting as a draw bound, truncated toward zero.
std::int32_t drawBound(double variance) {
    constexpr double largest = std::numeric_limits<std::int32_t>::max();
    if (!(variance > 0.0)) return 0;
    return static_cast<std::int32_t>(std::min(std::trunc(variance), largest));
}

std::int64_t floorDiv(std::int64_t a, std::int64_t b) {
    const std::int64_t q = a / b;
    return (a % b != 0 && (a < 0) != (b < 0)) ? q - 1 : q;
}

}  // namespace

Playable::Playable(Runtime& runtimeValues, SettingContainer& parentNode, tinyxml2::XMLElement& element)
    : SettingContainer(runtimeValues, &parentNode, element),
      plannedLoopDelays_(runtimeValues.planLedger),
      plannedStartDelays_(runtimeValues.planLedger),
      plannedDurations_(runtimeValues.planLedger) {
    parentElement_ = dynamic_cast<Playable*>(&parentNode);
    scene_ = parentElement_ != nullptr ? parentElement_->scene_ : dynamic_cast<Scene*>(&parentNode);
    effectiveMode = settings.mode != 0 ? settings.mode : parentNode.effectiveMode;
    createChannelGroup();
    if (settings.key != 0) Playable::claimHotkey(static_cast<unsigned char>(settings.key));
    try {
        buildChildren(element);
    } catch (...) {
        // The destructor will not run for an element that failed to build.
        releaseHotkeys();
        throw;
    }
}

Playable::~Playable() {
    unlist();
    if (detachAt_) std::erase(runtime.filtersToDetach, this);
    releaseHotkeys();
}

void Playable::unlist() {
    if (!listed_) return;
    runtime.activeElements.erase(activeEntry_);
    listed_ = false;
}

void Playable::setState(State next, const Moment& at) {
    if (state_ == next) return;
    state_ = next;
    if (runtime.observer != nullptr) runtime.observer->stateChanged(*this, next, at);
}

bool Playable::hasContent() const {
    if (!contentKnown_) {
        hasContent_ = findContent();
        contentKnown_ = true;
    }
    return hasContent_;
}

bool Playable::findContent() const {
    return std::any_of(children.begin(), children.end(),
                       [](const std::unique_ptr<Playable>& child) { return child->hasContent(); });
}

void Playable::forgetContent() {
    for (Playable* element = this; element != nullptr; element = element->parentElement_) element->contentKnown_ = false;
}

void Playable::childDelayed(Playable&, std::int32_t ms, const Moment& at) { extendPlan(ms, at); }

void Playable::childDrifted(Playable&, std::int64_t milliFrames, const Moment& at) { addDrift(milliFrames, at); }

void Playable::updateMode() {
    effectiveMode = settings.mode != 0 ? settings.mode : parent->effectiveMode;
    for (auto& child : children) child->updateMode();
}

bool Playable::claimHotkey(unsigned char key) {
    if (scene_ != nullptr && scene_->elementHotkeys[key] == nullptr) {
        auto& own = scene_->elementHotkeys[static_cast<unsigned char>(settings.key)];
        if (own == this) own = nullptr;
        scene_->elementHotkeys[key] = this;
        settings.key = static_cast<char>(key);
    }
    return static_cast<unsigned char>(settings.key) == key;
}

void Playable::releaseHotkeys() {
    if (scene_ == nullptr) return;
    for (auto& entry : scene_->elementHotkeys) {
        if (entry == this) entry = nullptr;
    }
}

std::int32_t Playable::drawLoopDelay() {
    return wrapAdd(settings.loopDelay, runtime.random.randomInt(settings.loopDelayVariance));
}

std::int32_t Playable::extrapolate(std::int32_t plannedSum, std::int64_t planned, std::int64_t remaining) {
    if (planned <= 0 || remaining <= 0) return 0;
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(static_cast<std::int64_t>(plannedSum) * remaining / planned));
}

std::int32_t Playable::plan() {
    PlanBudget budget(runtime.planLedger.room());
    try {
        return plan(budget);
    } catch (const std::bad_alloc&) {
        // Half a plan is worse than none: the run cannot begin, and the rest
        // of the adventure plays on.
        dropPlans();
        if (runtime.diagnostics != nullptr) runtime.diagnostics->planFailed(*this);
        return 0;
    }
}

void Playable::dropPlans() {
    plannedLoopDelays_.clear();
    plannedStartDelays_.clear();
    plannedDurations_.clear();
    for (auto& child : children) child->dropPlans();
}

std::int32_t Playable::plan(PlanBudget& budget) {
    if (!hasContent()) return 0;
    plannedStartDelays_.push_back(
        wrapAdd(settings.startDelay, runtime.random.randomInt(settings.startDelayVariance)));
    plannedDurations_.push_back(settings.loopCount < 0 ? -1 : planLoopDelays(budget));
    planContent(budget);
    return plannedDurations_.back();
}

std::int32_t Playable::planLoopDelays(PlanBudget& budget) {
    const std::int32_t loops = settings.loopCount;
    // Without a variance every delay is the same and nothing is drawn.
    if (settings.loopDelayVariance <= 0) return wrapMul(loops, settings.loopDelay);
    const std::int64_t drawn = budget.take(loops);
    std::int32_t sum = 0;
    for (std::int64_t loop = 0; loop < drawn; ++loop) {
        const std::int32_t delay = drawLoopDelay();
        plannedLoopDelays_.push_back(delay);
        sum = wrapAdd(sum, delay);
    }
    const std::int32_t meanDelay = wrapAdd(settings.loopDelay, settings.loopDelayVariance / 2);
    return wrapAdd(sum, extrapolate(meanDelay, 1, loops - drawn));
}

void Playable::start(const Moment& at) {
    if (!hasContent()) return;
    ++runsBegun_;
    startingRun_ = true;
    if (state_ == State::Idle) {
        if (!listed_) {
            activeEntry_ = runtime.activeElements.insert(runtime.activeElements.end(), this);
            listed_ = true;
        }
        // Filters still waiting to be detached from the run before start
        // afresh all the same.
        if (detachAt_) detachFilters();
        for (auto& filter : filters) channelGroup->addDsp(*filter);
        filtersAttached_ = !filters.empty();
    }

    // The variance is taken from the stored single-precision value, so 0.7
    // (0.69999999) allows up to 699 steps of 0.001.
    const std::int32_t volumeSteps = runtime.random.randomInt(drawBound(static_cast<double>(settings.volumeVariance) * 1000.0));
    effectiveVolume_ = settings.volume + static_cast<float>(volumeSteps) * 0.001f;
    effectivePositionX_ = settings.positionX + static_cast<float>(runtime.random.randomInt(drawBound(settings.positionXvariance)));
    effectivePositionY_ = settings.positionY + static_cast<float>(runtime.random.randomInt(drawBound(settings.positionYvariance)));
    if (parentElement_ != nullptr) {
        effectivePositionX_ += parentElement_->effectivePositionX_;
        effectivePositionY_ += parentElement_->effectivePositionY_;
    }
    // Drawn last and only with a variance, so the draws of an adventure
    // without spreads stay as they are.
    effectiveSpread_ = settings.spread >= 0.0f ? settings.spread
                       : parentElement_ != nullptr ? parentElement_->effectiveSpread_
                                                   : 0.0f;
    effectiveSpread_ =
        std::min(360.0f, effectiveSpread_ + static_cast<float>(runtime.random.randomInt(drawBound(settings.spreadVariance))));
    if (plannedStartDelays_.empty()) plan();
    if (plannedStartDelays_.empty()) {
        // No plan could be made: the element stays silent, as it was.
        startingRun_ = false;
        if (state_ == State::Idle) {
            detachFilters();
            unlist();
        }
        return;
    }
    const std::int32_t delay = plannedStartDelays_.front();
    const std::uint64_t run = runsBegun_;
    // Counted from here: the first pass may end at once and count itself.
    loopsDone_ = 0;
    driftMilliFrames_ = 0;
    if (delay == 0) {
        timer_.reset();
        start_ = at;
    } else {
        startDelay(delay, at);
        start_ = timer_.value();
    }
    addDrift(knownRunDrift(), at);
    if (delay == 0) {
        setState(State::Playing, at);
        beginPass(at);
    }
    startingRun_ = false;
    // The group starts at 0 with a fade-in, else at the run's volume, and
    // follows the fade law from the frame the content begins on. A run that
    // already ended (or was replaced) while it began has nothing to follow.
    if (run == runsBegun_ && isRunning()) scheduleVolume(at, settings.fadeIn != 0 ? 0.0f : effectiveVolume_);
}

void Playable::startDelay(std::int32_t delayMs, const Moment& at) {
    // Counted on the output from the frame of this moment, so a delay after
    // a sound's end is exactly that long however the passes run.
    timer_ = DueTime(runtime.after(at, delayMs));
    setState(State::Waiting, at);
}

std::optional<std::int64_t> Playable::dueFrame() const {
    std::optional<std::int64_t> due;
    if ((state_ == State::Waiting || state_ == State::Closing) && timer_.hasValue()) due = timer_.value().frame;
    if (fadeOutEnd_.hasValue() && state_ != State::Idle) {
        const std::int64_t fadeEnd = fadeOutEnd_.value().frame;
        if (!due || fadeEnd < *due) due = fadeEnd;
    }
    return due;
}

void Playable::beginPass(const Moment& at) {
    if (inPass_) {
        passPending_ = true;
        pendingPassAt_ = at;
        return;
    }
    inPass_ = true;
    Moment next = at;
    do {
        passPending_ = false;
        playContent(next);
        next = pendingPassAt_;
    } while (passPending_);
    inPass_ = false;
}

void Playable::tick(const Moment& at) {
    if (state_ == State::Closing && timer_.dueBy(at.frame)) {
        timer_.reset();
        deactivate(at);
    }
    if (state_ == State::Waiting && timer_.dueBy(at.frame)) {
        const Moment due = timer_.value();
        timer_.reset();
        // Handled on its own frame the pass begins exactly on time; only a
        // pass the loop could not handle in time (it was held up) is late.
        if (at.frame > due.frame) {
            const std::int32_t lateMs = std::max(0, wrapSub(at.ms, due.ms));
            extendPlan(lateMs, at);
            addDrift(driftOf(at.frame - due.frame, lateMs), at);
        }
        // Playing before the pass begins, so that a child ending at once is
        // heard by a parent that already counts itself as playing.
        setState(State::Playing, at);
        beginPass(at);
    }
    if (fadeOutEnd_.dueBy(at.frame)) {
        fadeOutEnd_.reset();
        const bool wasRunning = isRunning();
        stop(at);
        // A fade-out the operator asked for ends this element's run: the
        // parent moves on as if the run had ended by itself.
        if (wasRunning && parent != nullptr) parent->childFinished(this, at);
    }
}

void Playable::lookAtEngine(const Moment&) {}

std::optional<std::int64_t> Playable::plannedEndFrame() const {
    if (plannedDurations_.empty() || plannedDurations_.front() == -1) return std::nullopt;
    const std::int64_t milliFrames =
        static_cast<std::int64_t>(plannedDurations_.front()) * runtime.timebase().sampleRate() + driftMilliFrames_;
    return start_.frame + floorDiv(milliFrames + 500, 1000);
}

std::int64_t Playable::driftOf(std::int64_t frames, std::int32_t ms) const {
    return frames * 1000 - static_cast<std::int64_t>(ms) * runtime.timebase().sampleRate();
}

void Playable::addDrift(std::int64_t milliFrames, const Moment& at) {
    if (milliFrames == 0 || plannedDurations_.empty() || plannedDurations_.front() == -1) return;
    driftMilliFrames_ += milliFrames;
    if (isRunning() && !startingRun_) scheduleVolume(at);  // the fade-out moves with the end
    if (parent != nullptr) parent->childDrifted(*this, milliFrames, at);
}

float Playable::volumeAt(std::int64_t frame) const {
    const double framesPerMs = runtime.timebase().sampleRate() / 1000.0;
    double fadeInFactor = 1.0;
    if (settings.fadeIn != 0) {
        fadeInFactor = std::clamp(static_cast<double>(frame - start_.frame) / (settings.fadeIn * framesPerMs), 0.0, 1.0);
    }
    double fadeOutFactor = 1.0;
    if (const std::optional<std::int64_t> end = plannedEndFrame(); settings.fadeOut != 0 && end) {
        fadeOutFactor = std::clamp(static_cast<double>(*end - frame) / (settings.fadeOut * framesPerMs), 0.0, 1.0);
    }
    return static_cast<float>(effectiveVolume_ * fadeInFactor * fadeOutFactor);
}

void Playable::scheduleVolume(const Moment& at, std::optional<float> held) {
    if (!channelGroup) return;
    const std::int64_t from = at.frame;
    channelGroup->cancelVolumeRamps(from);
    // Before the content begins the group holds its value; from the frame it
    // begins on, the law (a negative fade-in is silence from there).
    const std::int64_t lawFrom = std::max(from, start_.frame);
    if (held && lawFrom > from) channelGroup->rampVolume(*held, from, from);
    channelGroup->rampVolume(volumeAt(lawFrom), lawFrom, lawFrom);

    // The law bends only where a fade begins or ends, all counted in frames
    // from the run's first frame, so a fade and its sound share frames.
    // Between two bends it is a straight line, except where a fade-in and a
    // fade-out overlap (a product of two lines), followed in a few pieces.
    const double framesPerMs = runtime.timebase().sampleRate() / 1000.0;
    const auto framesOf = [framesPerMs](std::int32_t ms) {
        return static_cast<std::int64_t>(std::ceil(static_cast<double>(ms) * framesPerMs));
    };
    const std::optional<std::int64_t> end = plannedEndFrame();
    std::vector<std::int64_t> bends;
    if (settings.fadeIn > 0) bends.insert(bends.end(), {start_.frame, start_.frame + framesOf(settings.fadeIn)});
    if (end && settings.fadeOut > 0) bends.insert(bends.end(), {*end - framesOf(settings.fadeOut), *end});
    if (bends.size() == 4 && bends[2] < bends[1]) {
        const std::int64_t overlapFrom = std::max(bends[0], bends[2]);
        const std::int64_t overlapTo = std::min(bends[1], bends[3]);
        constexpr int kPieces = 4;
        for (int i = 1; i < kPieces; ++i) bends.push_back(overlapFrom + (overlapTo - overlapFrom) * i / kPieces);
    }
    std::sort(bends.begin(), bends.end());
    std::int64_t previous = lawFrom;
    for (std::int64_t bend : bends) {
        if (bend <= previous) continue;
        channelGroup->rampVolume(volumeAt(bend), previous, bend);
        previous = bend;
    }
}

void Playable::loopEnded(const Moment& at) {
    if (settings.loopCount >= 0) {
        if (loopsDone_ >= settings.loopCount) {
            finish(at);
            return;
        }
        ++loopsDone_;
        // The delay drawn ahead leaves the queue before the pass begins, so
        // a pass that ends at once finds the next one. Loops beyond what the
        // plan held, and loops without a variance, draw theirs now; a finite
        // run never plans another run from inside itself.
        std::int32_t delay = 0;
        if (plannedLoopDelays_.empty()) {
            delay = drawLoopDelay();
        } else {
            delay = plannedLoopDelays_.front();
            plannedLoopDelays_.pop_front();
        }
        scheduleNextPass(delay, at);
        return;
    }
    // Endless: each pass draws its delay, then plans the pass after it.
    scheduleNextPass(drawLoopDelay(), at);
    plan();
    // Without a plan for the next pass the element falls silent.
    if (plannedDurations_.empty()) {
        stop(at);
        return;
    }
    trimEndlessPlans();
}

void Playable::scheduleNextPass(std::int32_t delayMs, const Moment& at) {
    if (delayMs == 0) {
        timer_.reset();
        beginPass(at);
        return;
    }
    startDelay(delayMs, at);
    // The delay lasts whole frames; what that differs from its milliseconds
    // moves the run's end.
    addDrift(driftOf(timer_.value().frame - at.frame, delayMs), at);
}

void Playable::trimEndlessPlans() {
    plannedStartDelays_.keepEnds();
    plannedDurations_.keepEnds();
}

void Playable::finish(const Moment& at) {
    const std::uint64_t run = runsBegun_;
    if (plannedStartDelays_.empty()) {
        setState(State::Closing, at);
        timer_ = DueTime(runtime.momentAt(at.frame + runtime.timebase().framesIn(std::int64_t{settings.closeDelay} + 1)));
        if (channelGroup) channelGroup->stop(at.frame);
    } else {
        setState(State::Finished, at);
    }
    if (parent != nullptr) parent->childFinished(this, at);
    if (!plannedDurations_.empty() && plannedDurations_.front() != -1) {
        plannedDurations_.pop_front();
        if (!plannedStartDelays_.empty()) plannedStartDelays_.pop_front();
    }
    // The parent began a new run from childFinished while the ended run's
    // entries were still in front: the new run's fades follow its own plan,
    // which is at the front only now.
    if (run != runsBegun_ && isRunning()) scheduleVolume(at);
}

void Playable::extendPlan(std::int32_t ms, const Moment& at) {
    if (ms <= 0 || plannedDurations_.empty() || plannedDurations_.front() == -1) return;
    plannedDurations_.front() = wrapAdd(plannedDurations_.front(), ms);
    if (isRunning() && !startingRun_) scheduleVolume(at);  // the fade-out moves with the end
    if (parent != nullptr) parent->childDelayed(*this, ms, at);
}

bool Playable::wantsSpread() const {
    for (const Playable* element = this; element != nullptr; element = element->parentElement_) {
        if (element->settings.spreadVariance >= 1.0f) return true;
        if (element->settings.spread >= 0.0f) return element->settings.spread > 0.0f;
    }
    return false;
}

void Playable::startFadeOut(const Moment& at) {
    const Moment end = runtime.after(at, settings.fadeOut);
    fadeOutEnd_ = DueTime(end);
    if (runtime.observer != nullptr && isRunning()) runtime.observer->fadeOutStarted(*this, settings.fadeOut, at);
    const std::int32_t length = wrapSub(end.ms, start_.ms);
    if (plannedDurations_.empty()) {
        plannedDurations_.push_back(length);
    } else {
        if (plannedDurations_.front() == -1) plannedDurations_.push_back(-1);
        plannedDurations_.front() = length;
    }
    // The planned end is the fade-out's own frame, not a rounded millisecond.
    driftMilliFrames_ = driftOf(end.frame - start_.frame, length);
    if (isRunning()) scheduleVolume(at);
}

void Playable::stop(const Moment& at) {
    for (auto& child : children) child->stop(at);
    passPending_ = false;
    if (state_ != State::Idle) {
        setState(State::Closing, at);
        timer_ = DueTime(runtime.momentAt(at.frame + runtime.timebase().framesIn(std::int64_t{settings.closeDelay} + 1)));
        if (channelGroup) {
            // Silent from this frame; what was planned for later is withdrawn.
            channelGroup->stop(at.frame);
            channelGroup->cancelVolumeRamps(at.frame);
        }
        plannedLoopDelays_.clear();
        plannedStartDelays_.clear();
        plannedDurations_.clear();
    }
}

void Playable::deactivate(const Moment& at) {
    if (filtersAttached_) {
        if (at.frame > runtime.clockMoment().frame) {
            if (!detachAt_) runtime.filtersToDetach.push_back(this);
            detachAt_ = at.frame;
        } else {
            detachFilters();
        }
    }
    unlist();
    // Whatever fade-out was under way belonged to the run that is over; the
    // next start is a new run.
    fadeOutEnd_.reset();
    setState(State::Idle, at);
}

void Playable::detachFilters() {
    for (auto& filter : filters) filter->remove();
    filtersAttached_ = false;
    if (detachAt_) {
        std::erase(runtime.filtersToDetach, this);
        detachAt_.reset();
    }
}

std::optional<std::int64_t> Playable::detachFiltersDue(Runtime& runtime, std::int64_t clockFrame) {
    std::optional<std::int64_t> next;
    // Copied: detaching takes the element off the list.
    const std::vector<Playable*> waiting = runtime.filtersToDetach;
    for (Playable* element : waiting) {
        if (*element->detachAt_ <= clockFrame) {
            element->detachFilters();
        } else if (!next || *element->detachAt_ < *next) {
            next = element->detachAt_;
        }
    }
    return next;
}

void Playable::forgetFadeOuts() {
    fadeOutEnd_.reset();
    for (auto& child : children) child->forgetFadeOuts();
}

void Playable::startFromTop(const Moment& at) {
    Playable* top = this;
    while (top->parentElement_ != nullptr) top = top->parentElement_;
    top->stop(at);
    // A fade-out asked for while an element was not running (Space on a
    // sequence that does not play) never reaches the run begun here.
    top->forgetFadeOuts();
    plan();
    start(at);
}

}  // namespace gloam
