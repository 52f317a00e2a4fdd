// The setting values every scene and element reads from its XML attributes.
#pragma once

#include <cstdint>

namespace gloam {

/// Sound-creation modes, as stored in `Settings::mode` and `effectiveMode`.
inline constexpr std::int32_t streamMode = 128;
inline constexpr std::int32_t preloadMode = 256;
inline constexpr std::int32_t compressedMode = 512;
/// A stream opened afresh for every element that asks, never shared.
inline constexpr std::int32_t ownStreamMode = 10000000;

/// Times are milliseconds of the program clock; volumes linear gains.
struct Settings {
    std::int32_t mode = 0;  ///< 0: inherit from the parent
    std::int32_t startDelay = 0;
    std::int32_t startDelayVariance = 0;
    std::int32_t closeDelay = 1500;
    std::int32_t loopCount = 0;  ///< further passes after the first; negative: endless
    std::int32_t loopDelay = 0;
    std::int32_t loopDelayVariance = 0;
    std::int32_t fadeIn = 0;
    std::int32_t fadeOut = 0;
    std::int32_t crossFade = 0;
    float volume = 1.0f;
    float volumeVariance = 0.0f;
    bool autoStart = false;
    char key = 0;  ///< 0: no key; index tables as unsigned char
    float positionX = 0.0f;
    float positionXvariance = 0.0f;
    float positionY = 0.0f;  ///< front-back: the engine's z axis
    float positionYvariance = 0.0f;
    /// Degrees (0..360) over which a sound's channels are spread around its
    /// direction; negative: not given, the enclosing element's applies (0 at
    /// the top, which mixes the file down and places it as one point).
    float spread = -1.0f;
    float spreadVariance = 0.0f;
};

}  // namespace gloam
