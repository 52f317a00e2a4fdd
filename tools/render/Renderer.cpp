// The render session: engine, clock, keys, the shared main loop and the outputs.
#include "Renderer.h"

#include "Timeline.h"
#include "WavWriter.h"
#include "app/Adventure.h"
#include "app/AudioStartup.h"
#include "app/MainLoop.h"
#include "audio/System.h"
#include "model/Runtime.h"
#include "platform/Clock.h"
#include "platform/ScriptedConsole.h"

#include <tinyxml2.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <vector>

namespace gloam::render {

namespace fs = std::filesystem;

namespace {

/// Restores the working directory on the way out.
class WorkingDirectory {
public:
    explicit WorkingDirectory(const fs::path& directory) : previous_(fs::current_path()) { fs::current_path(directory); }
    ~WorkingDirectory() {
        std::error_code ignored;
        fs::current_path(previous_, ignored);
    }

private:
    fs::path previous_;
};

/// Instead of sleeping, moves the clock on and renders the audio of the time
/// that passed. Frame counts follow the total time, so nothing drifts.
class RenderingWait final : public platform::IdleWait {
public:
    RenderingWait(platform::VirtualClock& clock, audio::System& system, WavWriter& wav, std::int32_t endMs)
        : clock_(clock), system_(system), wav_(wav), endMs_(endMs),
          buffer_(static_cast<std::size_t>(system.outputChannels()) * blockFrames) {}

    void idle() override { advance(20); }
    void busy() override { advance(1); }

    /// Renders up to the clock (or the end), also after the clock was moved
    /// by a blocking key read.
    void catchUp() {
        const std::int64_t targetMs = std::min<std::int64_t>(clock_.nowMs(), endMs_);
        const std::int64_t targetFrames = targetMs * system_.sampleRate() / 1000;
        while (renderedFrames_ < targetFrames && ok_) {
            const auto frames = static_cast<std::size_t>(std::min<std::int64_t>(targetFrames - renderedFrames_, blockFrames));
            system_.renderOffline(buffer_.data(), frames);
            ok_ = wav_.write(buffer_.data(), frames);
            renderedFrames_ += static_cast<std::int64_t>(frames);
        }
    }

    bool ok() const { return ok_; }

private:
    static constexpr std::int64_t blockFrames = 4096;

    void advance(std::int32_t ms) {
        clock_.advance(ms);
        catchUp();
    }

    platform::VirtualClock& clock_;
    audio::System& system_;
    WavWriter& wav_;
    std::int32_t endMs_;
    std::vector<float> buffer_;
    std::int64_t renderedFrames_ = 0;
    bool ok_ = true;
};

/// A progress line on a terminal, refreshed a few times a second.
class Progress {
public:
    explicit Progress(double totalSeconds) : totalSeconds_(totalSeconds), enabled_(isatty(STDERR_FILENO) != 0) {}
    void update(std::int32_t nowMs) {
        if (!enabled_) return;
        const auto wallNow = std::chrono::steady_clock::now();
        if (wallNow < nextPrint_) return;
        nextPrint_ = wallNow + std::chrono::milliseconds(200);
        printed_ = true;
        std::fprintf(stderr, "\rrendered %.0f of %.0f s", nowMs / 1000.0, totalSeconds_);
        std::fflush(stderr);
    }
    void done(std::int32_t endMs) {
        if (printed_) std::fprintf(stderr, "\rrendered %.0f s%20s\n", endMs / 1000.0, "");
    }

private:
    double totalSeconds_;
    bool enabled_;
    bool printed_ = false;
    std::chrono::steady_clock::time_point nextPrint_{};
};

fs::path absoluteFrom(const fs::path& base, const std::string& path) {
    return fs::path(path).is_absolute() ? fs::path(path) : base / path;
}

}  // namespace

int runRender(const RenderOptions& options, std::ostream& err) {
    const fs::path startDirectory = fs::current_path();
    std::error_code error;
    if (!fs::is_directory(options.root, error)) {
        err << "gloam-render: no such folder: " << options.root << '\n';
        return 2;
    }
    // Output paths are taken from where the renderer was started.
    const fs::path output = absoluteFrom(startDirectory, options.output);
    const fs::path tracePath = options.trace.empty() ? fs::path() : absoluteFrom(startDirectory, options.trace);
    const fs::path screensPath = options.screens.empty() ? fs::path() : absoluteFrom(startDirectory, options.screens);
    WorkingDirectory inRoot(options.root);

    if (!options.adventure.empty()) {
        tinyxml2::XMLDocument document;
        if (document.LoadFile(options.adventure.c_str()) != tinyxml2::XML_SUCCESS) {
            err << "gloam-render: cannot read adventure " << options.adventure << " (missing or not well-formed XML)\n";
            return 2;
        }
    }
    std::ofstream trace;
    std::ofstream screens;
    if (!tracePath.empty()) trace.open(tracePath);
    if (!screensPath.empty()) screens.open(screensPath);
    if ((!tracePath.empty() && !trace) || (!screensPath.empty() && !screens)) {
        err << "gloam-render: cannot write " << (!trace ? tracePath : screensPath).string() << '\n';
        return 2;
    }
    WavWriter wav(output.string(), options.sampleRate, options.channels, options.seconds);
    if (!wav.isOpen()) {
        err << "gloam-render: cannot write " << output.string() << '\n';
        return 2;
    }

    const auto endMs = static_cast<std::int32_t>(std::llround(options.seconds * 1000.0));
    platform::VirtualClock clock(0);
    audio::System system;
    audio::SystemConfig config;
    config.output = audio::OutputKind::Offline;
    config.sampleRate = options.sampleRate;
    config.offlineChannels = options.channels;
    startAudio(system, config);

    Runtime runtime(system, clock);
    Adventure adventure(runtime);
    Timeline timeline(trace, clock, adventure);
    if (trace.is_open()) runtime.observer = &timeline;

    platform::ScriptedConsole console(options.keys, clock, platform::Transcript::Discard);
    RenderingWait wait(clock, system, wav, endMs);
    MainLoopHooks hooks;
    if (trace.is_open()) hooks.keyRead = [&timeline](int code) { timeline.keyRead(code); };
    if (screens.is_open()) {
        hooks.statusPrinted = [&screens, &clock](const std::string& text) {
            screens << '@' << clock.nowMs() << '\n' << text << '\n';
        };
    }
    MainLoop loop(console, wait, runtime, adventure, hooks);

    if (!options.adventure.empty()) adventure.load(options.adventure);
    Progress progress(options.seconds);
    while (clock.nowMs() < endMs && wait.ok() && loop.runPass()) progress.update(clock.nowMs());
    progress.done(std::min(clock.nowMs(), endMs));

    runtime.observer = nullptr;
    shutDown(adventure, system);
    if (!wait.ok()) {
        err << "gloam-render: writing " << output.string() << " failed: " << wav.error() << '\n';
        return 2;
    }
    return 0;
}

}  // namespace gloam::render
