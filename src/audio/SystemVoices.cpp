// Channels: starting plays, choosing and taking over voices, and what handles read and change.
#include "audio/Channel.h"
#include "audio/ChannelGroup.h"
#include "audio/SystemImpl.h"
#include "audio/TrackedSound.h"

#include <algorithm>

namespace audio {

// --- Channel --------------------------------------------------------------

bool Channel::isPlaying() const {
    if (system_ == nullptr) return false;
    if (isVirtual()) return system_->framesMixed() < virtualEnd_;
    return system_->impl().isPlaying(voice_, generation_);
}

void Channel::setChannelGroup(ChannelGroup& group) {
    if (system_ != nullptr) system_->impl().setVoiceGroup(voice_, generation_, group.id());
}

void Channel::set3DAttributes(Vector3 position, Vector3) {
    // Velocity is accepted but not used: the engine applies no Doppler shift.
    if (system_ != nullptr) system_->impl().setVoicePosition(voice_, generation_, position);
}

void Channel::setPaused(bool paused) {
    if (system_ != nullptr) system_->impl().setVoicePaused(voice_, generation_, paused, kAtOnce);
}

void Channel::startAt(std::int64_t frame) {
    if (system_ != nullptr) system_->impl().setVoicePaused(voice_, generation_, false, frame);
}

void Channel::stop(std::int64_t atFrame) {
    if (isVirtual()) virtualEnd_ = 0;
    if (system_ != nullptr) system_->impl().stopChannel(voice_, generation_, atFrame);
}

// --- TrackedSound ---------------------------------------------------------

TrackedSound::TrackedSound(System& system, std::unique_ptr<Sound> inner)
    : system_(&system),
      inner_(std::move(inner)),
      lengthMs_(inner_->lengthMs()),
      lengthFrames_(inner_->lengthFrames()),
      channels_(inner_->channels()),
      mode_(inner_->mode()) {}

TrackedSound::~TrackedSound() {
    if (system_ != nullptr) system_->impl().forgetSound(*this, std::move(inner_));
}

std::unique_ptr<SoundReader> TrackedSound::openReader() { return inner_ ? inner_->openReader() : nullptr; }

std::unique_ptr<Sound> TrackedSound::detach() {
    system_ = nullptr;
    return std::move(inner_);
}

// --- Impl: voices ---------------------------------------------------------

Channel System::Impl::play(Sound& sound, bool paused) {
    if (!open) return {};
    const std::uint32_t index = pickVoice();
    if (!startVoice(index, sound, kMasterGroup, Vector3{}, 0.0f)) return {};
    if (!paused) setVoicePaused(index, voices[index].generation, false, kAtOnce);
    return Channel(&owner, index, voices[index].generation);
}

Channel System::Impl::playAt(Sound& sound, const System::PlayRequest& request) {
    if (!open) return {};
    const std::uint32_t group = request.group != nullptr && groupValid(request.group->id()) ? request.group->id() : kMasterGroup;
    const std::uint32_t index = pickVoice(effectiveGain(group, request.position));
    if (index == kNoIndex) {
        return Channel::virtualUntil(&owner, std::max(request.startFrame, framesMixed()) + sound.lengthFrames());
    }
    if (!startVoice(index, sound, group, request.position, request.spreadDeg)) return {};
    setVoicePaused(index, voices[index].generation, false, request.startFrame);
    return Channel(&owner, index, voices[index].generation);
}

bool System::Impl::startVoice(std::uint32_t index, Sound& sound, std::uint32_t group, Vector3 position, float spreadDeg) {
    // Opening a reader may take a while (it primes the decoder); it happens
    // here, on the main thread, before the mixer hears of the play.
    std::unique_ptr<SoundReader> reader = sound.openReader();
    if (!reader) return false;
    VoiceSlot& slot = claimVoice(index, sound, std::move(reader));
    slot.group = group;
    slot.position = position;
    slot.spreadDeg = spreadDeg;
    slot.gain = effectiveGain(group, position);
    // Set up paused, then resumed on its frame: the mixer never sees it half made.
    auto command = MixCommand::to(MixCommand::Kind::StartVoice, index, slot.generation);
    command.reader = slot.reader.get();
    command.group = group;
    command.paused = true;
    command.gains = voiceGains(slot, 0);
    post(command);
    postChannelGains(index, slot);
    return true;
}

SpeakerGains System::Impl::voiceGains(const VoiceSlot& slot, int channel) const {
    // Without a spread a voice is placed exactly as it always was.
    if (!(slot.spreadDeg > 0.0f)) return spatializer->gains(slot.position);
    return spatializer->spreadGains(slot.position, slot.spreadDeg, channel, slot.reader ? slot.reader->channels() : 1);
}

void System::Impl::postChannelGains(std::uint32_t index, const VoiceSlot& slot) {
    // Channel 0 travels with the command that starts or moves the voice.
    const int channels = slot.reader ? slot.reader->channels() : 1;
    for (int channel = 1; channel < channels; ++channel) {
        auto command = MixCommand::to(MixCommand::Kind::SetVoiceGains, index, slot.generation);
        command.sourceChannel = static_cast<std::uint8_t>(channel);
        command.gains = voiceGains(slot, channel);
        post(command);
    }
}

System::Impl::VoiceSlot& System::Impl::claimVoice(std::uint32_t index, Sound& sound, std::unique_ptr<SoundReader> reader) {
    VoiceSlot& slot = voices[index];
    if (slot.busy) stopVoice(index);  // taken over: its handle reads as not playing from now on
    if (++slot.generation == 0) slot.generation = 1;  // 0 means "never ended"
    slot.busy = true;
    slot.paused = true;
    slot.startFrame = framesMixed();
    slot.heldUntil = 0;
    slot.group = kMasterGroup;
    slot.position = Vector3{};
    slot.spreadDeg = 0.0f;
    slot.startOrder = ++playsStarted;
    slot.sound = &sound;
    slot.reader = std::move(reader);
    return slot;
}

std::uint32_t System::Impl::pickVoice(std::optional<float> newGain) {
    const std::int64_t mixed = framesMixed();
    for (std::uint32_t i = 0; i < voices.size(); ++i) {
        // A play stopped at a frame still to come holds its voice until then.
        if ((!voices[i].busy && voices[i].heldUntil <= mixed) || (voices[i].busy && hasEnded(i))) return i;
    }
    // Levels are as of each play's last move, so choosing costs no more than
    // a comparison per voice.
    std::uint32_t best = kNoIndex;
    for (std::uint32_t i = 0; i < voices.size(); ++i) {
        if (!voices[i].busy) continue;
        if (best == kNoIndex || voices[i].gain < voices[best].gain ||
            (voices[i].gain == voices[best].gain && voices[i].startOrder < voices[best].startOrder)) {
            best = i;
        }
    }
    if (best != kNoIndex) return newGain && !(*newGain > voices[best].gain) ? kNoIndex : best;
    if (newGain) return kNoIndex;
    // Every voice is ringing out to a later stop: cut the one that ends first.
    best = 0;
    for (std::uint32_t i = 1; i < voices.size(); ++i) {
        if (voices[i].heldUntil < voices[best].heldUntil) best = i;
    }
    return best;
}

float System::Impl::effectiveGain(std::uint32_t group, Vector3 position) {
    float gain = Spatializer::distanceGain(position);
    while (group != kMasterGroup) {
        if (group >= groups.size()) return 0.0f;  // detached: not heard
        gain *= groupVolumeNow(group);
        group = groups[group].parent;
    }
    return gain * groupVolumeNow(kMasterGroup);
}

bool System::Impl::hasEnded(std::uint32_t voice) const {
    return mixer->endedGeneration(voice) == voices[voice].generation;
}

bool System::Impl::isPlaying(std::uint32_t voice, std::uint32_t generation) const {
    if (!open || voice >= voices.size()) return false;
    const VoiceSlot& slot = voices[voice];
    return slot.busy && slot.generation == generation && !hasEnded(voice);
}

System::Impl::VoiceSlot* System::Impl::liveVoice(std::uint32_t voice, std::uint32_t generation) {
    return isPlaying(voice, generation) ? &voices[voice] : nullptr;
}

std::int64_t System::Impl::framesMixed() const { return mixer ? mixer->framesMixed() : 0; }

int System::Impl::countPlaying() const {
    if (!open) return 0;
    const std::int64_t mixed = framesMixed();
    int count = 0;
    for (std::uint32_t i = 0; i < voices.size(); ++i) {
        // A play scheduled for a frame still to come is not sounding yet.
        if (voices[i].busy && !voices[i].paused && voices[i].startFrame <= mixed && !hasEnded(i)) ++count;
    }
    return count;
}

void System::Impl::stopVoice(std::uint32_t voice, std::int64_t atFrame) {
    VoiceSlot& slot = voices[voice];
    auto command = MixCommand::to(MixCommand::Kind::StopVoice, voice, slot.generation);
    command.atFrame = atFrame;
    post(command);
    // Until that frame has been mixed the mixer still reads from the reader.
    graveyard.bury(mixer->commandsPosted(), atFrame, std::move(slot.reader));
    slot.busy = false;
    slot.sound = nullptr;
    slot.heldUntil = atFrame;
}

void System::Impl::reclaimEnded() {
    // The mixer dropped these readers itself when they ran dry.
    for (std::uint32_t i = 0; i < voices.size(); ++i) {
        VoiceSlot& slot = voices[i];
        if (!slot.busy || !hasEnded(i)) continue;
        graveyard.bury(mixer->commandsPosted(), kAtOnce, std::move(slot.reader));
        slot.busy = false;
        slot.sound = nullptr;
        slot.heldUntil = 0;
    }
}

void System::Impl::setVoiceGroup(std::uint32_t voice, std::uint32_t generation, std::uint32_t group) {
    VoiceSlot* slot = liveVoice(voice, generation);
    if (slot == nullptr || !groupValid(group)) return;
    slot->group = group;
    slot->gain = effectiveGain(group, slot->position);
    auto command = MixCommand::to(MixCommand::Kind::SetVoiceGroup, voice, generation);
    command.group = group;
    post(command);
}

void System::Impl::setVoicePosition(std::uint32_t voice, std::uint32_t generation, Vector3 position) {
    VoiceSlot* slot = liveVoice(voice, generation);
    if (slot == nullptr) return;
    slot->position = position;
    slot->gain = effectiveGain(slot->group, position);
    auto command = MixCommand::to(MixCommand::Kind::SetVoiceGains, voice, generation);
    command.gains = voiceGains(*slot, 0);
    post(command);
    postChannelGains(voice, *slot);
}

void System::Impl::setVoicePaused(std::uint32_t voice, std::uint32_t generation, bool paused, std::int64_t atFrame) {
    VoiceSlot* slot = liveVoice(voice, generation);
    if (slot == nullptr) return;
    if (!paused && slot->paused) slot->startFrame = std::max(atFrame, framesMixed());
    slot->paused = paused;
    auto command = MixCommand::to(MixCommand::Kind::PauseVoice, voice, generation);
    command.paused = paused;
    command.atFrame = atFrame;
    post(command);
}

void System::Impl::stopChannel(std::uint32_t voice, std::uint32_t generation, std::int64_t atFrame) {
    if (liveVoice(voice, generation) != nullptr) stopVoice(voice, atFrame);
}

void System::Impl::forgetSound(const Sound& sound, std::unique_ptr<Sound> inner) {
    std::erase_if(sounds, [&sound](const TrackedSound* s) { return s == &sound; });
    for (std::uint32_t i = 0; i < voices.size(); ++i) {
        if (voices[i].busy && voices[i].sound == &sound) stopVoice(i);
    }
    // Buried after the readers, so it outlives them.
    if (open) {
        graveyard.bury(mixer->commandsPosted(), kAtOnce, std::move(inner));
    }
}

}  // namespace audio
