// The inner loops of mixing: short, branch-free and written so the compiler vectorises them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace audio::kernels {

/// dst[i] += src[i] * gain.
inline void addScaled(float* __restrict dst, const float* __restrict src, float gain,
                      std::size_t numFrames) noexcept {
    for (std::size_t i = 0; i < numFrames; ++i) dst[i] += src[i] * gain;
}

/// dst[i] += src[i] * a gain moving linearly from `from` towards `to` over the
/// block, so a changed gain never clicks.
inline void addRamped(float* __restrict dst, const float* __restrict src, float from, float to,
                      std::size_t numFrames) noexcept {
    const float step = (to - from) / static_cast<float>(numFrames);
    for (std::size_t i = 0; i < numFrames; ++i) {
        dst[i] += src[i] * (from + step * static_cast<float>(i));
    }
}

/// buf[i] *= gain.
inline void scale(float* buf, float gain, std::size_t numFrames) noexcept {
    for (std::size_t i = 0; i < numFrames; ++i) buf[i] *= gain;
}

/// buf[i] *= gains[i].
inline void multiply(float* __restrict buf, const float* __restrict gains, std::size_t numFrames) noexcept {
    for (std::size_t i = 0; i < numFrames; ++i) buf[i] *= gains[i];
}

/// dst[i] += src[i].
inline void add(float* __restrict dst, const float* __restrict src, std::size_t numFrames) noexcept {
    for (std::size_t i = 0; i < numFrames; ++i) dst[i] += src[i];
}

/// Planar channels into one interleaved buffer (replacing it).
inline void interleave(float* __restrict out, const float* const* planes, int numChannels,
                       std::size_t numFrames) noexcept {
    const auto stride = static_cast<std::size_t>(numChannels);
    for (std::size_t c = 0; c < stride; ++c) {
        const float* __restrict plane = planes[c];
        for (std::size_t i = 0; i < numFrames; ++i) out[i * stride + c] = plane[i];
    }
}

/// One interleaved buffer into planar channels (replacing them).
inline void deinterleave(float* const* planes, const float* __restrict in, int numChannels,
                         std::size_t numFrames) noexcept {
    const auto stride = static_cast<std::size_t>(numChannels);
    for (std::size_t c = 0; c < stride; ++c) {
        float* __restrict plane = planes[c];
        for (std::size_t i = 0; i < numFrames; ++i) plane[i] = in[i * stride + c];
    }
}

/// True when no sample is a NaN or an infinity. Works on the bits (an
/// exponent of all ones), so it vectorises without reordering float sums.
inline bool allFinite(const float* buf, std::size_t numFrames) noexcept {
    std::uint32_t worst = 0;
    for (std::size_t i = 0; i < numFrames; ++i) {
        std::uint32_t bits;
        std::memcpy(&bits, buf + i, sizeof bits);
        const std::uint32_t exponent = bits & 0x7f800000u;
        worst = exponent > worst ? exponent : worst;
    }
    return worst != 0x7f800000u;
}

/// True when every sample is exactly zero (of either sign).
inline bool isSilent(const float* buf, std::size_t numSamples) noexcept {
    std::uint32_t any = 0;
    for (std::size_t i = 0; i < numSamples; ++i) {
        std::uint32_t bits;
        std::memcpy(&bits, buf + i, sizeof bits);
        any |= bits << 1;  // drops the sign
    }
    return any == 0;
}

}  // namespace audio::kernels
