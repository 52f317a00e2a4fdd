// The program clock's 32-bit arithmetic, which wraps instead of overflowing.
#pragma once

#include <cstdint>

namespace platform {

/// The program clock and every plan sum are 32-bit millisecond values that
/// wrap the way a 32-bit counter does (after about 24.8 days), never
/// undefined. This is the one place that arithmetic lives; every layer
/// reaches it from here.
inline std::int32_t wrapAdd(std::int32_t a, std::int32_t b) {
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(a) + static_cast<std::uint32_t>(b));
}

/// The signed distance from `b` to `a` on the wrapping clock: negative when
/// `a` comes first, as long as the two lie within 24.8 days of each other.
inline std::int32_t wrapSub(std::int32_t a, std::int32_t b) {
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(a) - static_cast<std::uint32_t>(b));
}

inline std::int32_t wrapMul(std::int32_t a, std::int32_t b) {
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(a) * static_cast<std::uint32_t>(b));
}

/// A 64-bit count of milliseconds as the 32-bit clock shows it.
inline std::int32_t wrapMs(std::int64_t ms) { return static_cast<std::int32_t>(static_cast<std::uint64_t>(ms)); }

/// Whether `a` comes strictly before `b` on the wrapping clock.
inline bool wrapBefore(std::int32_t a, std::int32_t b) { return wrapSub(a, b) < 0; }

}  // namespace platform
