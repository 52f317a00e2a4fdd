// Outputs and threads: the silent fallback, a quiet start-up without a sound card, sounds
// destroyed while playing, and the main thread hammering a live mixer.
#include "audio/ChannelGroup.h"
#include "audio/System.h"
#include "TestFiles.h"
#include "core_test_support.h"

#include <gtest/gtest.h>
#include <sndfile.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <thread>
#include <unistd.h>

namespace audio::test {
namespace {

using namespace std::chrono_literals;

/// Makes SDL fail to start any audio driver, as on a machine with no sound at all.
void forceNoDevice() { setenv("SDL_AUDIODRIVER", "gloam_no_such_driver", 1); }

SystemConfig deviceConfig() {
    SystemConfig config;
    config.output = OutputKind::Device;
    config.speakerMode = SpeakerMode::Stereo;
    return config;
}

using SteadyClock = std::chrono::steady_clock;

/// What a real-time output did with a channel whose sound lasts `length`.
struct RealTimeEnd {
    bool endedEarly = false;  ///< seen ended before `earliestEnd`
    bool ended = false;
    SteadyClock::duration after{};  ///< from the start until it was seen ended
};

/// Real time has to pass for these outputs, so this waits on deadlines rather
/// than polling: it looks once just before the earliest allowed end, sleeps
/// until the sound is over, then yields until the output has ended it or
/// `giveUp`.
RealTimeEnd watchEnd(System& system, const Channel& channel, SteadyClock::time_point start,
                     SteadyClock::duration length, SteadyClock::duration earliestEnd,
                     SteadyClock::duration giveUp) {
    RealTimeEnd result;
    std::this_thread::sleep_until(start + earliestEnd - 5ms);
    const bool playing = channel.isPlaying();
    // A look that came too late tells nothing about an early end.
    result.endedEarly = !playing && SteadyClock::now() - start < earliestEnd;
    std::this_thread::sleep_until(start + length);
    system.update();
    while (channel.isPlaying() && SteadyClock::now() - start < giveUp) {
        system.update();
        std::this_thread::yield();
    }
    result.ended = !channel.isPlaying();
    result.after = SteadyClock::now() - start;
    return result;
}

/// Sends file descriptors 1 and 2 into a temporary file for as long as it lives.
class CapturedTerminal {
public:
    CapturedTerminal() {
        std::fflush(stdout);
        std::fflush(stderr);
        file_ = std::tmpfile();
        savedOut_ = dup(1);
        savedErr_ = dup(2);
        dup2(fileno(file_), 1);
        dup2(fileno(file_), 2);
    }
    ~CapturedTerminal() { restore(); }
    std::string text() {
        restore();
        std::string captured;
        std::rewind(file_);
        char buffer[256];
        std::size_t n = 0;
        while ((n = std::fread(buffer, 1, sizeof buffer, file_)) > 0) captured.append(buffer, n);
        return captured;
    }

private:
    void restore() {
        if (savedOut_ < 0) return;
        std::fflush(stdout);
        std::fflush(stderr);
        dup2(savedOut_, 1);
        dup2(savedErr_, 2);
        close(savedOut_);
        close(savedErr_);
        savedOut_ = savedErr_ = -1;
    }
    std::FILE* file_ = nullptr;
    int savedOut_ = -1;
    int savedErr_ = -1;
};

TEST(CoreOutputs, WithoutADeviceChannelsStillEndInRealTime) {
    forceNoDevice();
    System system;
    system.init(deviceConfig());
    ASSERT_TRUE(system.isSilentOutput());
    EXPECT_EQ(system.sampleRate(), 48000);
    ConstantSound sound(1.0f, 4800);  // 100 ms

    const auto start = SteadyClock::now();
    Channel channel = playAt(system, sound, {});
    EXPECT_EQ(system.channelsPlaying(), 1);
    const RealTimeEnd end = watchEnd(system, channel, start, 100ms, 85ms, 1s);
    EXPECT_FALSE(end.endedEarly);
    EXPECT_TRUE(end.ended);
    EXPECT_LE(end.after, 400ms);
    EXPECT_EQ(system.channelsPlaying(), 0);
    system.close();
    EXPECT_FALSE(system.isSilentOutput());
}

void startAndStopQuietly() {
    CapturedTerminal terminal;
    {
        System system;
        system.init(deviceConfig());
        system.update();
        ConstantSound sound(1.0f, 480);
        playAt(system, sound, {});
        system.update();
        system.close();
    }
    EXPECT_EQ(terminal.text(), "");
}

TEST(CoreOutputs, StartingWithoutASoundCardPrintsNothing) {
    // ALSA itself, then whatever SDL picks on its own.
    setenv("SDL_AUDIODRIVER", "alsa", 1);
    startAndStopQuietly();
    unsetenv("SDL_AUDIODRIVER");
    startAndStopQuietly();
}

TEST(CoreOutputs, ADeviceOutputMixesOnTheDevicesThread) {
    setenv("SDL_AUDIODRIVER", "dummy", 1);  // SDL's device that consumes audio at real-time pace
    System system;
    system.init(deviceConfig());
    ASSERT_FALSE(system.isSilentOutput());
    EXPECT_EQ(system.outputChannels(), 2);
    ConstantSound sound(1.0f, 2400);  // 50 ms
    const auto start = SteadyClock::now();
    Channel channel = playAt(system, sound, {});
    const RealTimeEnd end = watchEnd(system, channel, start, 50ms, 35ms, 1s);
    EXPECT_FALSE(end.endedEarly);
    EXPECT_TRUE(end.ended);
    system.close();
    EXPECT_EQ(sound.readers.alive.load(), 0);
}

/// A one-second mono WAV of a steady level in `folder`.
std::filesystem::path writeLevel(const testsupport::TempFolder& folder, float level) {
    const std::filesystem::path path = folder.path() / "level.wav";
    EXPECT_TRUE(testsupport::writeSound(path, SF_FORMAT_WAV | SF_FORMAT_FLOAT, 48000, 1, std::vector<float>(48000, level)));
    return path;
}

TEST(CoreOutputs, DestroyingASoundStopsItsChannels) {
    const testsupport::TempFolder folder;
    const auto path = writeLevel(folder, 0.5f);
    System system;
    system.init(offlineConfig());
    std::unique_ptr<Sound> sound = system.createSound(path.string(), SoundMode::Sample);
    ASSERT_TRUE(sound);
    EXPECT_EQ(sound->lengthMs(), 1000u);
    std::unique_ptr<Sound> other = system.createSound(path.string(), SoundMode::Stream);
    ASSERT_TRUE(other);
    Channel a = playAt(system, *sound, {});
    Channel b = playAt(system, *sound, {1.0f, 0.0f, 0.0f});
    Channel c = playAt(system, *other, {});
    render(system, 512);

    sound.reset();
    EXPECT_FALSE(a.isPlaying());
    EXPECT_FALSE(b.isPlaying());
    EXPECT_TRUE(c.isPlaying());
    const Rendered out = render(system, 512);  // the mixer must not touch the freed readers
    system.update();
    EXPECT_NEAR(out.at(100, 0), 0.5f * kCentre, 1e-4f);
    EXPECT_EQ(system.createSound("/nonexistent/gloam.wav", SoundMode::Sample), nullptr);
}

TEST(CoreOutputs, SoundsOutlivingTheSystemsCloseAreHarmless) {
    const testsupport::TempFolder folder;
    const auto path = writeLevel(folder, 0.5f);
    System system;
    system.init(offlineConfig());
    std::unique_ptr<Sound> sound = system.createSound(path.string(), SoundMode::Sample);
    ASSERT_TRUE(sound);
    playAt(system, *sound, {});
    system.close();
    EXPECT_EQ(sound->lengthMs(), 1000u);
    EXPECT_EQ(sound->openReader(), nullptr);
    sound.reset();
}

TEST(CoreOutputs, TheMainThreadCanChangeEverythingWhileTheOutputMixes) {
    forceNoDevice();
    System system;
    system.init(deviceConfig());
    ASSERT_TRUE(system.isSilentOutput());
    ConstantSound shortSound(0.1f, 300);
    ConstantSound longSound(0.1f, 48000);
    std::vector<std::unique_ptr<ChannelGroup>> groups;
    for (int i = 0; i < 8; ++i) groups.push_back(system.createChannelGroup());
    std::vector<Channel> channels;
    std::mt19937 random(7);
    auto pick = [&random](std::size_t n) { return static_cast<std::size_t>(random() % n); };

    const auto start = std::chrono::steady_clock::now();
    // Long enough for the output to mix a few dozen blocks meanwhile.
    for (int step = 0; step < 50000 && std::chrono::steady_clock::now() - start < 300ms; ++step) {
        Channel channel = system.playSound(pick(3) == 0 ? longSound : shortSound, true);
        channel.setChannelGroup(*groups[pick(groups.size())]);
        channel.set3DAttributes({static_cast<float>(pick(20)) - 10.0f, 0.0f, 3.0f}, {});
        channel.setPaused(false);
        channels.push_back(channel);
        switch (pick(6)) {
        case 0: channels[pick(channels.size())].stop(); break;
        case 1: groups[pick(groups.size())]->setVolume(static_cast<float>(pick(10)) / 10.0f); break;
        case 2: groups[pick(groups.size())]->addGroup(*groups[pick(groups.size())]); break;
        case 3: groups[pick(groups.size())]->stop(); break;
        case 4: groups[pick(groups.size())] = system.createChannelGroup(); break;
        default: channels[pick(channels.size())].setPaused(pick(2) == 0); break;
        }
        EXPECT_LE(system.channelsPlaying(), 128);
        if (step % 16 == 0) {
            system.update();
            std::this_thread::yield();
        }
    }
    system.masterGroup().stop();
    for (const auto& group : groups) group->stop();
    system.update();
    EXPECT_EQ(system.channelsPlaying(), 0);
    groups.clear();
    system.close();
    EXPECT_EQ(shortSound.readers.alive.load() + longSound.readers.alive.load(), 0);
}

}  // namespace
}  // namespace audio::test
