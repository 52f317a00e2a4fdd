// Loading, clearing and ticking the adventure.
#include "app/Adventure.h"

#include "app/AdventureFile.h"
#include "model/Diagnostics.h"
#include "model/Runtime.h"
#include "model/Scene.h"
#include "playback/Int32.h"
#include "playback/Playable.h"

#include <tinyxml2.h>

#include <cstring>
#include <exception>
#include <algorithm>
#include <iterator>

namespace gloam {

Adventure::Adventure(Runtime& runtime) : runtime_(runtime) {}

Adventure::~Adventure() { clear(); }

void Adventure::load(const std::string& path) {
    tinyxml2::XMLDocument document;
    if (!readAdventureFile(path, document)) {
        if (runtime_.diagnostics != nullptr) runtime_.diagnostics->documentRejected(document);
        return;
    }
    load(document);
}

void Adventure::load(tinyxml2::XMLDocument& document) {
    // A current scene with a fade-out is left as when another is selected;
    // scenes fading out go on doing so, apart from the new adventure. Any
    // other scene goes at once, as it always did.
    if (Scene* scene = current(); scene != nullptr && scene->settings.fadeOut > 0) scene->deselect();
    for (auto& scene : scenes) {
        if (!scene->isLeaving()) continue;
        scene->releaseSceneKeys();
        leaving_.push_back(std::move(scene));
    }
    if (leaving_.empty()) {
        clear();
    } else {
        scenes.clear();
        ++revision_;
        runtime_.soundCache.retireAll();
    }

    tinyxml2::XMLElement* root = document.FirstChildElement();
    if (root == nullptr) return;
    if (const char* mode = root->Attribute("mode")) {
        if (std::strcmp(mode, "preload") == 0) runtime_.defaultMode = preloadMode;
        if (std::strcmp(mode, "compressed") == 0) runtime_.defaultMode = compressedMode;
        if (std::strcmp(mode, "stream") == 0) runtime_.defaultMode = streamMode;
    }
    if (runtime_.diagnostics != nullptr) runtime_.diagnostics->rootRead(*root);

    try {
        for (tinyxml2::XMLElement* scene = root->FirstChildElement("scene"); scene != nullptr;
             scene = scene->NextSiblingElement("scene")) {
            scenes.push_back(std::make_unique<Scene>(runtime_, *scene));
        }
    } catch (const std::exception&) {
        // Building fails only when memory runs out: keep the scenes built so far.
    }

    ++revision_;
    if (!scenes.empty()) {
        currentScene = 0;
        scenes.front()->select();
    }
}

void Adventure::clear() {
    for (auto& scene : scenes) scene.reset();
    scenes.clear();
    leaving_.clear();
    ++revision_;
    runtime_.soundCache.releaseAll();
}

void Adventure::finishLeavingScenes() {
    for (auto& scene : scenes) scene->finishLeaving();
    if (leaving_.empty()) return;
    for (auto& scene : leaving_) scene->finishLeaving();
    std::erase_if(leaving_, [](const std::unique_ptr<Scene>& scene) { return !scene->isLeaving(); });
    if (leaving_.empty()) runtime_.soundCache.releaseRetired();
}

void Adventure::tick(std::int32_t lookaheadMs) {
    finishLeavingScenes();
    auto& active = runtime_.activeElements;
    runtime_.eventFrame.reset();
    // The next entry is taken before each tick: an element may leave the list
    // during its own tick, and elements joining at the end are reached in
    // this walk unless they join while the last one ticks.
    for (auto entry = active.begin(); entry != active.end();) {
        auto next = std::next(entry);
        (*entry)->tick();
        entry = next;
    }

    // What falls due before the horizon is handled now, moment by moment in
    // the order it falls due, as if a pass ran exactly then; the engine is
    // given every change with its frame. Moments never run backwards: one
    // planned in the past by what was handled (a negative start delay) is
    // taken at the current moment.
    const std::int64_t horizon = runtime_.frameAt(wrapAdd(runtime_.now(), lookaheadMs));
    std::int64_t moment = runtime_.nowFrame();
    // Bounded, so that an element that keeps falling due on the same frame
    // without moving on cannot hold the loop; the rest waits for the next pass.
    constexpr int kMaxTicksPerMoment = 1000;
    int ticksAtMoment = 0;
    for (;;) {
        std::optional<std::int64_t> earliest;
        for (const Playable* element : active) {
            const std::optional<std::int64_t> due = element->dueFrame();
            if (due && (!earliest || *due < *earliest)) earliest = due;
        }
        if (!earliest || *earliest >= horizon) break;
        if (*earliest > moment) {
            moment = *earliest;
            ticksAtMoment = 0;
        } else if (++ticksAtMoment > kMaxTicksPerMoment) {
            break;
        }
        runtime_.eventFrame = moment;
        tickDue(moment);
    }
    runtime_.eventFrame.reset();
    findDeadlines();
}

void Adventure::tickDue(std::int64_t frame) {
    auto& active = runtime_.activeElements;
    for (auto entry = active.begin(); entry != active.end();) {
        auto next = std::next(entry);
        const std::optional<std::int64_t> due = (*entry)->dueFrame();
        if (due && *due <= frame) (*entry)->tick();
        entry = next;
    }
}

void Adventure::findDeadlines() {
    deadline = 0;
    nextDue.reset();
    nextClosing.reset();
    const std::int32_t now = runtime_.now();
    auto earlier = [now](std::int32_t a, std::int32_t b) { return wrapSub(a, now) < wrapSub(b, now); };
    // The earliest timer, brought forward by any planned end before it; all
    // compared across the clock's wrap.
    DueTime due;
    for (const Playable* element : runtime_.activeElements) {
        const DueTime& timer = element->timerEnd;
        if (timer.hasValue() && (!due.hasValue() || wrapSub(timer.value(), due.value()) < 0)) due = timer;
        if (due.hasValue() && !element->plannedDurations.empty() && element->plannedDurations.front() != -1) {
            const std::int32_t end = wrapAdd(element->plannedDurations.front(), element->startTime);
            if (wrapSub(end, due.value()) < 0) due = end;
        }

        // What the loop wakes for: planned moments (handled ahead) and the
        // end of closing, which comes on the clock, the millisecond after.
        if (const std::optional<std::int64_t> frame = element->dueFrame()) {
            const auto planned = static_cast<std::int32_t>(static_cast<std::uint32_t>(runtime_.timebase().msAt(*frame)));
            if (!nextDue || earlier(planned, *nextDue)) nextDue = planned;
        }
        if (element->state == State::Closing && timer.hasValue()) {
            const std::int32_t closing = wrapAdd(timer.value(), 1);
            if (!nextClosing || earlier(closing, *nextClosing)) nextClosing = closing;
        }
    }
    // 0 stands for "nothing due"; a time of 0 itself is due a moment later.
    if (due.hasValue()) deadline = due.value() != 0 ? due.value() : 1;
}

}  // namespace gloam
