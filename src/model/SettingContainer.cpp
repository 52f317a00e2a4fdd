// Reading a node's settings and building its children.
#include "model/SettingContainer.h"

#include "audio/ChannelGroup.h"
#include "audio/Dsp.h"
#include "audio/System.h"
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

void readInt(const tinyxml2::XMLElement& element, const char* attribute, std::int32_t& field) {
    if (auto value = parseInt(element.Attribute(attribute))) field = *value;
}

void readFloat(const tinyxml2::XMLElement& element, const char* attribute, float& field) {
    if (auto value = parseNumber(element.Attribute(attribute))) {
        constexpr double largest = std::numeric_limits<float>::max();
        field = static_cast<float>(std::clamp(*value, -largest, largest));
    }
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
    readSettings(element);
}

SettingContainer::~SettingContainer() {
    // Effects and group go before the children, which then fall silent on
    // their own groups until they are destroyed too.
    filters.clear();
    channelGroup.reset();
    children.clear();
}

void SettingContainer::childDelayed(Playable&, std::int32_t) {}

void SettingContainer::childFinished(Playable*) {}

void SettingContainer::setMode(std::int32_t mode) {
    settings.mode = mode;
    updateMode();
}

void SettingContainer::readSettings(const tinyxml2::XMLElement& element) {
    std::int32_t autoStart = 0;
    readInt(element, "autoStart", autoStart);
    settings.autoStart = autoStart != 0;

    readInt(element, "startDelay", settings.startDelay);
    readInt(element, "startDelayVariance", settings.startDelayVariance);
    readInt(element, "closeDelay", settings.closeDelay);
    readInt(element, "fadeIn", settings.fadeIn);
    readInt(element, "fadeOut", settings.fadeOut);
    readInt(element, "crossFade", settings.crossFade);
    readInt(element, "loopCount", settings.loopCount);
    readInt(element, "loopDelay", settings.loopDelay);
    readInt(element, "loopDelayVariance", settings.loopDelayVariance);

    readFloat(element, "volume", settings.volume);
    readFloat(element, "volumeVariance", settings.volumeVariance);
    readFloat(element, "positionX", settings.positionX);
    readFloat(element, "positionY", settings.positionY);
    readFloat(element, "positionXvariance", settings.positionXvariance);
    readFloat(element, "positionYvariance", settings.positionYvariance);

    for (const tinyxml2::XMLAttribute* attribute = element.FirstAttribute(); attribute != nullptr;
         attribute = attribute->Next()) {
        if (std::strcmp(attribute->Name(), "mode") == 0) {
            settings.mode = modeFromWord(attribute->Value());
        } else if (std::strcmp(attribute->Name(), "key") == 0) {
            settings.key = attribute->Value()[0];
        }
    }

    readFilters(runtime.audio, element, filters);
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
