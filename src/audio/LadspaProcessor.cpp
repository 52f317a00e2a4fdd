// Instantiating, activating and running a LADSPA plug-in over a bus.
#include "audio/LadspaProcessor.h"

#include <algorithm>
#include <utility>

namespace audio {

LadspaProcessor::LadspaProcessor(std::shared_ptr<const LadspaLibrary> library,
                                 const LADSPA_Descriptor& descriptor, const LadspaPorts& ports,
                                 std::vector<float> defaults, int sampleRate, int numChannels,
                                 std::size_t maxBlockFrames)
    : library_(std::move(library)),
      descriptor_(descriptor),
      numChannels_(numChannels > 0 ? std::size_t(numChannels) : 0),
      maxBlockFrames_(maxBlockFrames),
      requested_(defaults.size()),
      controls_(std::move(defaults)),
      controlOutputs_(ports.controlOutputs.size(), 0.0f) {
    for (std::size_t i = 0; i < controls_.size(); ++i) {
        requested_[i].store(controls_[i], std::memory_order_relaxed);
    }
    if (ports.shape == LadspaShape::Unusable || sampleRate <= 0 || maxBlockFrames == 0) {
        return;
    }
    channelsPerInstance_ = ports.shape == LadspaShape::Mono ? 1 : 2;
    if (numChannels_ < channelsPerInstance_) {
        return;
    }

    const bool inPlace = !LADSPA_IS_INPLACE_BROKEN(descriptor_.Properties);
    const std::size_t numBuffers = channelsPerInstance_ * (inPlace ? 1 : 2);
    scratch_.assign(numBuffers * maxBlockFrames_, 0.0f);
    for (std::size_t c = 0; c < channelsPerInstance_; ++c) {
        inputs_.push_back(scratch_.data() + c * maxBlockFrames_);
        outputs_.push_back(inPlace ? inputs_.back()
                                   : scratch_.data() + (channelsPerInstance_ + c) * maxBlockFrames_);
    }
    instantiate(ports, static_cast<unsigned long>(sampleRate));
}

void LadspaProcessor::instantiate(const LadspaPorts& ports, unsigned long sampleRate) {
    const std::size_t numInstances = numChannels_ / channelsPerInstance_;
    instances_.reserve(numInstances);
    for (std::size_t i = 0; i < numInstances; ++i) {
        LADSPA_Handle instance = descriptor_.instantiate(&descriptor_, sampleRate);
        if (instance == nullptr) {
            break;
        }
        instances_.push_back(instance);
        connect(instance, ports);
    }
    if (instances_.size() != numInstances) {
        // Half a bus processed would be worse than none: give up on all of it.
        for (LADSPA_Handle instance : instances_) {
            if (descriptor_.cleanup != nullptr) {
                descriptor_.cleanup(instance);
            }
        }
        instances_.clear();
    }
}

void LadspaProcessor::connect(LADSPA_Handle instance, const LadspaPorts& ports) {
    // All instances share the control values and the scratch: they run one
    // after another on the audio thread.
    for (std::size_t i = 0; i < ports.controlInputs.size(); ++i) {
        descriptor_.connect_port(instance, ports.controlInputs[i], &controls_[i]);
    }
    for (std::size_t i = 0; i < ports.controlOutputs.size(); ++i) {
        descriptor_.connect_port(instance, ports.controlOutputs[i], &controlOutputs_[i]);
    }
    for (std::size_t c = 0; c < channelsPerInstance_; ++c) {
        descriptor_.connect_port(instance, ports.audioInputs[c], inputs_[c]);
        descriptor_.connect_port(instance, ports.audioOutputs[c], outputs_[c]);
    }
}

LadspaProcessor::~LadspaProcessor() {
    for (LADSPA_Handle instance : instances_) {
        if (activated_ && descriptor_.deactivate != nullptr) {
            descriptor_.deactivate(instance);
        }
        if (descriptor_.cleanup != nullptr) {
            descriptor_.cleanup(instance);
        }
    }
}

void LadspaProcessor::setParameter(int index, float value) {
    if (index >= 0 && std::size_t(index) < requested_.size()) {
        requested_[std::size_t(index)].store(value, std::memory_order_relaxed);
    }
}

float LadspaProcessor::parameter(int index) const {
    if (index < 0 || std::size_t(index) >= requested_.size()) {
        return 0.0f;
    }
    return requested_[std::size_t(index)].load(std::memory_order_relaxed);
}

void LadspaProcessor::process(float* interleaved, std::size_t numFrames) noexcept {
    if (instances_.empty() || interleaved == nullptr || numFrames == 0) {
        return;
    }
    for (std::size_t i = 0; i < controls_.size(); ++i) {
        controls_[i] = requested_[i].load(std::memory_order_relaxed);
    }
    if (!activated_) {
        if (descriptor_.activate != nullptr) {
            for (LADSPA_Handle instance : instances_) {
                descriptor_.activate(instance);
            }
        }
        activated_ = true;
    }
    while (numFrames > 0) {
        const std::size_t blockFrames = std::min(numFrames, maxBlockFrames_);
        runBlock(interleaved, blockFrames);
        interleaved += blockFrames * numChannels_;
        numFrames -= blockFrames;
    }
}

void LadspaProcessor::runBlock(float* interleaved, std::size_t numFrames) noexcept {
    const std::size_t stride = numChannels_;
    for (std::size_t i = 0; i < instances_.size(); ++i) {
        float* firstChannel = interleaved + i * channelsPerInstance_;
        for (std::size_t c = 0; c < channelsPerInstance_; ++c) {
            float* in = inputs_[c];
            for (std::size_t f = 0; f < numFrames; ++f) {
                in[f] = firstChannel[f * stride + c];
            }
        }
        descriptor_.run(instances_[i], static_cast<unsigned long>(numFrames));
        for (std::size_t c = 0; c < channelsPerInstance_; ++c) {
            const float* out = outputs_[c];
            for (std::size_t f = 0; f < numFrames; ++f) {
                firstChannel[f * stride + c] = out[f];
            }
        }
    }
}

}  // namespace audio
