// The player: a terminal, the audio engine and the main loop until Escape.
#include "app/Adventure.h"
#include "app/AudioClock.h"
#include "app/AudioStartup.h"
#include "app/MainLoop.h"
#include "audio/System.h"
#include "model/Runtime.h"
#include "platform/Clock.h"
#include "platform/Terminal.h"
#include "playback/Random.h"

#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string_view>

#include <fcntl.h>
#include <unistd.h>

namespace {

/// Libraries print to standard error now and then (a decoder complaining
/// about a damaged MP3 frame); on the terminal that would scribble over the
/// status screen. While the screen is up, such text goes nowhere; what the
/// player itself says at the end goes to the terminal again.
class QuietStandardError {
public:
    QuietStandardError() {
#if !defined(__SANITIZE_ADDRESS__)  // sanitizer builds keep their reports
        if (::isatty(STDERR_FILENO) == 0) return;
        const int nowhere = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
        if (nowhere < 0) return;
        saved_ = ::dup(STDERR_FILENO);
        if (saved_ >= 0) ::dup2(nowhere, STDERR_FILENO);
        ::close(nowhere);
#endif
    }
    ~QuietStandardError() { restore(); }
    QuietStandardError(const QuietStandardError&) = delete;
    QuietStandardError& operator=(const QuietStandardError&) = delete;

    void restore() {
        if (saved_ < 0) return;
        ::dup2(saved_, STDERR_FILENO);
        ::close(saved_);
        saved_ = -1;
    }

private:
    int saved_ = -1;
};

/// The --seed option, the one option the player reads so far: none when it
/// is not given. Exits with a message on a bad value.
std::optional<gloam::SeedRequest> seedOption(int argc, char** argv) {
    std::optional<gloam::SeedRequest> request;
    for (int i = 1; i < argc; ++i) {
        if (std::string_view(argv[i]) != "--seed") continue;
        request = i + 1 < argc ? gloam::parseSeed(argv[i + 1]) : std::nullopt;
        if (!request) {
            std::fputs("gloam: --seed needs a whole number from 0 to 4294967295 or 'random'\n", stderr);
            std::exit(2);
        }
        ++i;
    }
    return request;
}

}  // namespace

int main(int argc, char** argv) {
    const std::optional<gloam::SeedRequest> seedRequest = seedOption(argc, argv);
    // Constructed first and destroyed last: the terminal is back in its own
    // mode only after everything else has shut down.
    platform::Terminal terminal;
    QuietStandardError quiet;

    audio::System audioSystem;
    audio::SystemConfig config;
    config.maxChannels = 128;
    config.speakerMode = audio::SpeakerMode::Surround;
    config.output = audio::OutputKind::Device;
    gloam::startAudio(audioSystem, config);

    // Program time is the output's time, so what is planned lands on its frame.
    gloam::AudioClock clock(audioSystem);
    platform::RealIdleWait idle(terminal, clock);
    gloam::Runtime runtime(audioSystem, clock, clock.timebase());
    std::optional<std::uint32_t> seed;
    if (seedRequest) {
        seed = gloam::resolveSeed(*seedRequest);
        runtime.random.seed(*seed);
    }
    gloam::Adventure adventure(runtime);
    gloam::MainLoop loop(terminal, idle, runtime, adventure);
    int exitCode = loop.run();
    quiet.restore();
    if (terminal.outputLost()) std::fputs("gloam: the screen can no longer be written; stopped\n", stderr);
    // A seed picked from the system is said once the screen is gone, so the
    // evening can be played again with the same draw.
    if (seed && !seedRequest->value) std::fprintf(stderr, "gloam: seed %u\n", *seed);
    return exitCode;
}
