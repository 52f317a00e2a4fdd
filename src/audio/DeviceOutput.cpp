// Opening, feeding and watching the SDL2 playback device.
#include "audio/DeviceOutput.h"

#include "audio/MixTypes.h"
#include "audio/Mixer.h"
#include "audio/SilentOutput.h"

#include <SDL.h>
#include <alsa/asoundlib.h>

#include <cstring>

namespace audio {
namespace {

/// ALSA prints "ALSA lib ..." for every failed open unless told otherwise.
/// SDL loads the same libasound we link, so this handler covers its opens too.
void quietAlsa(const char*, int, const char*, int, const char*, ...) {}

void quietSdlLog(void*, int, SDL_LogPriority, const char*) {}

bool initSubsystem() {
    snd_lib_error_set_handler(&quietAlsa);
    SDL_LogSetOutputFunction(&quietSdlLog, nullptr);
    // The program owns the terminal and its signals; SDL must not catch SIGINT.
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    return SDL_InitSubSystem(SDL_INIT_AUDIO) == 0;
}

bool isSupportedChannelCount(int channels) { return channels >= 1 && channels <= kMaxOutputChannels; }

}  // namespace

std::unique_ptr<DeviceOutput> DeviceOutput::open(DeviceFormat wanted, bool allowChanges) {
    if (!initSubsystem()) return nullptr;
    std::unique_ptr<DeviceOutput> output(new DeviceOutput());

    SDL_AudioSpec want{};
    want.freq = wanted.sampleRate;
    want.format = AUDIO_F32SYS;
    want.channels = static_cast<Uint8>(wanted.numChannels);
    // Two blocks (about 21 ms at 48 kHz): still within a key press's notice,
    // and half the wake-ups of one, which is most of what an idle player costs.
    want.samples = static_cast<Uint16>(SilentOutput::kBufferFrames);
    want.callback = &DeviceOutput::callback;
    want.userdata = output.get();
    SDL_AudioSpec got{};
    const int changes = allowChanges ? SDL_AUDIO_ALLOW_FREQUENCY_CHANGE | SDL_AUDIO_ALLOW_CHANNELS_CHANGE : 0;
    output->device_ = SDL_OpenAudioDevice(nullptr, 0, &want, &got, changes);
    if (output->device_ != 0 && !isSupportedChannelCount(got.channels)) {
        // A layout the mixer cannot place into: let SDL convert from the one asked for.
        SDL_CloseAudioDevice(output->device_);
        output->device_ = SDL_OpenAudioDevice(nullptr, 0, &want, &got, changes & ~SDL_AUDIO_ALLOW_CHANNELS_CHANGE);
    }
    if (output->device_ == 0) {
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
        return nullptr;
    }
    output->format_ = {got.freq, got.channels};
    output->bufferFrames_ = got.samples;
    // Stale add/remove notices from earlier devices must not read as this one's.
    SDL_FlushEvents(SDL_AUDIODEVICEADDED, SDL_AUDIODEVICEREMOVED);
    return output;
}

DeviceOutput::~DeviceOutput() {
    if (device_ != 0) SDL_CloseAudioDevice(device_);
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
}

void DeviceOutput::start(Mixer& mixer) {
    // The callback runs under SDL's device lock, so this hand-over is ordered
    // before its first call.
    SDL_LockAudioDevice(device_);
    mixer_ = &mixer;
    SDL_UnlockAudioDevice(device_);
    SDL_PauseAudioDevice(device_, 0);
}

bool DeviceOutput::lost() {
    if (lost_) return true;
    SDL_PumpEvents();
    SDL_Event events[8];
    int count = 0;
    while ((count = SDL_PeepEvents(events, 8, SDL_GETEVENT, SDL_AUDIODEVICEREMOVED, SDL_AUDIODEVICEREMOVED)) > 0) {
        for (int i = 0; i < count; ++i) {
            if (events[i].adevice.iscapture == 0 && events[i].adevice.which == device_) lost_ = true;
        }
    }
    if (SDL_GetAudioDeviceStatus(device_) == SDL_AUDIO_STOPPED) lost_ = true;
    return lost_;
}

void DeviceOutput::callback(void* self, std::uint8_t* stream, int numBytes) {
    auto* output = static_cast<DeviceOutput*>(self);
    const std::size_t frameBytes = sizeof(float) * static_cast<std::size_t>(output->format_.numChannels);
    const std::size_t numFrames = static_cast<std::size_t>(numBytes) / frameBytes;
    if (output->mixer_ == nullptr) {
        std::memset(stream, 0, static_cast<std::size_t>(numBytes));
        return;
    }
    output->mixer_->render(reinterpret_cast<float*>(stream), numFrames);
}

}  // namespace audio
