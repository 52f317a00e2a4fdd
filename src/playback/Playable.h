// The life cycle shared by every element: plan, wait, play, loop, fade, stop, close.
#pragma once

#include "model/Moment.h"
#include "model/SettingContainer.h"
#include "playback/PlanBudget.h"
#include "playback/PlanQueue.h"

#include <cstdint>
#include <list>
#include <optional>

namespace gloam {

class Scene;

/// An element of a scene's tree. Kinds supply their content through
/// planContent and playContent and learn of their children's ends through
/// childFinished. Every operation that acts does so at the Moment it is
/// given (milliseconds for plans, the exact output frame for the engine);
/// plans count whole milliseconds from the run's start, compared across the
/// clock's wrap. Only the life cycle writes life-cycle state; everyone else
/// reads it through the const queries. Main thread only.
class Playable : public SettingContainer {
public:
    /// Builds settings, channel group (under the parent's), hotkey and the
    /// whole subtree below.
    Playable(Runtime& runtime, SettingContainer& parent, tinyxml2::XMLElement& element);
    /// Leaves activeElements and the hotkey table; does not stop the element.
    ~Playable() override;

    void childDelayed(Playable& child, std::int32_t ms, const Moment& at) override;
    void childDrifted(Playable& child, std::int64_t milliFrames, const Moment& at) override;
    void updateMode() override;
    bool claimHotkey(unsigned char key) override;

    /// Any state. Stops the children, then, unless Idle, this element:
    /// Closing until closeDelay after `at`, its group silent from `at.frame`
    /// (volume changes planned from then on withdrawn), plans dropped. The
    /// parent is not told. Leaves a fade-out asked for in place.
    virtual void stop(const Moment& at);
    /// Acts on what is due by `at.frame` (see dueFrame): the end of a
    /// closing (deactivate), of a start or loop delay (the pass begins, at
    /// `at`, late by whatever `at` lies after the delay's end), of a fade-out
    /// (stop, and the parent hears the run ended), and what the kinds add.
    /// Called by the adventure for each element due, at the moment it is due,
    /// or later when the loop was held up; never for a moment before one
    /// already handled.
    virtual void tick(const Moment& at);
    /// Once per main-loop pass at the pass's present moment: notices what
    /// only the engine can tell (here nothing; a sound whose voice went away).
    virtual void lookAtEngine(const Moment& at);
    /// The output frame of the next moment this element acts of itself: the
    /// end of a start, loop or close delay, of a fade-out, and what the kinds
    /// add (the end of a sound's pass, a sequence's early start). None when
    /// nothing is planned.
    virtual std::optional<std::int64_t> dueFrame() const;
    /// Adds one run's content length to the back of plannedDurations (or makes
    /// it -1 when the content is endless). Passes beyond what `budget` allows
    /// are not planned ahead; their length is estimated from the others.
    virtual void planContent(PlanBudget& budget) = 0;
    /// Begins one pass of the content at `at`.
    virtual void playContent(const Moment& at) = 0;
    /// Whether there is anything to play; an element without content is never
    /// planned or started. Worked out once and kept: it changes only when a
    /// sound is opened afresh (updateMode).
    bool hasContent() const;

