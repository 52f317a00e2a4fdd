// The whole player without terminal or device: offline engine, virtual clock, adventure and loop.
#pragma once

#include "app/Adventure.h"
#include "app/MainLoop.h"
#include "audio/System.h"
#include "model/Runtime.h"
#include "platform/Clock.h"
#include "platform/ScriptedConsole.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

namespace gloam {

class OfflineSession;

/// How an offline session is set up.
struct OfflineConfig {
    int sampleRate = 48000;
    int channels = 2;
    /// The virtual clock's reading when the session begins.
    std::int32_t startMs = 0;
    /// Audio is mixed in whole blocks of this many milliseconds (counted from
    /// startMs), as a device does, so that short waits do not pay for a mix
    /// each; 1 renders exactly up to the clock.
    std::int32_t blockMs = 1;
    /// Keys pressed at their times; the loop's wait ends early for each.
    std::vector<platform::ScriptedKey> keys;
    /// Makes the console the keys come from instead of `keys` (the soak's
    /// random keys), once the session's clock, runtime and adventure exist;
    /// the session owns it.
    std::function<std::unique_ptr<platform::Console>(OfflineSession& session)> makeConsole;
    /// Nothing is rendered past this time (the renderer's end); none: the
    /// session renders as far as the clock goes.
    std::optional<std::int32_t> endMs;
    /// What the loop tells its observer.
    MainLoopHooks hooks;
    /// An engine to borrow, already started offline (a fuzz target keeps one
    /// for all its inputs); none: the session starts its own with
    /// startAudio, plug-ins from "plugins" included, and closes it.
    audio::System* engine = nullptr;
};

/// Owns, in this order, the engine (unless borrowed), the virtual clock, the
/// runtime, the adventure, the console, the one rendering wait and the main
/// loop, and takes them down in reverse after the adventure was cleared.
/// Instead of sleeping, the loop's wait moves the clock to the time the loop
/// asks for (or to the next scripted key, or to the end) and renders the
/// audio of the time that passed on the engine's offline output, handing
/// every block to the sink; frame counts follow the total time, so nothing
/// drifts. The renderer, the soak tool, the fuzz targets, the benches and
/// the tests all assemble the offline player this way. Main thread only.
class OfflineSession {
public:
    /// Called with each rendered block (interleaved, `channels` samples a
    /// frame); returns false when it could not take it (a failed write),
    /// which ends the session's passes.
    using Sink = std::function<bool(const float* interleaved, std::size_t numFrames)>;

    OfflineSession(OfflineConfig config, Sink sink);
    /// The adventure is cleared (scenes destroyed, sounds released), then
    /// an engine of its own is closed.
    ~OfflineSession();
    OfflineSession(const OfflineSession&) = delete;
    OfflineSession& operator=(const OfflineSession&) = delete;

    /// One pass of the main loop, then the audio up to the clock (also after
    /// a key read moved the clock). False when the loop ended (Escape, lost
    /// output) or the sink refused a block.
    bool runPass();
    /// Passes until the clock reaches `ms` (across the clock's wrap too), or
    /// until a pass returns false.
    void runUntil(std::int32_t ms);
    /// Moves the clock on by `ms` without a pass and renders that time.
    void advance(std::int32_t ms);
    /// Renders up to the clock (or the end), whatever moved it.
    void catchUp();
    /// Ends the session as the player's Escape does: scenes destroyed,
    /// sounds released, an own engine closed. Idempotent.
    void shutDown();

    /// Whether the sink took every block.
    bool ok() const { return ok_; }
    /// How often the loop waited since the last call: how often it passed.
    std::int64_t takeWaits() { return std::exchange(waits_, 0); }

    audio::System& engine() { return *engine_; }
    platform::VirtualClock& clock() { return clock_; }
    Runtime& runtime() { return *runtime_; }
    const Runtime& runtime() const { return *runtime_; }
    Adventure& adventure() { return *adventure_; }
    const Adventure& adventure() const { return *adventure_; }
    MainLoop& loop() { return *loop_; }
    /// The scripted console (null when the keys come from a borrowed one).
    platform::ScriptedConsole* scriptedConsole() { return script_.get(); }

private:
    /// The loop's wait on virtual time, rendering what passed.
    class RenderingWait final : public platform::IdleWait {
    public:
        explicit RenderingWait(OfflineSession& session) : session_(session) {}
        void waitUntil(std::int32_t untilMs) override;

    private:
        OfflineSession& session_;
    };

    OfflineConfig config_;
    Sink sink_;
    std::unique_ptr<audio::System> ownEngine_;
    audio::System* engine_ = nullptr;
    platform::VirtualClock clock_;
    std::unique_ptr<Runtime> runtime_;
    std::unique_ptr<Adventure> adventure_;
    std::unique_ptr<platform::ScriptedConsole> script_;
    std::unique_ptr<platform::Console> madeConsole_;
    RenderingWait wait_;
    std::unique_ptr<MainLoop> loop_;
    std::vector<float> buffer_;
    std::int64_t waits_ = 0;
    bool ok_ = true;
    bool shutDown_ = false;
};

}  // namespace gloam
