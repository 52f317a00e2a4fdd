// The main-thread object model behind System, Channel, ChannelGroup and Dsp.
#pragma once

#include "audio/ChannelGroup.h"
#include "audio/DecodeWorker.h"
#include "audio/DeviceOutput.h"
#include "audio/Graveyard.h"
#include "audio/MixCommand.h"
#include "audio/MixTypes.h"
#include "audio/Mixer.h"
#include "audio/PluginHost.h"
#include "audio/PluginQuarantine.h"
#include "audio/SilentOutput.h"
#include "audio/Spatializer.h"
#include "audio/System.h"
#include "audio/Types.h"
#include "audio/VolumeAutomation.h"

#include <chrono>
#include <map>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

namespace audio {

class TrackedSound;

/// Main thread only. The authoritative copy of the mixing state: every change
/// is made here first and then sent to the Mixer as a command. Reads
/// (isPlaying, channelsPlaying) combine this copy with the ends the mixer
/// publishes, without locking.
struct System::Impl {
    struct VoiceSlot {
        bool busy = false;  ///< a play was started and not stopped (it may have ended since)
        bool paused = true;
        std::uint32_t generation = 0;
        std::uint32_t group = kMasterGroup;
        Vector3 position{};
        float spreadDeg = 0.0f;  ///< 0: placed as one point
        std::uint64_t startOrder = 0;
        const Sound* sound = nullptr;  ///< identity only, to stop plays of a sound being destroyed
        std::unique_ptr<SoundReader> reader;
        std::int64_t startFrame = 0;  ///< the frame it sounds from, once unpaused
        float gain = 1.0f;  ///< how loud it is, as of its last move: the quietest is taken over first
        /// A play stopped at a later frame keeps its voice until then.
        std::int64_t heldUntil = 0;
    };
    struct GroupSlot {
        bool alive = false;
        std::uint32_t parent = kNoIndex;
        std::uint32_t depth = 1;  ///< levels below the master group
        std::uint32_t firstChild = kNoIndex;  ///< sub-groups, linked through their siblings
        std::uint32_t nextSibling = kNoIndex;
        std::uint32_t previousSibling = kNoIndex;
        std::uint32_t nextFree = kNoIndex;
        /// A copy of what the mixer does with the group's volume, so the
        /// main thread can tell what the group sounds like now.
        VolumeAutomation volume;
        std::int64_t volumeFrame = 0;  ///< the frame `volume` has reached
        std::vector<std::uint32_t> dsps;  ///< Dsp ids in chain order
    };
    /// An effect and the processor the mixer runs for it. A processor is
    /// activated in place only before the mixer was ever sent it. Once sent,
    /// the mixer may run it until it has taken the command that removed it
    /// (a removal or the release of its group), so it is never restarted in
    /// place again (but under a reset the mixer asked for): attached again
    /// after a removal, the effect gets a fresh processor with the same
    /// parameters, and the old one waits in the graveyard for the mixer to
    /// let go. Moved straight from one chain to another it keeps its state.
    struct DspSlot {
        bool alive = false;
        const DspPlugin* plugin = nullptr;
        std::unique_ptr<DspProcessor> processor;
        std::uint32_t group = kNoIndex;  ///< the chain it is in, if any
        bool sentToMixer = false;        ///< the processor was attached at some time
    };

    explicit Impl(System& system) : owner(system) {}

    // System.cpp: life cycle, outputs, housekeeping.
    void init(const SystemConfig& config);
    void close();
    void update();
    void post(const MixCommand& command);
    void collectGarbage();
    void openOutputs(const SystemConfig& config);
    bool tryDevice(DeviceFormat wanted, bool allowChanges);
    void startSilent();
    void watchDevice();
    /// Offline: whether some playing stream could not deliver numFrames yet.
    bool streamsNeedFilling(std::size_t numFrames) const;

