// 3D placement: distance attenuation and panning for one output speaker layout.
#pragma once

#include "audio/MixTypes.h"
#include "audio/Types.h"

#include <vector>

namespace audio {

/// Turns a source position into per-speaker gains. The listener sits at the
/// origin looking along +z, +y up, +x to its right. Distance attenuation is
/// inverse (1 within 1 unit, 1/d beyond, no further fall past 10000 units).
/// Panning is equal-power: stereo by the angle, front and back alike; wider
/// layouts between the two nearest full-range speakers (the LFE gets
/// nothing); mono by distance only. A source at the listener's own position
/// is treated as straight ahead: centred at full level.
/// The speaker order is the device's: 1 mono; 2 FL FR; 3 FL FR LFE;
/// 4 FL FR BL BR; 5 FL FR LFE BL BR; 6 FL FR FC LFE SL SR;
/// 7 FL FR FC LFE BC SL SR; 8 FL FR FC LFE BL BR SL SR.
/// Immutable after construction; any thread.
class Spatializer {
public:
    /// numChannels outside 1..8 is treated as stereo.
    explicit Spatializer(int numChannels);

    SpeakerGains gains(Vector3 position) const noexcept;
    /// The gains of channel `channel` of a sound with `numChannels` channels
    /// (at most kMaxSoundChannels) spread over `spreadDeg` degrees (0..360)
    /// around its direction. Up to 180 degrees the channels fan out from the
    /// direction to their own places in the file's layout (a stereo file's
    /// left and right at 90 degrees either side at 180, a 5.1 file's speakers
    /// at their usual angles); beyond 180 each channel is blended, keeping its
    /// power, towards coming from every speaker at once, fully so at 360. A
    /// mono sound only takes that blend. Distance attenuation as gains().
    SpeakerGains spreadGains(Vector3 position, float spreadDeg, int channel, int numChannels) const noexcept;
    int numChannels() const noexcept { return numChannels_; }

    static float distanceGain(Vector3 position) noexcept;

private:
    struct Speaker {
        float angleRad;  ///< clockwise from straight ahead, in (-pi, pi]
        int channel;
    };

    /// Equal-power gains for a direction, without distance.
    SpeakerGains pan(float angleRad) const noexcept;
    void panStereo(float angleRad, SpeakerGains& out) const noexcept;
    /// The output channel carries low frequencies only (no direction).
    bool isLfe(int channel) const noexcept;
    void panAround(float angleRad, SpeakerGains& out) const noexcept;

    int numChannels_;
    /// Full-range speakers sorted by angle; empty for mono and stereo-like layouts.
    std::vector<Speaker> ring_;
    int leftChannel_ = 0;
    int rightChannel_ = 1;
};

}  // namespace audio
