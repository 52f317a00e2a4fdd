// LADSPA plug-in libraries and the effect processors made from them.
#pragma once

#include "audio/Types.h"

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

namespace audio {

/// Runs one plug-in over every channel of a bus: a mono plug-in as one
/// instance per channel, a stereo one (two in, two out) as one instance per
/// channel pair, a mono-in, stereo-out one (a reverb) as one instance per
/// channel pair fed with the pair's average, or on a mono bus as one instance
/// whose two outputs are averaged back; other shapes pass the audio through
/// untouched.
class DspProcessor {
public:
    virtual ~DspProcessor() = default;  ///< main thread: deactivates and frees instances

    /// Main thread. Parameters take effect from the next processed block.
    virtual void setParameter(int index, float value) = 0;
    virtual float parameter(int index) const = 0;

    /// Audio thread; never blocks or allocates. Processes numFrames interleaved
    /// frames in place (numFrames <= the block size given at creation).
    /// Instances are activated on the first call, after parameters were set.
    virtual void process(float* interleaved, std::size_t numFrames) noexcept = 0;

    /// Main thread, only while no mixer runs this processor: back to the state
    /// it was created in (instances made anew, not yet activated), so an effect
    /// attached again does not play out what it held when it was removed.
    virtual void restart() {}
};

/// One DSP plug-in (a LADSPA descriptor).
class DspPlugin {
public:
    virtual ~DspPlugin() = default;
    /// The descriptor's Label, cut to 32 characters.
    virtual const std::string& name() const = 0;
    /// Control input ports in port order.
    virtual const std::vector<DspParameterInfo>& parameters() const = 0;
    /// Main thread: a processor for a bus of numChannels channels at
    /// sampleRate, parameters at their defaults, not yet activated.
    virtual std::unique_ptr<DspProcessor> createProcessor(int sampleRate, int numChannels,
                                                          std::size_t maxBlockFrames) const = 0;
};

/// The loaded plug-in libraries. Main thread only.
class PluginHost {
public:
    PluginHost();
    ~PluginHost();  ///< unloads the libraries; every processor must be gone by then
    PluginHost(const PluginHost&) = delete;
    PluginHost& operator=(const PluginHost&) = delete;

    /// Opens `path` as a shared library and takes each of its LADSPA
    /// descriptors as one plug-in. False, with nothing kept, when it is not a
    /// loadable library or has no descriptor.
    bool load(const std::string& path, int sampleRate);
    int numPlugins() const;
    const DspPlugin& plugin(int index) const;

    struct Impl;

private:
    std::unique_ptr<Impl> impl_;
};

}  // namespace audio
