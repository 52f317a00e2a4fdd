// The instances of one LADSPA plug-in running over one bus.
#pragma once

#include "audio/LadspaLibrary.h"
#include "audio/LadspaPlugin.h"
#include "audio/PluginHost.h"

#include <ladspa.h>

#include <atomic>
#include <cstddef>
#include <memory>
#include <vector>

namespace audio {

/// Runs a Mono plug-in as one instance per bus channel, a Stereo one as one
/// instance per channel pair (an odd last channel passes through untouched).
/// A MonoToStereo plug-in runs once per channel pair, fed with the pair's
/// average and writing its two outputs to the pair (an odd last channel
/// passes through); on a mono bus it runs once and its two outputs are
/// averaged back into the one channel. An Unusable plug-in, a bus it cannot
/// fill, or an instance that fails to be made leaves every sample as it was.
///
/// Every buffer is allocated here; process() only copies and calls the
/// plug-in. The instances share the deinterleave scratch, one buffer of
/// maxBlockFrames per audio port; the n-th output shares the n-th input's
/// buffer unless the plug-in cannot process in place.
///
/// Threads: constructed, activated, restarted and destroyed on the main
/// thread, never while a mixer can reach it (see DspProcessor); process() on
/// the mixing thread only runs the instances and never activates them, since
/// plug-ins may allocate in activate. setParameter and parameter may be
/// called from any thread: each value is a relaxed atomic float, copied into
/// the plug-in's control ports by activate() and by process() at the start
/// of a block, so the plug-in never sees a value change during a run.
class LadspaProcessor final : public DspProcessor {
public:
    /// Instantiates the plug-in at `sampleRate` and connects every port.
    /// `defaults` holds one value per control input, in port order.
    LadspaProcessor(std::shared_ptr<const LadspaLibrary> library,
                    const LADSPA_Descriptor& descriptor, const LadspaPorts& ports,
                    std::vector<float> defaults, int sampleRate, int numChannels,
                    std::size_t maxBlockFrames);
    /// Deactivates the instances if they were activated, then cleans them up.
    ~LadspaProcessor() override;
    LadspaProcessor(const LadspaProcessor&) = delete;
    LadspaProcessor& operator=(const LadspaProcessor&) = delete;

    /// Out-of-range indices are ignored. Values are used as given.
    void setParameter(int index, float value) override;
    /// 0 for an out-of-range index.
    float parameter(int index) const override;

    /// Copies in the parameters set so far (some plug-ins read their controls
    /// in activate), then activates every instance.
    void activate() override;
    /// Audio thread; never blocks or allocates. Blocks longer than
    /// maxBlockFrames are run in pieces. Passes the audio through before
    /// activate() and while a reset is pending.
    void process(float* interleaved, std::size_t numFrames) noexcept override;
    void restart() override;

private:
    void instantiate(const LadspaPorts& ports, unsigned long sampleRate);
    void releaseInstances();
    void connect(LADSPA_Handle instance, const LadspaPorts& ports);
    void copyControls() noexcept;
    void runBlock(float* interleaved, std::size_t numFrames) noexcept;
    /// Fills the input buffers from one instance's bus channels.
    void readInputs(const float* firstChannel, std::size_t numFrames) noexcept;
    /// Writes the output buffers back over one instance's bus channels.
    void writeOutputs(float* firstChannel, std::size_t numFrames) noexcept;

    std::shared_ptr<const LadspaLibrary> library_;  ///< keeps the code mapped
    const LADSPA_Descriptor& descriptor_;
    std::vector<LADSPA_Handle> instances_;
    std::size_t channelsPerInstance_ = 0;  ///< bus channels one instance reads and writes
    std::size_t numChannels_ = 0;
    std::size_t maxBlockFrames_ = 0;
    bool activated_ = false;
    LadspaPorts ports_;
    unsigned long sampleRate_ = 0;

    std::vector<std::atomic<float>> requested_;  ///< written by setParameter
    std::vector<float> controls_;                ///< what the plug-in reads
    std::vector<float> controlOutputs_;          ///< written by the plug-in, never read
    std::vector<float> scratch_;
    std::vector<float*> inputs_;   ///< one per audio input port, into scratch_
    std::vector<float*> outputs_;  ///< one per audio output port; may alias inputs_
};

}  // namespace audio
