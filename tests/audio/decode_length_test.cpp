// Lengths of sounds in every format and mode, including MP3 files whose own headers mislead.
#include "decode_test_sounds.h"

#include "audio/MpegLength.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace decode_test;

namespace {

constexpr int kMixRate = 48000;

double truthMs(std::int64_t frames, int rate) { return static_cast<double>(frames) * 1000.0 / rate; }

class DecodeLength : public ::testing::Test {
protected:
    std::unique_ptr<audio::Sound> open(const std::string& path, audio::SoundMode mode) {
        return audio::openSound(path, mode, kMixRate, worker);
    }

    /// Every mode reports the same length, within 1 ms of the truth.
    void expectLengthInEveryMode(const std::string& path, double expectedMs) {
        for (auto mode : {audio::SoundMode::Sample, audio::SoundMode::CompressedSample, audio::SoundMode::Stream}) {
            auto sound = open(path, mode);
            ASSERT_NE(sound, nullptr) << path;
            EXPECT_NEAR(sound->lengthMs(), expectedMs, 1.0) << path << " mode " << static_cast<int>(mode);
        }
    }

    /// An MP3 of `frames` frames of sine, as libsndfile (LAME) writes it, with
    /// its Xing/Info frame.
    std::vector<unsigned char> makeMp3(std::int64_t frames, int rate) {
        const std::string path = dir.file("source.mp3");
        EXPECT_TRUE(writeSound(path, kMp3, rate, 1, sine(frames, 440.0, rate)));
        return readBytes(path);
    }

    /// The same stream without its Info frame (as from encoders that write
    /// none) and the number of audio frames it holds.
    static std::vector<unsigned char> withoutInfoFrame(const std::vector<unsigned char>& mp3, std::int64_t& pcmFrames) {
        const std::size_t infoBytes = mp3FrameBytes(mp3.data());
        // The Info frame's frame count (flags say it is present) tells how many
        // MPEG frames follow, each 1152 PCM frames, none trimmed without it.
        const unsigned char* xing = mp3.data() + 4 + 17;  // mono MPEG-1 side info
        EXPECT_EQ(std::memcmp(xing, "Info", 4) == 0 || std::memcmp(xing, "Xing", 4) == 0, true);
        const std::uint32_t mpegFrames = (std::uint32_t{xing[8]} << 24) | (std::uint32_t{xing[9]} << 16) |
                                         (std::uint32_t{xing[10]} << 8) | xing[11];
        pcmFrames = static_cast<std::int64_t>(mpegFrames) * 1152;
        return {mp3.begin() + static_cast<std::ptrdiff_t>(infoBytes), mp3.end()};
    }

