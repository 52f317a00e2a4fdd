// A sound decoded while it plays: a compressed sample or a stream.
#pragma once

#include "audio/Sound.h"
#include "audio/SoundFile.h"

#include <cstdint>
#include <memory>
#include <string>

namespace audio {

/// Decodes on the decoder thread while playing. As a CompressedSample it keeps
/// the encoded file in memory (shared by every play); as a Stream it keeps
/// only the path and every play opens the file from disk.
class StreamSound final : public Sound {
public:
    struct Config {
        SoundMode mode = SoundMode::Stream;
        std::string path;       ///< Stream: read from here by every play
        EncodedBytes encoded;   ///< CompressedSample: the whole file
        std::shared_ptr<const MpegLayout> mpeg;  ///< scanned layout of an MPEG file
        int mixRate = 48000;
        std::int64_t mixFrames = 0;  ///< length of one play at the mix rate
        std::uint32_t lengthMs = 0;
        int channels = 1;  ///< kept channels; 1 mixes down
    };

    StreamSound(Config config, DecodeWorker& worker) : config_(std::move(config)), worker_(worker) {}

    std::uint32_t lengthMs() const noexcept override { return config_.lengthMs; }
    std::int64_t lengthFrames() const noexcept override { return config_.mixFrames; }
    SoundMode mode() const noexcept override { return config_.mode; }
    int channels() const noexcept override { return config_.channels; }

    /// Main thread. Opens the file and decodes the first kPrefillFrames on the
    /// decoder thread (which owns all resampling) while the caller waits, then
    /// hands the play to that thread to keep ahead. Null when the file can no
    /// longer be opened.
    std::unique_ptr<SoundReader> openReader() override;

    /// ~170 ms at 48 kHz: many mix blocks, so the first ones never underrun.
    static constexpr std::size_t kPrefillFrames = 8192;

private:
    Config config_;
    DecodeWorker& worker_;
};

}  // namespace audio
