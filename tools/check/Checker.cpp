// Running the check: folders, the engine, one load per adventure, the report.
#include "Checker.h"

#include "AdventureChecker.h"
#include "Report.h"
#include "app/Adventure.h"
#include "app/AudioStartup.h"
#include "app/Chooser.h"
#include "audio/Sound.h"
#include "audio/System.h"
#include "model/Runtime.h"
#include "platform/Clock.h"
#include "platform/WorkingDirectory.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <system_error>

namespace gloam::check {

namespace fs = std::filesystem;

namespace {

using platform::WorkingDirectory;

std::string readAll(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

/// An adventure to check: where to load it from, and the name to show.
struct Target {
    fs::path path;
    std::string shownAs;
};

}  // namespace

std::vector<Finding> checkAdventure(audio::System& system, const std::string& path, const std::string& shownAs) {
    std::error_code error;
    if (!fs::is_regular_file(path, error)) {
        const bool exists = fs::exists(path, error);
        return {Finding{shownAs, {}, Severity::Error, "unreadable", exists ? "not a regular file" : "no such file"}};
    }
    platform::VirtualClock clock(0);
    // Streams read the header and decode only the start: as sure a sign as a
    // whole decode that the file plays, at a fraction of the cost. Only
    // regular files are opened, so nothing in sounds/ can block the check.
    Runtime runtime(system, clock, [&system](const std::string& soundPath, std::int32_t) -> std::unique_ptr<audio::Sound> {
        std::error_code typeError;
        if (!fs::is_regular_file(soundPath, typeError)) return nullptr;
        return system.createSound(soundPath, audio::SoundMode::Stream);
    });
    AdventureChecker checker(runtime, shownAs, readAll(path));
    runtime.diagnostics = &checker;
    {
        Adventure adventure(runtime);
        adventure.load(path);
        checker.judge(adventure);
        adventure.clear();
    }
    runtime.diagnostics = nullptr;
    return checker.takeFindings();
}

int runCheck(const CheckOptions& options, std::ostream& out, std::ostream& err) {
    std::error_code error;
    if (!fs::is_directory(options.root, error)) {
        err << "gloam-check: no such folder: " << options.root << '\n';
        return 2;
    }
    const fs::path start = fs::current_path();
    const fs::path root = fs::absolute(options.root);

    std::vector<Target> targets;
    if (options.files.empty()) {
        if (!fs::is_directory(root / "adventures", error)) {
            err << "gloam-check: no folder 'adventures' in " << options.root << '\n';
            return 2;
        }
        WorkingDirectory inRoot(root);
        std::vector<std::string> files = listAdventureFiles("adventures");
        std::sort(files.begin(), files.end());
        for (const std::string& file : files) targets.push_back({root / file, file});
    } else {
        for (const std::string& file : options.files) {
            fs::path path = fs::path(file).is_absolute() ? fs::path(file) : start / file;
            if (!fs::exists(path, error) && fs::exists(root / file, error)) path = root / file;
            targets.push_back({path, file});
        }
    }

    WorkingDirectory inRoot(root);
    audio::System system;
    audio::SystemConfig config;
    config.output = audio::OutputKind::Offline;
    // Plug-ins are read and tried in child processes only: no library's
    // code runs in the checker itself.
    config.pluginGate = audio::PluginGate::DescribedOnly;
    startAudio(system, config);

    std::vector<Finding> findings;
    Summary summary;
    summary.adventures = targets.size();
    for (const Target& target : targets) {
        std::vector<Finding> found = checkAdventure(system, target.path.string(), target.shownAs);
        if (!found.empty()) ++summary.adventuresWithFindings;
        for (Finding& finding : found) {
            summary.errors += finding.severity == Severity::Error ? 1 : 0;
            summary.warnings += finding.severity == Severity::Warning ? 1 : 0;
            summary.notes += finding.severity == Severity::Note ? 1 : 0;
            findings.push_back(std::move(finding));
        }
    }
    system.close();

    if (options.format == Format::Json) {
        writeJson(findings, out);
        err << summaryLine(summary) << '\n';
    } else {
        writeText(findings, out);
        out << summaryLine(summary) << '\n';
    }
    return summary.errors > 0 ? 1 : 0;
}

}  // namespace gloam::check
