// gloam-bench-seams: how exactly loops and sequences join, at the table and in the renderer.
//
// Builds a folder with 1 s sines (whole numbers of cycles, so a seamless join
// is a continuous sine) and one adventure of scenes, each looping them one
// way: a sound in each sound-creation mode, a sequence of two files, a file
// at 44.1 kHz played at 48 kHz, and loops with a loop delay. Each scene is
// rendered with gloam-render and, when the player is given, played live by
// the player in a pseudo-terminal with SDL's disk driver capturing its
// output. Every join is then measured: silence between passes that should not
// be there (or the wrong amount of it), overlap, and the largest jump in the
// waveform, in samples and relative to a clean sine.
#include "WorkFiles.h"

#include <sndfile.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

constexpr int kRate = 48000;
constexpr double kFrequency = 440.0;
constexpr float kAmplitude = 0.5f;

struct Scene {
    char key;
    const char* name;
    const char* body;       ///< the scene's elements
    long loopDelayFrames;   ///< silence expected between passes
};

// Keys are letters so that scene keys never meet the automatic element keys.
const Scene kScenes[] = {
    {'P', "loop preload", R"(<sound src="sine48.wav" mode="preload" loopCount="-1" autoStart="1"/>)", 0},
    {'C', "loop compressed", R"(<sound src="sine48.flac" mode="compressed" loopCount="-1" autoStart="1"/>)", 0},
    {'S', "loop stream", R"(<sound src="sine48.wav" mode="stream" loopCount="-1" autoStart="1"/>)", 0},
    {'Q', "seq of two, preload",
     R"(<seq loopCount="-1" autoStart="1" mode="preload"><sound src="a.wav"/><sound src="b.wav"/></seq>)", 0},
    {'R', "seq of two, stream",
     R"(<seq loopCount="-1" autoStart="1" mode="stream"><sound src="a.wav"/><sound src="b.wav"/></seq>)", 0},
    {'H', "44.1 kHz file, preload", R"(<sound src="sine44.wav" mode="preload" loopCount="-1" autoStart="1"/>)", 0},
    {'J', "44.1 kHz file, stream", R"(<sound src="sine44.wav" mode="stream" loopCount="-1" autoStart="1"/>)", 0},
    {'D', "loop delay 250 ms", R"(<sound src="sine48.wav" mode="preload" loopCount="-1" loopDelay="250" autoStart="1"/>)",
     250 * kRate / 1000},
};

/// One second of the test tone at `rate`.
bool writeSine(const fs::path& path, int rate, int format) {
    return gloam::files::writeSound(path, format, rate, 1, gloam::files::sine(rate, kFrequency, rate, kAmplitude));
}

std::string adventure() {
    // A quiet first scene, so that nothing sounds until a scene is chosen.
    std::string xml = "<adventure>\n  <scene name=\"quiet\"/>\n";
    for (const Scene& scene : kScenes) {
        xml.append("  <scene name=\"").append(scene.name).append("\" key=\"");
        xml.push_back(scene.key);
        xml.append("\">").append(scene.body).append("</scene>\n");
    }
    xml.append("</adventure>\n");
    return xml;
}

/// One channel of interleaved float samples.
std::vector<float> loudestChannel(const std::vector<float>& interleaved, int channels) {
    std::vector<double> energy(static_cast<std::size_t>(channels), 0.0);
    for (std::size_t i = 0; i < interleaved.size(); ++i) energy[i % channels] += interleaved[i] * interleaved[i];
    const auto best = static_cast<std::size_t>(std::max_element(energy.begin(), energy.end()) - energy.begin());
    std::vector<float> mono;
    for (std::size_t i = best; i < interleaved.size(); i += static_cast<std::size_t>(channels)) mono.push_back(interleaved[i]);
    return mono;
}

struct Seams {
    int joins = 0;           ///< passes that followed one another
    int gaps = 0;            ///< joins with more silence than planned
    long worstGap = 0;       ///< the most extra silence, in samples
    int overlaps = 0;        ///< joins where two passes sounded at once
    long worstDelayError = 0;  ///< loop delays: most samples off the planned silence
    double worstJump = 0.0;  ///< largest second difference, relative to the sine's own
};

