// Compressed samples and streams: same samples as a preloaded sound, exact end, bounded buffers.
#include "decode_test_sounds.h"

#include "audio/StreamReader.h"

#include <gtest/gtest.h>

using namespace decode_test;

namespace {

constexpr int kMixRate = 48000;
constexpr std::size_t kMaxStreamBytes = 256 * 1024;

class DecodeStream : public ::testing::Test {
protected:
    std::unique_ptr<audio::Sound> open(const std::string& path, audio::SoundMode mode) {
        return audio::openSound(path, mode, kMixRate, worker);
    }

    std::vector<float> samplePcm(const std::string& path) {
        auto sound = open(path, audio::SoundMode::Sample);
        EXPECT_NE(sound, nullptr);
        auto reader = sound->openReader();
        return drain(*reader, worker, 4096);
    }

    /// Reads a streaming play to the end in mix-sized blocks, checking that
    /// ended() turns true exactly with the last frame.
    std::vector<float> streamPcm(audio::Sound& sound, std::size_t expectedFrames) {
        auto reader = sound.openReader();
        EXPECT_NE(reader, nullptr);
        if (!reader) return {};
        std::vector<float> out;
        std::vector<float> block(512);
        for (int rounds = 0; rounds < 100000 && !reader->ended(); ++rounds) {
            const std::size_t got = reader->read(block.data(), block.size());
            out.insert(out.end(), block.begin(), block.begin() + static_cast<std::ptrdiff_t>(got));
            EXPECT_EQ(reader->ended(), out.size() == expectedFrames) << "at frame " << out.size();
            if (got < block.size()) worker.impl().fillNow();
        }
        EXPECT_TRUE(reader->ended());
        return out;
    }

    void expectStreamsMatchSample(const std::string& path, float tolerance) {
        const auto reference = samplePcm(path);
        ASSERT_FALSE(reference.empty());
        for (auto mode : {audio::SoundMode::CompressedSample, audio::SoundMode::Stream}) {
            auto sound = open(path, mode);
            ASSERT_NE(sound, nullptr);
            const auto pcm = streamPcm(*sound, reference.size());
            ASSERT_EQ(pcm.size(), reference.size()) << path;
            float worst = 0.0f;
            for (std::size_t i = 0; i < pcm.size(); ++i) worst = std::max(worst, std::abs(pcm[i] - reference[i]));
            EXPECT_LE(worst, tolerance) << path << " mode " << static_cast<int>(mode);
        }
    }

