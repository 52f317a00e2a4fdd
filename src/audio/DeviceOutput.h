// The default sound device through SDL2's audio subsystem.
#pragma once

#include <cstdint>
#include <memory>

namespace audio {

class Mixer;

/// What a device was opened with.
struct DeviceFormat {
    int sampleRate = 48000;
    int numChannels = 2;
};

/// One open SDL2 playback device delivering float samples. The SDL audio
/// subsystem is initialised for as long as the object lives, with SDL's log
/// output and ALSA's error printing silenced so nothing reaches the terminal.
/// Main thread only, except that the mixer is rendered on SDL's audio thread.
class DeviceOutput {
public:
    /// Opens the default device, paused, asking for `wanted`. When
    /// allowChanges is true the device may pick another rate or channel count
    /// (the result is in format()); otherwise SDL converts. Null when no
    /// device opens.
    static std::unique_ptr<DeviceOutput> open(DeviceFormat wanted, bool allowChanges);
    ~DeviceOutput();  ///< closes the device (waits for a running callback) and releases the subsystem
    DeviceOutput(const DeviceOutput&) = delete;
    DeviceOutput& operator=(const DeviceOutput&) = delete;

    DeviceFormat format() const { return format_; }
    /// Frames the device takes per callback.
    int bufferFrames() const { return bufferFrames_; }

    /// Starts pulling audio from `mixer`, which must outlive this object.
    void start(Mixer& mixer);

    /// True when SDL has reported the device removed or stopped it.
    bool lost();

private:
    DeviceOutput() = default;
    static void callback(void* self, std::uint8_t* stream, int numBytes);

    std::uint32_t device_ = 0;
    DeviceFormat format_;
    int bufferFrames_ = 0;
    Mixer* mixer_ = nullptr;
    bool lost_ = false;
};

}  // namespace audio
