// Preloaded sounds: resampling, mix-down, bad files, independent plays.
#include "decode_test_sounds.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <limits>
#include <utility>

using namespace decode_test;

namespace {

constexpr int kMixRate = 48000;

class DecodeSample : public ::testing::Test {
protected:
    std::vector<float> readAll(const std::string& path, audio::SoundMode mode = audio::SoundMode::Sample) {
        auto sound = audio::openSound(path, mode, kMixRate, worker);
        EXPECT_NE(sound, nullptr) << path;
        if (!sound) return {};
        auto reader = sound->openReader();
        EXPECT_NE(reader, nullptr);
        return reader ? drain(*reader, worker, 512) : std::vector<float>{};
    }

    TempDir dir;
    audio::DecodeWorker worker;
};

TEST_F(DecodeSample, ResamplingFrom44100To48000KeepsLengthAndPitch) {
    ASSERT_TRUE(writeSound(dir.file("a.wav"), kWavFloat, 44100, 1, sine(44100 * 2, 441.0, 44100)));
    const auto pcm = readAll(dir.file("a.wav"));
    EXPECT_EQ(pcm.size(), 96000u);  // two seconds at the mix rate
    EXPECT_NEAR(upwardZeroCrossings(pcm), 882, 1);
    // Amplitude survives (0.5 peak sine: rms 0.354), away from the edges.
    EXPECT_NEAR(rms(pcm.data() + 4800, 86400), 0.5 / std::sqrt(2.0), 0.005);
}

TEST_F(DecodeSample, UnusualRatesComeOutAtTheMixRate) {
    for (int rate : {8000, 22050, 96000}) {
        ASSERT_TRUE(writeSound(dir.file("r.wav"), kWavFloat, rate, 1, sine(rate, 200.0, rate)));
        const auto pcm = readAll(dir.file("r.wav"));
        EXPECT_EQ(pcm.size(), 48000u) << rate;
        EXPECT_NEAR(upwardZeroCrossings(pcm), 200, 1) << rate;
    }
}

TEST_F(DecodeSample, StereoIsMixedDownToTheAverageOfItsChannels) {
    // Left 0.6, right -0.2 constant: the mono average is 0.2.
    std::vector<float> stereo;
    for (int i = 0; i < 4800; ++i) {
        stereo.push_back(0.6f);
        stereo.push_back(-0.2f);
    }
    ASSERT_TRUE(writeSound(dir.file("s.wav"), kWavFloat, kMixRate, 2, stereo));
    const auto pcm = readAll(dir.file("s.wav"));
    ASSERT_EQ(pcm.size(), 4800u);
    for (float s : pcm) ASSERT_NEAR(s, 0.2f, 1e-6f);

    // Opposite channels cancel.
    for (std::size_t i = 0; i < stereo.size(); i += 2) stereo[i + 1] = -stereo[i];
    ASSERT_TRUE(writeSound(dir.file("c.wav"), kWavFloat, kMixRate, 2, stereo));
    EXPECT_NEAR(rms(readAll(dir.file("c.wav")).data(), 4800), 0.0, 1e-6);
}

TEST_F(DecodeSample, SixChannelFileIsMixedDownWhileResampled) {
    std::vector<float> surround;
    const auto tone = sine(22050, 300.0, 22050);
    for (float s : tone) {
        for (int c = 0; c < 6; ++c) surround.push_back(c == 0 ? s * 6.0f * 0.1f : 0.0f);
    }
    ASSERT_TRUE(writeSound(dir.file("6.wav"), kWavFloat, 22050, 6, surround));
    const auto pcm = readAll(dir.file("6.wav"));
    ASSERT_EQ(pcm.size(), 48000u);
    EXPECT_NEAR(upwardZeroCrossings(pcm), 300, 1);
    EXPECT_NEAR(rms(pcm.data() + 4800, 38400), 0.1 * 0.5 / std::sqrt(2.0), 0.002);
}

TEST_F(DecodeSample, MissingAndGarbageFilesGiveNoSound) {
    writeBytes(dir.file("garbage.wav"), std::vector<unsigned char>(10000, 0x5A));
    writeBytes(dir.file("empty.ogg"), {});
    std::vector<unsigned char> fakeMp3(20000, 0);
    fakeMp3[0] = 0xFF;
    fakeMp3[1] = 0xFB;  // a sync word and nothing behind it
    writeBytes(dir.file("fake.mp3"), fakeMp3);
    // Real headers whose data was cut off (the Ogg Vorbis one inside its
    // set-up header, where libsndfile loses memory that must not be reported).
    ASSERT_TRUE(writeSound(dir.file("cut.flac"), kFlac, 44100, 1, noise(44100)));
    auto cut = readBytes(dir.file("cut.flac"));
    cut.resize(20);
    writeBytes(dir.file("cut.flac"), cut);
    ASSERT_TRUE(writeSound(dir.file("cut.ogg"), kVorbis, 44100, 1, noise(44100)));
    cut = readBytes(dir.file("cut.ogg"));
    cut.resize(1000);
    writeBytes(dir.file("cut.ogg"), cut);
    // Rates no real file has: at 1 Hz these 100 frames would last 100 s.
    ASSERT_TRUE(writeSound(dir.file("slow.wav"), kWavFloat, 1, 1, noise(100)));
    ASSERT_TRUE(writeSound(dir.file("fast.wav"), kWavFloat, 10000000, 1, noise(100)));
    // Not files at all: a pipe without a writer would hold an ordinary open
    // for ever, and a device never ends.
    ASSERT_EQ(::mkfifo(dir.file("pipe.mp3").c_str(), 0600), 0);
    std::filesystem::create_symlink("/dev/zero", dir.file("zero.wav"));
    std::filesystem::create_symlink("/dev/urandom", dir.file("random.mp3"));

    for (auto mode : {audio::SoundMode::Sample, audio::SoundMode::CompressedSample, audio::SoundMode::Stream}) {
        for (const char* name : {"missing.wav", "garbage.wav", "empty.ogg", "fake.mp3", "cut.flac", "cut.ogg",
                                 "slow.wav", "fast.wav", "pipe.mp3", "zero.wav", "random.mp3", ""}) {
            EXPECT_EQ(audio::openSound(dir.file(name), mode, kMixRate, worker), nullptr) << name;
        }
        EXPECT_EQ(audio::openSound(dir.file(""), mode, kMixRate, worker), nullptr);  // a directory
    }
}

TEST_F(DecodeSample, NonFiniteAndAbsurdSamplesAreCleanedInEveryMode) {
    // One NaN in a float file used to reach the mix, and a reverb above it
    // stayed NaN until its scene was left.
    auto pcm = sine(4800, 440.0, kMixRate);
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    const std::vector<std::pair<std::size_t, float>> cleaned = {
        {100, 0.0f}, {200, 0.0f}, {300, 0.0f}, {400, 16.0f}, {500, -16.0f}};
    pcm[100] = nan;
    pcm[200] = inf;
    pcm[300] = -inf;
    pcm[400] = 1e30f;
    pcm[500] = -1e30f;
    ASSERT_TRUE(writeSound(dir.file("bad.wav"), kWavFloat, kMixRate, 1, pcm));
    for (auto mode : {audio::SoundMode::Sample, audio::SoundMode::CompressedSample, audio::SoundMode::Stream}) {
        auto out = readAll(dir.file("bad.wav"), mode);
        ASSERT_EQ(out.size(), pcm.size());
        for (const auto& [index, value] : cleaned) {
            EXPECT_EQ(out[index], value) << "frame " << index << " mode " << static_cast<int>(mode);
            pcm[index] = value;
        }
        EXPECT_EQ(out, pcm) << "mode " << static_cast<int>(mode);
    }
}

TEST_F(DecodeSample, TwoReadersOfOneSampleAreIdenticalAndIndependent) {
    ASSERT_TRUE(writeSound(dir.file("n.wav"), kWavFloat, 44100, 1, noise(44100)));
    auto sound = audio::openSound(dir.file("n.wav"), audio::SoundMode::Sample, kMixRate, worker);
    ASSERT_NE(sound, nullptr);
    auto first = sound->openReader();
    auto second = sound->openReader();
    // The first runs ahead; the second still starts from the beginning.
    std::vector<float> a(1000), b(300), c(1000);
    ASSERT_EQ(first->read(a.data(), 1000), 1000u);
    ASSERT_EQ(second->read(b.data(), 300), 300u);
    for (std::size_t i = 0; i < 300; ++i) ASSERT_EQ(a[i], b[i]);
    ASSERT_EQ(first->read(c.data(), 1000), 1000u);
    const auto restA = drain(*first, worker, 777);
    const auto restB = drain(*second, worker, 512);
    EXPECT_EQ(restA.size() + 2000, 48000u);
    EXPECT_EQ(restB.size() + 300, 48000u);
    EXPECT_TRUE(first->ended());
    EXPECT_TRUE(second->ended());
    EXPECT_EQ(first->read(a.data(), 10), 0u);  // past the end: nothing
}

}  // namespace
