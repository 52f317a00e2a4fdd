// The render session: engine, clock, keys, the shared main loop and the outputs.
#include "Renderer.h"

#include "AudioWriter.h"
#include "InterruptCleanup.h"
#include "ObserverFanOut.h"
#include "OutputFile.h"
#include "Progress.h"
#include "TextEscape.h"
#include "Timeline.h"
#include "TimelinePicture.h"
#include "app/Adventure.h"
#include "app/AdventureFile.h"
#include "app/OfflineSession.h"
#include "platform/WorkingDirectory.h"

#include <tinyxml2.h>
#include <unistd.h>

#include <cmath>
#include <filesystem>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

namespace gloam::render {

namespace fs = std::filesystem;

namespace {

using platform::WorkingDirectory;

fs::path absoluteFrom(const fs::path& base, const std::string& path) {
    return fs::path(path).is_absolute() ? fs::path(path) : base / path;
}

}  // namespace

int runRender(const RenderOptions& options, std::ostream& err, RenderReport* report) {
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
                                      {"--screens", options.screens},
                                      {"--timeline", options.timeline}}) {
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
    // destructors remove what was begun, on an interrupt the handler does.
    const InterruptCleanup interrupts;
    std::vector<std::unique_ptr<OutputFile>> files;
    for (const OutputTarget& target : targets) files.push_back(std::make_unique<OutputFile>(target));
    // In the order the targets were gathered: -o, then each one asked for.
    std::size_t nextFile = 1;
    auto fileFor = [&files, &nextFile](const std::string& path) { return path.empty() ? nullptr : files[nextFile++].get(); };
    OutputFile& audioFile = *files[0];
    OutputFile* trace = fileFor(options.trace);
    OutputFile* screens = fileFor(options.screens);
    OutputFile* picture = fileFor(options.timeline);
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
    std::optional<TimelinePicture> timelinePicture;
    ObserverFanOut observers;
    OfflineConfig config;
    config.sampleRate = options.sampleRate;
    config.channels = options.channels;
    config.keys = options.keys;
    config.endMs = endMs;
    if (trace != nullptr || picture != nullptr) {
        config.hooks.keyRead = [&timeline, &timelinePicture](int code, const Moment& at) {
            if (timeline) timeline->keyRead(code, at);
            if (timelinePicture) timelinePicture->keyRead(code, at);
        };
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
    Runtime& runtime = session.runtime();
    if (options.seed) {
        // Said where the render can be repeated from: a picked seed on
        // standard error, every seed in the timeline's first line.
        const std::uint32_t seed = resolveSeed(*options.seed);
        runtime.random.seed(seed);
        if (!options.seed->value) err << "gloam-render: seed " << seed << '\n';
        if (trace != nullptr) trace->write("# seed " + std::to_string(seed) + '\n');
    }
    if (trace != nullptr) observers.add(timeline.emplace(*trace, session.adventure()));
    if (picture != nullptr) observers.add(timelinePicture.emplace(runtime, session.adventure(), endMs));
    if (!observers.empty()) runtime.observer = &observers;

    if (!options.adventure.empty()) session.adventure().load(document);
    // A sound may lie anywhere a link in sounds/ leads: only the files the
    // adventure opened tell. Checked again at the end, for adventures the
    // keys load.
    auto soundConflict = [&]() { return findOpenedFileConflict(targets, labels, runtime.soundCache.openedFiles()); };
    if (const std::string conflict = soundConflict(); !conflict.empty()) return failWith(conflict + "; not rendering");
    Progress progress(STDERR_FILENO, endMs);
    if (timelinePicture) timelinePicture->passDone();
    while (session.clock().nowMs() < endMs && firstFailure() == nullptr && session.runPass()) {
        if (timelinePicture) timelinePicture->passDone();
        progress.update(session.clock().nowMs());
    }
    progress.clear();
    const std::int32_t renderedMs = std::min(session.clock().nowMs(), endMs);
    const bool rendered = session.ok();
    runtime.observer = nullptr;
    session.shutDown();
    // Drawn once everything is known; the scale was fixed by the planned length.
    if (timelinePicture) picture->write(timelinePicture->svg(renderedMs));

    audioOut.finish();
    for (const auto& file : files) file->close();
    if (!rendered && firstFailure() == nullptr) return failWith(audioFile.error());
    if (const OutputFile* failed = firstFailure()) return failWith(failed->error());
    if (const std::string conflict = soundConflict(); !conflict.empty()) return failWith(conflict + "; not written");
    for (const auto& file : files) {
        if (!file->commit()) return failWith(file->error());
    }
    if (report != nullptr) {
        report->renderedMs = renderedMs;
        report->peak = audioOut.levels().peak();
        report->clippedSamples = audioOut.levels().clippedSamples();
        report->outputs.clear();
        for (const std::string* path : {&options.output, &options.trace, &options.screens, &options.timeline}) {
            if (!path->empty()) report->outputs.push_back(*path);
        }
    }
    return 0;
}

}  // namespace gloam::render
