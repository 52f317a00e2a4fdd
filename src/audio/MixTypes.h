// Limits and small value types shared by the mixer and the engine's object model.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <limits>

namespace audio {

/// The mixer renders in blocks of at most this many frames; DSPs never see a
/// longer block. Commands that carry no frame take effect at a block's start.
inline constexpr std::size_t kMaxBlockFrames = 512;
/// Up to 7.1 output.
inline constexpr int kMaxOutputChannels = 8;
inline constexpr std::uint32_t kNoIndex = 0xffffffffu;
inline constexpr std::uint32_t kMasterGroup = 0;
/// Effects one group can run at once; further ones are not attached.
inline constexpr int kMaxDspsPerGroup = 16;

/// Groups live in chunks of this many. The table of chunks has a fixed size,
/// so a new chunk is made on the main thread and only its address is handed
/// to the mixer: the table grows without the mixer allocating or copying.
inline constexpr std::uint32_t kGroupChunkSize = 1024;
inline constexpr std::uint32_t kMaxGroupChunks = 16384;  ///< 16 777 216 groups
/// Mix buffers, one per level of the group tree, are handed over the same way
/// as the tree gets deeper.
inline constexpr std::uint32_t kMaxMixLevels = 4096;
/// Levels the mixer has from the start.
inline constexpr std::uint32_t kInitialMixLevels = 16;

/// Output frames are counted from 0, the first frame the engine mixes. A frame
/// number that has already been mixed means "as soon as possible": the change
/// is made at the start of the next block.
inline constexpr std::int64_t kAtOnce = 0;
inline constexpr std::int64_t kNeverFrame = std::numeric_limits<std::int64_t>::max();
/// Volume changes a group can hold ahead of time; a planned envelope needs
/// a handful.
inline constexpr int kMaxVolumeSegments = 16;

/// The most channels a sound keeps when it is played spread (a file with more
/// is mixed down to mono).
inline constexpr int kMaxSoundChannels = 8;

/// Linear gain per output channel for one voice.
using SpeakerGains = std::array<float, kMaxOutputChannels>;

}  // namespace audio
