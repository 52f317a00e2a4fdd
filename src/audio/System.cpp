// The engine's life cycle: start-up, outputs and their fallbacks, housekeeping and shut-down.
#include "audio/System.h"

#include "audio/ChannelGroup.h"
#include "audio/DecodeWorkerImpl.h"
#include "audio/Dsp.h"
#include "audio/SystemImpl.h"
#include "audio/TrackedSound.h"

#include <algorithm>
#include <thread>

namespace audio {
namespace {

/// How often a silent output looks for a device again.
constexpr std::chrono::seconds kDeviceRetryInterval{3};
/// Upper bound on voices, whatever the configuration asks.
constexpr int kVoiceLimit = 4096;

int channelsFor(SpeakerMode mode) {
    switch (mode) {
    case SpeakerMode::Mono: return 1;
    case SpeakerMode::Stereo: return 2;
    case SpeakerMode::Quad: return 4;
    case SpeakerMode::Surround:  // five speakers; SDL's nearest layout is 5.1
    case SpeakerMode::FivePointOne: return 6;
    case SpeakerMode::SevenPointOne: return 8;
    }
    return 2;
}

}  // namespace

System::System() : impl_(std::make_unique<Impl>(*this)) {
    impl_->groups.resize(1);
    impl_->groups[kMasterGroup].alive = true;
    impl_->groups[kMasterGroup].depth = 0;
    impl_->master = std::make_unique<ChannelGroup>(*this, kMasterGroup);
}

System::~System() { close(); }

void System::init(const SystemConfig& config) { impl_->init(config); }
void System::close() { impl_->close(); }
void System::update() { impl_->update(); }

void System::setListener(Vector3 position, Vector3, Vector3, Vector3) { impl_->listenerPosition = position; }

ChannelGroup& System::masterGroup() { return *impl_->master; }
std::unique_ptr<ChannelGroup> System::createChannelGroup() { return impl_->createGroup(); }

std::unique_ptr<Sound> System::createSound(const std::string& path, SoundMode mode, bool keepChannels) {
    Impl& impl = *impl_;
    if (!impl.open) return nullptr;
    std::unique_ptr<Sound> inner = openSound(path, mode, impl.sampleRate, *impl.worker, keepChannels);
    if (!inner) return nullptr;
    auto sound = std::make_unique<TrackedSound>(*this, std::move(inner));
    impl.sounds.push_back(sound.get());
    return sound;
}

Channel System::playSound(Sound& sound, bool paused) { return impl_->play(sound, paused); }
Channel System::playSoundAt(Sound& sound, const PlayRequest& request) { return impl_->playAt(sound, request); }
int System::channelsPlaying() const { return impl_->countPlaying(); }

void System::renderOffline(float* out, std::size_t numFrames) {
    Impl& impl = *impl_;
    if (!impl.open || impl.config.output != OutputKind::Offline) {
        const auto channels = static_cast<std::size_t>(impl.numChannels);
        std::fill(out, out + numFrames * channels, 0.0f);
        return;
    }
    // Offline there is no deadline, so streams are decoded up front rather
    // than raced against: an underrun would make the output depend on thread
    // timing. A chunk stays well inside a reader's ring.
    constexpr std::size_t chunkFrames = 8192;
    const auto channels = static_cast<std::size_t>(impl.numChannels);
    while (numFrames > 0) {
        const std::size_t frames = std::min(numFrames, chunkFrames);
        if (impl.streamsNeedFilling(frames)) impl.worker->impl().fillNow();
        impl.mixer->render(out, frames);
        out += frames * channels;
        numFrames -= frames;
    }
}

bool System::Impl::streamsNeedFilling(std::size_t numFrames) const {
    if (!worker->impl().hasJobs()) return false;
    for (const VoiceSlot& slot : voices) {
        if (slot.busy && slot.reader && !slot.reader->canDeliver(numFrames)) return true;
    }
    return false;
}

OutputPosition System::outputPosition() const {
    return impl_->mixer ? impl_->mixer->position() : OutputPosition{};
}

std::int64_t System::framesMixed() const { return impl_->framesMixed(); }

int System::outputBufferFrames() const {
    if (impl_->device) return impl_->device->bufferFrames();
    return impl_->silent ? static_cast<int>(SilentOutput::kBufferFrames) : 0;
}

int System::sampleRate() const { return impl_->sampleRate; }
int System::outputChannels() const { return impl_->numChannels; }
bool System::isSilentOutput() const { return impl_->silent != nullptr; }

// --- Impl: life cycle -----------------------------------------------------

void System::Impl::init(const SystemConfig& wanted) {
    if (open) return;
    config = wanted;
    voices = std::vector<VoiceSlot>(static_cast<std::size_t>(std::clamp(config.maxChannels, 1, kVoiceLimit)));
    sampleRate = config.sampleRate > 0 ? config.sampleRate : 48000;
    groups = std::vector<GroupSlot>(1);
    groups[kMasterGroup].alive = true;
    groups[kMasterGroup].depth = 0;
    freeGroups = kNoIndex;
    // The mixer starts with the first chunk of groups and the master's level.
    groupChunksGiven = 1;
    mixLevelsGiven = kInitialMixLevels;
    worker = std::make_unique<DecodeWorker>();
    openOutputs(config);
    spatializer = std::make_unique<Spatializer>(numChannels);
    plugins = std::make_unique<PluginHost>();
    if (config.pluginGate != PluginGate::Direct) {
        PluginQuarantine::Config gate;
        gate.probePath = config.pluginProbe;
        gate.cacheFile = config.pluginVerdictFile;
        quarantine = std::make_unique<PluginQuarantine>(gate);
    }
    dspTrials.clear();
    open = true;
}

void System::Impl::openOutputs(const SystemConfig& wanted) {
    const int numVoices = static_cast<int>(voices.size());
    if (wanted.output == OutputKind::Offline) {
        numChannels = std::clamp(wanted.offlineChannels, 1, kMaxOutputChannels);
        mixer = std::make_unique<Mixer>(numVoices, numChannels);
        return;
    }
    const DeviceFormat asked{sampleRate, channelsFor(wanted.speakerMode)};
    if (!tryDevice(asked, true)) {
        numChannels = asked.numChannels;
        mixer = std::make_unique<Mixer>(numVoices, numChannels);
        startSilent();
    }
}

bool System::Impl::tryDevice(DeviceFormat wanted, bool allowChanges) {
    std::unique_ptr<DeviceOutput> opened = DeviceOutput::open(wanted, allowChanges);
    if (!opened) return false;
    if (!mixer) {
        const DeviceFormat got = opened->format();
        sampleRate = got.sampleRate;
        numChannels = got.numChannels;
        mixer = std::make_unique<Mixer>(static_cast<int>(voices.size()), numChannels);
    }
    silent.reset();  // joins: from here on only the device mixes
    device = std::move(opened);
    device->start(*mixer);
    return true;
}

void System::Impl::startSilent() {
    silent = std::make_unique<SilentOutput>(*mixer, sampleRate);
    nextDeviceAttempt = std::chrono::steady_clock::now() + kDeviceRetryInterval;
}

void System::Impl::watchDevice() {
    if (config.output != OutputKind::Device) return;
    if (device && device->lost()) {
        device.reset();
        // Later devices must take the mixer's format; SDL converts if needed.
        if (!tryDevice({sampleRate, numChannels}, false)) startSilent();
        return;
    }
    if (silent && std::chrono::steady_clock::now() >= nextDeviceAttempt) {
        nextDeviceAttempt = std::chrono::steady_clock::now() + kDeviceRetryInterval;
        tryDevice({sampleRate, numChannels}, false);
    }
}

void System::Impl::update() {
    if (!open) return;
    reclaimEnded();
    collectGarbage();
    resetRequestedDsps();
    watchDevice();
}


void System::Impl::post(const MixCommand& command) {
    while (!mixer->post(command)) {
        if (!device && !silent) {
            mixer->applyCommands();  // offline: the main thread is the mixing thread
            continue;
        }
        // Full only when nothing has mixed for a long while, e.g. a device
        // that vanished: let the silent output take over if so.
        watchDevice();
        std::this_thread::yield();
    }
}

void System::Impl::collectGarbage() { graveyard.collect(mixer->commandsTaken(), mixer->framesMixed()); }

void System::Impl::close() {
    if (!open) return;
    open = false;
    // Stop mixing first: afterwards nothing else can reach readers or processors.
    device.reset();
    silent.reset();
    for (VoiceSlot& slot : voices) slot = VoiceSlot{};
    graveyard.clear();
    for (DspSlot& slot : dsps) {
        slot.processor.reset();
        slot.plugin = nullptr;
        slot.group = kNoIndex;
    }
    for (TrackedSound* sound : sounds) sound->detach();  // the wrapped sounds die here
    sounds.clear();
    for (GroupSlot& group : groups) group.dsps.clear();
    plugins.reset();
    worker.reset();
    mixer.reset();
}

}  // namespace audio