/// Measures every join of a looping sine after the first sample that sounds.
Seams measure(const std::vector<float>& x, long loopDelayFrames) {
    Seams seams;
    const double omega = 2.0 * M_PI * kFrequency / kRate;
    std::size_t start = 0;
    while (start < x.size() && std::fabs(x[start]) < 1e-4f) ++start;
    std::size_t end = x.size();
    while (end > start && std::fabs(x[end - 1]) < 1e-4f) --end;
    if (end - start < 2 * kRate) return seams;
    // The sine's level where it lands (placement scales it).
    float amplitude = 0.0f;
    for (std::size_t n = start; n < start + kRate; ++n) amplitude = std::max(amplitude, std::fabs(x[n]));
    const double smooth = amplitude * omega * omega;  // the largest second difference of the clean sine
    // A run of near-zero samples longer than a zero crossing is a pause.
    const float quiet = amplitude * 1e-3f;
    long run = 0;
    bool inRun = false;
    for (std::size_t n = start; n < end; ++n) {
        const bool silent = std::fabs(x[n]) < quiet;
        if (silent) {
            ++run;
            inRun = true;
            continue;
        }
        if (inRun && run > 1) {
            const long extra = run - 1 - loopDelayFrames;
            if (loopDelayFrames > 0) {
                seams.worstDelayError = std::max(seams.worstDelayError, std::labs(extra));
            } else {
                ++seams.gaps;
                seams.worstGap = std::max(seams.worstGap, extra);
            }
        }
        run = 0;
        inRun = false;
        if (std::fabs(x[n]) > amplitude * 1.02f) ++seams.overlaps;
        if (n > start && n + 1 < end && std::fabs(x[n - 1]) >= quiet && std::fabs(x[n + 1]) >= quiet) {
            const double jump = std::fabs(static_cast<double>(x[n + 1]) - 2.0 * x[n] + x[n - 1]) / smooth;
            seams.worstJump = std::max(seams.worstJump, jump);
        }
    }
    const double passFrames = kRate + static_cast<double>(loopDelayFrames);
    seams.joins = static_cast<int>(static_cast<double>(end - start) / passFrames);
    return seams;
}

/// How far apart two captures of the same scene are, once their starts are
/// aligned: the largest difference and the residual relative to the signal.
struct Agreement {
    long frames = 0;
    double largestDifference = 0.0;
    double residualDb = 0.0;
};

Agreement compare(const std::vector<float>& a, const std::vector<float>& b, int channels) {
    auto firstSound = [channels](const std::vector<float>& x) {
        std::size_t i = 0;
        while (i < x.size() && std::fabs(x[i]) < 1e-6f) ++i;
        return i - i % static_cast<std::size_t>(channels);
    };
    const std::size_t fromA = firstSound(a);
    const std::size_t fromB = firstSound(b);
    // The live capture ends when the player quits: leave its last second out.
    const std::size_t length =
        std::min(a.size() - std::min(a.size(), fromA), b.size() - std::min(b.size(), fromB));
    const std::size_t compared = length > static_cast<std::size_t>(kRate * channels) ? length - kRate * channels : 0;
    Agreement agreement;
    double signal = 0.0;
    double residual = 0.0;
    for (std::size_t i = 0; i < compared; ++i) {
        const double difference = static_cast<double>(a[fromA + i]) - b[fromB + i];
        agreement.largestDifference = std::max(agreement.largestDifference, std::fabs(difference));
        residual += difference * difference;
        signal += static_cast<double>(a[fromA + i]) * a[fromA + i];
    }
    agreement.frames = static_cast<long>(compared / static_cast<std::size_t>(channels));
    agreement.residualDb = residual > 0.0 && signal > 0.0 ? 10.0 * std::log10(residual / signal) : -999.0;
    return agreement;
}

void report(const char* where, const Scene& scene, const Seams& s) {
    std::printf("%-7s %-24s joins %3d  gaps %3d (worst %5ld samples)  overlap samples %4d  ", where, scene.name, s.joins,
                s.gaps, s.worstGap, s.overlaps);
    if (scene.loopDelayFrames > 0) std::printf("delay error %ld samples  ", s.worstDelayError);
    std::printf("largest jump %.1fx a clean sine\n", s.worstJump);
}

std::vector<float> readWav(const fs::path& path, int& channels) {
    SF_INFO info{};
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
    if (file == nullptr) return {};
    std::vector<float> samples(static_cast<std::size_t>(info.frames * info.channels));
    sf_readf_float(file, samples.data(), info.frames);
    sf_close(file);
    channels = info.channels;
    return samples;
}

Seams renderScene(const fs::path& renderer, const fs::path& root, const Scene& scene, int seconds, int channels,
                  std::vector<float>& samples) {
    const fs::path out = root / "render.wav";
    std::string command = "'";
    command.append(renderer.string()).append("' --root '").append(root.string());
    command.append("' --adventure adventures/seams.xml --keys 0:");
    command.push_back(scene.key);
    command.append(" --seconds ").append(std::to_string(seconds));
    command.append(" --rate 48000 --channels ").append(std::to_string(channels));
    command.append(" -o '").append(out.string()).append("'");
    if (std::system(command.c_str()) != 0) return {};
    int written = 0;
    samples = readWav(out, written);
    return measure(loudestChannel(samples, std::max(written, 1)), scene.loopDelayFrames);
}