    /// Draws and queues the plan of one run; returns its duration, -1 endless,
    /// 0 without content. The plan shares the adventure's budget. When memory
    /// runs out part way, nothing of it stays queued (here or below), the
    /// diagnostics hear of it, and 0 is returned: the run cannot begin and
    /// the element stays silent; nothing is thrown.
    std::int32_t plan();
    /// The same, as part of a larger plan sharing `budget`.
    std::int32_t plan(PlanBudget& budget);
    /// Any state; does nothing without content, or when no plan can be made
    /// for want of memory. Begins a run at `at` with the
    /// front plan entry (planning one when none is queued): Playing with its
    /// first pass begun at `at` when the start delay is 0, else Waiting until
    /// the delay has passed, counted in frames from `at.frame`. An Idle
    /// element joins activeElements and attaches its filters. Volume and
    /// place are drawn afresh; the group's volume follows the fade law from
    /// the frame the content begins on.
    void start(const Moment& at);
    /// Playing, at the frame a pass ended: the next pass at `at`, a loop
    /// delay (Waiting) counted from `at.frame`, or the end of the run (finish).
    void loopEnded(const Moment& at);
    /// Playing, at the frame the run ended: Finished when another run is
    /// queued, else Closing (group stopped at `at.frame`); then the parent
    /// hears childFinished, then the ended run's plan entries leave the
    /// queues. A parent that starts this element again from childFinished
    /// gets the new run's plan and fades, not the ended run's.
    void finish(const Moment& at);
    /// The current run lasts `ms` longer than planned; tells the parent.
    /// The fade-out moves with the end.
    void extendPlan(std::int32_t ms, const Moment& at);
    /// Any state. The run ends `fadeOut` ms after `at` (the front plan entry
    /// says so, an endless plan keeps its -1 behind it), and the group fades
    /// to silence at exactly that frame; at that frame the element stops and,
    /// when it was Playing or Waiting, its parent hears childFinished. On an
    /// element outside activeElements the end waits for its next start.
    void startFadeOut(const Moment& at);
    /// Closing, at the end of its close delay: Idle, out of activeElements,
    /// any fade-out forgotten; the filters are detached once the output has
    /// reached `at` (their effects ring until then).
    void deactivate(const Moment& at);
    /// Any state. Stops the top-level element around this one at `at`,
    /// forgets every fade-out asked for below it (a new run never inherits
    /// one), then plans and starts this one at `at`.
    void startFromTop(const Moment& at);
    void releaseHotkeys();

    /// Detaches the filters of elements that went Idle ahead of the clock,
    /// once output frame `clockFrame` has reached their moment; returns the
    /// first frame one still waits for.
    static std::optional<std::int64_t> detachFiltersDue(Runtime& runtime, std::int64_t clockFrame);

    // --- read-only views ---------------------------------------------------
    State state() const { return state_; }
    /// The scene at the root of the tree.
    Scene* rootScene() const { return scene_; }
    /// The enclosing element; null for a top-level element.
    Playable* parentElement() const { return parentElement_; }
    bool isRunning() const { return state_ == State::Playing || state_ == State::Waiting; }
    /// Whether a fade-out asked for is under way (or waits for a start).
    bool fadingOut() const { return fadeOutEnd_.hasValue(); }
    /// The end of the fade-out asked for, if any.
    const DueTime& fadeOutEnd() const { return fadeOutEnd_; }
    /// The end of the start, loop or close delay under way, if any.
    const DueTime& timerEnd() const { return timer_; }
    /// When the current run's content began or is planned to begin.
    const Moment& runStart() const { return start_; }
    /// The output frame the current run is planned to end on: its start plus
    /// the front plan entry, plus what the passes lasted beyond their whole
    /// milliseconds. None when the run is endless or nothing is planned.
    std::optional<std::int64_t> plannedEndFrame() const;
    std::int32_t loopsDone() const { return loopsDone_; }
    const PlanQueue& plannedLoopDelays() const { return plannedLoopDelays_; }
    const PlanQueue& plannedStartDelays() const { return plannedStartDelays_; }
    /// -1: endless.
    const PlanQueue& plannedDurations() const { return plannedDurations_; }
    float effectiveVolume() const { return effectiveVolume_; }
    float effectivePositionX() const { return effectivePositionX_; }
    float effectivePositionY() const { return effectivePositionY_; }
    /// Degrees over which a sound's channels are spread (0..360): its own
    /// `spread` or the enclosing element's, plus its variance; fixed by start.
    float effectiveSpread() const { return effectiveSpread_; }

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
    void beginPass(const Moment& at);
    /// True while beginPass runs playContent.
    bool inPass() const { return inPass_; }
    void setState(State next, const Moment& at);
    /// Starts a start or loop delay of `delayMs` counted in frames from
    /// `at.frame`: Waiting until then.
    void startDelay(std::int32_t delayMs, const Moment& at);
    /// The current run ends `milliFrames` / 1000 frames later than its plan
    /// in whole milliseconds says; the parent is told too.
    void addDrift(std::int64_t milliFrames, const Moment& at);
    /// The drift of `frames` of output against `ms` planned for them.
    std::int64_t driftOf(std::int64_t frames, std::int32_t ms) const;
    /// Thousandths of a frame by which a whole run of this element ends later
    /// than its plan in whole milliseconds says, as far as the kind knows
    /// when the run begins (a sound knows its passes to the frame). Here 0.
    virtual std::int64_t knownRunDrift() const { return 0; }
    /// Empties the plan queues here and in every element below.
    virtual void dropPlans();
    /// Draws one loop delay.
    std::int32_t drawLoopDelay();
    /// The length of `remaining` more passes (or loops), going by `plannedSum`
    /// over `planned` of them, wrapping like every plan sum.
    static std::int32_t extrapolate(std::int32_t plannedSum, std::int64_t planned, std::int64_t remaining);
    /// An endless run queues one plan per pass; only the front and the newest
    /// entry are ever read, so the ones between are dropped.
    void trimEndlessPlans();

