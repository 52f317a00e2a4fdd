// A sound file opened in one mode: data only, played through channels.
#pragma once

#include "audio/Types.h"

#include <cstdint>
#include <memory>
#include <string>

namespace audio {

class SoundReader;
class DecodeWorker;

/// A decoded or decodable sound. Every play reads it through its own
/// SoundReader, so one sound may play on many channels at once, each at its
/// own position; a preloaded sound's PCM is held once. Created and destroyed on
/// the main thread; the System stops channels that still play it first.
class Sound {
public:
    virtual ~Sound() = default;

    /// Length of one play in milliseconds, exact (frame count over native rate),
    /// the same for every mode.
    virtual std::uint32_t lengthMs() const noexcept = 0;
    /// Frames one play delivers at the mix rate, exactly: a play started at
    /// output frame f is silent again from f + lengthFrames().
    virtual std::int64_t lengthFrames() const noexcept = 0;
    virtual SoundMode mode() const noexcept = 0;
    /// Samples per frame its plays deliver: 1 unless the sound was opened to
    /// keep the file's channels.
    virtual int channels() const noexcept { return 1; }

    /// Main thread: a reader for one play from the start, filled far enough that
    /// it sounds from the first mix block. Null when the file can no longer be
    /// read.
    virtual std::unique_ptr<SoundReader> openReader() = 0;
};

/// One play of a sound, delivering PCM at the mix rate: mono (multi-channel
/// files mixed down), or interleaved frames of channels() samples for a sound
/// opened to keep its channels.
class SoundReader {
public:
    virtual ~SoundReader() = default;

    /// Audio thread; never blocks, allocates or touches the disk. Writes up to
    /// numFrames frames (channels() samples each) into `out`, replacing its
    /// contents, and returns how many frames it wrote. Fewer than asked means the end or a decoder that is not
    /// ready yet (see ended()).
    virtual std::size_t read(float* out, std::size_t numFrames) noexcept = 0;

    /// Audio thread: true once every frame of the sound has been delivered.
    virtual bool ended() const noexcept = 0;

    /// Any thread: samples per frame, fixed for the play.
    virtual int channels() const noexcept { return 1; }

    /// Any thread: whether read() could deliver numFrames frames (or the rest
    /// of the sound) right now, without waiting for a decoder.
    virtual bool canDeliver(std::size_t numFrames) const noexcept {
        (void)numFrames;
        return true;
    }
};

/// Main thread: opens `path` in `mode` for mixing at `mixRate`. Null when the
/// file is missing, unreadable or undecodable. Compressed samples and streams
/// are decoded ahead on `worker`. With `keepChannels` a file of up to
/// kMaxSoundChannels channels keeps them (one with more is mixed down).
std::unique_ptr<Sound> openSound(const std::string& path, SoundMode mode, int mixRate,
                                 DecodeWorker& worker, bool keepChannels = false);

}  // namespace audio
