// The audio-thread side of the engine: voice and bus state and the recursive mix of the group tree.
#pragma once

#include "audio/CommandQueue.h"
#include "audio/MixCommand.h"
#include "audio/MixTypes.h"

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace audio {

class DspProcessor;
class SoundReader;

/// Owns every piece of state the mixing thread touches, all allocated at
/// construction. The main thread talks to it only through post() and reads
/// back voice ends through endedGeneration(); everything else is for the one
/// thread that mixes at a time (device callback, silent output thread, or the
/// main thread inside offline rendering). It never allocates, frees, locks or
/// touches the disk while mixing; readers and processors it points at are
/// owned by the main thread.
class Mixer {
public:
    Mixer(int numVoices, int numChannels);
    Mixer(const Mixer&) = delete;
    Mixer& operator=(const Mixer&) = delete;

    /// Main thread. False, with nothing sent, when the queue is full.
    bool post(const MixCommand& command) noexcept { return commands_.tryPush(command); }
    /// Main thread: commands sent so far.
    std::uint64_t commandsPosted() const noexcept { return commands_.pushed(); }
    /// Any thread: commands the mixer has taken. Anything the main thread let
    /// go before posting command number n is no longer reachable from the
    /// mixer once this is at least n.
    std::uint64_t commandsTaken() const noexcept { return commands_.popped(); }
    /// Any thread: the generation of the last play that ended by itself on
    /// `voice` (its reader ran dry); 0 when none did.
    std::uint32_t endedGeneration(std::uint32_t voice) const noexcept {
        return voices_[voice].endedGeneration.load(std::memory_order_acquire);
    }

    /// Mixing thread; never blocks. Takes pending commands, then mixes
    /// numFrames frames into `out` (interleaved, numChannels() per frame),
    /// replacing its contents.
    void render(float* out, std::size_t numFrames) noexcept;
    /// Mixing thread: takes pending commands without mixing.
    void applyCommands() noexcept;

    int numChannels() const noexcept { return numChannels_; }
    int numVoices() const noexcept { return static_cast<int>(numVoices_); }

private:
    struct Voice {
        SoundReader* reader = nullptr;
        std::uint32_t generation = 0;
        std::uint32_t group = kNoIndex;
        std::uint32_t nextInGroup = kNoIndex;
        bool active = false;
        bool paused = true;
        bool fresh = true;  ///< not mixed yet: gains start at their target, no ramp
        SpeakerGains current{};
        SpeakerGains target{};
        std::atomic<std::uint32_t> endedGeneration{0};
    };
    struct Bus {
        bool alive = false;
        std::uint32_t parent = kNoIndex;
        std::uint32_t firstChild = kNoIndex;
        std::uint32_t nextSibling = kNoIndex;
        std::uint32_t firstVoice = kNoIndex;  ///< rebuilt every block
        float volume = 1.0f;
        float currentVolume = 1.0f;
        bool mixedLastBlock = false;  ///< a silent bus takes a new volume at once, without a ramp
        int numDsps = 0;
        std::array<DspProcessor*, kMaxDspsPerGroup> dsps{};
    };
    /// One planar buffer per output channel for one level of the tree.
    struct BusBuffer {
        std::array<float*, kMaxOutputChannels> planes{};
    };

    void apply(const MixCommand& command) noexcept;
    Voice* voiceFor(const MixCommand& command) noexcept;
    void linkGroup(std::uint32_t group, std::uint32_t parent) noexcept;
    void unlinkGroup(std::uint32_t group) noexcept;

    void renderBlock(float* out, std::size_t numFrames) noexcept;
    void collectVoices() noexcept;
    bool mixGroup(std::uint32_t group, int depth, std::size_t numFrames) noexcept;
    void mixVoice(std::uint32_t voice, const BusBuffer& bus, std::size_t numFrames) noexcept;
    void fetch(std::uint32_t voice, std::size_t numFrames) noexcept;
    void place(Voice& voice, const BusBuffer& bus, std::size_t numFrames) noexcept;
    void applyVolume(Bus& bus, const BusBuffer& buffer, std::size_t numFrames) noexcept;
    void runDsps(const Bus& bus, const BusBuffer& buffer, std::size_t numFrames) noexcept;
    void clear(const BusBuffer& buffer, std::size_t numFrames) noexcept;
    void sum(const BusBuffer& into, const BusBuffer& from, std::size_t numFrames) noexcept;

    int numChannels_;
    CommandQueue<MixCommand> commands_;
    std::unique_ptr<Voice[]> voices_;  ///< atomics inside: not movable, so no vector
    std::size_t numVoices_;
    std::vector<Bus> buses_;
    std::uint32_t busHighWater_ = 1;  ///< one past the highest group index ever created
    std::vector<float> busStorage_;
    std::vector<BusBuffer> busBuffers_;  ///< one per tree level
    std::vector<float> voiceScratch_;    ///< one voice's mono block
    std::vector<float> interleaved_;     ///< a bus handed to DSPs
};

}  // namespace audio
