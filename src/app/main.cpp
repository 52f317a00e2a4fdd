// The player: a terminal, the audio engine and the main loop until Escape.
#include "app/Adventure.h"
#include "app/AudioClock.h"
#include "app/AudioStartup.h"
#include "app/MainLoop.h"
#include "app/PlayerOptions.h"
#include "app/RemoteControl.h"
#include "app/Version.h"
#include "audio/System.h"
#include "model/Runtime.h"
#include "platform/Clock.h"
#include "platform/Terminal.h"
#include "platform/TerminalText.h"

#include <cstdio>
#include <filesystem>
#include <iostream>
#include <memory>
#include <string>
#include <system_error>
#include <vector>

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


}  // namespace

int main(int argc, char** argv) {
    gloam::PlayerOptions options;
    const platform::CommandLine commandLine = gloam::playerCommandLine(options);
    const auto parsed = commandLine.parse(std::vector<std::string>(argv + 1, argv + argc));
    if (auto exitCode = gloam::answerCommandLine(commandLine, parsed, std::cout, std::cerr)) return *exitCode;

    // Everything the player reads (adventures/, sounds/, plugins/) is taken
    // relative to the root, as when it is started there.
    std::error_code rootError;
    std::filesystem::current_path(options.root, rootError);
    if (rootError) {
        std::cerr << "gloam: cannot use '" << platform::visibleText(options.root, 200) << "' as the root folder: " << rootError.message() << '\n';
        return 2;
    }

    // Listening starts before the terminal is taken, so that its address, or
    // why it cannot listen, is said on a plain terminal.
    std::unique_ptr<gloam::RemoteControl> remote;
    if (options.remote.listen) {
        std::string error;
        remote = gloam::RemoteControl::start(options.remote, error);
        if (!remote) {
            std::fprintf(stderr, "gloam: %s\n", error.c_str());
            return 1;
        }
        for (const std::string& url : remote->pageUrls()) std::fprintf(stderr, "gloam: remote control on %s\n", url.c_str());
        std::fflush(stderr);
    }

    // Destroyed after everything made below it: the terminal is back in its
    // own mode only after the player has shut down.
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
    if (options.seed) {
        seed = gloam::resolveSeed(*options.seed);
        runtime.random.seed(*seed);
    }
    gloam::Adventure adventure(runtime);
    gloam::MainLoop loop(terminal, idle, runtime, adventure);
    if (remote) remote->connect(loop, idle);
    int exitCode = loop.run();
    if (remote) remote->stop();
    quiet.restore();
    if (terminal.outputLost()) std::fputs("gloam: the screen can no longer be written; stopped\n", stderr);
    // A seed picked from the system is said once the screen is gone, so the
    // evening can be played again with the same draw.
    if (seed && !options.seed->value) std::fprintf(stderr, "gloam: seed %u\n", *seed);
    return exitCode;
}
