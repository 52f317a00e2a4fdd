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
    clear();

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
    ++revision_;
    runtime_.soundCache.releaseAll();
}

void Adventure::tick() {
    deadline = 0;
    auto& active = runtime_.activeElements;
    // The next entry is taken before each tick: an element may leave the list
    // during its own tick, and elements joining at the end are reached in
    // this walk unless they join while the last one ticks.
    for (auto entry = active.begin(); entry != active.end();) {
        auto next = std::next(entry);
        (*entry)->tick();
        entry = next;
    }

    // The earliest timer, brought forward by any planned end before it; all
    // compared across the clock's wrap.
    DueTime due;
    for (const Playable* element : active) {
        const DueTime& timer = element->timerEnd;
        if (timer.hasValue() && (!due.hasValue() || wrapSub(timer.value(), due.value()) < 0)) due = timer;
        if (due.hasValue() && !element->plannedDurations.empty() && element->plannedDurations.front() != -1) {
            const std::int32_t end = wrapAdd(element->plannedDurations.front(), element->startTime);
            if (wrapSub(end, due.value()) < 0) due = end;
        }
    }
    // 0 stands for "nothing due"; a time of 0 itself is due a moment later.
    if (due.hasValue()) deadline = due.value() != 0 ? due.value() : 1;
}

}  // namespace gloam
