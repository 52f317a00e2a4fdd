// Plug-ins and the effects made from them: loading, creating, parameters, attaching and releasing.
#include "audio/Dsp.h"
#include "audio/SystemImpl.h"

#include <algorithm>
#include <bit>
#include <optional>

namespace audio {

// --- System ---------------------------------------------------------------

bool System::loadPlugin(const std::string& path) { return impl_->loadPlugin(path); }

int System::numDspPlugins() const { return impl_->plugins ? impl_->plugins->numPlugins() : 0; }

std::string System::dspPluginName(int index) const {
    if (index < 0 || index >= numDspPlugins()) return {};
    return impl_->plugins->plugin(index).name();
}

std::vector<DspParameterInfo> System::dspPluginParameters(int index) const {
    if (index < 0 || index >= numDspPlugins()) return {};
    return impl_->plugins->plugin(index).parameters();
}

std::unique_ptr<Dsp> System::createDspByPlugin(int index) { return impl_->createDsp(index); }

bool System::dspRunsWith(int index, const std::vector<float>& values) { return impl_->dspRunsWith(index, values); }

// --- Dsp ------------------------------------------------------------------

Dsp::~Dsp() { system_.impl().releaseDsp(id_); }

int Dsp::numParameters() const {
    const System::Impl::DspSlot* slot = system_.impl().liveDsp(id_);
    return slot != nullptr ? static_cast<int>(slot->plugin->parameters().size()) : 0;
}

DspParameterInfo Dsp::parameterInfo(int index) const {
    if (index < 0 || index >= numParameters()) return {};
    return system_.impl().liveDsp(id_)->plugin->parameters()[static_cast<std::size_t>(index)];
}

void Dsp::setParameter(int index, float value) {
    if (index < 0 || index >= numParameters()) return;
    system_.impl().liveDsp(id_)->processor->setParameter(index, value);
}

float Dsp::parameter(int index) const {
    if (index < 0 || index >= numParameters()) return 0.0f;
    return system_.impl().liveDsp(id_)->processor->parameter(index);
}

void Dsp::remove() { system_.impl().detachDsp(id_); }

// --- Impl: plug-ins -------------------------------------------------------

bool System::Impl::loadPlugin(const std::string& path) {
    if (!open) return false;
    if (!quarantine) return plugins->load(path, sampleRate);
    std::optional<std::vector<PluginDescription>> described = quarantine->examineLibrary(path);
    if (!described || described->empty()) return false;
    if (config.pluginGate == PluginGate::DescribedOnly) return plugins->addDescribed(path, std::move(*described), sampleRate);
    return plugins->load(path, sampleRate);
}

bool System::Impl::dspRunsWith(int pluginIndex, const std::vector<float>& values) {
    if (!open || pluginIndex < 0 || pluginIndex >= plugins->numPlugins()) return false;
    if (!quarantine) return true;
    std::vector<std::uint32_t> bits;
    for (const float value : values) bits.push_back(std::bit_cast<std::uint32_t>(value));
    const auto key = std::make_pair(pluginIndex, std::move(bits));
    if (const auto known = dspTrials.find(key); known != dspTrials.end()) return known->second;
    const bool runs = quarantine->runsWith(plugins->libraryPath(pluginIndex), plugins->descriptorIndex(pluginIndex),
                                           sampleRate, numChannels, values);
    dspTrials.emplace(key, runs);
    return runs;
}

std::unique_ptr<Dsp> System::Impl::createDsp(int pluginIndex) {
    if (!open || pluginIndex < 0 || pluginIndex >= plugins->numPlugins()) return nullptr;
    const DspPlugin& plugin = plugins->plugin(pluginIndex);
    std::unique_ptr<DspProcessor> processor = plugin.createProcessor(sampleRate, numChannels, kMaxBlockFrames);
    if (!processor) return nullptr;
    auto free = std::find_if(dsps.begin(), dsps.end(), [](const DspSlot& slot) { return !slot.alive; });
    if (free == dsps.end()) free = dsps.insert(dsps.end(), DspSlot{});
    free->alive = true;
    free->plugin = &plugin;
    free->processor = std::move(processor);
    free->group = kNoIndex;
    return std::make_unique<Dsp>(owner, static_cast<std::uint32_t>(free - dsps.begin()));
}

System::Impl::DspSlot* System::Impl::liveDsp(std::uint32_t dsp) {
    if (!open || dsp >= dsps.size() || !dsps[dsp].alive || !dsps[dsp].processor) return nullptr;
    return &dsps[dsp];
}

void System::Impl::attachDsp(std::uint32_t group, std::uint32_t dsp) {
    DspSlot* slot = liveDsp(dsp);
    if (slot == nullptr || !groupValid(group)) return;
    const bool moving = slot->group != kNoIndex;
    detachDsp(dsp);
    if (groups[group].dsps.size() >= static_cast<std::size_t>(kMaxDspsPerGroup)) return;
    // Activation may allocate, so it happens here and never on the mixer.
    // Moved straight on, the processor keeps running with its state; after
    // a removal the mixer may still be running it, so it is not touched and
    // a fresh one takes its place, not playing out what the old one held.
    if (!slot->sentToMixer) {
        slot->processor->activate();
    } else if (!moving && !renewProcessor(*slot)) {
        return;
    }
    slot->sentToMixer = true;
    groups[group].dsps.push_back(dsp);
    slot->group = group;
    auto command = MixCommand::to(MixCommand::Kind::AddDsp, group);
    command.dsp = slot->processor.get();
    post(command);
}

bool System::Impl::renewProcessor(DspSlot& slot) {
    std::unique_ptr<DspProcessor> fresh = slot.plugin->createProcessor(sampleRate, numChannels, kMaxBlockFrames);
    if (!fresh) return false;
    const int numParameters = static_cast<int>(slot.plugin->parameters().size());
    for (int index = 0; index < numParameters; ++index) fresh->setParameter(index, slot.processor->parameter(index));
    fresh->activate();
    graveyard.bury(mixer->commandsPosted(), std::move(slot.processor));
    slot.processor = std::move(fresh);
    return true;
}

void System::Impl::resetRequestedDsps() {
    for (DspSlot& slot : dsps) {
        if (slot.alive && slot.processor) slot.processor->resetIfRequested();
    }
}

void System::Impl::detachDsp(std::uint32_t dsp) {
    DspSlot* slot = liveDsp(dsp);
    if (slot == nullptr || slot->group == kNoIndex) return;
    std::erase(groups[slot->group].dsps, dsp);
    auto command = MixCommand::to(MixCommand::Kind::RemoveDsp, slot->group);
    command.dsp = slot->processor.get();
    post(command);
    slot->group = kNoIndex;
}

void System::Impl::releaseDsp(std::uint32_t dsp) {
    if (dsp >= dsps.size()) return;
    detachDsp(dsp);
    if (open && dsps[dsp].processor) graveyard.bury(mixer->commandsPosted(), std::move(dsps[dsp].processor));
    dsps[dsp] = DspSlot{};
}

}  // namespace audio
