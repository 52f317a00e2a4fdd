// The soak session: engine, clock, random keys, the main loop, and what is measured.
#include "Soak.h"

#include "KeyMonkey.h"
#include "SilenceWatch.h"
#include "WorkFiles.h"
#include "app/OfflineSession.h"

#include <tinyxml2.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace gloam::soak {

namespace fs = std::filesystem;
namespace files = gloam::files;

namespace {

constexpr std::int32_t startMs = 1000;
constexpr std::int32_t lookEveryMs = 100;
/// A channel that no element plays may linger this long (a stop in flight).
constexpr std::int64_t strayChannelMs = 10000;
/// A window of the mix below this RMS (-60 dBFS) holds no sound.
constexpr double silentRms = 1e-3;

/// Peak resident memory since the last reset, in kB; resetting it lets every
/// stretch report its own peak (0 when the system does not tell).
long peakRssKb() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmHWM:", 0) == 0) return std::stol(line.substr(6));
    }
    return 0;
}

void resetPeakRss() { std::ofstream("/proc/self/clear_refs") << "5"; }

/// "h:mm" of virtual time since the start.
std::string elapsedText(std::int64_t ms) {
    const std::int64_t minutes = ms / 60000;
    char text[32];
    std::snprintf(text, sizeof text, "%lld:%02lld", static_cast<long long>(minutes / 60),
                  static_cast<long long>(minutes % 60));
    return text;
}

/// Measures the rendered mix: level and peak per stretch, non-finite
/// samples, and windows that hold no sound.
class MixMeter {
public:
    MixMeter(int sampleRate, int channels, int windowSeconds)
        : sampleRate_(sampleRate), samplesPerFrame_(channels),
          windowSamples_(static_cast<std::int64_t>(windowSeconds) * sampleRate * channels) {}

    void measure(const float* interleaved, std::size_t numFrames) {
        for (std::size_t i = 0; i < numFrames * static_cast<std::size_t>(samplesPerFrame_); ++i) {
            measureSample(interleaved[i]);
        }
    }

    std::int64_t nonFiniteSamples() const { return nonFinite_; }
    /// The first window that held no sound, as "from-to s"; empty when none.
    const std::string& silentWindow() const { return silentWindow_; }
    /// RMS in dBFS and peak of the mix since the last call.
    std::pair<double, double> takeLevel() {
        const double rms = stretchSamples_ > 0 ? std::sqrt(stretchSum_ / static_cast<double>(stretchSamples_)) : 0.0;
        const std::pair<double, double> level{rms > 0.0 ? 20.0 * std::log10(rms) : -200.0, stretchPeak_};
        stretchSum_ = 0.0;
        stretchSamples_ = 0;
        stretchPeak_ = 0.0;
        return level;
    }

private:
    void measureSample(float sample) {
        ++samples_;
        if (!std::isfinite(sample)) {
            ++nonFinite_;
            return;
        }
        const double value = sample;
        stretchSum_ += value * value;
        ++stretchSamples_;
        stretchPeak_ = std::max(stretchPeak_, std::abs(value));
        if (windowSamples_ == 0) return;
        windowSum_ += value * value;
        if (samples_ % windowSamples_ != 0) return;
        if (silentWindow_.empty() && std::sqrt(windowSum_ / static_cast<double>(windowSamples_)) < silentRms) {
            const std::int64_t endSeconds = samples_ / (static_cast<std::int64_t>(sampleRate_) * samplesPerFrame_);
            const std::int64_t windowSeconds = windowSamples_ / (static_cast<std::int64_t>(sampleRate_) * samplesPerFrame_);
            silentWindow_ = std::to_string(endSeconds - windowSeconds) + "-" + std::to_string(endSeconds) + " s";
        }
        windowSum_ = 0.0;
    }

    int sampleRate_;
    int samplesPerFrame_;
    std::int64_t windowSamples_;
    std::int64_t samples_ = 0;
    std::int64_t nonFinite_ = 0;
    double stretchSum_ = 0.0;
    std::int64_t stretchSamples_ = 0;
    double stretchPeak_ = 0.0;
    double windowSum_ = 0.0;
    std::string silentWindow_;
};

/// The highest values seen in one stretch of the run.
struct Stretch {
    long peakRssKb = 0;
    int channels = 0;
    int mostChannels = 0;
    std::size_t largestPlanQueue = 0;
    std::size_t activeElements = 0;
    std::size_t mostActiveElements = 0;
};

