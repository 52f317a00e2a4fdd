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

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>

namespace gloam::check {

namespace fs = std::filesystem;

namespace {

using platform::WorkingDirectory;

/// Reads the whole file at `path` into `text` the way the player does
/// (opening never waits); the reason when it cannot, else empty.
std::string readAll(const std::string& path, std::string& text) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) return std::strerror(errno);
    std::string reason;
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n > 0) {
            text.append(buffer, static_cast<std::size_t>(n));
        } else if (n == 0) {
            break;
        } else if (errno != EINTR) {
            reason = std::strerror(errno);
            break;
        }
    }
    ::close(fd);
    return reason;
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
    // A file the player could not read either: say so, not that it is refused.
    std::string text;
    if (const std::string reason = readAll(path, text); !reason.empty()) {
        return {Finding{shownAs, {}, Severity::Error, "unreadable", "cannot read the file: " + reason}};
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
    AdventureChecker checker(runtime, shownAs, std::move(text));
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

    // A report that does not arrive whole (a full disk, a closed output, a
    // reader that went away) is a failure of the check itself.
    errno = 0;
    if (options.format == Format::Json) {
        writeJson(findings, out);
    } else {
        writeText(findings, out);
        out << summaryLine(summary) << '\n';
    }
    out.flush();
    if (!out) {
        const int reason = errno;
        err << "gloam-check: cannot write the report: " << (reason != 0 ? std::strerror(reason) : "write failed") << '\n';
        return 2;
    }
    if (options.format == Format::Json) err << summaryLine(summary) << '\n';
    return summary.errors > 0 ? 1 : 0;
}

}  // namespace gloam::check
