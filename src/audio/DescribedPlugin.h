// A plug-in known only from its description: for a host that never runs plug-in code.
#pragma once

#include "audio/PluginDescription.h"
#include "audio/PluginHost.h"

namespace audio {

/// Offers a descriptor that was read in a probe process: its label and its
/// parameter ranges at the host's rate, exactly as the loaded library would
/// give them. Its processors run nothing: they keep their parameters and
/// leave the audio as it is. For a host that must never run a plug-in's
/// code in its own process (the checker). Immutable; main thread only.
class DescribedPlugin final : public DspPlugin {
public:
    DescribedPlugin(PluginDescription description, int sampleRate);

    const std::string& name() const override { return name_; }
    const std::vector<DspParameterInfo>& parameters() const override { return parameters_; }
    /// Never null; a processor that leaves every sample untouched.
    std::unique_ptr<DspProcessor> createProcessor(int sampleRate, int numChannels,
                                                  std::size_t maxBlockFrames) const override;

private:
    std::vector<DspParameterInfo> parametersAt(int sampleRate) const;

    PluginDescription description_;
    std::string name_;
    std::vector<DspParameterInfo> parameters_;
};

}  // namespace audio