/// A measure's highest value in the last quarter of the stretches against
/// its highest value in the stretches before (`sinceStart`) or only in the
/// first quarter (slow leaks, which the stretches just before would hide);
/// an empty text when it stayed within the slack.
template <typename Measure>
std::string growth(const std::vector<Stretch>& stretches, const char* what, Measure measure, bool sinceStart,
                   double slackFactor, double slackAdded) {
    const std::size_t quarter = std::max<std::size_t>(1, stretches.size() / 4);
    const std::size_t lastStart = stretches.size() - quarter;
    double before = 0.0;
    double last = 0.0;
    for (std::size_t i = 0; i < (sinceStart ? lastStart : quarter); ++i) before = std::max(before, measure(stretches[i]));
    for (std::size_t i = lastStart; i < stretches.size(); ++i) last = std::max(last, measure(stretches[i]));
    if (last <= before * slackFactor + slackAdded) return {};
    char text[200];
    std::snprintf(text, sizeof text, "%s rose from at most %.0f %s to %.0f in the last quarter", what, before,
                  sinceStart ? "before" : "in the first quarter of the run", last);
    return text;
}

/// What kept growing over the run, in words; empty when nothing did or the
/// run is too short to tell.
std::string unboundedGrowth(const std::vector<Stretch>& stretches) {
    if (stretches.size() < 4) return {};
    const auto rssKb = [](const Stretch& s) { return static_cast<double>(s.peakRssKb); };
    const auto queue = [](const Stretch& s) { return static_cast<double>(s.largestPlanQueue); };
    const auto channels = [](const Stretch& s) { return static_cast<double>(s.mostChannels); };
    const auto active = [](const Stretch& s) { return static_cast<double>(s.mostActiveElements); };
    for (const std::string& grown : {
             growth(stretches, "the peak RSS (kB)", rssKb, false, 1.1, 8192.0),
             growth(stretches, "the largest plan queue", queue, true, 1.0, 4.0),
             growth(stretches, "the most channels playing", channels, true, 1.5, 4.0),
             growth(stretches, "the most active elements", active, true, 1.5, 4.0),
         }) {
        if (!grown.empty()) return grown;
    }
    return {};
}

/// Writes a named case's sounds and adventure into the working directory.
void writeCase(const SoakCase& soakCase) {
    for (const CaseSound& sound : soakCase.sounds) {
        files::writeSine(fs::path("sounds") / sound.path, sound.lengthMs, 8000, sound.frequency);
    }
    files::writeText("adventures/case.xml", soakCase.xml);
}

/// Changes the working directory for the run and back afterwards.
class InFolder {
public:
    explicit InFolder(const fs::path& folder) : previous_(fs::current_path()) { fs::current_path(folder); }
    ~InFolder() {
        std::error_code ignored;
        fs::current_path(previous_, ignored);
    }
    InFolder(const InFolder&) = delete;
    InFolder& operator=(const InFolder&) = delete;

private:
    fs::path previous_;
};

}  // namespace

