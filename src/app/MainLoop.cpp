// The main loop's pass, key table and idle rule.
#include "app/MainLoop.h"
#include "app/MainLoopRemote.h"

#include "app/Adventure.h"
#include "app/AudioStartup.h"
#include "app/Chooser.h"
#include "app/HelpScreen.h"
#include "audio/ChannelGroup.h"
#include "audio/System.h"
#include "model/Runtime.h"
#include "model/Scene.h"
#include "platform/Clock.h"
#include "platform/Keys.h"
#include "playback/Track.h"

#include <tinyxml2.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <utility>

namespace gloam {

namespace {

namespace keys = platform::keys;

constexpr int keyLoad = '!';
constexpr int keyHelp = '?';

/// The master volume moves in tenths of full level: ten presses from full to
/// silence, each one a number on the screen the operator can count.
constexpr int volumeStepPercent = 10;
/// A volume change is a ramp this long, so it never clicks.
constexpr std::int32_t volumeRampMs = 50;

/// The loop passes at least this often while it waits for keys, so that the
/// screen follows what is heard and the engine's housekeeping runs.
constexpr std::int32_t idlePassMs = 20;
/// With nothing running at all, nothing can change on the screen but by a key,
/// so the loop rests longer (the engine's housekeeping can wait that long):
/// an idle player hardly wakes.
constexpr std::int32_t restingPassMs = 250;
/// How far ahead of the clock the life cycle runs: the program clock follows
/// the frames the output has mixed (see AudioClock), so a frame at or after
/// the clock's is never mixed yet, and a start or fade handed over a lead
/// before its frame lands on that frame even when the pass comes up to a
/// lead late. Keys take effect one lead after they are read, and are heard
/// one device buffer after that. The same offline, where nothing is mixed
/// past the clock either.
constexpr std::int32_t leadMsValue = 20;

}  // namespace

int MainLoop::TappedConsole::readKey() {
    const std::optional<std::int32_t> due = console_.waitingKeyTakesEffectAt();
    int key = console_.readKey();
    loop_.keyAt_ = loop_.keyMoment(due);
    if (loop_.hooks_.keyRead) loop_.hooks_.keyRead(key, loop_.keyAt_);
    return key;
}

MainLoop::MainLoop(platform::Console& console, platform::IdleWait& idle, Runtime& runtime, Adventure& adventure,
                   MainLoopHooks hooks)
    : hooks_(std::move(hooks)),
      console_(console, *this),
      idle_(idle),
      runtime_(runtime),
      adventure_(adventure),
      status_(console_, runtime.clock),
      menu_(console_) {}

bool MainLoop::runPass() {
    // The engine first, so that elements asking whether their channels still
    // play see this pass's state.
    runtime_.audio.update();
    // The life cycle runs up to where a key read now takes effect; with a key
    // waiting that takes effect sooner (a script), only up to it.
    Moment until = keyMoment(std::nullopt);
    if (console_.keyWaiting()) {
        const Moment key = keyMoment(console_.waitingKeyTakesEffectAt());
        if (key.frame < until.frame) until = key;
    }
    adventure_.tick(until);
    if (!takeInput()) return false;
    drawScreen();
    // Nobody sees the screen any more (the reader of the output went away):
    // leave the way Escape does rather than play on unseen.
    if (console_.outputLost()) return false;
    publishState();
    idle_.waitUntil(nextPassAt());
    noticeKeyboard();
    return true;
}

bool MainLoop::takeInput() {
    const bool keyWaiting = console_.keyWaiting();
    // A remote command never acts on the menu or the help screen: it waits
    // until the operator has closed them.
    const bool screenUp = menu_.isOpen() || helpShown_;
    if (!screenUp && remoteGoesFirst(keyWaiting)) return applyRemoteCommand();
    if (!keyWaiting) return true;
    const bool goOn = dispatch(console_.readKey(), console_);
    noticeKeyboard();
    return goOn;
}

int MainLoop::run() {
    while (runPass()) {
    }
    shutDown(adventure_, runtime_.audio);
    return console_.outputLost() ? 1 : 0;
}

std::int32_t MainLoop::leadMs() const { return leadMsValue; }

Moment MainLoop::keyMoment(std::optional<std::int32_t> dueMs) const {
    const Moment at = dueMs ? Moment{*dueMs, runtime_.frameAt(*dueMs)} : runtime_.after(runtime_.clockMoment(), leadMs());
    const Moment present = adventure_.presentMoment();
    return at.frame > present.frame ? at : present;
}

std::int32_t MainLoop::nextPassAt() const {
    const std::int32_t now = runtime_.clock.nowMs();
    const std::int32_t period = runtime_.activeElements.empty() ? restingPassMs : idlePassMs;
    std::int32_t until = wrapAdd(now, period);
    auto sooner = [&until](std::int32_t at) {
        if (wrapBefore(at, until)) until = at;
    };
    // Planned moments are handled up to one lead ahead; the next is taken
    // one lead before it is due. Behind what the adventure asks, the loop
    // does not hurry: the next pass comes at its usual pace and takes what
    // fell due meanwhile at once, so catching up never pins a core, and a
    // render keeps pace with the clock.
    if (adventure_.nextDue && !adventure_.behind()) sooner(wrapSub(*adventure_.nextDue, leadMs()));
    if (adventure_.nextDetach) sooner(*adventure_.nextDetach);
    // A changed screen held back to keep the terminal calm is written then.
    if (const std::optional<std::int32_t> write = status_.nextWriteDue()) sooner(*write);
    // Always a little later than now, so that nothing can make the loop spin.
    if (wrapSub(until, now) < 1) until = wrapAdd(now, 1);
    return until;
}


void MainLoop::drawScreen() {
    const bool redraw = console_.takeRedrawRequest();
    // While another screen is up the status screen waits; it is written
    // afresh when that screen goes.
    if (helpShown_) {
        if (redraw) printHelp();
        return;
    }
    if (menu_.isOpen()) {
        if (redraw) menu_.redraw();
        return;
    }
    if (redraw) status_.requestRedraw();
    if (status_.draw(adventure_, runtime_.audio.channelsPlaying(), masterVolumePercent()) && hooks_.statusPrinted) {
        hooks_.statusPrinted(status_.lastPrinted());
    }
}

bool MainLoop::dispatch(int key, platform::Console& keys) {
    if (helpShown_) {
        closeHelp(key);
        return true;
    }
    if (menu_.isOpen()) {
        menuKey(key);
        return !console_.outputLost();
    }
    switch (key) {
    case keys::prefixZero:
    case keys::prefix: {
        // The second code comes with its prefix or not at all: never wait
        // for it, or the loop would stand still until the next key.
        if (!keys.keyWaiting()) return true;
        int second = keys.readKey();
        if (second == keys::left) stepScene(false, keyAt_);
        if (second == keys::right) stepScene(true, keyAt_);
        if (second == keys::up) stepMasterVolume(true, keyAt_);
        if (second == keys::down) stepMasterVolume(false, keyAt_);
        if (second == keys::del) fadeOutScene(keyAt_);
        break;
    }
    case keyLoad:
        loadAdventure();
        if (console_.outputLost()) return false;
        break;
    case keys::escape:
        return false;
    case keys::space:
        fadeOutSequenceItems(keyAt_);
        break;
    default:
        if (key == keyHelp && !adventureClaims(key)) {
            showHelp();
        } else {
            sceneOrElementKey(key, keyAt_);
        }
        break;
    }
    // What the key made due at its own moment (a fade-out of length 0, the
    // next item of a sequence) happens in this pass, at that moment.
    adventure_.actedAt(keyAt_);
    return true;
}

void MainLoop::setMasterVolume(float volume) { setMasterVolumeAt(volume, keyMoment(std::nullopt)); }

void MainLoop::setMasterVolumeAt(float volume, const Moment& at) {
    if (!(volume >= 0.0f)) volume = 0.0f;  // NaN too
    masterVolume_ = std::min(volume, 1.0f);
    auto& master = runtime_.audio.masterGroup();
    master.cancelVolumeRamps(at.frame);
    master.rampVolume(masterVolume_, at.frame, at.frame + runtime_.timebase().framesIn(volumeRampMs));
}

int MainLoop::masterVolumePercent() const { return static_cast<int>(std::lround(masterVolume_ * 100.0f)); }

void MainLoop::stepMasterVolume(bool up, const Moment& at) {
    // From a level between steps (set from elsewhere) the first step goes to
    // the next tenth in that direction.
    const int percent = masterVolumePercent();
    const int below = percent / volumeStepPercent * volumeStepPercent;
    const int target = up ? below + volumeStepPercent : (below == percent ? below - volumeStepPercent : below);
    setMasterVolumeAt(static_cast<float>(std::clamp(target, 0, 100)) / 100.0f, at);
}

bool MainLoop::adventureClaims(int key) const {
    const auto code = static_cast<std::size_t>(key & 0xff);
    const Scene* current = adventure_.current();
    return runtime_.sceneHotkeys[code] != nullptr || (current != nullptr && current->elementHotkeys[code] != nullptr);
}

void MainLoop::showHelp() {
    helpShown_ = true;
    printHelp();
}

void MainLoop::printHelp() {
    console_.clearScreen();
    std::string text = composeHelp(adventure_, console_.windowSize());
    for (const std::string& line : remoteHelpLines()) text += line + "\n";
    console_.print(text);
}

void MainLoop::closeHelp(int key) {
    // The key only closes the help; the second code of a special key goes
    // with it.
    if (platform::keys::isPrefix(key) && console_.keyWaiting()) console_.readKey();
    helpShown_ = false;
    status_.requestRedraw();
}

void MainLoop::stepScene(bool forward, const Moment& at) {
    // Unsigned, so stepping back from the first scene overshoots and is ignored.
    std::uint32_t target = forward ? adventure_.currentScene + 1u : adventure_.currentScene - 1u;
    if (target < adventure_.scenes.size()) switchToScene(target, at);
}

void MainLoop::switchToScene(std::uint32_t index, const Moment& at) {
    Scene* current = adventure_.current();
    if (current != nullptr && index == adventure_.currentScene) {
        current->restart(at);
        return;
    }
    if (current != nullptr) current->deselect(at);
    adventure_.currentScene = index;
    adventure_.scenes[index]->select(at);
}

void MainLoop::sceneOrElementKey(int key, const Moment& at) {
    auto code = static_cast<std::size_t>(key & 0xff);
    // A scene's key wins over an element's, even when the scene is gone.
    if (Scene* scene = runtime_.sceneHotkeys[code]) {
        for (std::size_t j = 0; j < adventure_.scenes.size(); ++j) {
            if (adventure_.scenes[j].get() == scene) {
                switchToScene(static_cast<std::uint32_t>(j), at);
                break;
            }
        }
        return;
    }
    const Scene* current = adventure_.current();
    if (current == nullptr) return;
    Playable* element = current->elementForKey(static_cast<unsigned char>(code));
    if (element == nullptr) return;
    if (element->isRunning()) {
        element->startFadeOut(at);
    } else {
        element->stop(at);
        element->startFromTop(at);
    }
}

void MainLoop::fadeOutSequenceItems(const Moment& at) {
    const Scene* current = adventure_.current();
    if (current == nullptr) return;
    for (const auto& child : current->children) {
        if (child->kind() != NodeKind::Sequence) continue;
        if (Playable* item = static_cast<const Track&>(*child).currentChild()) item->startFadeOut(at);
    }
}

void MainLoop::fadeOutScene(const Moment& at) {
    const Scene* current = adventure_.current();
    if (current == nullptr) return;
    // As if each running element's own key were pressed: each fades over its
    // own fadeOut (at once without one).
    for (const auto& child : current->children) {
        if (child->isRunning()) child->startFadeOut(at);
    }
}

void MainLoop::loadAdventure() {
    menu_.open();
    // Keys typed ahead into the menu are taken at once, one after the other.
    while (menu_.isOpen() && console_.keyWaiting()) menuKey(console_.readKey());
}

void MainLoop::menuKey(int key) {
    std::optional<ChosenAdventure> chosen = menu_.key(key);
    // Also takes the keys that are waiting behind this one.
    while (!chosen && menu_.isOpen() && console_.keyWaiting()) chosen = menu_.key(console_.readKey());
    if (menu_.isOpen()) return;
    // However the menu went, the screen shows it no longer: the status
    // screen is written again, changed or not.
    status_.requestRedraw();
    if (chosen) loadChosen(*chosen);
}

void MainLoop::loadChosen(ChosenAdventure& chosen) {
    // The menu took its time: the new adventure begins when a key read now
    // would take effect. Built from the document the chooser read, so the
    // file is parsed once.
    keyAt_ = keyMoment(std::nullopt);
    adventure_.load(*chosen.document, keyAt_);
    adventureFile_ = std::filesystem::path(chosen.path).filename().string();
}

}  // namespace gloam
