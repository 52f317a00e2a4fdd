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
    SpeakerGains out{};
    const float distance = distanceGain(position);
    // atan2(0, 0) is 0: a source on the listener is straight ahead.
    float angle = std::atan2(position.x, position.z);
    if (!std::isfinite(angle)) angle = 0.0f;
    if (numChannels_ == 1) {
        out[0] = 1.0f;
    } else if (ring_.empty()) {
        panStereo(angle, out);
    } else {
        panAround(angle, out);
    }
    for (float& g : out) g *= distance;
    return out;
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
