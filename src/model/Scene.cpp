// Building a scene, its keys, and selecting and deselecting it.
#include "model/Scene.h"

#include "audio/ChannelGroup.h"
#include "audio/Dsp.h"
#include "model/Diagnostics.h"
#include "model/Runtime.h"
#include "playback/Int32.h"
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

void Scene::rampGroup(float volume, std::int32_t ms) {
    const std::int64_t from = runtime.nowFrame();
    channelGroup->cancelVolumeRamps(from);
    channelGroup->rampVolume(volume, from, from + runtime.timebase().framesIn(ms));
}

void Scene::select() {
    if (leavingUntil_) {
        // Back before it faded away: nothing is cut, it turns back up.
        leavingUntil_.reset();
        restartAfterLeaving_ = false;
        if (channelGroup) rampGroup(settings.volume, settings.fadeIn > 0 ? settings.fadeIn : returnGlideMs);
        for (auto& child : children) {
            if (child->settings.autoStart && !child->isRunning()) child->startFromTop();
        }
        return;
    }
    if (channelGroup) {
        for (auto& filter : filters) channelGroup->addDsp(*filter);
        if (settings.fadeIn > 0) {
            // From silence, whatever the group's level was.
            const std::int64_t from = runtime.nowFrame();
            channelGroup->cancelVolumeRamps(from);
            channelGroup->rampVolume(0.0f, from, from);
            channelGroup->rampVolume(settings.volume, from, from + runtime.timebase().framesIn(settings.fadeIn));
        } else {
            channelGroup->setVolume(settings.volume);
        }
    }
    for (auto& child : children) {
        if (child->settings.autoStart) child->startFromTop();
    }
}

void Scene::deselect() {
    if (settings.fadeOut > 0 && channelGroup) {
        // Already on its way out: the fade under way goes on.
        if (leavingUntil_) return;
        leavingUntil_ = wrapAdd(runtime.now(), settings.fadeOut);
        rampGroup(0.0f, settings.fadeOut);
        return;
    }
    leavingUntil_.reset();
    stopElements();
}

void Scene::stopElements() {
    for (auto& filter : filters) filter->remove();
    for (auto& child : children) child->stop();
}

void Scene::restart() {
    if (leavingUntil_) {
        select();
        return;
    }
    deselect();
    if (leavingUntil_) {
        restartAfterLeaving_ = true;
    } else {
        select();
    }
}

void Scene::finishLeaving() {
    if (!leavingUntil_ || wrapSub(runtime.now(), *leavingUntil_) < 0) return;
    leavingUntil_.reset();
    stopElements();
    if (restartAfterLeaving_) {
        restartAfterLeaving_ = false;
        select();
    }
}

}  // namespace gloam
