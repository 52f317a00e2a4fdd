// One change to the mixing state, sent from the main thread to the mixer.
#pragma once

#include "audio/MixTypes.h"

#include <cstdint>

namespace audio {

class DspProcessor;
class SoundReader;

/// A plain value: pointers in it are borrowed; the main thread keeps the
/// objects alive until the mixer has taken every command sent before they
/// were let go. Voice commands carry the voice's generation and are ignored
/// by the mixer when it does not match. `atFrame` is the output frame a
/// change belongs to; one already mixed means at once.
struct MixCommand {
    enum class Kind : std::uint8_t {
        StartVoice,          ///< index, generation, reader, group, gains, paused
        StopVoice,           ///< index, generation, atFrame: silent from that frame on
        PauseVoice,          ///< index, generation, paused; when resuming, sounds from atFrame
        SetVoiceGains,       ///< index, generation, gains of sourceChannel
        SetVoiceGroup,       ///< index, generation, group
        CreateGroup,         ///< index (under the master group, volume 1)
        ReleaseGroup,        ///< index: detached from its parent, sub-groups and DSPs
        SetGroupParent,      ///< index, group (kNoIndex detaches)
        SetGroupVolume,      ///< index, volume: from the next block, scheduled changes dropped
        RampGroupVolume,     ///< index, volume, atFrame, endFrame: linear from atFrame to endFrame
        CancelGroupVolumes,  ///< index, atFrame: scheduled changes starting at or after it are dropped
        AddDsp,              ///< index, dsp (appended to the chain)
        RemoveDsp,           ///< index, dsp
        AddGroupChunk,       ///< index (chunk number), storage
        AddMixLevel,         ///< index (level number), storage
    };

    Kind kind = Kind::StopVoice;
    bool paused = false;
    std::uint8_t sourceChannel = 0;  ///< which channel of the voice's sound `gains` places
    std::uint32_t index = kNoIndex;
    std::uint32_t generation = 0;
    std::uint32_t group = kNoIndex;
    float volume = 1.0f;
    std::int64_t atFrame = kAtOnce;
    std::int64_t endFrame = kAtOnce;
    SoundReader* reader = nullptr;
    DspProcessor* dsp = nullptr;
    void* storage = nullptr;  ///< a group chunk or a mix level, owned by the Mixer
    SpeakerGains gains{};

    /// A command of `kind` for the voice or group `target`; the other fields
    /// are filled in by the caller as the kind needs.
    static MixCommand to(Kind kind, std::uint32_t target, std::uint32_t generation = 0) {
        MixCommand command;
        command.kind = kind;
        command.index = target;
        command.generation = generation;
        return command;
    }
};

}  // namespace audio