    TempDir dir;
    audio::DecodeWorker worker;
};

TEST_F(DecodeLength, UncompressedAndLosslessFilesReportTheirExactLength) {
    const std::int64_t frames = 44100 * 3 + 17;
    const auto pcm = sine(frames, 440.0, 44100);
    ASSERT_TRUE(writeSound(dir.file("a.wav"), kWav, 44100, 1, pcm));
    ASSERT_TRUE(writeSound(dir.file("a.aiff"), kAiff, 44100, 1, pcm));
    ASSERT_TRUE(writeSound(dir.file("a.flac"), kFlac, 44100, 1, pcm));
    for (const char* name : {"a.wav", "a.aiff", "a.flac"}) expectLengthInEveryMode(dir.file(name), truthMs(frames, 44100));
}

TEST_F(DecodeLength, OggVorbisAndOpusReportTheirExactLength) {
    const std::int64_t frames = 22050 * 5 + 333;
    ASSERT_TRUE(writeSound(dir.file("a.ogg"), kVorbis, 22050, 1, noise(frames)));
    expectLengthInEveryMode(dir.file("a.ogg"), truthMs(frames, 22050));

    const std::int64_t opusFrames = 48000 * 2 + 1234;
    ASSERT_TRUE(writeSound(dir.file("a.opus"), kOpus, 48000, 1, sine(opusFrames, 300.0, 48000)));
    expectLengthInEveryMode(dir.file("a.opus"), truthMs(opusFrames, 48000));
}

TEST_F(DecodeLength, Mp3ReportsItsLengthWithoutEncoderDelayAndPadding) {
    for (std::int64_t frames : {std::int64_t{44100}, std::int64_t{44100 * 7 + 555}}) {
        const auto mp3 = makeMp3(frames, 44100);
        writeBytes(dir.file("plain.mp3"), mp3);
        expectLengthInEveryMode(dir.file("plain.mp3"), truthMs(frames, 44100));
        EXPECT_EQ(audio::scanMpeg(mp3)->pcmFrames, frames);
    }
}

TEST_F(DecodeLength, Mp3WithLargeEmbeddedPictureKeepsItsTrueLength) {
    const std::int64_t frames = 44100 * 4 + 100;
    auto mp3 = makeMp3(frames, 44100);
    auto tagged = id3TagWithPicture(700 * 1024);
    tagged.insert(tagged.end(), mp3.begin(), mp3.end());
    writeBytes(dir.file("art.mp3"), tagged);
    expectLengthInEveryMode(dir.file("art.mp3"), truthMs(frames, 44100));
}

TEST_F(DecodeLength, Mp3WithoutInfoFrameIsTimedByItsAudioFrames) {
    std::int64_t pcmFrames = 0;
    const auto bare = withoutInfoFrame(makeMp3(44100 * 3, 44100), pcmFrames);
    writeBytes(dir.file("bare.mp3"), bare);
    expectLengthInEveryMode(dir.file("bare.mp3"), truthMs(pcmFrames, 44100));

    // Artwork in front makes libsndfile's own estimate several times too long.
    auto tagged = id3TagWithPicture(512 * 1024);
    tagged.insert(tagged.end(), bare.begin(), bare.end());
    writeBytes(dir.file("bare-art.mp3"), tagged);
    expectLengthInEveryMode(dir.file("bare-art.mp3"), truthMs(pcmFrames, 44100));
}

TEST_F(DecodeLength, Mp3ScanIgnoresTagsAndJunk) {
    const std::int64_t frames = 44100 * 2;
    auto mp3 = makeMp3(frames, 44100);
    const auto clean = audio::scanMpeg(mp3);
    ASSERT_TRUE(clean);
    ASSERT_EQ(clean->frameRanges.size(), 1u);
    EXPECT_EQ(clean->frameRanges[0].begin, 0u);
    EXPECT_EQ(clean->frameRanges[0].end, mp3.size());

    std::vector<unsigned char> id3v1(128, 0);
    std::memcpy(id3v1.data(), "TAG", 3);
    mp3.insert(mp3.end(), id3v1.begin(), id3v1.end());
    // A stray sync word in junk after the stream is not taken for a frame.
    mp3.insert(mp3.end(), {0xFF, 0xFB, 0x90, 0x00, 1, 2, 3});
    const auto tagged = audio::scanMpeg(mp3);
    ASSERT_TRUE(tagged);
    EXPECT_EQ(tagged->pcmFrames, frames);
    ASSERT_EQ(tagged->frameRanges.size(), 1u);
    EXPECT_EQ(tagged->frameRanges[0].end, clean->frameRanges[0].end);

    // Junk between two halves of the stream splits it into two runs.
    const std::size_t cut = mp3.size() / 2;
    std::size_t at = cut;
    while (!(mp3[at] == 0xFF && (mp3[at + 1] & 0xE0) == 0xE0)) ++at;  // next frame start
    mp3.insert(mp3.begin() + static_cast<std::ptrdiff_t>(at), 333, 0x00);
    const auto split = audio::scanMpeg(mp3);
    ASSERT_TRUE(split);
    EXPECT_EQ(split->pcmFrames, frames);
    EXPECT_EQ(split->frameRanges.size(), 2u);

    EXPECT_EQ(audio::scanMpeg({}), std::nullopt);
    EXPECT_EQ(audio::scanMpeg(std::vector<unsigned char>(5000, 0xFF)), std::nullopt);
}

TEST_F(DecodeLength, DamagedMp3PlaysItsFramesAndPrintsNothing) {
    const std::int64_t frames = 44100 * 2;
    auto mp3 = makeMp3(frames, 44100);
    std::vector<unsigned char> junk(2000, 0x11);
    mp3.insert(mp3.begin() + static_cast<std::ptrdiff_t>(mp3.size() / 2), junk.begin(), junk.end());
    mp3.insert(mp3.end(), junk.begin(), junk.end());
    writeBytes(dir.file("junk.mp3"), mp3);
    std::vector<unsigned char> fake(20000, 0);
    fake[0] = 0xFF;
    fake[1] = 0xFB;
    writeBytes(dir.file("fake.mp3"), fake);

    ::testing::internal::CaptureStderr();
    auto sound = open(dir.file("junk.mp3"), audio::SoundMode::Stream);
    ASSERT_NE(sound, nullptr);
    auto reader = sound->openReader();
    ASSERT_NE(reader, nullptr);
    const auto pcm = drain(*reader, worker, 4096);
    EXPECT_EQ(open(dir.file("fake.mp3"), audio::SoundMode::Sample), nullptr);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
    // Some frames around the junk may be lost; the length is the frames kept.
    EXPECT_NEAR(sound->lengthMs(), truthMs(frames, 44100), 60.0);
    EXPECT_NEAR(static_cast<double>(pcm.size()), sound->lengthMs() * 48.0, 48.0);
}

TEST_F(DecodeLength, HeadersClaimingMoreThanTheFileHoldsGiveWhatReallyDecodes) {
    // A cut-off copy keeps its header's full length; a hostile header claims
    // ten minutes or ten hours of a few seconds of sound. Taken at its word,
    // a claim cost its size in memory when preloaded and was played out as
    // silence in every mode.
    ASSERT_TRUE(writeSound(dir.file("whole.flac"), kFlac, 44100, 1, noise(44100 * 3)));
    const auto flac = readBytes(dir.file("whole.flac"));
    writeBytes(dir.file("claims.flac"), withClaimedFlacFrames(flac, 44100ull * 600));
    writeBytes(dir.file("cut.flac"), {flac.begin(), flac.begin() + static_cast<std::ptrdiff_t>(flac.size() / 2)});
    ASSERT_TRUE(writeSound(dir.file("whole.ogg"), kVorbis, 44100, 1, sine(44100 * 3, 440.0, 44100)));
    writeBytes(dir.file("claims.ogg"), withClaimedOggEnd(readBytes(dir.file("whole.ogg")), 44100ull * 36000));

    for (const char* name : {"claims.flac", "cut.flac", "claims.ogg"}) {
        const std::int64_t truth = plainlyDecodedFrames(dir.file(name));
        ASSERT_GT(truth, 0) << name;
        ASSERT_LT(truth, 44100 * 4) << name;
        for (auto mode : {audio::SoundMode::Sample, audio::SoundMode::CompressedSample, audio::SoundMode::Stream}) {
            auto sound = open(dir.file(name), mode);
            ASSERT_NE(sound, nullptr) << name;
            ASSERT_NEAR(sound->lengthMs(), truthMs(truth, 44100), 1.0) << name << " mode " << static_cast<int>(mode);
            auto reader = sound->openReader();
            ASSERT_NE(reader, nullptr);
            EXPECT_NEAR(static_cast<double>(drain(*reader, worker, 4096).size()), static_cast<double>(truth) * 48000.0 / 44100.0, 1.0)
                << name << " mode " << static_cast<int>(mode);
        }
    }
}

TEST_F(DecodeLength, LengthIsRoundedToTheNearestMillisecond) {
    // 44100 Hz: 3 frames short of 1000 ms is 999.93 ms, rounded to 1000.
    ASSERT_TRUE(writeSound(dir.file("short.wav"), kWav, 44100, 1, noise(44097)));
    auto sound = open(dir.file("short.wav"), audio::SoundMode::Sample);
    ASSERT_NE(sound, nullptr);
    EXPECT_EQ(sound->lengthMs(), 1000u);
    // 8000 Hz: 4 frames is exactly 0.5 ms, rounded up to 1.
    ASSERT_TRUE(writeSound(dir.file("tiny.wav"), kWav, 8000, 1, noise(4)));
    sound = open(dir.file("tiny.wav"), audio::SoundMode::Stream);
    ASSERT_NE(sound, nullptr);
    EXPECT_EQ(sound->lengthMs(), 1u);
}

}  // namespace
