// LADSPA plug-in libraries and the effect processors made from them.
#pragma once

#include "audio/PluginDescription.h"
#include "audio/Types.h"

#include <atomic>
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
///
/// Its instances are made, activated and made anew only on the main thread
/// and only while no mixer can reach the processor: before it is first
/// attached, or while a reset the mixer asked for is pending (process() then
/// leaves the audio alone). The mixing thread only ever calls process() and
/// requestReset().
class DspProcessor {
public:
    virtual ~DspProcessor() = default;  ///< main thread: deactivates and frees instances

    /// Main thread. Parameters take effect from the next processed block.
    virtual void setParameter(int index, float value) = 0;
    virtual float parameter(int index) const = 0;

    /// Main thread, while no mixer can reach the processor: makes the
    /// instances ready to run, with the parameters set so far copied in
    /// first (some plug-ins read their controls only here). Until then
    /// process() leaves the audio untouched. Activating twice does nothing.
    virtual void activate() {}

    /// Audio thread; never blocks or allocates. Processes numFrames interleaved
    /// frames in place (numFrames <= the block size given at creation). Leaves
    /// them untouched before activate() and while a reset is pending.
    virtual void process(float* interleaved, std::size_t numFrames) noexcept = 0;

    /// Main thread, while no mixer can reach the processor: back to the state
    /// it was created in (instances made anew, not yet activated).
    virtual void restart() {}

    /// Mixing thread; never blocks or allocates. Asks for the processor to be
    /// made anew, e.g. after its output was not finite: from now on it must
    /// be bypassed (process() leaves the audio alone) until the main thread
    /// has restarted and activated it at its next System::update.
    void requestReset() noexcept { resetPending_.store(true, std::memory_order_release); }
    /// Any thread.
    bool resetPending() const noexcept { return resetPending_.load(std::memory_order_acquire); }
    /// Main thread: carries out a pending reset (restart, activate with the
    /// current parameters, then runs again); false when none was asked for.
    /// Safe while the processor is attached, since a pending reset keeps the
    /// mixer out of it.
    bool resetIfRequested() {
        if (!resetPending()) return false;
        restart();
        activate();
        resetPending_.store(false, std::memory_order_release);
        return true;
    }

private:
    std::atomic<bool> resetPending_{false};
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
    /// sampleRate, parameters at their defaults, not yet activated (it runs
    /// once activate() was called).
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
    /// Takes each description as one plug-in of the library at `path`
    /// without opening it (see DescribedPlugin). False when there is none.
    bool addDescribed(const std::string& path, std::vector<PluginDescription> descriptions, int sampleRate);
    int numPlugins() const;
    const DspPlugin& plugin(int index) const;
    /// The library plug-in `index` came from, and its descriptor's index there.
    const std::string& libraryPath(int index) const;
    unsigned long descriptorIndex(int index) const;

    struct Impl;

private:
    std::unique_ptr<Impl> impl_;
};

}  // namespace audio
