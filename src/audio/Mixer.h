// The audio-thread side of the engine: voice and bus state and the recursive mix of the group tree.
#pragma once

#include "audio/CommandQueue.h"
#include "audio/MixCommand.h"
#include "audio/MixTypes.h"
#include "audio/Types.h"
#include "audio/VolumeAutomation.h"

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace audio {

class DspProcessor;
class SoundReader;

/// Owns every piece of state the mixing thread touches. The main thread talks
/// to it only through post() (and hands it storage made on the main thread
/// through the same queue) and reads back voice ends, the output position and
/// effect faults; everything else is for the one thread that mixes at a time
/// (device callback, silent output thread, or the main thread inside offline
/// rendering). It never allocates, frees, locks or touches the disk while
/// mixing; readers and processors it points at are owned by the main thread.
///
/// Frames are counted from the first one mixed. A voice starts and stops at
/// the exact frame it is given, and a group's volume follows its scheduled
/// ramps frame by frame, so timing is independent of block boundaries.
class Mixer {
public:
    Mixer(int numVoices, int numChannels);
    ~Mixer();
    Mixer(const Mixer&) = delete;
    Mixer& operator=(const Mixer&) = delete;

    /// Main thread. False, with nothing sent, when the queue is full.
    bool post(const MixCommand& command) noexcept { return commands_.tryPush(command); }
    /// Main thread: commands sent so far.
    std::uint64_t commandsPosted() const noexcept { return commands_.pushed(); }
    /// Any thread: commands the mixer has taken. Anything the main thread let
    /// go before posting command number n is no longer reachable from the
    /// mixer once this is at least n (and, for a voice stopped at a later
    /// frame, once that frame has been mixed).
    std::uint64_t commandsTaken() const noexcept { return commands_.popped(); }
    /// Any thread: the generation of the last play that ended by itself on
    /// `voice` (its reader ran dry); 0 when none did.
    std::uint32_t endedGeneration(std::uint32_t voice) const noexcept {
        return voices_[voice].endedGeneration.load(std::memory_order_acquire);
    }
    /// Any thread: frames mixed so far and when the last block was done.
    OutputPosition position() const noexcept;
    /// Any thread: frames mixed so far.
    std::int64_t framesMixed() const noexcept { return framesMixed_.load(std::memory_order_acquire); }

    /// Main thread: the command that gives the mixer storage for the groups of
    /// chunk `chunk` (made here, once; owned by this object). Post it before
    /// any command that names a group of that chunk.
    MixCommand groupChunkCommand(std::uint32_t chunk);
    /// Main thread: likewise for the mix buffer of tree level `level`.
    MixCommand mixLevelCommand(std::uint32_t level);

    /// Mixing thread; never blocks. Takes pending commands, then mixes
    /// numFrames frames into `out` (interleaved, numChannels() per frame),
    /// replacing its contents. Denormals are flushed to zero meanwhile.
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
        std::uint32_t linkedGroup = kNoIndex;  ///< the bus whose list held it in the last block
        std::uint32_t nextInGroup = kNoIndex;
        bool active = false;
        bool paused = true;
        bool fresh = true;  ///< not mixed yet: gains start at their target, no ramp
        bool mixed = false;  ///< reached by the mix of the current block
        /// Samples per frame its reader delivers; channels after the first
        /// have their gains in moreGains_ (a sound that keeps its channels).
        /// Small, to fit beside the flags: the voices' layout stays as it was.
        std::uint8_t channels = 1;
        std::int64_t startFrame = 0;  ///< first frame it sounds
        std::int64_t stopFrame = kNeverFrame;  ///< first frame it is silent again
        SpeakerGains current{};
        SpeakerGains target{};
        std::atomic<std::uint32_t> endedGeneration{0};
    };
    /// The gains of a voice's channels after the first; kept apart from
    /// Voice so that the walk over the voices stays within few cache lines.
    struct MoreGains {
        std::array<SpeakerGains, kMaxSoundChannels - 1> current{};
        std::array<SpeakerGains, kMaxSoundChannels - 1> target{};
    };
    struct Bus {
        bool alive = false;
        std::uint32_t parent = kNoIndex;
        std::uint32_t firstChild = kNoIndex;
        std::uint32_t lastChild = kNoIndex;
        std::uint32_t nextSibling = kNoIndex;
        std::uint32_t previousSibling = kNoIndex;
        std::uint32_t firstVoice = kNoIndex;  ///< rebuilt every block
        std::int64_t mixedUntil = -1;  ///< frame after the last one mixed; -1 never
        VolumeAutomation volume;  ///< has reached `mixedUntil` (or the start)
        bool smoothing = false;  ///< an unscheduled change, spread over the next block
        float smoothTarget = 1.0f;
        // Effects.
        int numDsps = 0;
        std::array<DspProcessor*, kMaxDspsPerGroup> dsps{};
        bool dspTailSilent = true;  ///< the effects gave only zeros in their last run

        void reset() noexcept;
    };

    void apply(const MixCommand& command) noexcept;
    /// A bus whose effects still have something to give without input.
    static bool ringing(const Bus& bus) noexcept { return bus.numDsps != 0 && !bus.dspTailSilent; }
    /// Keeps count of ringing buses across a change to `bus` that `change` makes.
    template <typename Change>
    void changeRinging(Bus& bus, Change change) noexcept {
        const bool before = ringing(bus);
        change();
        ringingBuses_ += static_cast<int>(ringing(bus)) - static_cast<int>(before);
    }
    Voice* voiceFor(const MixCommand& command) noexcept;
    Bus* bus(std::uint32_t group) noexcept;
    void linkGroup(std::uint32_t group, std::uint32_t parent) noexcept;
    void unlinkGroup(std::uint32_t group) noexcept;

    /// The planar buffers of one level of the tree, one per output channel.
    using Planes = std::array<float*, kMaxOutputChannels>;

    void renderBlock(float* out, std::size_t numFrames) noexcept;
    void collectVoices(std::size_t numFrames) noexcept;
    bool mixGroup(std::uint32_t group, std::uint32_t depth, std::size_t numFrames) noexcept;
    void mixVoice(std::uint32_t voice, const Planes& planes, std::size_t numFrames) noexcept;
    /// Reads the voice's block into voiceScratch_ (mono) or soundFrames_.
    void fetch(Voice& voice, std::size_t numFrames) noexcept;
    void place(std::uint32_t index, const Planes& planes, std::size_t numFrames) noexcept;
    /// Adds one mono signal to every output plane with gains moving from
    /// `from` to `to` over the block.
    void placeMono(const float* signal, const SpeakerGains& from, const SpeakerGains& to, const Planes& planes,
                   std::size_t numFrames) noexcept;
    void advanceUnmixedVoices(std::size_t numFrames) noexcept;
    void applyVolume(Bus& bus, const Planes& planes, std::size_t numFrames) noexcept;
    void runDsps(Bus& bus, const Planes& planes, std::size_t numFrames) noexcept;
    bool isFinite(const Planes& planes, std::size_t numFrames) const noexcept;
    void clear(const Planes& planes, std::size_t numFrames) noexcept;
    void sum(const Planes& into, const Planes& from, std::size_t numFrames) noexcept;
    Planes levelPlanes(std::uint32_t depth) const noexcept;
    /// Chooses voiceBlock_ and gainBlock_ so that they share no 4 KiB
    /// offset with the planes of the top levels or with each other: a load
    /// from one and a store to the other at the same offset within a page
    /// stall each other, which costs the mix a third of its speed, and where
    /// the heap puts the buffers is chance.
    void placeScratch();

    int numChannels_;
    CommandQueue<MixCommand> commands_;
    std::unique_ptr<Voice[]> voices_;  ///< atomics inside: not movable, so no vector
    std::size_t numVoices_;
    std::unique_ptr<MoreGains[]> moreGains_;  ///< one per voice
    std::int64_t blockStart_ = 0;  ///< first frame of the block being mixed
    int voicesLinked_ = 0;   ///< voices that sound in the block being mixed
    int ringingBuses_ = 0;   ///< buses whose effects ring without input
    std::atomic<std::int64_t> framesMixed_{0};
    std::atomic<std::int64_t> positionNanos_{0};
    std::atomic<std::uint32_t> positionSequence_{0};

    // Mixing-thread view of the storage the main thread handed over.
    std::unique_ptr<std::array<Bus*, kMaxGroupChunks>> chunks_;
    std::unique_ptr<std::array<float*, kMaxMixLevels>> levels_;
    std::uint32_t numLevels_ = 0;

    // Main-thread ownership of that storage.
    std::vector<std::unique_ptr<Bus[]>> chunkStorage_;
    std::vector<std::unique_ptr<float[]>> levelStorage_;

    std::vector<float> voiceScratch_;  ///< one voice's mono block (at voiceBlock_)
    std::vector<float> gainScratch_;   ///< one bus's gain per frame (at gainBlock_)
    /// Where in the two buffers above the blocks start: placed away from the
    /// 4 KiB offsets of the first levels' planes (see placeScratch).
    float* voiceBlock_ = nullptr;
    float* gainBlock_ = nullptr;
    std::vector<float> interleaved_;   ///< a bus handed to DSPs
    // Made after the buffers above, which keep their sizes and places, so the
    // mono path's memory layout (and its speed) stays as it was.
    std::vector<float> soundFrames_;   ///< one voice's block of several channels, interleaved
    std::vector<float> soundPlanes_;   ///< the same, one channel after another
};

}  // namespace audio
