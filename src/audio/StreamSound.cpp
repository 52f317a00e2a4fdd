// Starting a streaming play: open, pre-fill, hand over to the decoder thread.
#include "audio/StreamSound.h"

#include "audio/DecodeWorkerImpl.h"
#include "audio/StreamReader.h"

namespace audio {

std::unique_ptr<SoundReader> StreamSound::openReader() {
    auto& worker = worker_.impl();
    auto feed = std::make_shared<StreamFeed>(worker.wakeSignal(), config_.channels);
    bool opened = false;
    worker.runSync([&] {
        auto file = config_.mode == SoundMode::CompressedSample ? SoundFile::openMemory(config_.encoded, config_.mpeg)
                                                                : SoundFile::openPath(config_.path, config_.mpeg);
        if (!file) return;
        auto job = std::make_unique<StreamJob>();
        job->decoder = std::make_unique<MonoDecoder>(std::move(file), config_.mixRate, config_.mixFrames,
                                                     config_.channels > 1);
        if (!job->decoder->valid() || job->decoder->channels() != config_.channels) return;
        if (config_.channels > 1) job->bounce.resize(4096 * static_cast<std::size_t>(config_.channels));
        job->feed = feed;
        feed->decoderBytes.store(job->decoder->bufferBytes(), std::memory_order_relaxed);
        while (feed->framesBuffered() < kPrefillFrames && job->pump(kPrefillFrames) > 0) {
        }
        worker.addJob(std::move(job));
        opened = true;
    });
    if (!opened) return nullptr;
    return std::make_unique<StreamReader>(std::move(feed));
}

}  // namespace audio
