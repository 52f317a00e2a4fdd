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
    switch (ports.shape) {
    case LadspaShape::Mono: channelsPerInstance_ = 1; break;
    case LadspaShape::Stereo: channelsPerInstance_ = 2; break;
    // A reverb takes a pair where there is one, else serves the mono bus.
    case LadspaShape::MonoToStereo: channelsPerInstance_ = numChannels_ >= 2 ? 2 : 1; break;
    case LadspaShape::Unusable: return;
    }
    if (numChannels_ < channelsPerInstance_) {
        return;
    }

    const std::size_t numInputs = ports.audioInputs.size();
    const std::size_t numOutputs = ports.audioOutputs.size();
    const bool inPlace = !LADSPA_IS_INPLACE_BROKEN(descriptor_.Properties);
    const std::size_t numBuffers = inPlace ? std::max(numInputs, numOutputs) : numInputs + numOutputs;
    scratch_.assign(numBuffers * maxBlockFrames_, 0.0f);
    for (std::size_t i = 0; i < numInputs; ++i) {
        inputs_.push_back(scratch_.data() + i * maxBlockFrames_);
    }
    for (std::size_t o = 0; o < numOutputs; ++o) {
        outputs_.push_back(scratch_.data() + (inPlace ? o : numInputs + o) * maxBlockFrames_);
    }
    ports_ = ports;
    sampleRate_ = static_cast<unsigned long>(sampleRate);
    instantiate(ports_, sampleRate_);
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
    for (std::size_t i = 0; i < inputs_.size(); ++i) {
        descriptor_.connect_port(instance, ports.audioInputs[i], inputs_[i]);
    }
    for (std::size_t o = 0; o < outputs_.size(); ++o) {
        descriptor_.connect_port(instance, ports.audioOutputs[o], outputs_[o]);
    }
}

LadspaProcessor::~LadspaProcessor() { releaseInstances(); }

void LadspaProcessor::releaseInstances() {
    for (LADSPA_Handle instance : instances_) {
        // Some plug-ins (swh's IIR filters among them) build state in activate
        // and free it in cleanup without checking, so an instance that never
        // ran is activated once before it goes.
        if (!activated_ && descriptor_.activate != nullptr) {
            descriptor_.activate(instance);
        }
        if (descriptor_.deactivate != nullptr) {
            descriptor_.deactivate(instance);
        }
        if (descriptor_.cleanup != nullptr) {
            descriptor_.cleanup(instance);
        }
    }
    instances_.clear();
    activated_ = false;
}

void LadspaProcessor::restart() {
    if (channelsPerInstance_ == 0) return;  // never had instances
    // New instances rather than deactivate and activate again: some plug-ins
    // allocate in activate without freeing what an earlier activate made.
    releaseInstances();
    instantiate(ports_, sampleRate_);
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

void LadspaProcessor::copyControls() noexcept {
    for (std::size_t i = 0; i < controls_.size(); ++i) {
        controls_[i] = requested_[i].load(std::memory_order_relaxed);
    }
}

void LadspaProcessor::activate() {
    if (activated_ || instances_.empty()) return;
    copyControls();
    if (descriptor_.activate != nullptr) {
        for (LADSPA_Handle instance : instances_) {
            descriptor_.activate(instance);
        }
    }
    activated_ = true;
}

void LadspaProcessor::process(float* interleaved, std::size_t numFrames) noexcept {
    // A pending reset comes first: the main thread may be making the
    // instances anew right now.
    if (resetPending() || !activated_ || interleaved == nullptr || numFrames == 0) {
        return;
    }
    copyControls();
    while (numFrames > 0) {
        const std::size_t blockFrames = std::min(numFrames, maxBlockFrames_);
        runBlock(interleaved, blockFrames);
        interleaved += blockFrames * numChannels_;
        numFrames -= blockFrames;
    }
}

void LadspaProcessor::runBlock(float* interleaved, std::size_t numFrames) noexcept {
    for (std::size_t i = 0; i < instances_.size(); ++i) {
        float* firstChannel = interleaved + i * channelsPerInstance_;
        readInputs(firstChannel, numFrames);
        descriptor_.run(instances_[i], static_cast<unsigned long>(numFrames));
        writeOutputs(firstChannel, numFrames);
    }
}

void LadspaProcessor::readInputs(const float* firstChannel, std::size_t numFrames) noexcept {
    const std::size_t stride = numChannels_;
    if (inputs_.size() == channelsPerInstance_) {
        for (std::size_t c = 0; c < channelsPerInstance_; ++c) {
            float* in = inputs_[c];
            for (std::size_t f = 0; f < numFrames; ++f) {
                in[f] = firstChannel[f * stride + c];
            }
        }
        return;
    }
    // One input for a pair: it hears both sides equally.
    float* in = inputs_[0];
    for (std::size_t f = 0; f < numFrames; ++f) {
        in[f] = 0.5f * (firstChannel[f * stride] + firstChannel[f * stride + 1]);
    }
}

void LadspaProcessor::writeOutputs(float* firstChannel, std::size_t numFrames) noexcept {
    const std::size_t stride = numChannels_;
    if (outputs_.size() == channelsPerInstance_) {
        for (std::size_t c = 0; c < channelsPerInstance_; ++c) {
            const float* out = outputs_[c];
            for (std::size_t f = 0; f < numFrames; ++f) {
                firstChannel[f * stride + c] = out[f];
            }
        }
        return;
    }
    // Two outputs on a mono bus: fold them back into the one channel.
    const float* left = outputs_[0];
    const float* right = outputs_[1];
    for (std::size_t f = 0; f < numFrames; ++f) {
        firstChannel[f * stride] = 0.5f * (left[f] + right[f]);
    }
}

}  // namespace audio
