// Turns XML element names into element kinds.
#pragma once

#include <memory>
#include <vector>

namespace tinyxml2 {
class XMLElement;
}

namespace gloam {

class Playable;
class SettingContainer;

/// Builds the element (and its whole subtree) named by `element`, under
/// `parent`; null for names that are not elements ("filter" among them).
std::unique_ptr<Playable> createElement(tinyxml2::XMLElement& element, SettingContainer& parent);

/// The element names createElement builds, in the order it compares them.
std::vector<const char*> elementNames();

}  // namespace gloam