    TempDir dir;
    audio::DecodeWorker worker;
};

TEST_F(DecodeStream, StreamsDeliverTheSameSamplesAsPreloadedSounds) {
    ASSERT_TRUE(writeSound(dir.file("n.wav"), kWavFloat, kMixRate, 1, noise(kMixRate * 2 + 99)));
    expectStreamsMatchSample(dir.file("n.wav"), 0.0f);  // no resampling: bit-exact
    ASSERT_TRUE(writeSound(dir.file("s.flac"), kFlac, 44100, 2, noise(44100 * 4 + 3)));
    expectStreamsMatchSample(dir.file("s.flac"), 1e-4f);
    ASSERT_TRUE(writeSound(dir.file("v.ogg"), kVorbis, 44100, 1, sine(44100 * 3, 500.0, 44100)));
    expectStreamsMatchSample(dir.file("v.ogg"), 1e-4f);
    ASSERT_TRUE(writeSound(dir.file("m.mp3"), kMp3, 44100, 1, sine(44100 * 3, 500.0, 44100)));
    expectStreamsMatchSample(dir.file("m.mp3"), 1e-4f);
}

TEST_F(DecodeStream, Mp3WithoutInfoFramePlaysToItsLastFrame) {
    // libsndfile alone guesses this file's length from its first frame and
    // stops early; every mode must deliver all of it.
    ASSERT_TRUE(writeSound(dir.file("src.mp3"), kMp3, kMixRate, 1, noise(kMixRate * 3)));
    auto bytes = readBytes(dir.file("src.mp3"));
    bytes.erase(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(mp3FrameBytes(bytes.data())));
    writeBytes(dir.file("bare.mp3"), bytes);
    auto sound = open(dir.file("bare.mp3"), audio::SoundMode::Stream);
    ASSERT_NE(sound, nullptr);
    EXPECT_GE(sound->lengthMs(), 3000u);
    const auto pcm = streamPcm(*sound, static_cast<std::size_t>(std::llround(sound->lengthMs() * 48.0)));
    // The last half second is decoded audio, not padding.
    EXPECT_GT(rms(pcm.data() + pcm.size() - kMixRate, kMixRate / 2), 0.1);
    expectStreamsMatchSample(dir.file("bare.mp3"), 1e-4f);
}

TEST_F(DecodeStream, ReaderSoundsAtOnceAndHoldsAtMost256KiB) {
    // Worst case for working buffers: many channels at a low rate.
    std::vector<float> wide(8000 * 3 * 8, 0.25f);
    ASSERT_TRUE(writeSound(dir.file("wide.wav"), kWavFloat, 8000, 8, wide));
    ASSERT_TRUE(writeSound(dir.file("long.ogg"), kVorbis, 44100, 2, noise(44100 * 6 * 2)));
    for (const char* name : {"wide.wav", "long.ogg"}) {
        for (auto mode : {audio::SoundMode::CompressedSample, audio::SoundMode::Stream}) {
            auto sound = open(dir.file(name), mode);
            ASSERT_NE(sound, nullptr);
            auto reader = sound->openReader();
            auto* stream = dynamic_cast<audio::StreamReader*>(reader.get());
            ASSERT_NE(stream, nullptr);
            // Filled before openReader returned: many mix blocks, no waiting.
            EXPECT_GE(stream->framesBuffered(), 8 * 512u) << name;
            EXPECT_LE(stream->bufferBytes(), kMaxStreamBytes) << name;
            worker.impl().fillNow();
            EXPECT_LE(stream->bufferBytes(), kMaxStreamBytes) << name;
            EXPECT_GT(stream->framesBuffered(), 16384u) << name;
            std::vector<float> block(512);
            EXPECT_EQ(reader->read(block.data(), 512), 512u);
            EXPECT_GT(rms(block.data(), 512), 0.1);
        }
    }
}

TEST_F(DecodeStream, PlaysOfOneStreamAreIndependent) {
    ASSERT_TRUE(writeSound(dir.file("n.flac"), kFlac, kMixRate, 1, noise(kMixRate)));
    auto sound = open(dir.file("n.flac"), audio::SoundMode::Stream);
    ASSERT_NE(sound, nullptr);
    auto first = sound->openReader();
    worker.impl().fillNow();  // more than the pre-fill, without racing the worker
    std::vector<float> skip(10000);
    ASSERT_EQ(first->read(skip.data(), skip.size()), skip.size());
    auto second = sound->openReader();
    const auto restFirst = drain(*first, worker, 512);
    const auto all = drain(*second, worker, 512);
    ASSERT_EQ(all.size(), static_cast<std::size_t>(kMixRate));
    ASSERT_EQ(restFirst.size() + skip.size(), all.size());
    for (std::size_t i = 0; i < restFirst.size(); ++i) ASSERT_EQ(restFirst[i], all[i + skip.size()]);
}

TEST_F(DecodeStream, DestroyingReadersWhileTheWorkerFillsThemIsSafe) {
    ASSERT_TRUE(writeSound(dir.file("long.ogg"), kVorbis, 44100, 1, noise(44100 * 8)));
    auto sound = open(dir.file("long.ogg"), audio::SoundMode::CompressedSample);
    ASSERT_NE(sound, nullptr);
    std::vector<float> block(4096);
    for (int i = 0; i < 20; ++i) {
        auto reader = sound->openReader();
        ASSERT_NE(reader, nullptr);
        // Draining wakes the worker, which is refilling as the reader goes.
        for (int k = 0; k < i; ++k) reader->read(block.data(), block.size());
    }
    worker.impl().fillNow();
    std::size_t jobs = 99;
    worker.impl().runSync([&] { jobs = worker.impl().jobCount(); });
    EXPECT_EQ(jobs, 0u);  // every abandoned play was dropped
}

TEST_F(DecodeStream, StreamOfDeletedFileFailsToOpenNewReaders) {
    // Longer than the first fill: a very short sound is kept decoded instead.
    ASSERT_TRUE(writeSound(dir.file("gone.wav"), kWav, kMixRate, 1, noise(kMixRate)));
    auto sound = open(dir.file("gone.wav"), audio::SoundMode::Stream);
    ASSERT_NE(sound, nullptr);
    std::filesystem::remove(dir.file("gone.wav"));
    EXPECT_EQ(sound->openReader(), nullptr);
}

TEST_F(DecodeStream, AVeryShortSoundIsDecodedOnceSoThatAPassCostsNoFileDecoderOrRing) {
    // An endless loop of a one-sample sound asks for a play 48 000 times a
    // second: each must be a reader of what was decoded once, never a file
    // opened, a resampler made and a ring of 32 768 frames filled.
    ASSERT_TRUE(writeSound(dir.file("one.wav"), kWavFloat, kMixRate, 1, {0.5f}));
    ASSERT_TRUE(writeSound(dir.file("tick.flac"), kFlac, 44100, 2, noise(2 * 300)));
    ASSERT_TRUE(writeSound(dir.file("blip.ogg"), kVorbis, 22050, 1, sine(3000, 700.0, 22050)));
    for (const char* name : {"one.wav", "tick.flac", "blip.ogg"}) {
        const std::vector<float> reference = samplePcm(dir.file(name));
        ASSERT_FALSE(reference.empty()) << name;
        std::vector<std::unique_ptr<audio::Sound>> sounds;
        for (auto mode : {audio::SoundMode::CompressedSample, audio::SoundMode::Stream}) {
            sounds.push_back(open(dir.file(name), mode));
            ASSERT_NE(sounds.back(), nullptr) << name;
            EXPECT_EQ(sounds.back()->mode(), mode);
            EXPECT_EQ(sounds.back()->lengthFrames(), static_cast<std::int64_t>(reference.size())) << name;
        }
        std::filesystem::remove(dir.file(name));  // no pass reads the disk again
        std::vector<float> block(reference.size() + 512);
        for (auto& sound : sounds) {
            for (int pass = 0; pass < 4800; ++pass) {
                auto reader = sound->openReader();
                ASSERT_NE(reader, nullptr) << name << " pass " << pass;
                const std::size_t got = reader->read(block.data(), block.size());
                ASSERT_EQ(got, reference.size()) << name;
                ASSERT_TRUE(reader->ended());
                if (pass == 0) {
                    for (std::size_t i = 0; i < got; ++i) EXPECT_NEAR(block[i], reference[i], 1e-4f) << name << " frame " << i;
                }
            }
        }
        EXPECT_FALSE(worker.impl().hasJobs());
    }
}

TEST_F(DecodeStream, FilesThatDecodeToNothingAreNoSound) {
    ASSERT_TRUE(writeSound(dir.file("empty.wav"), kWav, kMixRate, 1, {}));
    ASSERT_TRUE(writeSound(dir.file("empty.flac"), kFlac, kMixRate, 1, {}));
    for (auto mode : {audio::SoundMode::Sample, audio::SoundMode::CompressedSample, audio::SoundMode::Stream}) {
        EXPECT_EQ(open(dir.file("empty.wav"), mode), nullptr);
        EXPECT_EQ(open(dir.file("empty.flac"), mode), nullptr);
    }
}

}  // namespace
