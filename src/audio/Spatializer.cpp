// Distance attenuation and equal-power panning.
#include "audio/Spatializer.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace audio {
namespace {

constexpr float kPi = std::numbers::pi_v<float>;
constexpr float kHalfPi = kPi / 2.0f;
constexpr float kMaxDistance = 10000.0f;

constexpr float degrees(float deg) { return deg * kPi / 180.0f; }

struct LayoutSpeaker {
    int channel;
    float angleDeg;
};

/// Full-range speakers of the layouts that are wider than stereo.
std::vector<LayoutSpeaker> surroundSpeakers(int numChannels) {
    switch (numChannels) {
    case 4: return {{0, -45}, {1, 45}, {2, -135}, {3, 135}};
    case 5: return {{0, -45}, {1, 45}, {3, -135}, {4, 135}};
    case 6: return {{0, -30}, {1, 30}, {2, 0}, {4, -110}, {5, 110}};
    case 7: return {{0, -30}, {1, 30}, {2, 0}, {4, 180}, {5, -90}, {6, 90}};
    case 8: return {{0, -30}, {1, 30}, {2, 0}, {4, -150}, {5, 150}, {6, -90}, {7, 90}};
    default: return {};
    }
}

/// Where channel `channel` of a `numChannels`-channel file sits in its own
/// layout, in degrees clockwise from straight ahead; NaN for an LFE channel,
/// which stays at the source's direction. Layouts as WAV orders them; counts
/// without a common layout lie evenly from left to right.
float layoutAngle(int channel, int numChannels) {
    static constexpr float stereo[] = {-90, 90};
    static constexpr float three[] = {-90, 90, 0};
    static constexpr float quad[] = {-45, 45, -135, 135};
    static constexpr float five[] = {-30, 30, 0, -110, 110};
    static constexpr float fivePointOne[] = {-30, 30, 0, NAN, -110, 110};
    static constexpr float sevenPointOne[] = {-30, 30, 0, NAN, -150, 150, -90, 90};
    const auto at = static_cast<std::size_t>(channel);
    switch (numChannels) {
    case 1: return 0.0f;
    case 2: return stereo[at];
    case 3: return three[at];
    case 4: return quad[at];
    case 5: return five[at];
    case 6: return fivePointOne[at];
    case 8: return sevenPointOne[at];
    default: return -90.0f + 180.0f * static_cast<float>(channel) / static_cast<float>(numChannels - 1);
    }
}

}  // namespace

Spatializer::Spatializer(int numChannels)
    : numChannels_(numChannels >= 1 && numChannels <= kMaxOutputChannels ? numChannels : 2) {
    for (const LayoutSpeaker& s : surroundSpeakers(numChannels_)) {
        float angle = degrees(s.angleDeg);
        if (angle <= -kPi) angle += 2.0f * kPi;
        ring_.push_back({angle, s.channel});
    }
    std::sort(ring_.begin(), ring_.end(),
              [](const Speaker& a, const Speaker& b) { return a.angleRad < b.angleRad; });
}

float Spatializer::distanceGain(Vector3 p) noexcept {
    const float distance = std::sqrt(p.x * p.x + p.y * p.y + p.z * p.z);
    if (!(distance > 1.0f)) return 1.0f;  // also catches NaN: play at full level
    return 1.0f / std::min(distance, kMaxDistance);
}

SpeakerGains Spatializer::gains(Vector3 position) const noexcept {
    const float distance = distanceGain(position);
    // atan2(0, 0) is 0: a source on the listener is straight ahead.
    float angle = std::atan2(position.x, position.z);
    if (!std::isfinite(angle)) angle = 0.0f;
    SpeakerGains out = pan(angle);
    for (float& g : out) g *= distance;
    return out;
}

SpeakerGains Spatializer::pan(float angle) const noexcept {
    SpeakerGains out{};
    if (numChannels_ == 1) {
        out[0] = 1.0f;
    } else if (ring_.empty()) {
        panStereo(angle, out);
    } else {
        panAround(angle, out);
    }
    return out;
}