    PlanQueue plannedLoopDelays_;
    PlanQueue plannedStartDelays_;
    PlanQueue plannedDurations_;

private:
    /// The volume law at output frame `frame`: effective volume times the
    /// fade-in and fade-out factors, counted in frames from the frame the
    /// run's content begins on.
    float volumeAt(std::int64_t frame) const;
    /// Hands the volume law of the current run to the engine from `at` on, as
    /// straight-line changes between the frames where it bends; what was
    /// handed over before for later frames is withdrawn. Before the content
    /// begins the group holds `held`, else what it has.
    void scheduleVolume(const Moment& at, std::optional<float> held = std::nullopt);
    /// Queues the run's loop delays ahead while the budget lasts; returns
    /// their sum, the loops not drawn yet counted at the mean delay.
    std::int32_t planLoopDelays(PlanBudget& budget);
    /// After a loop delay of `delayMs` from `at`, or at once when it is 0, the
    /// next pass.
    void scheduleNextPass(std::int32_t delayMs, const Moment& at);
    /// Leaves activeElements, in constant time.
    void unlist();
    /// Detaches the filters now and forgets a detach waiting for the clock.
    void detachFilters();
    /// Forgets the fade-out here and in every element below.
    void forgetFadeOuts();

    State state_ = State::Idle;
    std::int32_t loopsDone_ = 0;
    Moment start_;
    /// End of the start, loop or close delay under way.
    DueTime timer_;
    /// End of a fade-out asked for; the element stops there.
    DueTime fadeOutEnd_;
    /// Thousandths of a frame by which the current run ends later than its
    /// plan in whole milliseconds says.
    std::int64_t driftMilliFrames_ = 0;
    /// Counts the runs begun, so finish can tell whether its parent began a
    /// new one meanwhile.
    std::uint64_t runsBegun_ = 0;
    float effectiveVolume_ = 0.0f;
    float effectivePositionX_ = 0.0f;
    float effectivePositionY_ = 0.0f;
    float effectiveSpread_ = 0.0f;

    Playable* parentElement_ = nullptr;
    Scene* scene_ = nullptr;
    /// This element's entry in activeElements while `listed_`.
    std::list<Playable*>::iterator activeEntry_{};
    bool listed_ = false;
    bool filtersAttached_ = false;
    /// The frame from which the filters are to be detached, while they wait
    /// in Runtime::filtersToDetach.
    std::optional<std::int64_t> detachAt_;
    mutable bool contentKnown_ = false;
    mutable bool hasContent_ = false;
    bool inPass_ = false;
    bool passPending_ = false;
    /// While start() runs: it hands the volume over once, at its end.
    bool startingRun_ = false;
    Moment pendingPassAt_;
};

}  // namespace gloam
