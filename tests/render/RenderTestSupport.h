// Running whole renders in tests and reading what they wrote.
#pragma once

#include "Renderer.h"
#include "Recording.h"
#include "TestFiles.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

namespace rendertest {

using gloam::render::RenderOptions;
using gloam::render::runRender;

/// What a render wrote: its audio, read back, and the rest.
struct Rendered : testsupport::Recording {
    int exitCode = -1;
    std::string trace;
    std::string screens;
    std::string messages;
};

inline std::string readFile(const std::string& path) { return testsupport::readText(path); }

/// The options of a test render: 8 kHz stereo into out.wav, trace.tsv and
/// screens.txt in the working folder.
inline RenderOptions testOptions(const std::string& keys, double seconds,
                                 const std::string& adventure = "adventures/test.xml") {
    std::string error;
    RenderOptions options;
    options.adventure = adventure;
    options.keys = *gloam::render::parseKeyScript(keys, error);
    options.seconds = seconds;
    options.sampleRate = 8000;
    options.output = "out.wav";
    options.trace = "trace.tsv";
    options.screens = "screens.txt";
    return options;
}

/// Runs a render and reads back whatever it wrote.
inline Rendered render(const RenderOptions& options) {
    std::ostringstream messages;
    Rendered result;
    result.exitCode = runRender(options, messages);
    result.messages = messages.str();
    // Only files: a device such as /dev/full would never end.
    if (std::filesystem::is_regular_file(options.trace)) result.trace = readFile(options.trace);
    if (std::filesystem::is_regular_file(options.screens)) result.screens = readFile(options.screens);
    if (std::optional<testsupport::Recording> audio = testsupport::readRecording(options.output)) {
        static_cast<testsupport::Recording&>(result) = std::move(*audio);
    }
    return result;
}

inline Rendered render(const std::string& keys, double seconds, const std::string& adventure = "adventures/test.xml") {
    return render(testOptions(keys, seconds, adventure));
}

/// The names in a folder, sorted: what a render left behind.
inline std::vector<std::string> filesIn(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

/// The trace from the first line containing `from` up to the next line
/// containing `to` (or the end).
inline std::string segment(const std::string& trace, const std::string& from, const std::string& to) {
    const auto start = trace.find(from);
    if (start == std::string::npos) return {};
    const auto end = trace.find(to, start + from.size());
    return trace.substr(start, end == std::string::npos ? std::string::npos : end - start);
}

inline bool hasLine(const std::string& text, const std::string& line) {
    return text.find(line + "\n") != std::string::npos;
}

/// The time of the first trace line that ends with `tail`, or -1.
inline int timeOf(const std::string& trace, const std::string& tail) {
    std::istringstream lines(trace);
    std::string line;
    while (std::getline(lines, line)) {
        if (line.size() >= tail.size() && line.compare(line.size() - tail.size(), tail.size(), tail) == 0) {
            return std::stoi(line);
        }
    }
    return -1;
}

class RenderSession : public ::testing::Test {
protected:
    testsupport::ScopedWorkDir workDir;
};

}  // namespace rendertest