    // SystemVoices.cpp: channels and sounds.
    Channel play(Sound& sound, bool paused);
    Channel playAt(Sound& sound, const System::PlayRequest& request);
    /// Opens a reader and sets `sound` up on voice `index` in `group` at
    /// `position`, paused; false (nothing changed) when it cannot be read.
    bool startVoice(std::uint32_t index, Sound& sound, std::uint32_t group, Vector3 position, float spreadDeg);
    /// The speaker gains of one channel of the voice's sound, where it stands.
    SpeakerGains voiceGains(const VoiceSlot& slot, int channel) const;
    /// Sends the gains of every channel but the first (which goes with the
    /// start or move itself) of a sound that keeps its channels.
    void postChannelGains(std::uint32_t index, const VoiceSlot& slot);
    /// Gives a voice a new play (taking it over if busy); the caller fills in the rest.
    VoiceSlot& claimVoice(std::uint32_t index, Sound& sound, std::unique_ptr<SoundReader> reader);
    bool isPlaying(std::uint32_t voice, std::uint32_t generation) const;
    VoiceSlot* liveVoice(std::uint32_t voice, std::uint32_t generation);
    bool hasEnded(std::uint32_t voice) const;
    /// The play on `voice` falls silent from `atFrame` (at once when that has
    /// been mixed); its voice is free again from then on.
    void stopVoice(std::uint32_t voice, std::int64_t atFrame = kAtOnce);
    void reclaimEnded();
    /// A free voice; else the quietest play (the oldest among equals), but
    /// only when it is quieter than `newGain` if one is given; kNoIndex when
    /// the new play should go virtual instead.
    std::uint32_t pickVoice(std::optional<float> newGain = std::nullopt);
    /// A play's level at `position` in `group`, through every volume above it.
    float effectiveGain(std::uint32_t group, Vector3 position);
    void setVoiceGroup(std::uint32_t voice, std::uint32_t generation, std::uint32_t group);
    void setVoicePosition(std::uint32_t voice, std::uint32_t generation, Vector3 position);
    void setVoicePaused(std::uint32_t voice, std::uint32_t generation, bool paused, std::int64_t atFrame);
    void stopChannel(std::uint32_t voice, std::uint32_t generation, std::int64_t atFrame);
    std::int64_t framesMixed() const;
    int countPlaying() const;
    void forgetSound(const Sound& sound, std::unique_ptr<Sound> inner);

    // ChannelGroup.cpp: the group tree.
    std::unique_ptr<ChannelGroup> createGroup();
    bool groupValid(std::uint32_t group) const;
    bool isWithin(std::uint32_t group, std::uint32_t ancestor) const;
    void addGroup(std::uint32_t parent, std::uint32_t child);
    void linkChild(std::uint32_t parent, std::uint32_t child);
    void unlinkChild(std::uint32_t child);
    /// Sets the levels of `group`'s sub-tree from its own; returns the deepest.
    std::uint32_t updateDepths(std::uint32_t group);
    /// Gives the mixer buffers for `depth` levels below the master group.
    void ensureMixLevels(std::uint32_t depth);
    void setGroupVolume(std::uint32_t group, float volume);
    /// The group's gain at the frame being mixed next.
    float groupVolumeNow(std::uint32_t group);
    void rampGroupVolume(std::uint32_t group, float volume, std::int64_t startFrame, std::int64_t endFrame);
    void cancelGroupVolumes(std::uint32_t group, std::int64_t fromFrame);
    void stopGroup(std::uint32_t group, std::int64_t atFrame);
    void releaseGroup(std::uint32_t group);

    // SystemPlugins.cpp: plug-ins and effects.
    bool loadPlugin(const std::string& path);
    bool dspRunsWith(int pluginIndex, const std::vector<float>& values);
    std::unique_ptr<Dsp> createDsp(int pluginIndex);
    DspSlot* liveDsp(std::uint32_t dsp);
    void attachDsp(std::uint32_t group, std::uint32_t dsp);
    void detachDsp(std::uint32_t dsp);
    void releaseDsp(std::uint32_t dsp);
    /// Swaps in a fresh, activated processor with the same parameters; the
    /// old one goes to the graveyard. False when none could be made.
    bool renewProcessor(DspSlot& slot);
    /// At each update: makes anew the processors whose reset the mixer asked for.
    void resetRequestedDsps();

    System& owner;
    bool open = false;
    SystemConfig config;
    int sampleRate = 48000;
    int numChannels = 2;
    Vector3 listenerPosition{};

    std::unique_ptr<DecodeWorker> worker;
    std::unique_ptr<PluginHost> plugins;
    std::unique_ptr<PluginQuarantine> quarantine;  ///< null for a Direct engine
    /// Verdicts of dspRunsWith this run, by plug-in index and the values' bits.
    std::map<std::pair<int, std::vector<std::uint32_t>>, bool> dspTrials;
    std::unique_ptr<Mixer> mixer;
    std::unique_ptr<Spatializer> spatializer;
    std::unique_ptr<DeviceOutput> device;
    std::unique_ptr<SilentOutput> silent;
    std::chrono::steady_clock::time_point nextDeviceAttempt{};
    DeviceFormat deviceFormat;

    std::vector<VoiceSlot> voices;
    std::uint64_t playsStarted = 0;
    std::vector<GroupSlot> groups;  ///< grows; the mixer gets its storage chunk by chunk
    std::uint32_t freeGroups = kNoIndex;  ///< released slots, to be used again first
    std::uint32_t groupChunksGiven = 0;
    std::uint32_t mixLevelsGiven = 1;
    std::unique_ptr<ChannelGroup> master;
    std::vector<DspSlot> dsps;
    std::vector<TrackedSound*> sounds;  ///< live sounds made by createSound
    Graveyard graveyard;
};

}  // namespace audio
