// Plain value types shared by the engine's public classes.
#pragma once

#include <cstdint>
#include <string>

namespace audio {

/// A frame is one sample for every output (or file) channel at one instant.

struct Vector3 {
    float x = 0.0f;
    float y = 0.0f;
    float z = 0.0f;
};

/// How a sound's data is kept: decoded whole at creation, kept encoded in memory
/// and decoded while playing, or decoded from disk while playing.
enum class SoundMode { Sample, CompressedSample, Stream };

/// The speaker layout asked for at start-up; the mixer renders for what the
/// device actually gives.
enum class SpeakerMode { Mono, Stereo, Quad, Surround, FivePointOne, SevenPointOne };

enum class OutputKind {
    Device,   ///< the default sound device, or the silent output when none opens
    Offline,  ///< nothing runs by itself; the caller pulls frames with System::renderOffline
};

/// How plug-in libraries get into the engine.
enum class PluginGate {
    /// Each file, and each plug-in with each set of parameter values, is
    /// first tried in a child process (PluginQuarantine); only what passed
    /// runs here. The programs' choice.
    Quarantined,
    /// Tried like Quarantined, but no plug-in code ever runs in this process:
    /// plug-ins are known from their descriptions and their effects leave
    /// the audio untouched. For the checker.
    DescribedOnly,
    /// Opened in this process as they are: for libraries known to be sound.
    Direct,
};

struct SystemConfig {
    int maxChannels = 128;
    SpeakerMode speakerMode = SpeakerMode::Surround;
    OutputKind output = OutputKind::Device;
    int sampleRate = 48000;      ///< preferred device rate; the offline rate
    int offlineChannels = 2;     ///< output channels of the offline output
    PluginGate pluginGate = PluginGate::Quarantined;
    /// Where the quarantine finds its probe and keeps its verdicts; empty
    /// fields take PluginQuarantine's defaults.
    std::string pluginProbe;
    std::string pluginVerdictFile;
};

/// Where the output stands: how many frames have been mixed, and when (the
/// steady clock, in nanoseconds since its epoch) the last of them was mixed.
struct OutputPosition {
    std::int64_t frames = 0;
    std::int64_t steadyNanos = 0;
};

struct DspParameterInfo {
    float min = 0.0f;
    float max = 0.0f;
    float defaultValue = 0.0f;
};

}  // namespace audio