/// Runs the player in a pty, loads the adventure, selects the scene, lets it
/// play, quits, and reads what SDL's disk driver wrote.
Seams playScene(const fs::path& player, const std::vector<std::string>& playerArgs, const fs::path& root,
                const Scene& scene, int seconds, int channels, std::vector<float>& samples) {
    const fs::path capture = root / "live.raw";
    int master = -1;
    const pid_t pid = ::forkpty(&master, nullptr, nullptr, nullptr);
    if (pid < 0) return {};
    if (pid == 0) {
        if (::chdir(root.c_str()) != 0) ::_exit(126);
        ::setenv("SDL_AUDIODRIVER", "disk", 1);
        ::setenv("SDL_DISKAUDIOFILE", capture.c_str(), 1);
        std::vector<char*> argv{const_cast<char*>("gloam")};
        for (const std::string& argument : playerArgs) argv.push_back(const_cast<char*>(argument.c_str()));
        argv.push_back(nullptr);
        ::execv(player.c_str(), argv.data());
        ::_exit(127);
    }
    // Drains the screen output so the player never blocks writing it.
    auto pause = [master](int ms) {
        const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
        char buffer[4096];
        while (std::chrono::steady_clock::now() < until) {
            pollfd ready{master, POLLIN, 0};
            if (::poll(&ready, 1, 20) > 0 && ::read(master, buffer, sizeof buffer) <= 0) break;
        }
    };
    auto type = [master](const std::string& keys) { (void)!::write(master, keys.data(), keys.size()); };
    pause(500);
    type("!");
    pause(300);
    type("\r");
    pause(300);
    type(std::string(1, scene.key));
    pause(seconds * 1000);
    type("\x1b");
    pause(300);
    int status = 0;
    if (::waitpid(pid, &status, WNOHANG) == 0) {
        ::kill(pid, SIGTERM);
        ::waitpid(pid, &status, 0);
    }
    ::close(master);
    std::ifstream in(capture, std::ios::binary);
    samples.clear();
    float sample = 0.0f;
    while (in.read(reinterpret_cast<char*>(&sample), sizeof sample)) samples.push_back(sample);
    return measure(loudestChannel(samples, channels), scene.loopDelayFrames);
}

}  // namespace

int main(int argc, char** argv) {
    fs::path renderer;
    fs::path player;
    int seconds = 60;
    int liveChannels = 6;
    std::vector<std::string> playerArgs;
    std::string onlyScenes;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string option = argv[i];
        if (option == "--player-arg") playerArgs.emplace_back(argv[i + 1]);
        else if (option == "--scenes") onlyScenes = argv[i + 1];
        else if (option == "--render") renderer = argv[i + 1];
        else if (option == "--player") player = argv[i + 1];
        else if (option == "--seconds") seconds = std::max(3, std::atoi(argv[i + 1]));
        else if (option == "--live-channels") liveChannels = std::max(1, std::atoi(argv[i + 1]));
    }
    if (renderer.empty() && player.empty()) {
        std::fprintf(stderr,
                     "usage: gloam-bench-seams [--render PATH-TO-gloam-render] [--player PATH-TO-gloam] "
                     "[--seconds S] [--live-channels N] [--scenes KEYS] [--player-arg ARG]...\n"
                     "Measures every join of looping sounds and sequences, rendered and/or live.\n"
                     "--scenes plays only the scenes with those keys; each --player-arg is passed to the player.\n");
        return 2;
    }
    const fs::path root = fs::temp_directory_path() / ("gloam-seams-" + std::to_string(::getpid()));
    fs::create_directories(root / "sounds");
    fs::create_directories(root / "adventures");
    const int wav = SF_FORMAT_WAV | SF_FORMAT_PCM_24;
    const bool made = writeSine(root / "sounds/sine48.wav", kRate, wav) &&
                      writeSine(root / "sounds/sine48.flac", kRate, SF_FORMAT_FLAC | SF_FORMAT_PCM_24) &&
                      writeSine(root / "sounds/a.wav", kRate, wav) && writeSine(root / "sounds/b.wav", kRate, wav) &&
                      writeSine(root / "sounds/sine44.wav", 44100, wav);
    std::ofstream(root / "adventures/seams.xml") << adventure();
    if (!made) {
        std::fprintf(stderr, "cannot write the test sounds\n");
        return 1;
    }
    for (const Scene& scene : kScenes) {
        if (!onlyScenes.empty() && onlyScenes.find(scene.key) == std::string::npos) continue;
        // Rendered with the live output's layout, so the two can be compared.
        std::vector<float> rendered;
        std::vector<float> live;
        if (!renderer.empty()) {
            report("render", scene, renderScene(fs::absolute(renderer), root, scene, seconds, liveChannels, rendered));
        }
        if (!player.empty()) {
            report("live", scene, playScene(fs::absolute(player), playerArgs, root, scene, seconds, liveChannels, live));
        }
        if (!rendered.empty() && !live.empty()) {
            const Agreement agreement = compare(rendered, live, liveChannels);
            std::printf("compare %-24s %ld frames aligned: largest difference %.2g, residual %.1f dB\n", scene.name,
                        agreement.frames, agreement.largestDifference, agreement.residualDb);
        }
    }
    std::error_code ignored;
    fs::remove_all(root, ignored);
    return 0;
}