int runSoak(const SoakOptions& options, std::ostream& out) {
    std::optional<files::ScopedWorkDir> caseFolder;
    fs::path root = options.root;
    std::string adventurePath = options.adventure;
    int windowSeconds = 0;
    if (options.soakCase) {
        caseFolder.emplace();
        writeCase(*options.soakCase);
        root = caseFolder->path();
        adventurePath = "adventures/case.xml";
        windowSeconds = options.soakCase->soundingWindowSeconds;
    }
    std::error_code error;
    if (!fs::is_directory(root, error)) {
        out << "gloam-soak: no such folder: " << root.string() << '\n';
        return 2;
    }
    InFolder inRoot(root);
    {
        tinyxml2::XMLDocument document;
        if (document.LoadFile(adventurePath.c_str()) != tinyxml2::XML_SUCCESS) {
            out << "gloam-soak: cannot read adventure " << adventurePath << " in " << root.string()
                << " (missing or not well-formed XML)\n";
            return 2;
        }
    }

    // The keys come from the monkey, which reads the session's clock and
    // adventure; it is made once they exist.
    KeyMonkey* monkey = nullptr;
    OfflineConfig config;
    config.sampleRate = options.sampleRate;
    config.channels = 1;
    config.startMs = startMs;
    // Mixed in a device's blocks, so that short waits do not pay for a mix each.
    config.blockMs = 20;
    config.makeConsole = [&](OfflineSession& made) {
        auto keys = std::make_unique<KeyMonkey>(made.clock(), made.runtime(), made.adventure(), adventurePath,
                                                options.seed, options.keyEverySeconds * 1000.0);
        monkey = keys.get();
        return keys;
    };
    std::optional<MixMeter> meter;
    OfflineSession session(std::move(config), [&meter](const float* mix, std::size_t numFrames) {
        meter->measure(mix, numFrames);
        return true;
    });
    const platform::VirtualClock& clock = session.clock();
    Runtime& runtime = session.runtime();
    Adventure& adventure = session.adventure();
    audio::System& system = session.engine();
    meter.emplace(system.sampleRate(), system.outputChannels(), windowSeconds);
    SilenceWatch watch(clock);
    runtime.observer = &watch;

    adventure.load(adventurePath);
    const auto totalMs = static_cast<std::int64_t>(std::llround(options.hours * 3600000.0));
    const std::int64_t stretchMs = std::max<std::int64_t>(1000, std::min<std::int64_t>(3600000, totalMs / 6));
    char duration[32];
    std::snprintf(duration, sizeof duration, options.hours < 1.0 ? "%.0f min" : "%g h",
                  options.hours < 1.0 ? options.hours * 60.0 : options.hours);
    out << "gloam-soak: " << (options.soakCase ? "case " + options.soakCase->name : adventurePath) << ", "
        << duration << " of virtual time at " << options.sampleRate << " Hz, seed " << options.seed;
    if (options.keyEverySeconds > 0.0) out << ", a key every " << options.keyEverySeconds << " s on average";
    out << "\n   time  peak RSS  channels (most)  plan queue  active (most)  mix RMS   peak   keys  passes/s\n";

    std::vector<Stretch> stretches;
    Stretch stretch;
    resetPeakRss();
    std::string finding;
    std::int64_t nextLookMs = lookEveryMs;
    std::int64_t nextReportMs = stretchMs;
    std::int64_t strayChannelsSinceMs = -1;
    std::int64_t reloadsSeen = 0;
    std::int64_t keysAtStretchStart = 0;
    std::int64_t stretchStartMs = 0;
    auto report = [&](std::int64_t elapsedMs) {
        stretch.peakRssKb = peakRssKb();
        resetPeakRss();
        const auto [rmsDb, peak] = meter->takeLevel();
        const std::int64_t keysPressed = monkey->keysPressed() - keysAtStretchStart;
        keysAtStretchStart = monkey->keysPressed();
        // How often the loop woke: a loop that cannot rest would wake every
        // millisecond, and a real player would burn the processor doing so.
        const double passesPerSecond = 1000.0 * static_cast<double>(session.takeWaits()) /
                                       static_cast<double>(std::max<std::int64_t>(1, elapsedMs - stretchStartMs));
        stretchStartMs = elapsedMs;
        char line[200];
        std::snprintf(line, sizeof line, "%7s  %5.1f MB  %8d (%3d)  %10zu  %6zu (%3zu)  %5.1f dB  %5.3f  %5lld  %8.1f\n",
                      elapsedText(elapsedMs).c_str(), static_cast<double>(stretch.peakRssKb) / 1024.0,
                      stretch.channels, stretch.mostChannels, stretch.largestPlanQueue, stretch.activeElements,
                      stretch.mostActiveElements, rmsDb, peak, static_cast<long long>(keysPressed), passesPerSecond);
        out << line << std::flush;
        stretches.push_back(stretch);
        stretch = Stretch{};
    };

    while (finding.empty()) {
        const std::int64_t elapsedMs = static_cast<std::int64_t>(clock.nowMs()) - startMs;
        if (elapsedMs >= nextReportMs || elapsedMs >= totalMs) {
            report(elapsedMs);
            nextReportMs += stretchMs;
        }
        if (elapsedMs >= totalMs) break;
        if (!session.runPass()) break;
        if (monkey->reloads() != reloadsSeen) {
            reloadsSeen = monkey->reloads();
            watch.forgetAll();
        }
        const std::int64_t nowMs = static_cast<std::int64_t>(clock.nowMs()) - startMs;
        if (nowMs < nextLookMs) continue;
        nextLookMs = nowMs + lookEveryMs;

        const Sighting sighting = watch.look(adventure);
        const int channels = system.channelsPlaying();
        stretch.channels = channels;
        stretch.mostChannels = std::max(stretch.mostChannels, channels);
        stretch.largestPlanQueue = std::max(stretch.largestPlanQueue, sighting.largestPlanQueue);
        stretch.activeElements = runtime.activeElements.size();
        stretch.mostActiveElements = std::max(stretch.mostActiveElements, stretch.activeElements);
        if (channels > sighting.channelsOfElements) {
            if (strayChannelsSinceMs < 0) strayChannelsSinceMs = nowMs;
            if (nowMs - strayChannelsSinceMs > strayChannelMs) {
                finding = std::to_string(channels - sighting.channelsOfElements) +
                          " channel(s) played for over 10 s that no element plays";
            }
        } else {
            strayChannelsSinceMs = -1;
        }
        if (!sighting.stall.empty()) finding = sighting.stall;
        if (meter->nonFiniteSamples() > 0) finding = "the mix holds non-finite samples";
        if (!meter->silentWindow().empty()) finding = "the mix held no sound from " + meter->silentWindow();
        if (!finding.empty()) finding = "at " + elapsedText(nowMs) + " (" + std::to_string(nowMs) + " ms): " + finding;
    }
    session.shutDown();

    if (finding.empty()) finding = unboundedGrowth(stretches);
    if (!finding.empty()) {
        out << "FAIL: " << finding << '\n';
        return 1;
    }
    out << "OK: " << monkey->keysPressed() << " keys (" << monkey->reloads() << " reloads), no growth, no stall"
        << (stretches.size() < 4 ? " (too short to judge growth)" : "") << '\n';
    return 0;
}

}  // namespace gloam::soak
