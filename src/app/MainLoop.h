// The player's loop: engine housekeeping, element ticks, one key, the screen.
#pragma once

#include "app/Chooser.h"
#include "app/StatusScreen.h"
#include "model/Moment.h"
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
struct Runtime;

/// What an observer of the loop (the offline renderer) is told.
struct MainLoopHooks {
    /// Every key code read, also the second code of a special key and the
    /// keys read inside the chooser's menu, with the moment it takes effect.
    std::function<void(int code, const Moment& at)> keyRead;
    /// The status text, each time it is printed.
    std::function<void(const std::string& text)> statusPrinted;
};

/// Runs the player pass by pass until Escape. Main thread only.
///
/// Keys: cursor left/right step through the scenes (no wrap-around), '!'
/// opens the adventure menu (while it is open the loop goes on passing, so
/// everything plays on, and keys go to the menu only; when it goes, for any
/// reason, the status screen is written again), Escape ends, Space fades out the
/// current child of every top-level sequence of the current scene, a scene's
/// key switches to it (even to the current one, which restarts it), an
/// element's key fades it out while it runs or restarts it from the top.
/// Cursor up/down raise and lower the master volume by a tenth of full level
/// (from silence to full, no further); Delete fades out every top-level
/// element of the current scene that plays or waits, each over its own
/// fadeOut, as its own key would; other special keys do nothing; a
/// prefix code without a second code waiting is a key that does nothing. '?', when no scene and no
/// element of the current scene answers it, shows the help screen until the
/// next key, which only takes it away (the status screen is written again). When the console asks for a
/// redraw the status screen is written again (at the screen's own pace); when
/// the output is lost the loop ends as after Escape.
///
/// When keys act. The life cycle never runs ahead of the moment a key read
/// now would take effect: each pass handles what is planned up to the key
/// frame, K = the clock's frame plus one lead (20 ms; the same offline). The
/// clock follows the frames the output has mixed, so nothing at or after the
/// clock's frame is mixed yet: whatever the life cycle hands the engine for
/// a frame up to K is still on time, and each planned start, end or fade is
/// handed over for its exact frame. The loop wakes one lead before the next
/// planned moment, so a pass may come up to a lead late and still be on
/// time. A key read in the pass acts at K, on the states as they are at K:
/// nothing planned for a later frame has changed state yet. What the key
/// makes due at K (a fade-out of length 0, a sequence's next item) is
/// handled in the same pass. Every action therefore happens at a moment no
/// earlier than the one before, so the trace is in time order; and a key is
/// heard one lead plus one device buffer after it is read. A scripted key
/// (the renderer's) takes effect at its own time: it is read one lead
/// before. Offline the same rule meets keys and planned moments in the same
/// order as the player does, so live and rendered output agree sample for
/// sample.
///
/// Bounded work. A pass handles at most Adventure::maxTicksPerPass element
/// ticks; when the adventure asks for more (endless loops of one-sample
/// sounds), the loop is behind: it comes back at its usual pace rather than
/// at once, and the moments that fell due meanwhile are handled together at
/// that pass's present. So a key waits at most one bounded pass, live or
/// offline alike.
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
    /// sets the master volume. While the menu or the help screen is up,
    /// commands wait. After every pass in which what the remote control shows
    /// changed, a snapshot is published to `board`; each command's outcome is
    /// reported once the state after it is published. The help screen ends
    /// with `helpLines` (the remote's address and QR code). Both must outlive
    /// the loop.
    void connectRemote(remote::CommandQueue& commands, remote::StateBoard& board, std::vector<std::string> helpLines);

    /// One pass: engine update, adventure tick up to the key frame, at most
    /// one key or remote command (acting at the key frame), the screen, then
    /// a wait until the next pass is needed or a key or command comes.
    /// Returns false, at once after reading it, when the key was Escape, and
    /// when the output was lost.
    bool runPass();

    /// How far ahead of the clock the life cycle runs and a key read now
    /// takes effect.
    std::int32_t leadMs() const;
    /// When the last key read took effect.
    const Moment& lastKeyAt() const { return keyAt_; }

    /// Passes until Escape, then shuts down: scenes destroyed, sounds
    /// released, engine closed. Returns the exit code: 0, or 1 when the loop
    /// ended because the screen could no longer be written.
    int run();

    const StatusScreen& statusScreen() const { return status_; }

    /// Sets the level of everything heard, 0 (silence) to 1 (full, the
    /// start), clamped; it glides there over 50 ms, so it never clicks. The
    /// status screen shows it while it is not full. Main thread only (a remote
    /// control hands its requests to the loop).
    void setMasterVolume(float volume);
    /// The level last set, 0 to 1.
    float masterVolume() const { return masterVolume_; }

