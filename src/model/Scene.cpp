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
    for (auto& entry : runtime.sceneHotkeys) {
        if (entry == this) entry = nullptr;
    }
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

void Scene::select(const Moment& at) {
    if (channelGroup) {
        for (auto& filter : filters) channelGroup->addDsp(*filter);
        channelGroup->setVolume(settings.volume);
    }
    for (auto& child : children) {
        if (child->settings.autoStart) child->startFromTop(at);
    }
}

void Scene::deselect(const Moment& at) {
    for (auto& filter : filters) filter->remove();
    for (auto& child : children) child->stop(at);
}

}  // namespace gloam
