// Loading, clearing and ticking the adventure.
#include "app/Adventure.h"

#include "app/AdventureFile.h"
#include "model/Diagnostics.h"
#include "model/Runtime.h"
#include "model/Scene.h"
#include "playback/Playable.h"

#include <tinyxml2.h>

#include <cstring>
#include <exception>
#include <new>
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
    load(document, presentMoment());
}

void Adventure::load(tinyxml2::XMLDocument& document, const Moment& at) {
    // A current scene with a fade-out is left as when another is selected;
    // scenes fading out go on doing so, apart from the new adventure. Any
    // other scene goes at once, as it always did.
    if (Scene* scene = current(); scene != nullptr && scene->settings.fadeOut > 0) scene->deselect(at);
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
        scenes.front()->select(at);
        if (at.frame > actedUpTo_.frame) actedUpTo_ = at;
    }
}

void Adventure::clear() {
    for (auto& scene : scenes) scene.reset();
    scenes.clear();
    leaving_.clear();
    ++revision_;
    runtime_.soundCache.releaseAll();
}

void Adventure::finishLeavingScenes(const Moment& present) {
    for (auto& scene : scenes) scene->finishLeaving(present);
    if (leaving_.empty()) return;
    for (auto& scene : leaving_) scene->finishLeaving(present);
    std::erase_if(leaving_, [](const std::unique_ptr<Scene>& scene) { return !scene->isLeaving(); });
    if (leaving_.empty()) runtime_.soundCache.releaseRetired();
}

Moment Adventure::presentMoment() const {
    const Moment clock = runtime_.clockMoment();
    return clock.frame > actedUpTo_.frame ? clock : actedUpTo_;
}

void Adventure::tick(const Moment& until) {
    const Moment present = presentMoment();
    finishLeavingScenes(present);
    // The next entry is taken before each look: an element may leave the
    // list, and elements joining at the end are reached in this walk.
    auto& active = runtime_.activeElements;
    for (auto entry = active.begin(); entry != active.end();) {
        auto next = std::next(entry);
        (*entry)->lookAtEngine(present);
        entry = next;
    }
    behind_ = !runDue(until, present);
    findNextDue();
}

void Adventure::actedAt(const Moment& at) {
    if (at.frame > actedUpTo_.frame) actedUpTo_ = at;
    if (!runDue(at, presentMoment())) behind_ = true;
    findNextDue();
}

bool Adventure::runDue(const Moment& until, const Moment& present) {
    auto& active = runtime_.activeElements;
    // What falls due by `until` is handled moment by moment in the order it
    // falls due, each at exactly its frame; the engine is given every change
    // with its frame. Moments never run backwards: one due before the
    // present (planned in the past by what was handled, or missed while the
    // loop was held up) is taken at the present.
    Moment moment = present;
    // Bounded, so that an element that keeps falling due on the same frame
    // without moving on cannot hold the loop; the rest waits for the next pass.
    constexpr int kMaxTicksPerMoment = 1000;
    int ticksAtMoment = 0;
    // However many moments fall due before `until` (a thousand endless loops
    // of a one-sample sound bring one per frame), a pass does a bounded
    // amount of work, so keys are read and the screen drawn between passes.
    int ticks = 0;
    for (;;) {
        std::optional<std::int64_t> earliest;
        for (const Playable* element : active) {
            const std::optional<std::int64_t> due = element->dueFrame();
            if (due && (!earliest || *due < *earliest)) earliest = due;
        }
        if (!earliest || *earliest > until.frame) return true;
        if (*earliest > moment.frame) {
            if (ticks >= maxTicksPerPass) return false;
            moment = runtime_.momentAt(*earliest);
            ticksAtMoment = 0;
        } else if (++ticksAtMoment > kMaxTicksPerMoment) {
            return true;
        }
        if (moment.frame > actedUpTo_.frame) actedUpTo_ = moment;
        ticks += tickDue(moment);
    }
}

int Adventure::tickDue(const Moment& at) {
    int ticked = 0;
    auto& active = runtime_.activeElements;
    for (auto entry = active.begin(); entry != active.end();) {
        auto next = std::next(entry);
        const std::optional<std::int64_t> due = (*entry)->dueFrame();
        if (due && *due <= at.frame) {
            ++ticked;
            try {
                (*entry)->tick(at);
            } catch (const std::bad_alloc&) {
                // Memory ran out in what this element did: it falls silent,
                // and the rest of the adventure plays on.
                (*entry)->stop(at);
            }
        }
        entry = next;
    }
    return ticked;
}

void Adventure::findNextDue() {
    // Filters are detached when the output reaches the moment their element
    // went Idle at: the clock decides, not the plan.
    const std::optional<std::int64_t> detach = Playable::detachFiltersDue(runtime_, runtime_.clockMoment().frame);
    nextDetach.reset();
    if (detach) nextDetach = runtime_.momentAt(*detach).ms;
    nextDue.reset();
    std::optional<std::int64_t> earliest;
    for (const Playable* element : runtime_.activeElements) {
        const std::optional<std::int64_t> due = element->dueFrame();
        if (due && (!earliest || *due < *earliest)) earliest = due;
    }
    if (earliest) nextDue = runtime_.momentAt(*earliest).ms;
}

}  // namespace gloam
