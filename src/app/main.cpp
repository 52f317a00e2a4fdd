// The player: a terminal, the audio engine and the main loop until Escape.
#include "app/Adventure.h"
#include "app/AudioClock.h"
#include "app/AudioStartup.h"
#include "app/MainLoop.h"
#include "audio/System.h"
#include "model/Runtime.h"
#include "platform/Clock.h"
#include "platform/Terminal.h"

#include <cstdio>

int main() {
    // Constructed first and destroyed last: the terminal is back in its own
    // mode only after everything else has shut down.
    platform::Terminal terminal;

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
    gloam::Adventure adventure(runtime);
    gloam::MainLoop loop(terminal, idle, runtime, adventure);
    int exitCode = loop.run();
    if (terminal.outputLost()) std::fputs("gloam: the screen can no longer be written; stopped\n", stderr);
    return exitCode;
}
