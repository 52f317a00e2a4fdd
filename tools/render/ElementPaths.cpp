// Element paths, worked out once per loaded adventure.
#include "ElementPaths.h"

#include "app/Adventure.h"
#include "model/Scene.h"
#include "playback/Playable.h"

#include <utility>
#include <vector>

namespace gloam::render {

const std::string& ElementPaths::pathOf(const Playable& element) const {
    static const std::string unknown = "?";
    // Worked out for the whole adventure at once whenever another adventure
    // has been loaded.
    if (pathsRevision_ != adventure_.revision()) {
        paths_.clear();
        pathsRevision_ = adventure_.revision();
        std::vector<std::pair<const SettingContainer*, std::string>> pending;
        for (std::size_t scene = 0; scene < adventure_.scenes.size(); ++scene) {
            pending.emplace_back(adventure_.scenes[scene].get(), std::to_string(scene));
        }
        while (!pending.empty()) {
            auto [node, path] = std::move(pending.back());
            pending.pop_back();
            for (std::size_t index = 0; index < node->children.size(); ++index) {
                std::string childPath = path + '/' + std::to_string(index);
                paths_.emplace(node->children[index].get(), childPath);
                pending.emplace_back(node->children[index].get(), std::move(childPath));
            }
        }
    }
    const auto known = paths_.find(&element);
    return known != paths_.end() ? known->second : unknown;
}

}  // namespace gloam::render
