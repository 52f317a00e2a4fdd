// One LADSPA descriptor offered as a DSP plug-in.
#pragma once

#include "audio/LadspaLibrary.h"
#include "audio/PluginHost.h"

#include <ladspa.h>

#include <memory>
#include <string>
#include <vector>

namespace audio {

/// How a descriptor's ports map onto a bus: Mono is one audio input and one
/// output, Stereo two and two, MonoToStereo one input and two outputs (the
/// usual shape of a reverb). Every other shape (and a descriptor that cannot
/// be instantiated or run) is Unusable and leaves the audio untouched.
enum class LadspaShape { Mono, Stereo, MonoToStereo, Unusable };

/// A descriptor's ports sorted by kind, each list in port order.
struct LadspaPorts {
    std::vector<unsigned long> controlInputs;   ///< the parameters
    std::vector<unsigned long> controlOutputs;  ///< connected to dummies
    std::vector<unsigned long> audioInputs;
    std::vector<unsigned long> audioOutputs;
    LadspaShape shape = LadspaShape::Unusable;
};

/// A DSP plug-in backed by one descriptor of an open library, which it keeps
/// mapped. Immutable after construction; main thread only.
class LadspaPlugin final : public DspPlugin {
public:
    /// `sampleRate` resolves sample-rate-relative bounds for parameters().
    LadspaPlugin(std::shared_ptr<const LadspaLibrary> library,
                 const LADSPA_Descriptor& descriptor, int sampleRate);

    const std::string& name() const override { return name_; }
    const std::vector<DspParameterInfo>& parameters() const override { return parameters_; }
    LadspaShape shape() const { return ports_.shape; }

    /// The processor resolves bounds and defaults at its own rate. Never null:
    /// an unusable plug-in gives a processor that passes audio through.
    std::unique_ptr<DspProcessor> createProcessor(int sampleRate, int numChannels,
                                                  std::size_t maxBlockFrames) const override;

    /// Range and default of the control input `port` at `sampleRate`. An
    /// unbounded side is -FLT_MAX / +FLT_MAX; the default follows the port's
    /// default hint (rounded for integer ports), else it is 0 brought into
    /// range; it always lies inside [min, max].
    static DspParameterInfo parameterInfo(const LADSPA_PortRangeHint& hint, float sampleRate);

private:
    std::vector<DspParameterInfo> parametersAt(int sampleRate) const;

    std::shared_ptr<const LadspaLibrary> library_;
    const LADSPA_Descriptor& descriptor_;
    std::string name_;
    LadspaPorts ports_;
    std::vector<DspParameterInfo> parameters_;
};

}  // namespace audio
