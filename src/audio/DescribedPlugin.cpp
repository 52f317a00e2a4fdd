// Plug-ins offered from their descriptions, with processors that run no plug-in code.
#include "audio/DescribedPlugin.h"

#include "audio/LadspaPlugin.h"

namespace audio {

namespace {

constexpr std::size_t kMaxNameLength = 32;

/// Holds parameter values and passes the audio through.
class InertProcessor final : public DspProcessor {
public:
    explicit InertProcessor(std::vector<float> values) : values_(std::move(values)) {}
    void setParameter(int index, float value) override {
        if (index >= 0 && static_cast<std::size_t>(index) < values_.size()) values_[static_cast<std::size_t>(index)] = value;
    }
    float parameter(int index) const override {
        return index >= 0 && static_cast<std::size_t>(index) < values_.size() ? values_[static_cast<std::size_t>(index)]
                                                                              : 0.0f;
    }
    void process(float*, std::size_t) noexcept override {}

private:
    std::vector<float> values_;
};

}  // namespace

DescribedPlugin::DescribedPlugin(PluginDescription description, int sampleRate)
    : description_(std::move(description)), name_(description_.label) {
    if (name_.size() > kMaxNameLength) name_.resize(kMaxNameLength);
    parameters_ = parametersAt(sampleRate);
}

std::vector<DspParameterInfo> DescribedPlugin::parametersAt(int sampleRate) const {
    std::vector<DspParameterInfo> infos;
    for (const LADSPA_PortRangeHint& hint : description_.controls) {
        infos.push_back(LadspaPlugin::parameterInfo(hint, static_cast<float>(sampleRate)));
    }
    return infos;
}

std::unique_ptr<DspProcessor> DescribedPlugin::createProcessor(int sampleRate, int, std::size_t) const {
    std::vector<float> defaults;
    for (const DspParameterInfo& info : parametersAt(sampleRate)) defaults.push_back(info.defaultValue);
    return std::make_unique<InertProcessor>(std::move(defaults));
}

}  // namespace audio
