// The one place that knows the element names of the adventure format.
#include "playback/ElementFactory.h"

#include "model/Diagnostics.h"
#include "model/Runtime.h"
#include "playback/Event.h"
#include "playback/Sample.h"
#include "playback/Source.h"
#include "playback/Track.h"

#include <tinyxml2.h>

#include <array>
#include <cstring>

namespace gloam {

namespace {

template <typename Kind>
std::unique_ptr<Playable> build(tinyxml2::XMLElement& element, SettingContainer& parent) {
    return std::make_unique<Kind>(parent.runtime, parent, element);
}

struct ElementKind {
    const char* name;
    std::unique_ptr<Playable> (*build)(tinyxml2::XMLElement&, SettingContainer&);
};

// Compared exactly and in this order.
constexpr std::array kinds{
    ElementKind{"par", &build<Event>},
    ElementKind{"seq", &build<Track>},
    ElementKind{"alt", &build<Sample>},
    ElementKind{"sound", &build<Source>},
};

}  // namespace

std::unique_ptr<Playable> createElement(tinyxml2::XMLElement& element, SettingContainer& parent) {
    Diagnostics* const diagnostics = parent.runtime.diagnostics;
    for (const ElementKind& kind : kinds) {
        if (std::strcmp(element.Name(), kind.name) != 0) continue;
        std::unique_ptr<Playable> built = kind.build(element, parent);
        if (diagnostics != nullptr) diagnostics->nodeBuilt(element, *built);
        return built;
    }
    if (diagnostics != nullptr) diagnostics->elementIgnored(element);
    return nullptr;
}

std::vector<const char*> elementNames() {
    std::vector<const char*> names;
    for (const ElementKind& kind : kinds) names.push_back(kind.name);
    return names;
}

}  // namespace gloam
