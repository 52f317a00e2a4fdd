// Building the remote control's snapshot.
#include "app/RemoteState.h"

#include "app/Adventure.h"
#include "app/StatusScreen.h"
#include "model/Runtime.h"
#include "model/Scene.h"
#include "playback/Playable.h"

namespace gloam {

namespace {

bool printable(std::size_t code) { return code > 0x20 && code < 0x7f; }

const char* stateWord(State state) {
    switch (state) {
    case State::Idle: return "idle";
    case State::Closing: return "closing";
    case State::Playing: return "playing";
    case State::Waiting: return "waiting";
    case State::Finished: return "finished";
    }
    return "idle";
}

}  // namespace

remote::StateSnapshot describeState(const Adventure& adventure, const Runtime& runtime, int channels, float volume,
                                    const std::optional<std::string>& adventureFile, DisplayNames& names) {
    names.follow(adventure);
    remote::StateSnapshot state;
    state.adventure = adventureFile;
    state.channels = channels;
    state.volume = volume;
    for (std::size_t i = 0; i < adventure.scenes.size(); ++i) {
        const Scene& scene = *adventure.scenes[i];
        remote::SceneEntry entry;
        entry.index = static_cast<std::uint32_t>(i);
        entry.name = names.of(&scene, scene.name);
        entry.current = i == adventure.currentScene;
        for (std::size_t code = 0; code < runtime.sceneHotkeys.size(); ++code) {
            if (runtime.sceneHotkeys[code] == &scene && printable(code)) {
                entry.key = static_cast<char>(code);
                break;
            }
        }
        state.scenes.push_back(std::move(entry));
    }
    if (const Scene* current = adventure.current()) {
        for (std::size_t code = 0; code < current->elementHotkeys.size(); ++code) {
            const Playable* element = current->elementHotkeys[code];
            if (element == nullptr || !printable(code)) continue;
            remote::ElementEntry entry;
            entry.key = static_cast<char>(code);
            entry.name = names.of(element, element->name);
            entry.state = stateWord(element->state());
            entry.fading = element->state() == State::Playing && element->fadingOut();
            state.elements.push_back(std::move(entry));
        }
    }
    return state;
}

}  // namespace gloam