SpeakerGains Spatializer::spreadGains(Vector3 position, float spreadDeg, int channel, int numChannels) const noexcept {
    if (!(spreadDeg > 0.0f)) spreadDeg = 0.0f;
    spreadDeg = std::min(spreadDeg, 360.0f);
    numChannels = std::clamp(numChannels, 1, kMaxSoundChannels);
    channel = std::clamp(channel, 0, numChannels - 1);
    const float distance = distanceGain(position);
    float direction = std::atan2(position.x, position.z);
    if (!std::isfinite(direction)) direction = 0.0f;

    // Up to 180 degrees the channels move out to their places in the layout.
    const float place = layoutAngle(channel, numChannels);
    float angle = direction;
    if (!std::isnan(place)) angle += degrees(place) * std::min(spreadDeg, 180.0f) / 180.0f;
    angle = std::remainder(angle, 2.0f * kPi);  // back into [-pi, pi]
    SpeakerGains out = pan(angle);

    // Beyond it, part of each channel's power comes from every speaker alike.
    const float diffuse = std::max(0.0f, spreadDeg - 180.0f) / 180.0f;
    if (diffuse > 0.0f) {
        int speakers = 0;
        for (int c = 0; c < numChannels_; ++c) speakers += isLfe(c) ? 0 : 1;
        const float share = diffuse / static_cast<float>(std::max(speakers, 1));
        for (int c = 0; c < numChannels_; ++c) {
            if (isLfe(c)) continue;
            const auto at = static_cast<std::size_t>(c);
            out[at] = std::sqrt((1.0f - diffuse) * out[at] * out[at] + share);
        }
    }
    for (float& g : out) g *= distance;
    return out;
}

bool Spatializer::isLfe(int channel) const noexcept {
    if (numChannels_ == 1 || ring_.empty()) return numChannels_ == 3 && channel == 2;
    return std::none_of(ring_.begin(), ring_.end(), [channel](const Speaker& s) { return s.channel == channel; });
}

void Spatializer::panStereo(float angle, SpeakerGains& out) const noexcept {
    // Fold the rear half onto the front: a source behind sounds where its
    // mirror image in front would.
    if (angle > kHalfPi) angle = kPi - angle;
    if (angle < -kHalfPi) angle = -kPi - angle;
    const float theta = (angle + kHalfPi) * 0.5f;  // [-pi/2, pi/2] -> [0, pi/2]
    out[static_cast<std::size_t>(leftChannel_)] = std::max(0.0f, std::cos(theta));
    out[static_cast<std::size_t>(rightChannel_)] = std::max(0.0f, std::sin(theta));
}

void Spatializer::panAround(float angle, SpeakerGains& out) const noexcept {
    // Find the pair of neighbouring speakers whose arc holds the angle; the
    // last pair wraps around through +-pi.
    const std::size_t count = ring_.size();
    std::size_t upper = 0;
    while (upper < count && ring_[upper].angleRad < angle) ++upper;
    const Speaker& a = ring_[(upper + count - 1) % count];
    const Speaker& b = ring_[upper % count];
    float arc = b.angleRad - a.angleRad;
    float offset = angle - a.angleRad;
    if (arc <= 0.0f) arc += 2.0f * kPi;
    if (offset < 0.0f) offset += 2.0f * kPi;
    const float t = arc > 0.0f ? std::clamp(offset / arc, 0.0f, 1.0f) : 0.0f;
    // cos(pi/2) is a hair below zero in float; keep gains non-negative.
    out[static_cast<std::size_t>(a.channel)] += std::max(0.0f, std::cos(t * kHalfPi));
    out[static_cast<std::size_t>(b.channel)] += std::max(0.0f, std::sin(t * kHalfPi));
}

}  // namespace audio
