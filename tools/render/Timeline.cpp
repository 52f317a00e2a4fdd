// Timeline lines and element paths.
#include "Timeline.h"

#include "OutputFile.h"
#include "TextEscape.h"

#include "app/Adventure.h"
#include "model/Scene.h"
#include "playback/Playable.h"

#include <vector>

namespace gloam::render {


std::string Timeline::pathOf(const Playable& element) const {
    // Paths are worked out for the whole adventure at once, in one walk,
    // whenever another adventure has been loaded.
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
    return known != paths_.end() ? known->second : "?";
}

void Timeline::stateChanged(const Playable& element, State state, const Moment& at) {
    out_.write(std::to_string(at.ms) + "\tstate\t" + pathOf(element) + '\t' + escapeControls(element.name) +
               '\t' + stateName(state) + '\n');
}

void Timeline::keyRead(int code, const Moment& at) {
    out_.write(std::to_string(at.ms) + "\tkey\t" + std::to_string(code) + '\n');
}

}  // namespace gloam::render
