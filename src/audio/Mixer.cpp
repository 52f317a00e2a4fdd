// Mixing: command intake, the recursive mix of the group tree, and the per-voice fetch/place steps.
#include "audio/Mixer.h"

#include "audio/MixKernels.h"
#include "audio/PluginHost.h"
#include "audio/Sound.h"

#include <algorithm>
#include <cstring>

namespace audio {
namespace {

/// Enough for every command a busy main-loop pass can send between two blocks.
constexpr std::size_t kCommandCapacity = 32768;

}  // namespace

Mixer::Mixer(int numVoices, int numChannels)
    : numChannels_(std::clamp(numChannels, 1, kMaxOutputChannels)),
      commands_(kCommandCapacity),
      voices_(std::make_unique<Voice[]>(static_cast<std::size_t>(std::max(numVoices, 1)))),
      numVoices_(static_cast<std::size_t>(std::max(numVoices, 1))),
      buses_(kMaxGroups),
      busStorage_(static_cast<std::size_t>(kMaxGroupDepth * numChannels_) * kMaxBlockFrames, 0.0f),
      busBuffers_(kMaxGroupDepth),
      voiceScratch_(kMaxBlockFrames, 0.0f),
      interleaved_(static_cast<std::size_t>(numChannels_) * kMaxBlockFrames, 0.0f) {
    for (std::size_t level = 0; level < busBuffers_.size(); ++level) {
        for (std::size_t c = 0; c < static_cast<std::size_t>(numChannels_); ++c) {
            const std::size_t plane = level * static_cast<std::size_t>(numChannels_) + c;
            busBuffers_[level].planes[c] = busStorage_.data() + plane * kMaxBlockFrames;
        }
    }
    buses_[kMasterGroup].alive = true;
}

// --- commands -------------------------------------------------------------

void Mixer::applyCommands() noexcept {
    MixCommand command;
    while (commands_.tryPop(command)) apply(command);
}

Mixer::Voice* Mixer::voiceFor(const MixCommand& command) noexcept {
    if (command.index >= numVoices_) return nullptr;
    Voice& voice = voices_[command.index];
    return voice.generation == command.generation ? &voice : nullptr;
}

void Mixer::apply(const MixCommand& command) noexcept {
    using Kind = MixCommand::Kind;
    const bool groupValid = command.index < kMaxGroups;
    switch (command.kind) {
    case Kind::StartVoice:
        if (command.index < numVoices_ && command.group < kMaxGroups) {
            Voice& voice = voices_[command.index];
            voice.reader = command.reader;
            voice.generation = command.generation;
            voice.group = command.group;
            voice.active = command.reader != nullptr;
            voice.paused = command.paused;
            voice.fresh = true;
            voice.target = command.gains;
            voice.current = command.gains;
        }
        break;
    case Kind::StopVoice:
        if (Voice* voice = voiceFor(command)) {
            voice->active = false;
            voice->reader = nullptr;
        }
        break;
    case Kind::PauseVoice:
        if (Voice* voice = voiceFor(command)) voice->paused = command.paused;
        break;
    case Kind::SetVoiceGains:
        if (Voice* voice = voiceFor(command)) {
            voice->target = command.gains;
            if (voice->fresh) voice->current = command.gains;
        }
        break;
    case Kind::SetVoiceGroup:
        if (Voice* voice = voiceFor(command); voice && command.group < kMaxGroups) {
            voice->group = command.group;
        }
        break;
    case Kind::CreateGroup:
        if (groupValid) {
            Bus& bus = buses_[command.index];
            bus = Bus{};
            bus.alive = true;
            busHighWater_ = std::max(busHighWater_, command.index + 1);
            linkGroup(command.index, kMasterGroup);
        }
        break;
    case Kind::ReleaseGroup:
        if (groupValid && command.index != kMasterGroup) {
            unlinkGroup(command.index);
            Bus& bus = buses_[command.index];
            for (std::uint32_t child = bus.firstChild; child != kNoIndex;) {
                const std::uint32_t next = buses_[child].nextSibling;
                buses_[child].parent = kNoIndex;
                buses_[child].nextSibling = kNoIndex;
                child = next;
            }
            bus = Bus{};
        }
        break;
    case Kind::SetGroupParent:
        if (groupValid && command.index != kMasterGroup) {
            unlinkGroup(command.index);
            if (command.group < kMaxGroups) linkGroup(command.index, command.group);
        }
        break;
    case Kind::SetGroupVolume:
        if (groupValid) {
            Bus& bus = buses_[command.index];
            bus.volume = command.volume;
            // Ramping a bus that was silent would let a fade-in start with a blip.
            if (!bus.mixedLastBlock) bus.currentVolume = command.volume;
        }
        break;
    case Kind::AddDsp:
        if (groupValid && buses_[command.index].numDsps < kMaxDspsPerGroup) {
            Bus& bus = buses_[command.index];
            bus.dsps[static_cast<std::size_t>(bus.numDsps++)] = command.dsp;
        }
        break;
    case Kind::RemoveDsp:
        if (groupValid) {
            Bus& bus = buses_[command.index];
            auto* end = bus.dsps.begin() + bus.numDsps;
            auto* found = std::find(bus.dsps.begin(), end, command.dsp);
            if (found != end) {
                std::copy(found + 1, end, found);
                bus.dsps[static_cast<std::size_t>(--bus.numDsps)] = nullptr;
            }
        }
        break;
    }
}

void Mixer::linkGroup(std::uint32_t group, std::uint32_t parent) noexcept {
    // Appended, so sub-groups are summed in the order they were attached.
    buses_[group].parent = parent;
    buses_[group].nextSibling = kNoIndex;
    std::uint32_t* link = &buses_[parent].firstChild;
    while (*link != kNoIndex) link = &buses_[*link].nextSibling;
    *link = group;
}

void Mixer::unlinkGroup(std::uint32_t group) noexcept {
    const std::uint32_t parent = buses_[group].parent;
    if (parent == kNoIndex) return;
    std::uint32_t* link = &buses_[parent].firstChild;
    while (*link != kNoIndex && *link != group) link = &buses_[*link].nextSibling;
    if (*link == group) *link = buses_[group].nextSibling;
    buses_[group].parent = kNoIndex;
    buses_[group].nextSibling = kNoIndex;
}

// --- mixing ---------------------------------------------------------------

void Mixer::render(float* out, std::size_t numFrames) noexcept {
    const auto stride = static_cast<std::size_t>(numChannels_);
    while (numFrames > 0) {
        const std::size_t block = std::min(numFrames, kMaxBlockFrames);
        applyCommands();
        renderBlock(out, block);
        out += block * stride;
        numFrames -= block;
    }
}

void Mixer::renderBlock(float* out, std::size_t numFrames) noexcept {
    collectVoices();
    const BusBuffer& top = busBuffers_[0];
    if (mixGroup(kMasterGroup, 0, numFrames)) {
        kernels::interleave(out, top.planes.data(), numChannels_, numFrames);
    } else {
        std::memset(out, 0, numFrames * static_cast<std::size_t>(numChannels_) * sizeof(float));
    }
    // Detached sub-trees are not heard, but their voices still advance so
    // they end on time.
    for (std::uint32_t group = 1; group < busHighWater_; ++group) {
        if (buses_[group].alive && buses_[group].parent == kNoIndex) mixGroup(group, 0, numFrames);
    }
}

void Mixer::collectVoices() noexcept {
    for (std::uint32_t group = 0; group < busHighWater_; ++group) buses_[group].firstVoice = kNoIndex;
    // Walk backwards so each group's list comes out in voice order.
    for (std::size_t i = numVoices_; i-- > 0;) {
        Voice& voice = voices_[i];
        if (!voice.active || voice.paused || voice.group >= busHighWater_) continue;
        Bus& bus = buses_[voice.group];
        voice.nextInGroup = bus.firstVoice;
        bus.firstVoice = static_cast<std::uint32_t>(i);
    }
}

bool Mixer::mixGroup(std::uint32_t group, int depth, std::size_t numFrames) noexcept {
    Bus& bus = buses_[group];
    bus.mixedLastBlock = bus.firstVoice != kNoIndex || bus.firstChild != kNoIndex || bus.numDsps != 0;
    if (!bus.mixedLastBlock) return false;
    const BusBuffer& buffer = busBuffers_[static_cast<std::size_t>(depth)];
    clear(buffer, numFrames);
    for (std::uint32_t voice = bus.firstVoice; voice != kNoIndex;) {
        const std::uint32_t next = voices_[voice].nextInGroup;  // mixing may end the voice
        mixVoice(voice, buffer, numFrames);
        voice = next;
    }
    if (depth + 1 < kMaxGroupDepth) {
        const BusBuffer& below = busBuffers_[static_cast<std::size_t>(depth + 1)];
        for (std::uint32_t child = bus.firstChild; child != kNoIndex; child = buses_[child].nextSibling) {
            if (mixGroup(child, depth + 1, numFrames)) sum(buffer, below, numFrames);
        }
    }
    applyVolume(bus, buffer, numFrames);
    runDsps(bus, buffer, numFrames);
    return true;
}

void Mixer::mixVoice(std::uint32_t index, const BusBuffer& bus, std::size_t numFrames) noexcept {
    Voice& voice = voices_[index];
    fetch(index, numFrames);
    place(voice, bus, numFrames);
}

void Mixer::fetch(std::uint32_t index, std::size_t numFrames) noexcept {
    Voice& voice = voices_[index];
    float* scratch = voiceScratch_.data();
    const std::size_t got = std::min(voice.reader->read(scratch, numFrames), numFrames);
    // Short of the end, a reader that falls behind costs silence, not the voice.
    std::fill(scratch + got, scratch + numFrames, 0.0f);
    if (voice.reader->ended()) {
        voice.active = false;
        voice.reader = nullptr;
        voice.endedGeneration.store(voice.generation, std::memory_order_release);
    }
}

void Mixer::place(Voice& voice, const BusBuffer& bus, std::size_t numFrames) noexcept {
    const float* scratch = voiceScratch_.data();
    for (std::size_t c = 0; c < static_cast<std::size_t>(numChannels_); ++c) {
        const float from = voice.current[c];
        const float to = voice.target[c];
        if (from == to) {
            if (to != 0.0f) kernels::addScaled(bus.planes[c], scratch, to, numFrames);
        } else {
            kernels::addRamped(bus.planes[c], scratch, from, to, numFrames);
        }
    }
    voice.current = voice.target;
    voice.fresh = false;
}

void Mixer::applyVolume(Bus& bus, const BusBuffer& buffer, std::size_t numFrames) noexcept {
    const float from = bus.currentVolume;
    const float to = bus.volume;
    for (std::size_t c = 0; c < static_cast<std::size_t>(numChannels_); ++c) {
        if (from != to) {
            kernels::scaleRamped(buffer.planes[c], from, to, numFrames);
        } else if (to != 1.0f) {
            kernels::scale(buffer.planes[c], to, numFrames);
        }
    }
    bus.currentVolume = to;
}

void Mixer::runDsps(const Bus& bus, const BusBuffer& buffer, std::size_t numFrames) noexcept {
    if (bus.numDsps == 0) return;
    float* interleaved = interleaved_.data();
    kernels::interleave(interleaved, buffer.planes.data(), numChannels_, numFrames);
    for (int i = 0; i < bus.numDsps; ++i) bus.dsps[static_cast<std::size_t>(i)]->process(interleaved, numFrames);
    kernels::deinterleave(buffer.planes.data(), interleaved, numChannels_, numFrames);
}

void Mixer::clear(const BusBuffer& buffer, std::size_t numFrames) noexcept {
    for (int c = 0; c < numChannels_; ++c) {
        std::memset(buffer.planes[static_cast<std::size_t>(c)], 0, numFrames * sizeof(float));
    }
}

void Mixer::sum(const BusBuffer& into, const BusBuffer& from, std::size_t numFrames) noexcept {
    for (std::size_t c = 0; c < static_cast<std::size_t>(numChannels_); ++c) {
        kernels::add(into.planes[c], from.planes[c], numFrames);
    }
}

}  // namespace audio
