// The same scene rendered by OpenAL Soft through its loopback device, as the reference point.
#include "MixScene.h"

#include <AL/al.h>
#include <AL/alc.h>
#include <AL/alext.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

namespace bench {

double renderWithOpenAl(const std::vector<float>& signal, double numSeconds) {
    auto openLoopback = reinterpret_cast<LPALCLOOPBACKOPENDEVICESOFT>(
        alcGetProcAddress(nullptr, "alcLoopbackOpenDeviceSOFT"));
    auto renderSamples =
        reinterpret_cast<LPALCRENDERSAMPLESSOFT>(alcGetProcAddress(nullptr, "alcRenderSamplesSOFT"));
    if (openLoopback == nullptr || renderSamples == nullptr) return -1.0;

    ALCdevice* device = openLoopback(nullptr);
    if (device == nullptr) return -1.0;
    // Float stereo at the sources' own rate: no resampling, no HRTF.
    const ALCint attributes[] = {ALC_FORMAT_CHANNELS_SOFT, ALC_STEREO_SOFT,
                                 ALC_FORMAT_TYPE_SOFT,     ALC_FLOAT_SOFT,
                                 ALC_FREQUENCY,            kSampleRate,
                                 ALC_MONO_SOURCES,         kNumSources,
                                 ALC_HRTF_SOFT,            ALC_FALSE,
                                 0};
    ALCcontext* context = alcCreateContext(device, attributes);
    if (context == nullptr) {
        alcCloseDevice(device);
        return -1.0;
    }
    alcMakeContextCurrent(context);
    alDistanceModel(AL_INVERSE_DISTANCE_CLAMPED);

    ALuint buffer = 0;
    alGenBuffers(1, &buffer);
    alBufferData(buffer, AL_FORMAT_MONO_FLOAT32, signal.data(),
                 static_cast<ALsizei>(signal.size() * sizeof(float)), kSampleRate);
    std::vector<ALuint> sources(kNumSources);
    alGenSources(kNumSources, sources.data());
    const std::vector<Position> positions = sourcePositions();
    for (int i = 0; i < kNumSources; ++i) {
        const ALuint source = sources[static_cast<std::size_t>(i)];
        const Position& p = positions[static_cast<std::size_t>(i)];
        alSourcei(source, AL_BUFFER, static_cast<ALint>(buffer));
        alSourcef(source, AL_REFERENCE_DISTANCE, 1.0f);
        alSourcef(source, AL_MAX_DISTANCE, 10000.0f);
        // OpenAL's z points out of the screen: the listener looks along -z.
        alSource3f(source, AL_POSITION, p.x, p.y, -p.z);
    }
    alSourcePlayv(kNumSources, sources.data());

    std::vector<float> out(kBlockFrames * 2);
    const auto totalFrames = static_cast<std::size_t>(numSeconds * kSampleRate);
    const auto start = std::chrono::steady_clock::now();
    for (std::size_t done = 0; done < totalFrames; done += kBlockFrames) {
        renderSamples(device, out.data(), static_cast<ALCsizei>(kBlockFrames));
    }
    const std::chrono::duration<double> wall = std::chrono::steady_clock::now() - start;

    ALint state = 0;
    alGetSourcei(sources[0], AL_SOURCE_STATE, &state);
    if (state != AL_PLAYING) std::fprintf(stderr, "openal: sources stopped early\n");
    float peak = 0.0f;
    for (float v : out) peak = std::max(peak, v);
    if (peak <= 0.0f) std::fprintf(stderr, "openal: the mix is silent\n");

    alDeleteSources(kNumSources, sources.data());
    alDeleteBuffers(1, &buffer);
    alcMakeContextCurrent(nullptr);
    alcDestroyContext(context);
    alcCloseDevice(device);
    return wall.count();
}

}  // namespace bench
