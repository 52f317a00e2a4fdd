// The render session: engine, clock, keys, the shared main loop and the outputs.
#include "Renderer.h"

#include "AudioWriter.h"
#include "OutputFile.h"
#include "TextEscape.h"
#include "Timeline.h"
#include "app/AdventureFile.h"
#include "app/OfflineSession.h"
#include "platform/WorkingDirectory.h"

#include <tinyxml2.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

namespace gloam::render {

namespace fs = std::filesystem;

namespace {

using platform::WorkingDirectory;

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
    auto failWith = [&err](const std::string& message) {
        err << "gloam-render: " << message << '\n';
        return 2;
    };
    if (options.output.empty()) return failWith("no output file given");
    const std::optional<AudioFormat> format = audioFormatFor(options.output);
    if (!format) return failWith(unknownFormatMessage(options.output));
    const fs::path startDirectory = fs::current_path();
    std::error_code error;
    if (!fs::is_directory(options.root, error)) return failWith("no such folder: " + quoteForMessage(options.root, 200));

    // Output paths are taken from where the renderer was started, and are
    // checked before anything is written: a render never overwrites what it
    // reads, and no two outputs share a file.
    const fs::path root = absoluteFrom(startDirectory, options.root).lexically_normal();
    std::vector<OutputTarget> targets;
    std::vector<std::string> labels;
    for (const auto& [label, path] : {std::pair<const char*, const std::string&>{"-o", options.output},
                                      {"--trace", options.trace},
                                      {"--screens", options.screens}}) {
        if (path.empty()) continue;
        targets.push_back(resolveOutput(absoluteFrom(startDirectory, path)));
        labels.push_back(std::string(label) + " " + quoteForMessage(path, 200));
        if (!targets.back().error.empty()) return failWith(std::string(label) + ": " + targets.back().error);
    }
    RenderInputs inputs;
    if (!options.adventure.empty()) inputs.adventure = absoluteFrom(root, options.adventure);
    for (const char* folder : {"sounds", "plugins", "adventures"}) inputs.folders.push_back(root / folder);
    if (const std::string conflict = findOutputConflict(targets, labels, inputs); !conflict.empty()) {
        return failWith(conflict + "; not rendering");
    }

    WorkingDirectory inRoot(options.root);
    // Read once, the way the player reads a chosen file, and loaded from here.
    tinyxml2::XMLDocument document;
    if (!options.adventure.empty() && !readAdventureFile(options.adventure, document)) {
        return failWith("cannot read adventure " + quoteForMessage(options.adventure, 200) +
                        " (missing, not a regular file, or not well-formed XML)");
    }

    // Each output is opened under a temporary name and renamed into place
    // only after the whole render was written; on any failure the
    // destructors remove what was begun.
    std::vector<std::unique_ptr<OutputFile>> files;
    for (const OutputTarget& target : targets) files.push_back(std::make_unique<OutputFile>(target));
    OutputFile& audioFile = *files[0];
    OutputFile* trace = options.trace.empty() ? nullptr : files[1].get();
    OutputFile* screens = options.screens.empty() ? nullptr : files.back().get();
    auto firstFailure = [&files]() -> const OutputFile* {
        for (const auto& file : files) {
            if (!file->ok()) return file.get();
        }
        return nullptr;
    };
    if (const OutputFile* failed = firstFailure()) return failWith(failed->error());
    AudioWriter audioOut(audioFile, *format, options.sampleRate, options.channels);
    if (!audioOut.ok()) return failWith(audioFile.error());

    const auto endMs = static_cast<std::int32_t>(std::llround(options.seconds * 1000.0));
    // Timeline and screens are written as they happen, and only when asked
    // for: nothing of a long render is kept in memory.
    std::optional<Timeline> timeline;
    OfflineConfig config;
    config.sampleRate = options.sampleRate;
    config.channels = options.channels;
    config.keys = options.keys;
    config.endMs = endMs;
    if (trace != nullptr) {
        config.hooks.keyRead = [&timeline](int code, const Moment& at) { timeline->keyRead(code, at); };
    }
    // The screens are stamped with the clock: when they were printed.
    const platform::Clock* clock = nullptr;
    if (screens != nullptr) {
        config.hooks.statusPrinted = [screens, &clock](const std::string& text) {
            screens->write('@' + std::to_string(clock->nowMs()) + '\n' + text + '\n');
        };
    }
    OfflineSession session(std::move(config), [&audioOut](const float* interleaved, std::size_t numFrames) {
        return audioOut.write(interleaved, numFrames);
    });
    clock = &session.clock();
    if (trace != nullptr) {
        timeline.emplace(*trace, session.adventure());
        session.runtime().observer = &*timeline;
    }

    if (!options.adventure.empty()) session.adventure().load(document);
    Progress progress(options.seconds);
    while (session.clock().nowMs() < endMs && firstFailure() == nullptr && session.runPass()) {
        progress.update(session.clock().nowMs());
    }
    progress.done(std::min(session.clock().nowMs(), endMs));
    const bool rendered = session.ok();
    session.shutDown();

    audioOut.finish();
    for (const auto& file : files) file->close();
    if (!rendered && firstFailure() == nullptr) return failWith(audioFile.error());
    if (const OutputFile* failed = firstFailure()) return failWith(failed->error());
    for (const auto& file : files) {
        if (!file->commit()) return failWith(file->error());
    }
    return 0;
}

}  // namespace gloam::render
