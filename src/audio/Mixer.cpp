// Mixing: command intake, the recursive mix of the group tree, and the per-voice fetch/place steps.
#include "audio/Mixer.h"

#include "audio/FlushDenormals.h"
#include "audio/MixKernels.h"
#include "audio/PluginHost.h"
#include "audio/Sound.h"

#include <algorithm>
#include <chrono>
#include <cstring>

namespace audio {
namespace {

/// Enough for every command a busy main-loop pass can send between two blocks.
constexpr std::size_t kCommandCapacity = 32768;
/// Planes a little longer than a block, so that the planes of one level do
/// not all sit at the same offset within a 4 KiB page as each other and as
/// the voice's scratch: loads and stores at such offsets stall each other.
constexpr std::size_t kPlaneStride = kMaxBlockFrames + 48;
/// A page of floats: what a scratch buffer may be moved by within itself.
constexpr std::size_t kPageFloats = 1024;

std::int64_t steadyNanos() noexcept {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

}  // namespace

void Mixer::Bus::reset() noexcept {
    alive = false;
    parent = kNoIndex;
    firstChild = kNoIndex;
    lastChild = kNoIndex;
    nextSibling = kNoIndex;
    previousSibling = kNoIndex;
    firstVoice = kNoIndex;
    mixedUntil = -1;
    volume.set(1.0f);
    smoothing = false;
    numDsps = 0;
    dsps.fill(nullptr);
    dspTailSilent = true;
}

Mixer::Mixer(int numVoices, int numChannels)
    : numChannels_(std::clamp(numChannels, 1, kMaxOutputChannels)),
      commands_(kCommandCapacity),
      voices_(std::make_unique<Voice[]>(static_cast<std::size_t>(std::max(numVoices, 1)))),
      numVoices_(static_cast<std::size_t>(std::max(numVoices, 1))),
      chunks_(std::make_unique<std::array<Bus*, kMaxGroupChunks>>()),
      levels_(std::make_unique<std::array<float*, kMaxMixLevels>>()),
      voiceScratch_(kMaxBlockFrames + kPageFloats, 0.0f),
      gainScratch_(kMaxBlockFrames + kPageFloats, 0.0f),
      interleaved_(static_cast<std::size_t>(numChannels_) * kMaxBlockFrames, 0.0f) {
    chunks_->fill(nullptr);
    levels_->fill(nullptr);
    // No mixing thread exists yet: the first chunk (with the master group)
    // and the levels of an ordinary tree are taken directly.
    apply(groupChunkCommand(0));
    for (std::uint32_t level = 0; level < kInitialMixLevels; ++level) apply(mixLevelCommand(level));
    bus(kMasterGroup)->alive = true;
    placeScratch();
    // Only sounds that keep their channels use these.
    moreGains_ = std::make_unique<MoreGains[]>(numVoices_);
    soundFrames_.assign(kMaxBlockFrames * static_cast<std::size_t>(kMaxSoundChannels), 0.0f);
    soundPlanes_.assign(kMaxBlockFrames * static_cast<std::size_t>(kMaxSoundChannels), 0.0f);
}

Mixer::~Mixer() = default;

MixCommand Mixer::groupChunkCommand(std::uint32_t chunk) {
    if (chunk >= chunkStorage_.size()) chunkStorage_.resize(chunk + 1);
    if (!chunkStorage_[chunk]) chunkStorage_[chunk] = std::make_unique<Bus[]>(kGroupChunkSize);
    auto command = MixCommand::to(MixCommand::Kind::AddGroupChunk, chunk);
    command.storage = chunkStorage_[chunk].get();
    return command;
}

MixCommand Mixer::mixLevelCommand(std::uint32_t level) {
    if (level >= levelStorage_.size()) levelStorage_.resize(level + 1);
    if (!levelStorage_[level]) {
        levelStorage_[level] = std::make_unique<float[]>(static_cast<std::size_t>(numChannels_) * kPlaneStride);
    }
    auto command = MixCommand::to(MixCommand::Kind::AddMixLevel, level);
    command.storage = levelStorage_[level].get();
    return command;
}

OutputPosition Mixer::position() const noexcept {
    // A sequence lock: the mixing thread bumps the counter around each update.
    for (;;) {
        const std::uint32_t before = positionSequence_.load(std::memory_order_acquire);
        OutputPosition position{framesMixed_.load(std::memory_order_relaxed),
                                positionNanos_.load(std::memory_order_relaxed)};
        std::atomic_thread_fence(std::memory_order_acquire);
        if ((before & 1u) == 0 && positionSequence_.load(std::memory_order_relaxed) == before) return position;
    }
}

Mixer::Bus* Mixer::bus(std::uint32_t group) noexcept {
    const std::uint32_t chunk = group / kGroupChunkSize;
    if (chunk >= kMaxGroupChunks || (*chunks_)[chunk] == nullptr) return nullptr;
    return &(*chunks_)[chunk][group % kGroupChunkSize];
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
    Bus* target = command.kind == Kind::AddGroupChunk || command.kind == Kind::AddMixLevel ? nullptr : bus(command.index);
    switch (command.kind) {
    case Kind::StartVoice:
        if (command.index < numVoices_ && bus(command.group) != nullptr) {
            Voice& voice = voices_[command.index];
            voice.reader = command.reader;
            voice.generation = command.generation;
            voice.group = command.group;
            voice.active = command.reader != nullptr;
            voice.paused = command.paused;
            voice.fresh = true;
            voice.startFrame = blockStart_;
            voice.stopFrame = kNeverFrame;
            voice.target = command.gains;
            voice.current = command.gains;
            voice.channels = static_cast<std::uint8_t>(command.reader != nullptr ? std::clamp(command.reader->channels(), 1, kMaxSoundChannels) : 1);
            moreGains_[command.index] = MoreGains{};
        }
        break;
    case Kind::StopVoice:
        if (Voice* voice = voiceFor(command)) {
            // A stop at or before the frame it would start makes it never sound.
            if (command.atFrame <= blockStart_ || voice->paused || command.atFrame <= voice->startFrame) {
                voice->active = false;
                voice->reader = nullptr;
            } else {
                voice->stopFrame = std::min(voice->stopFrame, command.atFrame);
            }
        }
        break;
    case Kind::PauseVoice:
        if (Voice* voice = voiceFor(command)) {
            if (!command.paused && voice->paused) voice->startFrame = std::max(command.atFrame, blockStart_);
            voice->paused = command.paused;
        }
        break;
    case Kind::SetVoiceGains:
        if (Voice* voice = voiceFor(command)) {
            if (command.sourceChannel == 0) {
                voice->target = command.gains;
                if (voice->fresh) voice->current = command.gains;
            } else if (command.sourceChannel < kMaxSoundChannels) {
                const std::size_t at = command.sourceChannel - 1u;
                MoreGains& more = moreGains_[command.index];
                more.target[at] = command.gains;
                if (voice->fresh) more.current[at] = command.gains;
            }
        }
        break;
    case Kind::SetVoiceGroup:
        if (Voice* voice = voiceFor(command); voice && bus(command.group) != nullptr) voice->group = command.group;
        break;
    case Kind::CreateGroup:
        if (target != nullptr) {
            changeRinging(*target, [target] { target->reset(); });
            target->alive = true;
            linkGroup(command.index, kMasterGroup);
        }
        break;
    case Kind::ReleaseGroup:
        if (target != nullptr && command.index != kMasterGroup) {
            unlinkGroup(command.index);
            for (std::uint32_t child = target->firstChild; child != kNoIndex;) {
                Bus* below = bus(child);
                const std::uint32_t next = below->nextSibling;
                below->parent = kNoIndex;
                below->nextSibling = kNoIndex;
                below->previousSibling = kNoIndex;
                child = next;
            }
            changeRinging(*target, [target] { target->reset(); });
        }
        break;
    case Kind::SetGroupParent:
        if (target != nullptr && command.index != kMasterGroup) {
            unlinkGroup(command.index);
            if (bus(command.group) != nullptr) linkGroup(command.index, command.group);
        }
        break;
    case Kind::SetGroupVolume:
        if (target != nullptr) {
            // A bus that was sounding glides to the new value over its next
            // block, so a change made between blocks never clicks; a silent
            // one takes it at once, so a fade-in does not start with a blip.
            target->smoothing = target->mixedUntil == blockStart_;
            target->smoothTarget = command.volume;
            target->volume.set(target->smoothing ? target->volume.gain() : command.volume);
        }
        break;
    case Kind::RampGroupVolume:
        if (target != nullptr) target->volume.schedule({command.atFrame, command.endFrame, command.volume});
        break;
    case Kind::CancelGroupVolumes:
        if (target != nullptr) target->volume.cancelFrom(command.atFrame);
        break;
    case Kind::AddDsp:
        if (target != nullptr && target->numDsps < kMaxDspsPerGroup) {
            changeRinging(*target, [target, &command] {
                target->dsps[static_cast<std::size_t>(target->numDsps++)] = command.dsp;
                target->dspTailSilent = false;
            });
        }
        break;
    case Kind::RemoveDsp:
        if (target != nullptr) {
            auto* end = target->dsps.begin() + target->numDsps;
            auto* found = std::find(target->dsps.begin(), end, command.dsp);
            if (found != end) {
                changeRinging(*target, [target, found, end] {
                    std::copy(found + 1, end, found);
                    target->dsps[static_cast<std::size_t>(--target->numDsps)] = nullptr;
                });
            }
        }
        break;
    case Kind::AddGroupChunk:
        if (command.index < kMaxGroupChunks) (*chunks_)[command.index] = static_cast<Bus*>(command.storage);
        break;
    case Kind::AddMixLevel:
        if (command.index < kMaxMixLevels) {
            (*levels_)[command.index] = static_cast<float*>(command.storage);
            // Levels arrive in order; the count only covers an unbroken run.
            while (numLevels_ < kMaxMixLevels && (*levels_)[numLevels_] != nullptr) ++numLevels_;
        }
        break;
    }
}

void Mixer::linkGroup(std::uint32_t group, std::uint32_t parent) noexcept {
    // Appended, so sub-groups are summed in the order they were attached;
    // both ends are kept so that linking and unlinking cost the same however
    // many siblings there are.
    Bus* child = bus(group);
    Bus* above = bus(parent);
    child->parent = parent;
    child->nextSibling = kNoIndex;
    child->previousSibling = above->lastChild;
    if (above->lastChild != kNoIndex) {
        bus(above->lastChild)->nextSibling = group;
    } else {
        above->firstChild = group;
    }
    above->lastChild = group;
}

void Mixer::unlinkGroup(std::uint32_t group) noexcept {
    Bus* child = bus(group);
    const std::uint32_t parent = child->parent;
    if (parent == kNoIndex) return;
    Bus* above = bus(parent);
    if (child->previousSibling != kNoIndex) {
        bus(child->previousSibling)->nextSibling = child->nextSibling;
    } else {
        above->firstChild = child->nextSibling;
    }
    if (child->nextSibling != kNoIndex) {
        bus(child->nextSibling)->previousSibling = child->previousSibling;
    } else {
        above->lastChild = child->previousSibling;
    }
    child->parent = kNoIndex;
    child->nextSibling = kNoIndex;
    child->previousSibling = kNoIndex;
}

// --- mixing ---------------------------------------------------------------

void Mixer::render(float* out, std::size_t numFrames) noexcept {
    const FlushDenormals flush;
    const auto stride = static_cast<std::size_t>(numChannels_);
    while (numFrames > 0) {
        const std::size_t block = std::min(numFrames, kMaxBlockFrames);
        applyCommands();
        renderBlock(out, block);
        blockStart_ += static_cast<std::int64_t>(block);
        out += block * stride;
        numFrames -= block;
    }
    const std::uint32_t sequence = positionSequence_.load(std::memory_order_relaxed);
    positionSequence_.store(sequence + 1, std::memory_order_relaxed);
    std::atomic_thread_fence(std::memory_order_release);
    framesMixed_.store(blockStart_, std::memory_order_relaxed);
    positionNanos_.store(steadyNanos(), std::memory_order_relaxed);
    positionSequence_.store(sequence + 2, std::memory_order_release);
}

void Mixer::renderBlock(float* out, std::size_t numFrames) noexcept {
    collectVoices(numFrames);
    // Nothing sounding and no effect ringing: nothing to walk, just silence.
    if (voicesLinked_ == 0 && ringingBuses_ == 0) {
        std::memset(out, 0, numFrames * static_cast<std::size_t>(numChannels_) * sizeof(float));
        return;
    }
    if (mixGroup(kMasterGroup, 0, numFrames)) {
        kernels::interleave(out, levelPlanes(0).data(), numChannels_, numFrames);
    } else {
        std::memset(out, 0, numFrames * static_cast<std::size_t>(numChannels_) * sizeof(float));
    }
    advanceUnmixedVoices(numFrames);
}

void Mixer::collectVoices(std::size_t numFrames) noexcept {
    const std::int64_t blockEnd = blockStart_ + static_cast<std::int64_t>(numFrames);
    // Only the buses that held voices last block need their lists emptied.
    for (std::size_t i = 0; i < numVoices_; ++i) {
        Voice& voice = voices_[i];
        voice.mixed = false;
        if (voice.linkedGroup == kNoIndex) continue;
        if (Bus* held = bus(voice.linkedGroup)) held->firstVoice = kNoIndex;
        voice.linkedGroup = kNoIndex;
    }
    // Walk backwards so each group's list comes out in voice order.
    voicesLinked_ = 0;
    for (std::size_t i = numVoices_; i-- > 0;) {
        Voice& voice = voices_[i];
        if (!voice.active || voice.paused || voice.startFrame >= blockEnd) continue;
        Bus* target = bus(voice.group);
        if (target == nullptr) continue;
        voice.nextInGroup = target->firstVoice;
        voice.linkedGroup = voice.group;
        target->firstVoice = static_cast<std::uint32_t>(i);
        ++voicesLinked_;
    }
}

void Mixer::placeScratch() {
    constexpr std::uintptr_t page = 4096;
    constexpr std::uintptr_t step = 64;  // a cache line
    std::vector<std::uintptr_t> taken;
    for (std::uint32_t level = 0; level < std::min<std::uint32_t>(numLevels_, 2); ++level) {
        for (float* plane : levelPlanes(level)) {
            if (plane != nullptr) taken.push_back(reinterpret_cast<std::uintptr_t>(plane) % page);
        }
    }
    auto distance = [](std::uintptr_t a, std::uintptr_t b) {
        const std::uintptr_t d = a > b ? a - b : b - a;
        return std::min(d, page - d);
    };
    auto place = [&](std::vector<float>& buffer) {
        float* best = buffer.data();
        std::uintptr_t bestGap = 0;
        for (std::size_t offset = 0; offset < kPageFloats; offset += step / sizeof(float)) {
            const std::uintptr_t at = reinterpret_cast<std::uintptr_t>(buffer.data() + offset) % page;
            std::uintptr_t gap = page;
            for (std::uintptr_t other : taken) gap = std::min(gap, distance(at, other));
            if (gap > bestGap) {
                bestGap = gap;
                best = buffer.data() + offset;
            }
        }
        taken.push_back(reinterpret_cast<std::uintptr_t>(best) % page);
        return best;
    };
    voiceBlock_ = place(voiceScratch_);
    gainBlock_ = place(gainScratch_);
}

Mixer::Planes Mixer::levelPlanes(std::uint32_t depth) const noexcept {
    Planes planes{};
    float* storage = (*levels_)[depth];
    for (std::size_t c = 0; c < static_cast<std::size_t>(numChannels_); ++c) planes[c] = storage + c * kPlaneStride;
    return planes;
}

bool Mixer::mixGroup(std::uint32_t group, std::uint32_t depth, std::size_t numFrames) noexcept {
    Bus* node = bus(group);
    // Voices below a group that is not mixed still advance, unheard.
    if (node == nullptr || depth >= numLevels_) return false;
    Bus& mixBus = *node;
    const bool effects = mixBus.numDsps != 0;
    if (mixBus.firstVoice == kNoIndex && mixBus.firstChild == kNoIndex && !effects) return false;

    const Planes planes = levelPlanes(depth);
    bool sounding = false;
    clear(planes, numFrames);
    for (std::uint32_t voice = mixBus.firstVoice; voice != kNoIndex;) {
        const std::uint32_t next = voices_[voice].nextInGroup;  // mixing may end the voice
        mixVoice(voice, planes, numFrames);
        sounding = true;
        voice = next;
    }
    if (depth + 1 < numLevels_) {
        const Planes below = levelPlanes(depth + 1);
        for (std::uint32_t child = mixBus.firstChild; child != kNoIndex; child = bus(child)->nextSibling) {
            if (mixGroup(child, depth + 1, numFrames)) {
                sum(planes, below, numFrames);
                sounding = true;
            }
        }
    }
    // An effect whose tail has died away and that gets no input is not run:
    // a scene's reverb costs nothing while the scene is quiet.
    if (!sounding && (!effects || mixBus.dspTailSilent)) return false;

    applyVolume(mixBus, planes, numFrames);
    if (!isFinite(planes, numFrames)) clear(planes, numFrames);  // absurd volumes overflowed
    if (effects) runDsps(mixBus, planes, numFrames);
    return true;
}

void Mixer::mixVoice(std::uint32_t index, const Planes& planes, std::size_t numFrames) noexcept {
    Voice& voice = voices_[index];
    fetch(voice, numFrames);
    place(index, planes, numFrames);
}

void Mixer::fetch(Voice& voice, std::size_t numFrames) noexcept {
    voice.mixed = true;
    float* scratch = voice.channels == 1 ? voiceBlock_ : soundFrames_.data();
    const std::int64_t blockEnd = blockStart_ + static_cast<std::int64_t>(numFrames);
    // The voice may begin or stop part-way through the block, on its frame.
    const auto from = static_cast<std::size_t>(std::clamp<std::int64_t>(voice.startFrame - blockStart_, 0, static_cast<std::int64_t>(numFrames)));
    const auto to = static_cast<std::size_t>(std::clamp<std::int64_t>(voice.stopFrame - blockStart_, static_cast<std::int64_t>(from), static_cast<std::int64_t>(numFrames)));
    const auto stride = static_cast<std::size_t>(voice.channels);
    std::fill(scratch, scratch + from * stride, 0.0f);
    const std::size_t got = to > from ? std::min(voice.reader->read(scratch + from * stride, to - from), to - from) : 0;
    // Short of the end, a reader that falls behind costs silence, not the voice.
    std::fill(scratch + (from + got) * stride, scratch + numFrames * stride, 0.0f);
    if (voice.reader->ended()) {
        voice.active = false;
        voice.reader = nullptr;
        voice.endedGeneration.store(voice.generation, std::memory_order_release);
    } else if (voice.stopFrame <= blockEnd) {
        voice.active = false;
        voice.reader = nullptr;
    }
}

void Mixer::place(std::uint32_t index, const Planes& planes, std::size_t numFrames) noexcept {
    Voice& voice = voices_[index];
    if (voice.channels == 1) {
        placeMono(voiceBlock_, voice.current, voice.target, planes, numFrames);
    } else {
        // Each channel of the sound is placed on its own, with its own gains.
        std::array<float*, kMaxSoundChannels> split{};
        for (std::size_t c = 0; c < static_cast<std::size_t>(voice.channels); ++c) split[c] = soundPlanes_.data() + c * kMaxBlockFrames;
        kernels::deinterleave(split.data(), soundFrames_.data(), static_cast<int>(voice.channels), numFrames);
        placeMono(split[0], voice.current, voice.target, planes, numFrames);
        MoreGains& more = moreGains_[index];
        for (std::size_t c = 1; c < static_cast<std::size_t>(voice.channels); ++c) {
            placeMono(split[c], more.current[c - 1], more.target[c - 1], planes, numFrames);
        }
        more.current = more.target;
    }
    voice.current = voice.target;
    voice.fresh = false;
}

void Mixer::placeMono(const float* signal, const SpeakerGains& from, const SpeakerGains& to, const Planes& planes,
                      std::size_t numFrames) noexcept {
    for (std::size_t c = 0; c < static_cast<std::size_t>(numChannels_); ++c) {
        if (from[c] == to[c]) {
            if (to[c] != 0.0f) kernels::addScaled(planes[c], signal, to[c], numFrames);
        } else {
            kernels::addRamped(planes[c], signal, from[c], to[c], numFrames);
        }
    }
}

void Mixer::advanceUnmixedVoices(std::size_t numFrames) noexcept {
    // Voices in a detached sub-tree are not heard, but they still advance so
    // they end on time.
    const std::int64_t blockEnd = blockStart_ + static_cast<std::int64_t>(numFrames);
    for (std::size_t i = 0; i < numVoices_; ++i) {
        Voice& voice = voices_[i];
        if (voice.mixed || !voice.active || voice.paused || voice.startFrame >= blockEnd) continue;
        fetch(voice, numFrames);
    }
}

// --- volume -------------------------------------------------------------

void Mixer::applyVolume(Bus& target, const Planes& planes, std::size_t numFrames) noexcept {
    VolumeAutomation& volume = target.volume;
    // Frames this bus sat out (nothing beneath it sounded) still move its
    // automation on, so ramps keep their schedule.
    if (target.mixedUntil >= 0 && target.mixedUntil < blockStart_) {
        if (target.smoothing) volume.jumpTo(target.smoothTarget);
        target.smoothing = false;
        volume.advance(target.mixedUntil, blockStart_, nullptr);
    }
    const std::int64_t blockEnd = blockStart_ + static_cast<std::int64_t>(numFrames);
    target.mixedUntil = blockEnd;
    float* gains = gainBlock_;
    if (target.smoothing) {
        // An unscheduled change: a straight line over this block.
        target.smoothing = false;
        const float first = volume.gain();
        const float step = (target.smoothTarget - first) / static_cast<float>(numFrames);
        for (std::size_t i = 0; i < numFrames; ++i) gains[i] = first + step * static_cast<float>(i);
        volume.jumpTo(target.smoothTarget);
    } else if (volume.steadyUntil(blockEnd)) {
        if (volume.gain() != 1.0f) {
            for (std::size_t c = 0; c < static_cast<std::size_t>(numChannels_); ++c) kernels::scale(planes[c], volume.gain(), numFrames);
        }
        return;
    } else {
        volume.advance(blockStart_, blockEnd, gains);
    }
    for (std::size_t c = 0; c < static_cast<std::size_t>(numChannels_); ++c) kernels::multiply(planes[c], gains, numFrames);
}

// --- effects --------------------------------------------------------------

void Mixer::runDsps(Bus& target, const Planes& planes, std::size_t numFrames) noexcept {
    float* interleaved = interleaved_.data();
    kernels::interleave(interleaved, planes.data(), numChannels_, numFrames);
    for (int i = 0; i < target.numDsps; ++i) target.dsps[static_cast<std::size_t>(i)]->process(interleaved, numFrames);
    kernels::deinterleave(planes.data(), interleaved, numChannels_, numFrames);
    if (!isFinite(planes, numFrames)) {
        // An effect gone wrong would poison every group above it for good:
        // this block of the group is silenced, and its effects pass the sound
        // through untouched until the main thread has made them anew.
        clear(planes, numFrames);
        for (int i = 0; i < target.numDsps; ++i) target.dsps[static_cast<std::size_t>(i)]->requestReset();
        changeRinging(target, [&target] { target.dspTailSilent = true; });
        return;
    }
    const bool silent = kernels::isSilent(interleaved, numFrames * static_cast<std::size_t>(numChannels_));
    changeRinging(target, [&target, silent] { target.dspTailSilent = silent; });
}

bool Mixer::isFinite(const Planes& planes, std::size_t numFrames) const noexcept {
    for (std::size_t c = 0; c < static_cast<std::size_t>(numChannels_); ++c) {
        if (!kernels::allFinite(planes[c], numFrames)) return false;
    }
    return true;
}

void Mixer::clear(const Planes& planes, std::size_t numFrames) noexcept {
    for (int c = 0; c < numChannels_; ++c) {
        std::memset(planes[static_cast<std::size_t>(c)], 0, numFrames * sizeof(float));
    }
}

void Mixer::sum(const Planes& into, const Planes& from, std::size_t numFrames) noexcept {
    for (std::size_t c = 0; c < static_cast<std::size_t>(numChannels_); ++c) {
        kernels::add(into[c], from[c], numFrames);
    }
}

}  // namespace audio
