// Timeline lines and element paths.
#include "Timeline.h"

#include "OutputFile.h"
#include "TextEscape.h"

#include "app/Adventure.h"
#include "model/Scene.h"
#include "platform/Clock.h"
#include "playback/Playable.h"

#include <vector>

namespace gloam::render {

namespace {

template <typename List, typename Item>
std::size_t indexIn(const List& list, const Item* item) {
    for (std::size_t index = 0; index < list.size(); ++index) {
        if (list[index].get() == item) return index;
    }
    return list.size();
}

}  // namespace

std::string Timeline::pathOf(const Playable& element) const {
    std::vector<std::size_t> indices;
    const SettingContainer* node = &element;
    while (node->parent != nullptr) {
        indices.push_back(indexIn(node->parent->children, node));
        node = node->parent;
    }
    std::string path = std::to_string(indexIn(adventure_.scenes, node));
    for (auto index = indices.rbegin(); index != indices.rend(); ++index) {
        path += '/';
        path += std::to_string(*index);
    }
    return path;
}

void Timeline::stateChanged(const Playable& element, State state) {
    out_.write(std::to_string(runtime_.now()) + "\tstate\t" + pathOf(element) + '\t' + escapeControls(element.name) +
               '\t' + stateName(state) + '\n');
}

void Timeline::keyRead(int code) { out_.write(std::to_string(runtime_.now()) + "\tkey\t" + std::to_string(code) + '\n'); }

}  // namespace gloam::render
