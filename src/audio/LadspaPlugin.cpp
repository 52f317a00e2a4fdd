// Port analysis, parameter ranges and defaults of one LADSPA descriptor.
#include "audio/LadspaPlugin.h"

#include "audio/LadspaProcessor.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <utility>

namespace audio {

namespace {

constexpr std::size_t kMaxNameLength = 32;

LadspaPorts sortPorts(const LADSPA_Descriptor& descriptor) {
    LadspaPorts ports;
    if (descriptor.PortCount > 0 && descriptor.PortDescriptors == nullptr) {
        return ports;
    }
    bool valid = true;
    for (unsigned long port = 0; port < descriptor.PortCount; ++port) {
        const LADSPA_PortDescriptor kind = descriptor.PortDescriptors[port];
        const bool input = LADSPA_IS_PORT_INPUT(kind);
        const bool control = LADSPA_IS_PORT_CONTROL(kind);
        if (input == bool(LADSPA_IS_PORT_OUTPUT(kind)) ||
            control == bool(LADSPA_IS_PORT_AUDIO(kind))) {
            valid = false;  // a port we cannot connect sensibly
            continue;
        }
        if (control) {
            (input ? ports.controlInputs : ports.controlOutputs).push_back(port);
        } else {
            (input ? ports.audioInputs : ports.audioOutputs).push_back(port);
        }
    }
    const bool callable = descriptor.instantiate != nullptr &&
                          descriptor.connect_port != nullptr && descriptor.run != nullptr;
    if (!valid || !callable) {
        return ports;
    }
    const std::size_t numIn = ports.audioInputs.size();
    const std::size_t numOut = ports.audioOutputs.size();
    if (numIn == 1 && numOut == 1) {
        ports.shape = LadspaShape::Mono;
    } else if (numIn == 2 && numOut == 2) {
        ports.shape = LadspaShape::Stereo;
    } else if (numIn == 1 && numOut == 2) {
        ports.shape = LadspaShape::MonoToStereo;
    }
    return ports;
}

/// A value between the bounds: `lowerWeight` of the way from the upper bound,
/// geometric for logarithmic ports as LADSPA asks (linear if a bound is not
/// positive, where the logarithm has no meaning).
double between(double lower, double upper, double lowerWeight, bool logarithmic) {
    if (logarithmic && lower > 0.0 && upper > 0.0) {
        return std::exp(std::log(lower) * lowerWeight + std::log(upper) * (1.0 - lowerWeight));
    }
    return lower * lowerWeight + upper * (1.0 - lowerWeight);
}

}  // namespace

LadspaPlugin::LadspaPlugin(std::shared_ptr<const LadspaLibrary> library,
                           const LADSPA_Descriptor& descriptor, int sampleRate)
    : library_(std::move(library)),
      descriptor_(descriptor),
      name_(descriptor.Label != nullptr ? descriptor.Label : ""),
      ports_(sortPorts(descriptor)) {
    if (name_.size() > kMaxNameLength) {
        name_.resize(kMaxNameLength);
    }
    parameters_ = parametersAt(sampleRate);
}

DspParameterInfo LadspaPlugin::parameterInfo(const LADSPA_PortRangeHint& hint, float sampleRate) {
    const LADSPA_PortRangeHintDescriptor flags = hint.HintDescriptor;
    const bool hasLower = LADSPA_IS_HINT_BOUNDED_BELOW(flags);
    const bool hasUpper = LADSPA_IS_HINT_BOUNDED_ABOVE(flags);
    const double scale = LADSPA_IS_HINT_SAMPLE_RATE(flags) ? double(sampleRate) : 1.0;
    double lower = hasLower ? double(hint.LowerBound) * scale : -double(FLT_MAX);
    double upper = hasUpper ? double(hint.UpperBound) * scale : double(FLT_MAX);
    if (lower > upper) {
        std::swap(lower, upper);  // a careless descriptor; keep the range usable
    }
    lower = std::max(lower, -double(FLT_MAX));
    upper = std::min(upper, double(FLT_MAX));

    // Hints that need a bound the port lacks fall back to "no default".
    const bool log = LADSPA_IS_HINT_LOGARITHMIC(flags);
    double value = 0.0;
    switch (flags & LADSPA_HINT_DEFAULT_MASK) {
    case LADSPA_HINT_DEFAULT_MINIMUM: value = hasLower ? lower : 0.0; break;
    case LADSPA_HINT_DEFAULT_LOW:
        value = hasLower && hasUpper ? between(lower, upper, 0.75, log) : 0.0;
        break;
    case LADSPA_HINT_DEFAULT_MIDDLE:
        value = hasLower && hasUpper ? between(lower, upper, 0.5, log) : 0.0;
        break;
    case LADSPA_HINT_DEFAULT_HIGH:
        value = hasLower && hasUpper ? between(lower, upper, 0.25, log) : 0.0;
        break;
    case LADSPA_HINT_DEFAULT_MAXIMUM: value = hasUpper ? upper : 0.0; break;
    case LADSPA_HINT_DEFAULT_1: value = 1.0; break;
    case LADSPA_HINT_DEFAULT_100: value = 100.0; break;
    case LADSPA_HINT_DEFAULT_440: value = 440.0; break;
    default: value = 0.0; break;  // DEFAULT_NONE, DEFAULT_0 and unknown codes
    }
    if (LADSPA_IS_HINT_INTEGER(flags)) {
        value = std::round(value);
    }
    value = std::clamp(value, lower, upper);
    return DspParameterInfo{float(lower), float(upper), float(value)};
}

std::vector<DspParameterInfo> LadspaPlugin::parametersAt(int sampleRate) const {
    std::vector<DspParameterInfo> infos;
    infos.reserve(ports_.controlInputs.size());
    for (const unsigned long port : ports_.controlInputs) {
        const LADSPA_PortRangeHint hint = descriptor_.PortRangeHints != nullptr
                                              ? descriptor_.PortRangeHints[port]
                                              : LADSPA_PortRangeHint{0, 0.0f, 0.0f};
        infos.push_back(parameterInfo(hint, float(sampleRate)));
    }
    return infos;
}

std::unique_ptr<DspProcessor> LadspaPlugin::createProcessor(int sampleRate, int numChannels,
                                                            std::size_t maxBlockFrames) const {
    std::vector<float> defaults;
    for (const DspParameterInfo& info : parametersAt(sampleRate)) {
        defaults.push_back(info.defaultValue);
    }
    return std::make_unique<LadspaProcessor>(library_, descriptor_, ports_, std::move(defaults),
                                             sampleRate, numChannels, maxBlockFrames);
}

}  // namespace audio
