// The snapshot as JSON.
#include "remote/StateSnapshot.h"

#include <nlohmann/json.hpp>

#include <cmath>

namespace remote {

std::string toJson(const StateSnapshot& state) {
    using json = nlohmann::ordered_json;
    json scenes = json::array();
    for (const SceneEntry& scene : state.scenes) {
        scenes.push_back({{"index", scene.index},
                          {"name", scene.name},
                          {"key", scene.key ? json(std::string(1, *scene.key)) : json(nullptr)},
                          {"current", scene.current}});
    }
    json elements = json::array();
    for (const ElementEntry& element : state.elements) {
        elements.push_back({{"key", std::string(1, element.key)},
                            {"name", element.name},
                            {"state", element.state},
                            {"fading", element.fading}});
    }
    json document = {
        {"adventure", state.adventure ? json(*state.adventure) : json(nullptr)},
        {"scenes", std::move(scenes)},
        {"elements", std::move(elements)},
        {"channels", state.channels},
        // Three decimals: a float's 0.7 would read 0.699999988079071.
        {"volume", std::round(static_cast<double>(state.volume) * 1000.0) / 1000.0},
    };
    return document.dump(-1, ' ', false, json::error_handler_t::replace);
}

}  // namespace remote
