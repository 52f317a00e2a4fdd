// gloam-bench-keys: how long a key takes to be heard, at the table.
//
// Runs the player in a pseudo-terminal with SDL's disk driver standing in for
// the sound card, loads an adventure with one element whose key starts and
// stops a steady level (no fades), and presses that key 50 times at random
// moments. While it runs, the capture file is watched every few hundred
// microseconds: the disk driver writes each buffer when a sound card would
// take it, so the file's growth tells when every output frame went out. A
// key's latency runs from the moment its byte is written to the terminal to
// the moment the first frame it changed went out. Prints the median and the
// worst over the keys.
#include "WorkFiles.h"

#include <sndfile.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr int kRate = 48000;
constexpr int kKeys = 50;

/// The capture file's size at one moment.
struct Growth {
    Clock::time_point at;
    std::int64_t bytes;
};

double msBetween(Clock::time_point from, Clock::time_point to) {
    return std::chrono::duration<double, std::milli>(to - from).count();
}

class Session {
public:
    Session(const fs::path& player, const fs::path& root, const fs::path& capture) : capture_(capture) {
        pid_ = ::forkpty(&master_, nullptr, nullptr, nullptr);
        if (pid_ == 0) {
            if (::chdir(root.c_str()) != 0) ::_exit(126);
            ::setenv("SDL_AUDIODRIVER", "disk", 1);
            ::setenv("SDL_DISKAUDIOFILE", capture.c_str(), 1);
            ::execl(player.c_str(), "gloam", static_cast<char*>(nullptr));
            ::_exit(127);
        }
    }
    bool started() const { return pid_ > 0; }

    /// Drains the screen and logs the capture's growth for `ms`.
    void watch(double ms) {
        const Clock::time_point until = Clock::now() + std::chrono::microseconds(static_cast<long>(ms * 1000));
        char buffer[4096];
        while (Clock::now() < until) {
            pollfd ready{master_, POLLIN, 0};
            if (::poll(&ready, 1, 0) > 0) (void)!::read(master_, buffer, sizeof buffer);
            struct stat info {};
            if (::stat(capture_.c_str(), &info) == 0 && (growth.empty() || info.st_size != growth.back().bytes)) {
                growth.push_back({Clock::now(), static_cast<std::int64_t>(info.st_size)});
            }
            ::usleep(200);
        }
    }
    Clock::time_point type(const std::string& keys) {
        const Clock::time_point at = Clock::now();
        (void)!::write(master_, keys.data(), keys.size());
        return at;
    }
    void end() {
        type("\x1b");
        watch(300);
        int status = 0;
        if (::waitpid(pid_, &status, WNOHANG) == 0) {
            ::kill(pid_, SIGTERM);
            ::waitpid(pid_, &status, 0);
        }
        ::close(master_);
    }

    std::vector<Growth> growth;

private:
    fs::path capture_;
    int master_ = -1;
    pid_t pid_ = -1;
};

}  // namespace

int main(int argc, char** argv) {
    fs::path player;
    int channels = 6;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string option = argv[i];
        if (option == "--player") player = argv[i + 1];
        else if (option == "--live-channels") channels = std::max(1, std::atoi(argv[i + 1]));
    }
    if (player.empty()) {
        std::fprintf(stderr,
                     "usage: gloam-bench-keys --player PATH-TO-gloam [--live-channels N]\n"
                     "Measures, live through SDL's disk driver, how long %d keys take from the byte to the\n"
                     "first output frame they change (N: the channels the disk driver writes, default 6).\n",
                     kKeys);
        return 2;
    }
    const fs::path root = fs::temp_directory_path() / ("gloam-keys-" + std::to_string(::getpid()));
    fs::create_directories(root / "adventures");
    // A steady level: every frame shows at once whether the element sounds.
    if (!gloam::files::writeSound(root / "sounds/level.wav", SF_FORMAT_WAV | SF_FORMAT_FLOAT, kRate, 1,
                                  std::vector<float>(kRate, 0.25f))) {
        std::fprintf(stderr, "cannot write the test sound\n");
        return 1;
    }
    std::ofstream(root / "adventures/keys.xml")
        << R"(<adventure><scene name="keys"><sound name="level" key="k" src="level.wav" loopCount="-1"/></scene></adventure>)";

    const fs::path capture = root / "live.raw";
    Session session(fs::absolute(player), root, capture);
    if (!session.started()) return 1;
    session.watch(800);
    session.type("!");
    session.watch(300);
    session.type("\r");
    session.watch(800);
    std::mt19937 random(18);
    std::vector<Clock::time_point> sent;
    for (int key = 0; key < kKeys; ++key) {
        sent.push_back(session.type("k"));
        session.watch(std::uniform_real_distribution<double>(250.0, 450.0)(random));
    }
    session.end();

    std::vector<float> first;
    {
        std::ifstream in(capture, std::ios::binary);
        std::vector<float> frame(static_cast<std::size_t>(channels));
        while (in.read(reinterpret_cast<char*>(frame.data()), static_cast<std::streamsize>(frame.size() * sizeof(float)))) {
            first.push_back(*std::max_element(frame.begin(), frame.end(),
                                              [](float a, float b) { return std::fabs(a) < std::fabs(b); }));
        }
    }
    const std::int64_t frameBytes = static_cast<std::int64_t>(channels) * static_cast<std::int64_t>(sizeof(float));
    // When frame f went out: its buffer's write, plus its place in the buffer.
    auto frameOut = [&](std::int64_t f) -> std::optional<Clock::time_point> {
        for (std::size_t i = 0; i < session.growth.size(); ++i) {
            if (session.growth[i].bytes / frameBytes > f) {
                const std::int64_t bufferStart = i > 0 ? session.growth[i - 1].bytes / frameBytes : 0;
                return session.growth[i].at + std::chrono::microseconds((f - bufferStart) * 1000000 / kRate);
            }
        }
        return std::nullopt;
    };
    auto framesOutBy = [&](Clock::time_point at) -> std::int64_t {
        std::int64_t bytes = 0;
        for (const Growth& g : session.growth) {
            if (g.at > at) break;
            bytes = g.bytes;
        }
        return bytes / frameBytes;
    };

    std::vector<double> latencies;
    for (const Clock::time_point at : sent) {
        // The frames that went out before the byte cannot show the key.
        const std::int64_t from = framesOutBy(at);
        if (from <= 0 || from >= static_cast<std::int64_t>(first.size())) continue;
        const bool soundingBefore = std::fabs(first[static_cast<std::size_t>(from - 1)]) > 1e-3f;
        std::int64_t changed = from;
        while (changed < static_cast<std::int64_t>(first.size()) &&
               (std::fabs(first[static_cast<std::size_t>(changed)]) > 1e-3f) == soundingBefore) {
            ++changed;
        }
        if (const auto out = frameOut(changed)) latencies.push_back(msBetween(at, *out));
    }
    std::error_code ignored;
    fs::remove_all(root, ignored);
    if (latencies.size() < kKeys / 2) {
        std::fprintf(stderr, "only %zu of %d keys were heard; is the disk driver writing %d channels?\n",
                     latencies.size(), kKeys, channels);
        return 1;
    }
    std::vector<double> sorted = latencies;
    std::sort(sorted.begin(), sorted.end());
    std::printf("keys: %zu of %d measured, byte to first changed output frame: median %.1f ms, worst %.1f ms, best %.1f ms\n",
                sorted.size(), kKeys, sorted[sorted.size() / 2], sorted.back(), sorted.front());
    return 0;
}
