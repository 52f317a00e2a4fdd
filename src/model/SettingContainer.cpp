// Reading a node's settings and building its children.
#include "model/SettingContainer.h"

#include "audio/ChannelGroup.h"
#include "audio/Dsp.h"
#include "audio/System.h"
#include "model/Diagnostics.h"
#include "model/Filters.h"
#include "model/Runtime.h"
#include "model/XmlValues.h"
#include "playback/ElementFactory.h"
#include "playback/Playable.h"

#include <tinyxml2.h>

#include <algorithm>
#include <cstring>
#include <limits>

namespace gloam {

namespace {

void readInt(const tinyxml2::XMLElement& element, const char* attribute, std::int32_t& field,
             Diagnostics* diagnostics) {
    if (auto value = parseInt(element.Attribute(attribute))) field = *value;
    if (diagnostics != nullptr) diagnostics->settingRead(element, attribute, ValueKind::WholeNumber, field);
}

void readFloat(const tinyxml2::XMLElement& element, const char* attribute, float& field, Diagnostics* diagnostics) {
    if (auto value = parseNumber(element.Attribute(attribute))) {
        constexpr double largest = std::numeric_limits<float>::max();
        field = static_cast<float>(std::clamp(*value, -largest, largest));
    }
    if (diagnostics != nullptr) diagnostics->settingRead(element, attribute, ValueKind::Number, field);
}

std::int32_t modeFromWord(const char* word) {
    if (std::strcmp(word, "preload") == 0) return preloadMode;
    if (std::strcmp(word, "compressed") == 0) return compressedMode;
    if (std::strcmp(word, "stream") == 0) return streamMode;
    if (std::strcmp(word, "ownStream") == 0) return ownStreamMode;
    return 0;
}

}  // namespace

const char* stateName(State state) {
    switch (state) {
        case State::Idle: return "Idle";
        case State::Closing: return "Closing";
        case State::Playing: return "Playing";
        case State::Waiting: return "Waiting";
        case State::Finished: return "Finished";
    }
    return "?";
}

SettingContainer::SettingContainer(Runtime& runtimeValues, SettingContainer* parentNode,
                                   const tinyxml2::XMLElement& element)
    : runtime(runtimeValues), parent(parentNode) {
    if (const char* value = element.Attribute("name")) name = value;
    if (runtime.diagnostics != nullptr) runtime.diagnostics->settingRead(element, "name", ValueKind::Text, 0);
    readSettings(element);
}

SettingContainer::~SettingContainer() {
    // Effects and group go before the children, which then fall silent on
    // their own groups until they are destroyed too.
    filters.clear();
    channelGroup.reset();
    children.clear();
}

void SettingContainer::childDelayed(Playable&, std::int32_t, const Moment&) {}

void SettingContainer::childDrifted(Playable&, std::int64_t, const Moment&) {}

void SettingContainer::childFinished(Playable*, const Moment&) {}

void SettingContainer::setMode(std::int32_t mode) {
    settings.mode = mode;
    updateMode();
}

void SettingContainer::readSettings(const tinyxml2::XMLElement& element) {
    Diagnostics* const diagnostics = runtime.diagnostics;
    std::int32_t autoStart = 0;
    readInt(element, "autoStart", autoStart, diagnostics);
    settings.autoStart = autoStart != 0;

    readInt(element, "startDelay", settings.startDelay, diagnostics);
    readInt(element, "startDelayVariance", settings.startDelayVariance, diagnostics);
    readInt(element, "closeDelay", settings.closeDelay, diagnostics);
    readInt(element, "fadeIn", settings.fadeIn, diagnostics);
    readInt(element, "fadeOut", settings.fadeOut, diagnostics);
    readInt(element, "crossFade", settings.crossFade, diagnostics);
    readInt(element, "loopCount", settings.loopCount, diagnostics);
    readInt(element, "loopDelay", settings.loopDelay, diagnostics);
    readInt(element, "loopDelayVariance", settings.loopDelayVariance, diagnostics);

    readFloat(element, "volume", settings.volume, diagnostics);
    readFloat(element, "volumeVariance", settings.volumeVariance, diagnostics);
    readFloat(element, "positionX", settings.positionX, diagnostics);
    readFloat(element, "positionY", settings.positionY, diagnostics);
    readFloat(element, "positionXvariance", settings.positionXvariance, diagnostics);
    readFloat(element, "positionYvariance", settings.positionYvariance, diagnostics);
    // Without a readable spread an element takes its enclosing element's.
    readFloat(element, "spread", settings.spread, diagnostics);
    if (parseNumber(element.Attribute("spread"))) settings.spread = std::clamp(settings.spread, 0.0f, 360.0f);
    readFloat(element, "spreadVariance", settings.spreadVariance, diagnostics);

    for (const tinyxml2::XMLAttribute* attribute = element.FirstAttribute(); attribute != nullptr;
         attribute = attribute->Next()) {
        if (std::strcmp(attribute->Name(), "mode") == 0) {
            settings.mode = modeFromWord(attribute->Value());
        } else if (std::strcmp(attribute->Name(), "key") == 0) {
            settings.key = attribute->Value()[0];
        }
    }
    if (diagnostics != nullptr) {
        diagnostics->settingRead(element, "mode", ValueKind::Word, settings.mode);
        diagnostics->settingRead(element, "key", ValueKind::Key, static_cast<unsigned char>(settings.key));
    }

    readFilters(runtime.audio, element, filters, diagnostics);
}

void SettingContainer::createChannelGroup() {
    channelGroup = runtime.audio.createChannelGroup();
    if (parent != nullptr && parent->channelGroup && channelGroup) {
        parent->channelGroup->addGroup(*channelGroup);
    }
}

void SettingContainer::buildChildren(tinyxml2::XMLElement& element) {
    // The next sibling is fetched only after the current one is built, so the
    // copies a wildcard sound inserts after itself are built too.
    for (tinyxml2::XMLElement* child = element.FirstChildElement(); child != nullptr;
         child = child->NextSiblingElement()) {
        if (auto built = createElement(*child, *this)) children.push_back(std::move(built));
    }
}

}  // namespace gloam