private:
    /// Notes the moment of every key read and passes it on to the keyRead hook.
    class TappedConsole final : public platform::Console {
    public:
        TappedConsole(platform::Console& console, MainLoop& loop) : console_(console), loop_(loop) {}
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
        platform::WindowSize windowSize() const override { return console_.windowSize(); }
        std::optional<std::int32_t> waitingKeyTakesEffectAt() const override {
            return console_.waitingKeyTakesEffectAt();
        }

    private:
        platform::Console& console_;
        MainLoop& loop_;
    };

    /// Takes the next input: a keyboard key or a remote command, whichever
    /// arrived first. False when the loop is to end.
    bool takeInput();
    /// Acts on one key, at the moment of the last key read (keyAt_), whose
    /// second code, for a prefix, comes from `keys` (the keyboard or a remote
    /// key): the one place where keys act, whatever delivered them. False for
    /// Escape and when the output was lost.
    bool dispatch(int key, platform::Console& keys);
    /// Writes the screen that is up: the status screen (when it changed or a
    /// redraw was asked for), or the help screen again on a redraw request.
    void drawScreen();
    /// The master volume a tenth of full level up or down, at `at`.
    void stepMasterVolume(bool up, const Moment& at);
    void setMasterVolumeAt(float volume, const Moment& at);
    int masterVolumePercent() const;
    /// Whether a scene, or an element of the current scene, answers `key`.
    bool adventureClaims(int key) const;
    void showHelp();
    void printHelp();
    /// `key` takes the help screen away and does nothing else.
    void closeHelp(int key);
    void stepScene(bool forward, const Moment& at);
    void switchToScene(std::uint32_t index, const Moment& at);
    void sceneOrElementKey(int key, const Moment& at);
    void fadeOutSequenceItems(const Moment& at);
    void fadeOutScene(const Moment& at);
    void loadAdventure();
    /// One key for the open menu (and the keys waiting behind it); loads
    /// what it chose when it closes.
    void menuKey(int key);
    /// Loads what the menu (or the remote control) chose.
    void loadChosen(ChosenAdventure& chosen);

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
    /// The remote control's lines for the help screen; none without one.
    std::vector<std::string> remoteHelpLines() const;
    /// The moment a key takes effect: at `dueMs` when its console knows when
    /// (a script), else one lead after the clock; never before what the life
    /// cycle already did.
    Moment keyMoment(std::optional<std::int32_t> dueMs) const;
    /// When the next pass has to run: a lead before the next planned moment,
    /// when the output reaches filters to detach, and at least every 20 ms.
    std::int32_t nextPassAt() const;

    MainLoopHooks hooks_;
    /// When the last key read takes effect.
    Moment keyAt_;
    TappedConsole console_;
    platform::IdleWait& idle_;
    Runtime& runtime_;
    Adventure& adventure_;
    StatusScreen status_;
    AdventureMenu menu_;
    bool helpShown_ = false;
    float masterVolume_ = 1.0f;
    /// File name of the loaded adventure.
    std::optional<std::string> adventureFile_;
    std::unique_ptr<RemoteSide> remote_;
};

}  // namespace gloam
