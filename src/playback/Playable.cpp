// The shared element life cycle: planning, waiting, fades, loops, stopping, closing.
#include "playback/Playable.h"

#include "audio/ChannelGroup.h"
#include "audio/Dsp.h"
#include "model/Runtime.h"
#include "model/Scene.h"
#include "playback/Int32.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

namespace gloam {

namespace {

/// A variance setting as a draw bound, truncated toward zero.
std::int32_t drawBound(double variance) {
    constexpr double largest = std::numeric_limits<std::int32_t>::max();
    if (!(variance > 0.0)) return 0;
    return static_cast<std::int32_t>(std::min(std::trunc(variance), largest));
}

void trimToEnds(std::deque<std::int32_t>& queue) {
    if (queue.size() > 2) queue.erase(queue.begin() + 1, queue.end() - 1);
}

}  // namespace

Playable::Playable(Runtime& runtimeValues, SettingContainer& parentNode, tinyxml2::XMLElement& element)
    : SettingContainer(runtimeValues, &parentNode, element) {
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
    releaseHotkeys();
}

void Playable::unlist() {
    if (!listed_) return;
    runtime.activeElements.erase(activeEntry_);
    listed_ = false;
}

std::int32_t Playable::now() const { return runtime.now(); }

void Playable::setState(State next) {
    if (state == next) return;
    state = next;
    if (runtime.observer != nullptr) runtime.observer->stateChanged(*this, next);
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

void Playable::childDelayed(Playable&, std::int32_t ms) { extendPlan(ms); }

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
    PlanBudget budget;
    return plan(budget);
}

std::int32_t Playable::plan(PlanBudget& budget) {
    if (!hasContent()) return 0;
    plannedStartDelays.push_back(
        wrapAdd(settings.startDelay, runtime.random.randomInt(settings.startDelayVariance)));
    plannedDurations.push_back(settings.loopCount < 0 ? -1 : planLoopDelays(budget));
    planContent(budget);
    return plannedDurations.back();
}

std::int32_t Playable::planLoopDelays(PlanBudget& budget) {
    const std::int32_t loops = settings.loopCount;
    // Without a variance every delay is the same and nothing is drawn.
    if (settings.loopDelayVariance <= 0) return wrapMul(loops, settings.loopDelay);
    const std::int64_t drawn = budget.take(loops);
    std::int32_t sum = 0;
    for (std::int64_t loop = 0; loop < drawn; ++loop) {
        const std::int32_t delay = drawLoopDelay();
        plannedLoopDelays.push_back(delay);
        sum = wrapAdd(sum, delay);
    }
    const std::int32_t meanDelay = wrapAdd(settings.loopDelay, settings.loopDelayVariance / 2);
    return wrapAdd(sum, extrapolate(meanDelay, 1, loops - drawn));
}

void Playable::start() {
    if (!hasContent()) return;
    if (state == State::Idle) {
        if (!listed_) {
            activeEntry_ = runtime.activeElements.insert(runtime.activeElements.end(), this);
            listed_ = true;
        }
        for (auto& filter : filters) channelGroup->addDsp(*filter);
    }

    // The variance is taken from the stored single-precision value, so 0.7
    // (0.69999999) allows up to 699 steps of 0.001.
    const std::int32_t volumeSteps = runtime.random.randomInt(drawBound(static_cast<double>(settings.volumeVariance) * 1000.0));
    effectiveVolume = settings.volume + static_cast<float>(volumeSteps) * 0.001f;
    effectivePositionX = settings.positionX + static_cast<float>(runtime.random.randomInt(drawBound(settings.positionXvariance)));
    effectivePositionY = settings.positionY + static_cast<float>(runtime.random.randomInt(drawBound(settings.positionYvariance)));
    if (parentElement_ != nullptr) {
        effectivePositionX += parentElement_->effectivePositionX;
        effectivePositionY += parentElement_->effectivePositionY;
    }
    // Drawn last and only with a variance, so the draws of an adventure
    // without spreads stay as they are.
    effectiveSpread = settings.spread >= 0.0f ? settings.spread : parentElement_ != nullptr ? parentElement_->effectiveSpread : 0.0f;
    effectiveSpread = std::min(360.0f, effectiveSpread + static_cast<float>(runtime.random.randomInt(drawBound(settings.spreadVariance))));
    if (plannedStartDelays.empty()) plan();
    const std::int32_t delay = plannedStartDelays.front();
    // Counted from here: the first pass may end at once and count itself.
    loopsDone = 0;
    if (delay == 0) {
        timerEnd.reset();
        setState(State::Playing);
        beginPass();
        startTime = now();
    } else {
        startDelay(delay);
        startTime = timerEnd.value();
    }
    // The group starts at 0 with a fade-in, else at the run's volume.
    scheduleVolume();
}

bool Playable::wantsSpread() const {
    for (const Playable* element = this; element != nullptr; element = element->parentElement_) {
        if (element->settings.spreadVariance >= 1.0f) return true;
        if (element->settings.spread >= 0.0f) return element->settings.spread > 0.0f;
    }
    return false;
}

void Playable::startDelay(std::int32_t delayMs) {
    // The delay is counted on the output from the frame of this moment, so a
    // delay after a sound's end is exactly that long however the passes run.
    timerFrame = runtime.nowFrame() + runtime.timebase().framesIn(delayMs);
    timerEnd = wrapAdd(now(), delayMs);
    setState(State::Waiting);
}

std::optional<std::int64_t> Playable::dueFrame() const {
    std::optional<std::int64_t> due;
    if (state == State::Waiting) due = timerFrame;
    if (fadeOutEnd.hasValue() && isRunning()) {
        const std::int64_t fadeEnd = runtime.frameAt(fadeOutEnd.value());
        if (!due || fadeEnd < *due) due = fadeEnd;
    }
    return due;
}

void Playable::beginPass() {
    if (inPass_) {
        passPending_ = true;
        return;
    }
    inPass_ = true;
    do {
        passPending_ = false;
        playContent();
    } while (passPending_);
    inPass_ = false;
}

void Playable::tick() {
    const std::int32_t nowMs = now();
    const std::int64_t nowFrame = runtime.nowFrame();
    // Closing ends on the clock, never ahead of time: the element's effects
    // ring until then.
    if (!runtime.eventFrame && state == State::Closing && timerEnd.passedBy(nowMs)) {
        timerEnd.reset();
        deactivate();
    }
    if (state == State::Waiting && timerFrame <= nowFrame) {
        // Handled on its own frame the pass begins exactly on time; only a
        // pass the loop could not handle in time (it was held up) is late.
        const std::int32_t late = nowFrame > timerFrame ? std::max(0, wrapSub(nowMs, timerEnd.value())) : 0;
        timerEnd.reset();
        extendPlan(late);
        // Playing before the pass begins, so that a child ending at once is
        // heard by a parent that already counts itself as playing.
        setState(State::Playing);
        beginPass();
    }
    if (fadeOutEnd.hasValue() && runtime.frameAt(fadeOutEnd.value()) <= nowFrame) {
        fadeOutEnd.reset();
        const bool wasRunning = isRunning();
        stop();
        // A fade-out the operator asked for ends this element's run: the
        // parent moves on as if the run had ended by itself.
        if (wasRunning && parent != nullptr) parent->childFinished(this);
    }
}

float Playable::currentVolume(std::int32_t nowMs) const {
    double fadeInFactor = 1.0;
    if (settings.fadeIn != 0) {
        fadeInFactor = std::clamp(static_cast<double>(wrapSub(nowMs, startTime)) / settings.fadeIn, 0.0, 1.0);
    }
    double fadeOutFactor = 1.0;
    if (settings.fadeOut != 0 && !plannedDurations.empty() && plannedDurations.front() != -1) {
        const std::int32_t end = wrapAdd(startTime, plannedDurations.front());
        fadeOutFactor = std::clamp(static_cast<double>(wrapSub(end, nowMs)) / settings.fadeOut, 0.0, 1.0);
    }
    return static_cast<float>(effectiveVolume * fadeInFactor * fadeOutFactor);
}

void Playable::scheduleVolume() {
    if (!channelGroup) return;
    const std::int32_t nowMs = now();
    const std::int64_t nowFrame = runtime.nowFrame();
    channelGroup->cancelVolumeRamps(nowFrame);
    channelGroup->rampVolume(currentVolume(nowMs), nowFrame, nowFrame);

    // The law bends only where a fade begins or ends; between two such moments
    // it is a straight line, except where a fade-in and a fade-out overlap
    // (a product of two lines), which is followed in a few short pieces.
    const bool finite = !plannedDurations.empty() && plannedDurations.front() != -1;
    const std::int32_t end = finite ? wrapAdd(startTime, plannedDurations.front()) : 0;
    std::vector<std::int32_t> bends;
    if (settings.fadeIn > 0) bends.insert(bends.end(), {startTime, wrapAdd(startTime, settings.fadeIn)});
    if (finite && settings.fadeOut > 0) bends.insert(bends.end(), {wrapSub(end, settings.fadeOut), end});
    if (bends.size() == 4 && wrapSub(bends[2], bends[1]) < 0) {
        const std::int32_t from = std::max(bends[0], bends[2], [](std::int32_t a, std::int32_t b) { return wrapSub(a, b) < 0; });
        const std::int32_t to = std::min(bends[1], bends[3], [](std::int32_t a, std::int32_t b) { return wrapSub(a, b) < 0; });
        constexpr int kPieces = 4;
        for (int i = 1; i < kPieces; ++i) bends.push_back(wrapAdd(from, static_cast<std::int32_t>(static_cast<std::int64_t>(wrapSub(to, from)) * i / kPieces)));
    }
    std::sort(bends.begin(), bends.end(), [](std::int32_t a, std::int32_t b) { return wrapSub(a, b) < 0; });
    std::int64_t previous = nowFrame;
    for (std::int32_t bend : bends) {
        if (wrapSub(bend, nowMs) <= 0) continue;
        const std::int64_t frame = runtime.frameAt(bend);
        if (frame <= previous) continue;
        channelGroup->rampVolume(currentVolume(bend), previous, frame);
        previous = frame;
    }
}

void Playable::loopEnded() {
    if (settings.loopCount >= 0) {
        if (loopsDone >= settings.loopCount) {
            finish();
            return;
        }
        ++loopsDone;
        // The delay drawn ahead leaves the queue before the pass begins, so
        // a pass that ends at once finds the next one. Loops beyond what the
        // plan held, and loops without a variance, draw theirs now; a finite
        // run never plans another run from inside itself.
        std::int32_t delay = 0;
        if (plannedLoopDelays.empty()) {
            delay = drawLoopDelay();
        } else {
            delay = plannedLoopDelays.front();
            plannedLoopDelays.pop_front();
        }
        scheduleNextPass(delay);
        return;
    }
    // Endless: each pass draws its delay, then plans the pass after it.
    scheduleNextPass(drawLoopDelay());
    plan();
    trimEndlessPlans();
}

void Playable::scheduleNextPass(std::int32_t delayMs) {
    if (delayMs == 0) {
        timerEnd.reset();
        beginPass();
        return;
    }
    startDelay(delayMs);
}

void Playable::trimEndlessPlans() {
    trimToEnds(plannedStartDelays);
    trimToEnds(plannedDurations);
}

void Playable::finish() {
    if (plannedStartDelays.empty()) {
        setState(State::Closing);
        timerEnd = wrapAdd(now(), settings.closeDelay);
        if (channelGroup) channelGroup->stop(runtime.nowFrame());
    } else {
        setState(State::Finished);
    }
    if (parent != nullptr) parent->childFinished(this);
    if (!plannedDurations.empty() && plannedDurations.front() != -1) {
        plannedDurations.pop_front();
        if (!plannedStartDelays.empty()) plannedStartDelays.pop_front();
    }
}

void Playable::extendPlan(std::int32_t ms) {
    if (ms <= 0 || plannedDurations.empty() || plannedDurations.front() == -1) return;
    plannedDurations.front() = wrapAdd(plannedDurations.front(), ms);
    if (isRunning()) scheduleVolume();  // the fade-out moves with the end
    if (parent != nullptr) parent->childDelayed(*this, ms);
}

void Playable::startFadeOut() {
    fadeOutEnd = wrapAdd(now(), settings.fadeOut);
    if (runtime.observer != nullptr && isRunning()) runtime.observer->fadeOutStarted(*this, settings.fadeOut);
    const std::int32_t length = wrapSub(fadeOutEnd.value(), startTime);
    if (plannedDurations.empty()) {
        plannedDurations.push_back(length);
    } else {
        if (plannedDurations.front() == -1) plannedDurations.push_back(-1);
        plannedDurations.front() = length;
    }
    if (isRunning()) scheduleVolume();
}

void Playable::stop() {
    for (auto& child : children) child->stop();
    passPending_ = false;
    if (state != State::Idle) {
        setState(State::Closing);
        timerEnd = wrapAdd(now(), settings.closeDelay);
        if (channelGroup) {
            // Silent from this frame; what was planned for later is withdrawn.
            const std::int64_t frame = runtime.nowFrame();
            channelGroup->stop(frame);
            channelGroup->cancelVolumeRamps(frame);
        }
        plannedLoopDelays.clear();
        plannedStartDelays.clear();
        plannedDurations.clear();
    }
}

void Playable::deactivate() {
    for (auto& filter : filters) filter->remove();
    unlist();
    // Whatever fade-out was under way belonged to the run that is over; the
    // next start is a new run.
    fadeOutEnd.reset();
    setState(State::Idle);
}

void Playable::startFromTop() {
    Playable* top = this;
    while (top->parentElement_ != nullptr) top = top->parentElement_;
    top->stop();
    plan();
    start();
}

}  // namespace gloam
