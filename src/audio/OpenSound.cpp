// openSound: probing a file for its true length and building the sound for a mode.
#include "audio/DecodeWorkerImpl.h"
#include "audio/MixTypes.h"
#include "audio/MonoDecoder.h"
#include "audio/MpegLength.h"
#include "audio/SampleSound.h"
#include "audio/SoundFile.h"
#include "audio/StreamSound.h"

#include <sndfile.h>

#include <algorithm>
#include <exception>
#include <functional>
#include <limits>
#include <optional>

namespace audio {

namespace {

/// Rates a file may claim. Outside them the header is damaged or hostile: a
/// rate of 1 Hz would turn a small file into days of sound.
constexpr int kMinFileRate = 1000;
constexpr int kMaxFileRate = 768000;
/// A claimed length implying more samples per byte of the file than this is
/// implausible and counted by decoding instead. Real compressed audio stays
/// far below it (a 6 kbit/s Opus voice is 64); only near-silence comes close,
/// and for it counting is cheap.
constexpr std::int64_t kMaxClaimedSamplesPerByte = 256;
/// A preload decodes into a buffer reserved for a plausible claim, up to this
/// many frames (about three minutes at 48 kHz), and grows past that only as
/// the file really decodes.
constexpr std::int64_t kMaxReservedFrames = std::int64_t{1} << 23;

/// value * numerator / denominator rounded to nearest, saturating instead of
/// overflowing for any value a header may hold.
std::int64_t scaleRounded(std::int64_t value, std::int64_t numerator, std::int64_t denominator) {
    const __int128 scaled = (static_cast<__int128>(value) * numerator + denominator / 2) / denominator;
    return static_cast<std::int64_t>(std::min<__int128>(scaled, std::numeric_limits<std::int64_t>::max()));
}

/// Formats whose frame count libsndfile derives from the size of the data
/// actually present (uncompressed samples in a chunked container), so the
/// count cannot exceed what decodes.
bool countIsFromDataSize(int format) {
    const int major = format & SF_FORMAT_TYPEMASK;
    const int subtype = format & SF_FORMAT_SUBMASK;
    const bool container = major == SF_FORMAT_WAV || major == SF_FORMAT_AIFF || major == SF_FORMAT_AU ||
                           major == SF_FORMAT_W64 || major == SF_FORMAT_WAVEX || major == SF_FORMAT_RF64 ||
                           major == SF_FORMAT_CAF;
    const bool uncompressed = subtype == SF_FORMAT_PCM_S8 || subtype == SF_FORMAT_PCM_U8 ||
                              subtype == SF_FORMAT_PCM_16 || subtype == SF_FORMAT_PCM_24 ||
                              subtype == SF_FORMAT_PCM_32 || subtype == SF_FORMAT_FLOAT ||
                              subtype == SF_FORMAT_DOUBLE || subtype == SF_FORMAT_ULAW || subtype == SF_FORMAT_ALAW;
    return container && uncompressed;
}

/// True when the header claims a length and one the file's size could hold.
bool claimIsPlausible(const SoundFile& file) {
    const std::int64_t claimed = file.reportedFrames();
    return claimed > 0 && claimed <= scaleRounded(file.encodedBytes(), kMaxClaimedSamplesPerByte, file.channels());
}

std::int64_t countByDecoding(SoundFile& file) {
    std::vector<float> scratch(4096 * static_cast<std::size_t>(file.channels()));
    std::int64_t counted = 0;
    while (const std::size_t got = file.readFrames(scratch.data(), 4096)) counted += static_cast<std::int64_t>(got);
    return counted;
}

/// Whether a seek to a claimed last frame tells anything. libsndfile seeks
/// in Ogg Vorbis by the pages' own end positions, so it lands on a false
/// claim as readily as on a true one, at a cost of milliseconds.
bool seekProbeTellsTheTruth(int format) {
    return (format & SF_FORMAT_SUBMASK) != SF_FORMAT_VORBIS;
}

/// Frames a file of a format other than MPEG really decodes to at its own
/// rate. A header's claim is taken when the format derives it from the data
/// present, or when it is plausible for the file's size and the file really
/// has a last frame where the claim puts it (a seek there lands and reads
/// exactly one frame); otherwise the file is decoded once and counted. A
/// truncated FLAC file, whose header still gives the whole length, fails the
/// seek; a claim of hours in a small file is implausible in any format.
std::int64_t trueFrameCount(const SoundFile& file, const std::function<std::unique_ptr<SoundFile>()>& reopen) {
    const std::int64_t claimed = file.reportedFrames();
    if (countIsFromDataSize(file.format()) && claimed >= 0 && claimed < SF_COUNT_MAX) return claimed;
    if (claimIsPlausible(file)) {
        if (!seekProbeTellsTheTruth(file.format())) return claimed;
        auto probe = reopen();
        std::vector<float> lastFrame(2 * static_cast<std::size_t>(file.channels()));
        if (probe && probe->seekTo(claimed - 1) && probe->readFrames(lastFrame.data(), 2) == 1) return claimed;
    }
    auto counting = reopen();
    return counting ? countByDecoding(*counting) : 0;
}

struct DecodedWhole {
    std::shared_ptr<const std::vector<float>> pcm;  ///< at the mix rate
    std::int64_t fileFrames = 0;                     ///< what was read, at the file's rate
    int channels = 1;                                ///< samples per frame of `pcm`
};

/// Decodes a whole file for a Sample on the decoder thread, where all
/// resampling happens, in slices handed over one at a time so that streaming
/// plays keep being refilled between them. With `mixFrames` known (MPEG) the
/// result has exactly that length; otherwise it is what the file decodes to,
/// and the buffer grows with it, whatever the header claimed. Null PCM when
/// the resampler cannot be made.
DecodedWhole decodeWhole(std::unique_ptr<SoundFile> file, int mixRate, std::optional<std::int64_t> mixFrames,
                         bool keepChannels, DecodeWorker::Impl& worker) {
    constexpr std::size_t kSliceFrames = 65536;
    const std::int64_t fileRate = file->sampleRate();
    const std::int64_t claimed = claimIsPlausible(*file) ? file->reportedFrames() : 0;
    std::unique_ptr<MonoDecoder> decoder;
    worker.runSync([&] {
        decoder = std::make_unique<MonoDecoder>(std::move(file), mixRate, mixFrames.value_or(MonoDecoder::kUntilTheEnd),
                                                keepChannels);
    });
    struct CloseOnWorker {
        DecodeWorker::Impl& worker;
        std::unique_ptr<MonoDecoder>& decoder;
        ~CloseOnWorker() { worker.runSync([this] { decoder.reset(); }); }
    } closer{worker, decoder};
    if (!decoder->valid()) return {};

    const auto channels = static_cast<std::size_t>(decoder->channels());
    auto pcm = std::make_shared<std::vector<float>>();
    const std::int64_t expected = mixFrames ? *mixFrames : scaleRounded(claimed, mixRate, fileRate);
    pcm->reserve(static_cast<std::size_t>(std::min(expected, kMaxReservedFrames)) * channels);
    std::size_t done = 0;  // frames
    while (!decoder->finished()) {
        pcm->resize((done + kSliceFrames) * channels);
        std::size_t got = 0;
        worker.runSync([&] { got = decoder->decode(pcm->data() + done * channels, kSliceFrames); });
        done += got;
        if (got == 0) break;
    }
    if (!mixFrames) done = static_cast<std::size_t>(scaleRounded(decoder->framesRead(), mixRate, fileRate));
    pcm->resize(done * channels);  // the resampler's last frames may run a little long or short
    if (pcm->capacity() > pcm->size() + kSliceFrames * channels) pcm->shrink_to_fit();
    return {std::move(pcm), decoder->framesRead(), static_cast<int>(channels)};
}

/// A stream's first fill decodes this much before the play starts, so a
/// sound no longer than that is decoded whole at every play anyway.
constexpr std::int64_t kWholeUpToFrames = static_cast<std::int64_t>(StreamSound::kPrefillFrames);

/// A stream or compressed sample no longer than kWholeUpToFrames, decoded
/// once, exactly as a play of it would be, and kept: a loop of a very short
/// sound then costs no file, decoder or ring per pass, only a reader of a
/// few bytes. Null when it cannot be decoded.
std::unique_ptr<Sound> decodeShort(const std::function<std::unique_ptr<SoundFile>()>& reopen, SoundMode mode,
                                   int mixRate, std::int64_t mixFrames, std::uint32_t lengthMs, int channels,
                                   DecodeWorker& worker) {
    auto pcm = std::make_shared<std::vector<float>>(static_cast<std::size_t>(mixFrames) *
                                                    static_cast<std::size_t>(channels));
    bool decoded = false;
    worker.impl().runSync([&] {
        std::unique_ptr<SoundFile> file = reopen();
        if (!file) return;
        MonoDecoder decoder(std::move(file), mixRate, mixFrames, channels > 1);
        decoded = decoder.valid() && decoder.channels() == channels &&
                  decoder.decode(pcm->data(), static_cast<std::size_t>(mixFrames)) == static_cast<std::size_t>(mixFrames);
    });
    if (!decoded) return nullptr;
    return std::make_unique<SampleSound>(std::move(pcm), lengthMs, channels, mode);
}

std::unique_ptr<Sound> openSoundOrThrow(const std::string& path, SoundMode mode, int mixRate,
                                        DecodeWorker& worker, bool keepChannels) {
    if (mixRate <= 0) return nullptr;
    EncodedBytes encoded;
    std::vector<unsigned char> head;
    if (mode == SoundMode::CompressedSample) {
        encoded = readFileBytes(path);
        if (!encoded) return nullptr;
        head.assign(encoded->begin(), encoded->begin() + std::min<std::ptrdiff_t>(4, std::ssize(*encoded)));
    } else {
        head = readFileHead(path, 4);
    }
    // MPEG is scanned first: only a stream with real frames reaches the decoder.
    std::shared_ptr<const MpegLayout> mpeg;
    if (looksLikeMpeg(head.data(), head.size())) {
        auto layout = encoded ? scanMpeg(*encoded) : scanMpegFile(path);
        if (!layout) return nullptr;
        mpeg = std::make_shared<const MpegLayout>(std::move(*layout));
    }
    const auto reopen = [&] { return encoded ? SoundFile::openMemory(encoded, mpeg) : SoundFile::openPath(path, mpeg); };
    std::unique_ptr<SoundFile> file = reopen();
    if (!file) return nullptr;
    const std::int64_t fileRate = file->sampleRate();
    if (fileRate < kMinFileRate || fileRate > kMaxFileRate) return nullptr;

    // A sound's length drives every plan, so it is what the file really
    // decodes to; a file that decodes to nothing is no sound.
    const auto lengthMsOf = [&](std::int64_t frames) {
        const std::int64_t ms = scaleRounded(frames, 1000, fileRate);  // nearest millisecond
        return static_cast<std::uint32_t>(std::min<std::int64_t>(ms, std::numeric_limits<std::uint32_t>::max()));
    };
    if (mode == SoundMode::Sample) {
        std::optional<std::int64_t> mixFrames;
        if (mpeg) mixFrames = scaleRounded(mpeg->pcmFrames, mixRate, fileRate);
        DecodedWhole decoded = decodeWhole(std::move(file), mixRate, mixFrames, keepChannels, worker.impl());
        if (!decoded.pcm || decoded.pcm->empty()) return nullptr;
        const std::int64_t frames = mpeg ? mpeg->pcmFrames : decoded.fileFrames;
        return std::make_unique<SampleSound>(std::move(decoded.pcm), lengthMsOf(frames), decoded.channels);
    }

    const std::int64_t frames = mpeg ? mpeg->pcmFrames : trueFrameCount(*file, reopen);
    const std::int64_t mixFrames = scaleRounded(frames, mixRate, fileRate);
    if (mixFrames <= 0) return nullptr;
    const int channels = keepChannels && file->channels() <= kMaxSoundChannels ? file->channels() : 1;
    file.reset();  // every play opens its own
    if (mixFrames <= kWholeUpToFrames) {
        return decodeShort(reopen, mode, mixRate, mixFrames, lengthMsOf(frames), channels, worker);
    }
    StreamSound::Config config;
    config.mode = mode;
    config.path = path;
    config.encoded = std::move(encoded);
    config.mpeg = std::move(mpeg);
    config.mixRate = mixRate;
    config.mixFrames = mixFrames;
    config.lengthMs = lengthMsOf(frames);
    config.channels = channels;
    return std::make_unique<StreamSound>(std::move(config), worker);
}

}  // namespace

std::unique_ptr<Sound> openSound(const std::string& path, SoundMode mode, int mixRate, DecodeWorker& worker,
                                 bool keepChannels) {
    try {
        return openSoundOrThrow(path, mode, mixRate, worker, keepChannels);
    } catch (const std::exception&) {
        // Out of memory for an absurd length, or a thread that cannot start.
        return nullptr;
    }
}

}  // namespace audio
