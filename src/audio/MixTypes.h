// Limits and small value types shared by the mixer and the engine's object model.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace audio {

/// The mixer renders in blocks of at most this many frames; commands take
/// effect at block boundaries and DSPs never see a longer block.
inline constexpr std::size_t kMaxBlockFrames = 512;
/// Up to 7.1 output.
inline constexpr int kMaxOutputChannels = 8;
inline constexpr std::uint32_t kNoIndex = 0xffffffffu;
inline constexpr std::uint32_t kMasterGroup = 0;
/// Effects one group can run at once; further ones are not attached.
inline constexpr int kMaxDspsPerGroup = 16;
/// Nesting depth of the mixing tree that is mixed; groups further down are
/// not reached (each level needs its own preallocated bus).
inline constexpr int kMaxGroupDepth = 64;
/// Groups alive at once, preallocated for the audio thread.
inline constexpr std::uint32_t kMaxGroups = 4096;

/// Linear gain per output channel for one voice.
using SpeakerGains = std::array<float, kMaxOutputChannels>;

}  // namespace audio
