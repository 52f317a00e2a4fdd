// Where an element sits in the loaded adventure, as the timeline names it.
#pragma once

#include <cstdint>
#include <string>
#include <unordered_map>

namespace gloam {
class Adventure;
class Playable;
class SettingContainer;
}  // namespace gloam

namespace gloam::render {

/// The path of each element of the loaded adventure: the scene's index, then
/// the child indices down to the element, joined by '/' ("0/2/1"). Paths
/// never change while an adventure stays loaded, so they are worked out once
/// per adventure, in one walk: a scene with thousands of elements costs no
/// more per lookup. Main thread only; keeps a reference to `adventure`.
class ElementPaths {
public:
    explicit ElementPaths(const Adventure& adventure) : adventure_(adventure) {}

    /// The element's path, or "?" for one that is not part of the adventure.
    const std::string& pathOf(const Playable& element) const;

private:
    mutable std::unordered_map<const SettingContainer*, std::string> paths_;
    mutable std::uint64_t pathsRevision_ = ~std::uint64_t{0};
    const Adventure& adventure_;
};

}  // namespace gloam::render
