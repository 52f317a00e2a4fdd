// The main loop's pass, key table and idle rule.
#include "app/MainLoop.h"

#include "app/Adventure.h"
#include "app/AudioStartup.h"
#include "app/Chooser.h"
#include "audio/System.h"
#include "model/Runtime.h"
#include "model/Scene.h"
#include "platform/Clock.h"
#include "playback/Track.h"

#include <tinyxml2.h>

#include <cstdint>
#include <utility>

namespace gloam {

namespace {

constexpr int keyPrefixZero = 0;
constexpr int keyPrefix = 224;
constexpr int keyLeft = 'K';
constexpr int keyRight = 'M';
constexpr int keyLoad = '!';
constexpr int keyEscape = 27;
constexpr int keySpace = ' ';

/// Passes run back to back when the next due time is this close.
constexpr std::int32_t dueSoonMs = 50;

}  // namespace

int MainLoop::TappedConsole::readKey() {
    int key = console_.readKey();
    if (hooks_.keyRead) hooks_.keyRead(key);
    return key;
}

MainLoop::MainLoop(platform::Console& console, platform::IdleWait& idle, Runtime& runtime, Adventure& adventure,
                   MainLoopHooks hooks)
    : hooks_(std::move(hooks)),
      console_(console, hooks_),
      idle_(idle),
      runtime_(runtime),
      adventure_(adventure),
      status_(console_, runtime.clock) {}

bool MainLoop::runPass() {
    // The engine first, so that elements asking whether their channels still
    // play see this pass's state.
    runtime_.audio.update();
    adventure_.tick();
    if (console_.keyWaiting() && !dispatch(console_.readKey())) return false;
    if (status_.draw(adventure_, runtime_.audio.channelsPlaying()) && hooks_.statusPrinted) {
        hooks_.statusPrinted(status_.lastPrinted());
    }
    if (somethingDueSoon()) {
        idle_.busy();
    } else {
        idle_.idle();
    }
    return true;
}

int MainLoop::run() {
    while (runPass()) {
    }
    shutDown(adventure_, runtime_.audio);
    return 0;
}

bool MainLoop::somethingDueSoon() const {
    if (adventure_.deadline == 0) return false;
    // Signed difference of wrapping times; an overdue deadline counts as due.
    auto untilDueMs = static_cast<std::int32_t>(static_cast<std::uint32_t>(adventure_.deadline) -
                                                static_cast<std::uint32_t>(runtime_.clock.nowMs()));
    return untilDueMs <= dueSoonMs;
}

bool MainLoop::dispatch(int key) {
    switch (key) {
    case keyPrefixZero:
    case keyPrefix: {
        int second = console_.readKey();
        if (second == keyLeft) stepScene(false);
        if (second == keyRight) stepScene(true);
        return true;
    }
    case keyLoad:
        loadAdventure();
        return true;
    case keyEscape:
        return false;
    case keySpace:
        fadeOutSequenceItems();
        return true;
    default:
        sceneOrElementKey(key);
        return true;
    }
}

void MainLoop::stepScene(bool forward) {
    // Unsigned, so stepping back from the first scene overshoots and is ignored.
    std::uint32_t target = forward ? adventure_.currentScene + 1u : adventure_.currentScene - 1u;
    if (target < adventure_.scenes.size()) switchToScene(target);
}

void MainLoop::switchToScene(std::uint32_t index) {
    if (Scene* current = adventure_.current()) current->deselect();
    adventure_.currentScene = index;
    adventure_.scenes[index]->select();
}

void MainLoop::sceneOrElementKey(int key) {
    auto code = static_cast<std::size_t>(key & 0xff);
    // A scene's key wins over an element's, even when the scene is gone.
    if (Scene* scene = runtime_.sceneHotkeys[code]) {
        for (std::size_t j = 0; j < adventure_.scenes.size(); ++j) {
            if (adventure_.scenes[j].get() == scene) {
                switchToScene(static_cast<std::uint32_t>(j));
                break;
            }
        }
        return;
    }
    Scene* current = adventure_.current();
    if (current == nullptr) return;
    Playable* element = current->elementHotkeys[code];
    if (element == nullptr) return;
    if (element->state == State::Playing || element->state == State::Waiting) {
        element->startFadeOut();
    } else {
        element->stop();
        element->startFromTop();
    }
}

void MainLoop::fadeOutSequenceItems() {
    Scene* current = adventure_.current();
    if (current == nullptr) return;
    for (const auto& child : current->children) {
        auto* track = dynamic_cast<Track*>(child.get());
        if (track != nullptr && track->currentIndex < track->children.size()) {
            track->children[track->currentIndex]->startFadeOut();
        }
    }
}

void MainLoop::loadAdventure() {
    std::optional<ChosenAdventure> chosen = chooseAdventure(console_);
    if (!chosen) return;
    // The adventure reads the file again by itself; the checked copy goes.
    std::string path = std::move(chosen->path);
    chosen.reset();
    adventure_.load(path);
}

}  // namespace gloam
