// The life cycle shared by every element: plan, wait, play, loop, fade, stop, close.
#pragma once

#include "model/SettingContainer.h"
#include "playback/DueTime.h"
#include "playback/PlanBudget.h"

#include <cstdint>
#include <deque>
#include <list>
#include <optional>

namespace gloam {

class Scene;

/// An element of a scene's tree. Kinds supply their content through
/// planContent and playContent and learn of their children's ends through
/// childFinished. Times are program-clock milliseconds, compared across the
/// clock's wrap. Main thread only.
class Playable : public SettingContainer {
public:
    /// Builds settings, channel group (under the parent's), hotkey and the
    /// whole subtree below.
    Playable(Runtime& runtime, SettingContainer& parent, tinyxml2::XMLElement& element);
    /// Leaves activeElements and the hotkey table; does not stop the element.
    ~Playable() override;

    void childDelayed(Playable& child, std::int32_t ms) override;
    void updateMode() override;
    bool claimHotkey(unsigned char key) override;

    /// Stops the children, then this element (unless Idle): Closing for
    /// closeDelay, channel group silenced, plans dropped.
    virtual void stop();
    /// Once per main-loop pass while active, at the clock's time; and, for an
    /// element whose dueFrame() comes before the loop's horizon, once more at
    /// exactly that frame (see Adventure::tick).
    virtual void tick();
    /// The output frame of the next moment this element acts of itself and
    /// that can be handled ahead of time, exactly: the end of a start or loop
    /// delay, the end of a fade-out, and what the kinds add (the end of a
    /// sound's pass, a sequence's early start). None when nothing is planned.
    virtual std::optional<std::int64_t> dueFrame() const;
    /// Adds one run's content length to the back of plannedDurations (or makes
    /// it -1 when the content is endless). Passes beyond what `budget` allows
    /// are not planned ahead; their length is estimated from the others.
    virtual void planContent(PlanBudget& budget) = 0;
    /// Begins one pass of the content.
    virtual void playContent() = 0;
    /// Whether there is anything to play; an element without content is never
    /// planned or started. Worked out once and kept: it changes only when a
    /// sound is opened afresh (updateMode).
    bool hasContent() const;

    /// Draws and queues the plan of one run; returns its duration, -1 endless,
    /// 0 without content.
    std::int32_t plan();
    /// The same, as part of a larger plan sharing `budget`.
    std::int32_t plan(PlanBudget& budget);
    void start();
    /// One pass ended: the next pass, a loop delay, or the end of the run.
    void loopEnded();
    void finish();
    /// The current run lasts `ms` longer than planned; tells the parent.
    void extendPlan(std::int32_t ms);
    void startFadeOut();
    void deactivate();
    /// Stops the top-level element around this one, then plans and starts this one.
    void startFromTop();
    void releaseHotkeys();

    /// The scene at the root of the tree.
    Scene* rootScene() const { return scene_; }
    /// The enclosing element; null for a top-level element.
    Playable* parentElement() const { return parentElement_; }
    bool isRunning() const { return state == State::Playing || state == State::Waiting; }

    std::int32_t loopsDone = 0;
    std::int32_t startTime = 0;
    /// End of the start, loop or close delay under way.
    DueTime timerEnd;
    /// While Waiting: the exact output frame at which the delay ends.
    std::int64_t timerFrame = 0;
    /// End of a fade-out the operator asked for; the element stops after it.
    DueTime fadeOutEnd;
    /// Loop delays drawn ahead. Without a variance nothing is drawn, so
    /// nothing is queued either.
    std::deque<std::int32_t> plannedLoopDelays;
    std::deque<std::int32_t> plannedStartDelays;
    std::deque<std::int32_t> plannedDurations;  ///< -1: endless
    float effectiveVolume = 0.0f;
    float effectivePositionX = 0.0f;
    float effectivePositionY = 0.0f;
    /// Degrees over which a sound's channels are spread (0..360): its own
    /// `spread` or the enclosing element's, plus its variance; fixed by start.
    float effectiveSpread = 0.0f;

    /// Whether this element or one around it asks for a spread, so that its
    /// sounds must keep their channels.
    bool wantsSpread() const;

protected:
    /// What hasContent answers: here, whether any child has content.
    virtual bool findContent() const;
    /// Makes the next hasContent work its answer out again, here and above.
    void forgetContent();
    /// Runs playContent. A pass that ends at once (content-less children) may
    /// ask for the next pass from inside this one; that pass then runs after
    /// the current call returns instead of nesting, so the stack never grows
    /// with the number of such passes.
    void beginPass();
    /// True while beginPass runs playContent.
    bool inPass() const { return inPass_; }
    void setState(State next);
    std::int32_t now() const;
    /// Starts a start or loop delay of `delayMs` from now: Waiting until then,
    /// to the frame.
    void startDelay(std::int32_t delayMs);
    /// The volume law: effective volume times the fade-in and fade-out factors.
    float currentVolume(std::int32_t nowMs) const;
    /// Hands the volume law of the current run to the engine, from now on, as
    /// straight-line changes between the moments where it bends (fades begin
    /// and end on their frames); what was handed over before from now on is
    /// withdrawn. Called whenever a run's start, plan or volume changes.
    void scheduleVolume();
    /// Draws one loop delay.
    std::int32_t drawLoopDelay();
    /// The length of `remaining` more passes (or loops), going by `plannedSum`
    /// over `planned` of them, wrapping like every plan sum.
    static std::int32_t extrapolate(std::int32_t plannedSum, std::int64_t planned, std::int64_t remaining);
    /// An endless run queues one plan per pass; only the front and the newest
    /// entry are ever read, so the ones between are dropped.
    void trimEndlessPlans();

private:
    /// Queues the run's loop delays ahead while the budget lasts; returns
    /// their sum, the loops not drawn yet counted at the mean delay.
    std::int32_t planLoopDelays(PlanBudget& budget);
    /// After a loop delay of `delayMs`, or at once when it is 0, the next pass.
    void scheduleNextPass(std::int32_t delayMs);
    /// Leaves activeElements, in constant time.
    void unlist();

    Playable* parentElement_ = nullptr;
    Scene* scene_ = nullptr;
    /// This element's entry in activeElements while `listed_`.
    std::list<Playable*>::iterator activeEntry_{};
    bool listed_ = false;
    mutable bool contentKnown_ = false;
    mutable bool hasContent_ = false;
    bool inPass_ = false;
    bool passPending_ = false;
};

}  // namespace gloam
