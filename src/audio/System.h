// The engine object: outputs, the mixing tree, sounds, channels and plug-ins.
//
// Threads
// - Main thread: everything here unless a call says otherwise (System,
//   ChannelGroup, Channel, Dsp, Sound). It changes the mixing state only by
//   posting commands (MixCommand) to the mixer's queue; it never waits for the
//   audio thread, and frees what the mixer let go in update().
// - Audio thread: SDL's callback (device output) or the silent output's own
//   thread renders the mixer; offline, the mix runs inside renderOffline on
//   the main thread instead. It takes the posted commands at the start of a
//   block, never blocks, allocates or touches the disk, and hands back what
//   it no longer uses (the graveyard) and its position (outputPosition).
// - Decoder thread (DecodeWorker): opens, decodes and resamples compressed
//   samples and streams; it fills each stream's ring, which the audio thread
//   reads without a lock, and runs the main thread's decoding tasks
//   (runSync). Offline, renderOffline waits for it to fill the rings first
//   (fillNow), so a render never depends on thread timing.
// - Hand-overs: main -> audio by the command queue; audio -> main by the
//   graveyard and the atomic output position; decoder -> audio by the ring
//   buffers; main -> decoder by tasks and job registration.
#pragma once

#include "audio/Channel.h"
#include "audio/Types.h"

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

namespace audio {

class ChannelGroup;
class Dsp;
class Sound;

/// One engine per program run. Unless a call says otherwise it is for the
/// main thread only. Mixing runs on the audio thread (device or silent
/// output) or inside renderOffline (offline output).
class System {
public:
    System();
    ~System();  ///< closes the engine if close() was not called
    System(const System&) = delete;
    System& operator=(const System&) = delete;

    /// Opens the output. A Device output that cannot be opened falls back to
    /// the silent output (real-time pace, no sound); never fails.
    void init(const SystemConfig& config);

    /// The listener is fixed at the origin looking along +z with +y up; other
    /// values are accepted and stored but placement assumes that listener.
    void setListener(Vector3 position, Vector3 velocity, Vector3 forward, Vector3 up);

    /// Offers one file as a plug-in library. A file that is not a LADSPA
    /// library fails quietly and leaves nothing behind; so does one that
    /// crashed or hung its trial in a child process (see PluginGate). Takes
    /// up to the quarantine's timeout when the file was never tried before.
    bool loadPlugin(const std::string& path);

    /// Housekeeping once per main-loop pass: frees what the audio thread let
    /// go, retries a lost device.
    void update();

    /// Channels that are sounding: started, unpaused, not ended, not stopped.
    int channelsPlaying() const;

    /// Stops everything and closes the output. Idempotent.
    void close();

    /// Opens a sound; null when the file is missing, unreadable or undecodable.
    /// With `keepChannels` the sound keeps the file's channels (up to
    /// kMaxSoundChannels) for plays that spread them; otherwise it is mono.
    std::unique_ptr<Sound> createSound(const std::string& path, SoundMode mode, bool keepChannels = false);

    /// A new group, directly under the master group.
    std::unique_ptr<ChannelGroup> createChannelGroup();
    ChannelGroup& masterGroup();

    /// A new channel playing `sound` from its start, in the master group, at
    /// the listener's position. When all channels are busy the quietest voice
    /// (the oldest among equals) is taken over.
    Channel playSound(Sound& sound, bool paused);

    /// A play set up in one go: its group (the master group when null), its
    /// place, and the output frame its first sample is heard on.
    struct PlayRequest {
        ChannelGroup* group = nullptr;
        Vector3 position{};
        std::int64_t startFrame = kAtOnce;
        /// Degrees (0..360) over which a sound's channels are spread around
        /// its direction (Spatializer::spreadGains); 0 places it as one point.
        float spreadDeg = 0.0f;
    };
    /// Plays `sound` as asked. When every channel is busy, the quietest play
    /// is taken over only if the new one would be louder there; otherwise
    /// the new play is virtual: it is not heard and holds no channel (nor
    /// decodes anything), but its handle reads as playing until the frame the
    /// sound would have ended on, so whatever waits for its end keeps its
    /// time, and a crowd of equal plays does not take voices from each other
    /// over and over.
    Channel playSoundAt(Sound& sound, const PlayRequest& request);

    /// DSP plug-ins known to the engine, in load order.
    int numDspPlugins() const;
    /// The plug-in's label, cut to 32 characters.
    std::string dspPluginName(int index) const;
    /// The parameter ranges and defaults of plug-in `index` at the engine's
    /// rate, in control-port order; empty when the index is out of range.
    std::vector<DspParameterInfo> dspPluginParameters(int index) const;
    /// A new effect from plug-in `index`, parameters at their defaults; null
    /// when the index is out of range.
    std::unique_ptr<Dsp> createDspByPlugin(int index);
    /// Whether an effect of plug-in `index` with parameter `values` (in
    /// control-port order) can be let run: in a quarantined engine, it was
    /// made, activated and run over a few blocks in a child process without
    /// crashing or hanging; each set of values is tried once and the verdict
    /// kept. Always true for a Direct engine; false for a bad index.
    bool dspRunsWith(int index, const std::vector<float>& values);

    /// Offline output only: mixes numFrames frames into `out` (interleaved,
    /// outputChannels() per frame), replacing its contents.
    void renderOffline(float* out, std::size_t numFrames);

    /// Any thread: output frames mixed so far (counted from 0 at init) and
    /// when the last block was mixed. Every frame a channel or group is given
    /// counts on this scale; the offline output mixes exactly the frames asked
    /// for, a device or the silent output about one buffer ahead of what is
    /// heard.
    OutputPosition outputPosition() const;
    std::int64_t framesMixed() const;
    /// Frames the output mixes ahead of what is heard: the device's buffer,
    /// the mixer's block for the silent output, none offline (nothing is
    /// mixed until asked for).
    int outputBufferFrames() const;

    int sampleRate() const;
    int outputChannels() const;
    /// True while a Device output runs on the silent fallback.
    bool isSilentOutput() const;

    struct Impl;
    Impl& impl() { return *impl_; }

private:
    std::unique_ptr<Impl> impl_;
};

}  // namespace audio
