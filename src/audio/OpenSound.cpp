// openSound: probing a file for its true length and building the sound for a mode.
#include "audio/DecodeWorkerImpl.h"
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

/// value * numerator / denominator rounded to nearest, without overflow for
/// any frame count a file can hold.
std::int64_t scaleRounded(std::int64_t value, std::int64_t numerator, std::int64_t denominator) {
    return value / denominator * numerator + ((value % denominator) * numerator + denominator / 2) / denominator;
}

/// Frames the file really decodes to at its native rate: libsndfile's count,
/// exact for every format but MPEG (whose frames were scanned instead); when
/// libsndfile does not know, the file is decoded once and counted.
std::optional<std::int64_t> trueFrameCount(const SoundFile& file, const std::function<std::unique_ptr<SoundFile>()>& reopen) {
    if (file.reportedFrames() >= 0 && file.reportedFrames() < SF_COUNT_MAX) return file.reportedFrames();
    auto counting = reopen();
    if (!counting) return std::nullopt;
    std::vector<float> scratch(4096 * static_cast<std::size_t>(counting->channels()));
    std::int64_t counted = 0;
    while (const std::size_t got = counting->readFrames(scratch.data(), 4096)) {
        counted += static_cast<std::int64_t>(got);
    }
    if (counted == 0) return std::nullopt;  // nothing decodable
    return counted;
}

/// Decodes a whole file for a Sample on the decoder thread, where all
/// resampling happens, in slices handed over one at a time so that streaming
/// plays keep being refilled between them.
std::shared_ptr<const std::vector<float>> decodeWhole(std::unique_ptr<SoundFile> file, int mixRate,
                                                      std::int64_t mixFrames, DecodeWorker::Impl& worker) {
    constexpr std::size_t kSliceFrames = 65536;
    std::unique_ptr<MonoDecoder> decoder;
    worker.runSync([&] { decoder = std::make_unique<MonoDecoder>(std::move(file), mixRate, mixFrames); });
    struct CloseOnWorker {
        DecodeWorker::Impl& worker;
        std::unique_ptr<MonoDecoder>& decoder;
        ~CloseOnWorker() { worker.runSync([this] { decoder.reset(); }); }
    } closer{worker, decoder};
    if (!decoder->valid()) return nullptr;

    auto pcm = std::make_shared<std::vector<float>>(static_cast<std::size_t>(mixFrames));
    for (std::size_t done = 0; done < pcm->size(); done += kSliceFrames) {
        const std::size_t n = std::min(kSliceFrames, pcm->size() - done);
        worker.runSync([&] { decoder->decode(pcm->data() + done, n); });
    }
    return pcm;
}

std::unique_ptr<Sound> openSoundOrThrow(const std::string& path, SoundMode mode, int mixRate,
                                        DecodeWorker& worker) {
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

    const std::optional<std::int64_t> frames = mpeg ? mpeg->pcmFrames : trueFrameCount(*file, reopen);
    if (!frames) return nullptr;
    const std::int64_t fileRate = file->sampleRate();
    const std::int64_t mixFrames = scaleRounded(*frames, mixRate, fileRate);
    const std::int64_t ms = scaleRounded(*frames, 1000, fileRate);  // nearest millisecond
    const auto lengthMs = static_cast<std::uint32_t>(
        std::min<std::int64_t>(ms, std::numeric_limits<std::uint32_t>::max()));

    if (mode == SoundMode::Sample) {
        auto pcm = decodeWhole(std::move(file), mixRate, mixFrames, worker.impl());
        if (!pcm) return nullptr;
        return std::make_unique<SampleSound>(std::move(pcm), lengthMs);
    }

    file.reset();  // every play opens its own
    StreamSound::Config config;
    config.mode = mode;
    config.path = path;
    config.encoded = std::move(encoded);
    config.mpeg = std::move(mpeg);
    config.mixRate = mixRate;
    config.mixFrames = mixFrames;
    config.lengthMs = lengthMs;
    return std::make_unique<StreamSound>(std::move(config), worker);
}

}  // namespace

std::unique_ptr<Sound> openSound(const std::string& path, SoundMode mode, int mixRate, DecodeWorker& worker) {
    try {
        return openSoundOrThrow(path, mode, mixRate, worker);
    } catch (const std::exception&) {
        // Out of memory for an absurd length, or a thread that cannot start.
        return nullptr;
    }
}

}  // namespace audio
