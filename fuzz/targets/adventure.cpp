// Fuzz target: any adventure file, played for two virtual minutes with keys.
//
// The input is the adventure's XML, then optionally a NUL byte and the keys:
// each byte from 0xF0 up is a pause of (byte - 0xEF) x 1.5 s, every other
// byte a key code pressed at the current time (cursor keys are 224 and a
// second code, '!' opens the adventure menu, where Enter reloads the file).
//
// Checks that the player neither crashes nor hangs (libFuzzer's -timeout),
// never sends a non-finite sample to the mix, and leaves no element running
// and no channel playing once the adventure is cleared. The engine and the
// sounds are made once; every input gets a fresh runtime and adventure, whose
// sounds are preloaded unless the file says otherwise.
#include "FuzzTarget.h"
#include "WorkFiles.h"
#include "app/AudioStartup.h"
#include "app/OfflineSession.h"
#include "audio/System.h"
#include "platform/ScriptedConsole.h"

#include <cmath>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace fuzz {

namespace {

namespace fs = std::filesystem;

constexpr int mixRate = 8000;
constexpr int mixChannels = 2;
constexpr std::int32_t startMs = 1000;
constexpr std::int32_t playedMs = 2 * 60 * 1000;
/// Bounds the work of inputs that keep the loop busy (a pass a millisecond) or
/// start sounds by the thousand, so that only a real hang meets the timeout.
constexpr int maxPasses = 12000;
constexpr int maxStateChanges = 1000;

/// The sounds and plug-ins in the scratch folder, and the engine.
struct Stage {
    Stage() {
        fs::current_path(scratchFolder());
        gloam::files::writeSine("sounds/tone.wav", 400, mixRate, 440.0);
        gloam::files::writeSine("sounds/click.wav", 30, mixRate, 1000.0);
        // Another rate, to be resampled, and a folder for wildcards.
        gloam::files::writeSine("sounds/birds/bird1.wav", 150, 11025, 2000.0);
        gloam::files::writeSine("sounds/birds/bird2.wav", 90, mixRate, 3000.0);
        gloam::files::writeText("sounds/birds/notes.txt", "not a sound");
        fs::create_directories("adventures");
        // The demo's effects, when installed: a gain and a filter.
        fs::create_directories("plugins");
        for (const char* library : {"amp_1181.so", "svf_1214.so"}) {
            const fs::path installed = fs::path("/usr/lib/ladspa") / library;
            std::error_code ignored;
            if (fs::exists(installed, ignored)) fs::create_symlink(installed, fs::path("plugins") / library, ignored);
        }
        audio::SystemConfig config;
        config.output = audio::OutputKind::Offline;
        config.sampleRate = mixRate;
        config.offlineChannels = mixChannels;
        gloam::startAudio(engine, config);
    }

    audio::System engine;
};

/// Every sample of the mix must be a finite number.
bool checkMix(const float* interleaved, std::size_t numFrames) {
    for (std::size_t i = 0; i < numFrames * mixChannels; ++i) {
        check(std::isfinite(interleaved[i]), "a non-finite sample in the mix");
    }
    return true;
}

/// Counts the elements' state changes: the player's work besides its passes.
class StateCounter final : public gloam::StateObserver {
public:
    void stateChanged(const gloam::Playable&, gloam::State, const gloam::Moment&) override { ++changes; }
    int changes = 0;
};

std::vector<platform::ScriptedKey> keysOf(std::string_view bytes) {
    std::vector<platform::ScriptedKey> keys;
    std::int32_t timeMs = startMs;
    for (char c : bytes) {
        if (timeMs > startMs + playedMs) break;  // never pressed
        const auto byte = static_cast<unsigned char>(c);
        if (byte >= 0xF0) {
            timeMs += (byte - 0xEF) * 1500;
        } else {
            keys.push_back({timeMs, byte});
        }
    }
    return keys;
}

}  // namespace

int adventureInput(const std::uint8_t* data, std::size_t size) {
    // The player works in the scratch folder; libFuzzer gets its own back.
    const fs::path launchFolder = fs::current_path();
    static Stage stage;
    fs::current_path(scratchFolder());
    InputReader input(data, size);
    const std::string_view all = input.rest();
    const std::size_t split = all.find('\0');
    const std::string_view xml = all.substr(0, split);
    const std::string_view keyBytes = split == std::string_view::npos ? std::string_view() : all.substr(split + 1);
    std::ofstream("adventures/fuzz.xml", std::ios::binary | std::ios::trunc)
        .write(xml.data(), static_cast<std::streamsize>(xml.size()));

    {
        gloam::OfflineConfig config;
        config.startMs = startMs;
        // Mixed in a device's blocks, so that short waits do not pay for a mix each.
        config.blockMs = 20;
        config.keys = keysOf(keyBytes);
        config.engine = &stage.engine;
        gloam::OfflineSession session(std::move(config), checkMix);
        // Streams hand every play to the decoder thread; an adventure that
        // asks for them (mode="stream" anywhere) still gets them.
        session.runtime().defaultMode = gloam::preloadMode;
        StateCounter counter;
        session.runtime().observer = &counter;

        session.adventure().load("adventures/fuzz.xml");

        for (int pass = 0; pass < maxPasses && counter.changes < maxStateChanges &&
                           session.clock().nowMs() < startMs + playedMs;
             ++pass) {
            if (!session.runPass()) break;
        }
        session.shutDown();
        check(session.runtime().activeElements.empty(), "an element still active after its adventure was cleared");
        check(stage.engine.channelsPlaying() == 0, "a channel still playing after its adventure was cleared");
    }
    fs::current_path(launchFolder);
    return 0;
}

}  // namespace fuzz

GLOAM_FUZZ_TARGET(fuzz::adventureInput)
