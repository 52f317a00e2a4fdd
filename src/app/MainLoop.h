// The player's loop: engine housekeeping, element ticks, one key, the screen.
#pragma once

#include "app/StatusScreen.h"
#include "platform/Console.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace platform {
class IdleWait;
}
namespace remote {
class CommandQueue;
class StateBoard;
struct CommandOutcome;
}  // namespace remote

namespace gloam {

class Adventure;
struct ChosenAdventure;
struct Runtime;

/// What an observer of the loop (the offline renderer) is told.
struct MainLoopHooks {
    /// Every key code read, also the second code of a special key and the
    /// keys read inside the chooser's menu.
    std::function<void(int code)> keyRead;
    /// The status text, each time it is printed.
    std::function<void(const std::string& text)> statusPrinted;
};

/// Runs the player pass by pass until Escape. Main thread only.
///
/// Keys: cursor left/right step through the scenes (no wrap-around), '!'
/// loads an adventure through the chooser, Escape ends, Space fades out the
/// current child of every top-level sequence of the current scene, a scene's
/// key switches to it (even to the current one, which restarts it), an
/// element's key fades it out while it runs or restarts it from the top.
/// Cursor up/down and other special keys do nothing; a prefix code without a
/// second code waiting is a key that does nothing. When the console asks for a
/// redraw the status screen is written again (at the screen's own pace); when
/// the output is lost the loop ends as after Escape.
class MainLoop {
public:
    /// All references must outlive the loop.
    MainLoop(platform::Console& console, platform::IdleWait& idle, Runtime& runtime, Adventure& adventure,
             MainLoopHooks hooks = {});
    ~MainLoop();
    MainLoop(const MainLoop&) = delete;
    MainLoop& operator=(const MainLoop&) = delete;

    /// Takes commands from the remote control besides the keyboard: its keys
    /// are dispatched exactly as the keyboard's, one per pass and in the
    /// order they arrived among the keyboard's; it also loads adventures and
    /// sets the master volume. After every pass in which what the remote
    /// control shows changed, a snapshot is published to `board`; each
    /// command's outcome is reported once the state after it is published.
    /// '?' then shows `helpLines` until a key is pressed, unless the loaded
    /// adventure claims '?'. Both must outlive the loop.
    void connectRemote(remote::CommandQueue& commands, remote::StateBoard& board, std::vector<std::string> helpLines);

    /// The master volume, 0..1 (clamped), ramped over 50 ms so that it does
    /// not click.
    void setMasterVolume(float volume);
    float masterVolume() const { return masterVolume_; }

    /// One pass: engine update, adventure tick (which hands what is planned
    /// within two leads to the engine, to the frame), at most one key, the
    /// status screen, then a wait until the next pass is needed or a key
    /// comes. Returns false, at once after reading it, when the key was
    /// Escape, and when the output was lost.
    bool runPass();

    /// Passes until Escape, then shuts down: scenes destroyed, sounds
    /// released, engine closed. Returns the exit code: 0, or 1 when the loop
    /// ended because the screen could no longer be written.
    int run();

    const StatusScreen& statusScreen() const { return status_; }

private:
    /// Passes every key read on to the keyRead hook.
    class TappedConsole final : public platform::Console {
    public:
        TappedConsole(platform::Console& console, const MainLoopHooks& hooks) : console_(console), hooks_(hooks) {}
        bool keyWaiting() override { return console_.keyWaiting(); }
        int readKey() override;
        void clearScreen() override { console_.clearScreen(); }
        void print(std::string_view text) override { console_.print(text); }
        bool waitForKey(int timeoutMs) override { return console_.waitForKey(timeoutMs); }
        bool waitForKeyOrWake(int wakeFd, int timeoutMs) override {
            return console_.waitForKeyOrWake(wakeFd, timeoutMs);
        }
        bool takeRedrawRequest() override { return console_.takeRedrawRequest(); }
        bool outputLost() const override { return console_.outputLost(); }

    private:
        platform::Console& console_;
        const MainLoopHooks& hooks_;
    };

    /// Takes the next input: a keyboard key or a remote command, whichever
    /// arrived first. False when the loop is to end.
    bool takeInput();
    /// Acts on one key whose second code, for a prefix, comes from `keys`
    /// (the keyboard or a remote key); false for Escape.
    bool dispatch(int key, platform::Console& keys);
    void stepScene(bool forward);
    void switchToScene(std::uint32_t index);
    void sceneOrElementKey(int key);
    void fadeOutSequenceItems();
    void loadAdventure();
    void loadChosen(ChosenAdventure& chosen);
    void fadeOutScene();

    // The remote control (MainLoopRemote.cpp).
    struct RemoteSide;
    /// Notes when a keyboard key was first seen waiting, to order it among
    /// remote commands.
    void noticeKeyboard();
    /// True when a remote command waits that arrived before the keyboard's key.
    bool remoteGoesFirst(bool keyWaiting);
    bool applyRemoteCommand();
    remote::CommandOutcome loadFromRemote(const std::string& file);
    void publishState();
    bool helpClaimedByAdventure() const;
    void showRemoteHelp();
    /// How long before a planned moment the loop hands it to the engine.
    std::int32_t leadMs() const;
    /// When the next pass has to run: a lead before the next planned moment,
    /// when an element ends closing, and at least every 20 ms.
    std::int32_t nextPassAt() const;

    MainLoopHooks hooks_;
    TappedConsole console_;
    platform::IdleWait& idle_;
    Runtime& runtime_;
    Adventure& adventure_;
    StatusScreen status_;
    /// File name of the loaded adventure.
    std::optional<std::string> adventureFile_;
    float masterVolume_ = 1.0f;
    std::unique_ptr<RemoteSide> remote_;
};

}  // namespace gloam
