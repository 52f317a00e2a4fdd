// Building a scene, its keys, and selecting and deselecting it.
#include "model/Scene.h"

#include "audio/ChannelGroup.h"
#include "audio/Dsp.h"
#include "model/Diagnostics.h"
#include "model/Runtime.h"
#include "playback/Playable.h"

#include <tinyxml2.h>

namespace gloam {

namespace {

unsigned char keyCode(char key) { return static_cast<unsigned char>(key); }

/// A scene that comes back while fading out, and has no fadeIn, turns back
/// up this quickly: fast, but without a click.
constexpr std::int32_t returnGlideMs = 50;

}  // namespace

Scene::Scene(Runtime& runtimeValues, tinyxml2::XMLElement& element)
    : SettingContainer(runtimeValues, nullptr, element) {
    auto& sceneHotkeys = runtime.sceneHotkeys;
    if (settings.key != 0 && sceneHotkeys[keyCode(settings.key)] == nullptr) {
        sceneHotkeys[keyCode(settings.key)] = this;
    }
    effectiveMode = settings.mode != 0 ? settings.mode : runtime.defaultMode;
    createChannelGroup();
    try {
        buildChildren(element);
    } catch (...) {
        // The destructor will not run for a scene that failed to build.
        for (auto& entry : sceneHotkeys) {
            if (entry == this) entry = nullptr;
        }
        children.clear();
        throw;
    }
    assignAutomaticKeys();
    if (runtime.diagnostics != nullptr) runtime.diagnostics->nodeBuilt(element, *this);
}

Scene::~Scene() {
    releaseSceneKeys();
    // Torn down here rather than in the base so that the elements, which
    // leave this scene's hotkey table as they go, still find the scene whole.
    filters.clear();
    channelGroup.reset();
    children.clear();
}

void Scene::assignAutomaticKeys() {
    int candidate = '0';
    for (auto& child : children) {
        if (child->settings.key != 0) continue;
        while (candidate <= 'z' && elementHotkeys[static_cast<std::size_t>(candidate)] != nullptr) {
            ++candidate;
            if (candidate == '9' + 1) candidate = 'A';
            if (candidate == 'Z' + 1) candidate = 'a';
        }
        if (candidate > 'z') return;
        child->claimHotkey(static_cast<unsigned char>(candidate));
    }
}

void Scene::updateMode() {
    effectiveMode = settings.mode != 0 ? settings.mode : runtime.defaultMode;
    for (auto& child : children) child->updateMode();
}

bool Scene::claimHotkey(unsigned char key) {
    auto& sceneHotkeys = runtime.sceneHotkeys;
    if (sceneHotkeys[key] == nullptr) {
        // Only our own entry is given up; another scene may hold our old key.
        if (sceneHotkeys[keyCode(settings.key)] == this) sceneHotkeys[keyCode(settings.key)] = nullptr;
        sceneHotkeys[key] = this;
        settings.key = static_cast<char>(key);
    }
    return keyCode(settings.key) == key;
}

tinyxml2::XMLElement* Scene::writeXml(tinyxml2::XMLNode& node) {
    tinyxml2::XMLElement* element = node.GetDocument()->NewElement("scene");
    node.InsertEndChild(element);
    return element;
}

void Scene::releaseSceneKeys() {
    for (auto& entry : runtime.sceneHotkeys) {
        if (entry == this) entry = nullptr;
    }
}

void Scene::rampGroup(float volume, std::int32_t ms, const Moment& at) {
    channelGroup->cancelVolumeRamps(at.frame);
    channelGroup->rampVolume(volume, at.frame, at.frame + runtime.timebase().framesIn(ms));
}

void Scene::select(const Moment& at) {
    if (leavingUntil_.hasValue()) {
        // Back before it faded away: nothing is cut, it turns back up.
        leavingUntil_.reset();
        restartAfterLeaving_ = false;
        if (channelGroup) rampGroup(settings.volume, settings.fadeIn > 0 ? settings.fadeIn : returnGlideMs, at);
        for (auto& child : children) {
            if (child->settings.autoStart && !child->isRunning()) child->startFromTop(at);
        }
        return;
    }
    if (channelGroup) {
        for (auto& filter : filters) channelGroup->addDsp(*filter);
        if (settings.fadeIn > 0) {
            // From silence, whatever the group's level was.
            channelGroup->cancelVolumeRamps(at.frame);
            channelGroup->rampVolume(0.0f, at.frame, at.frame);
            channelGroup->rampVolume(settings.volume, at.frame, at.frame + runtime.timebase().framesIn(settings.fadeIn));
        } else {
            channelGroup->setVolume(settings.volume);
        }
    }
    for (auto& child : children) {
        if (child->settings.autoStart) child->startFromTop(at);
    }
}

void Scene::deselect(const Moment& at) {
    if (settings.fadeOut > 0 && channelGroup) {
        // Already on its way out: the fade under way goes on.
        if (leavingUntil_.hasValue()) return;
        leavingUntil_ = DueTime(runtime.after(at, settings.fadeOut));
        rampGroup(0.0f, settings.fadeOut, at);
        return;
    }
    leavingUntil_.reset();
    stopElements(at);
}

void Scene::stopElements(const Moment& at) {
    for (auto& filter : filters) filter->remove();
    for (auto& child : children) child->stop(at);
}

void Scene::restart(const Moment& at) {
    if (leavingUntil_.hasValue()) {
        select(at);
        return;
    }
    deselect(at);
    if (leavingUntil_.hasValue()) {
        restartAfterLeaving_ = true;
    } else {
        select(at);
    }
}

void Scene::finishLeaving(const Moment& now) {
    if (!leavingUntil_.dueBy(now.frame)) return;
    // The group is silent from the fade's end on; its elements stop at the
    // moment at hand, so that nothing acts earlier than what was already done.
    leavingUntil_.reset();
    stopElements(now);
    if (restartAfterLeaving_) {
        restartAfterLeaving_ = false;
        select(now);
    }
}

}  // namespace gloam
