// A bus in the mixing tree.
#pragma once

#include "audio/MixTypes.h"

#include <cstdint>

namespace audio {

class Dsp;
class System;

/// A bus: mixes its channels and sub-groups, scales the mix by its volume
/// (applied to the input, before its DSPs) and runs its DSPs in the order they
/// were added. Heard level is the product of all volumes up the tree.
/// Main thread only. Destroying a group stops every channel in it, detaches
/// its DSPs and its sub-groups (which fall silent until re-parented or
/// destroyed). Frames are output frames of the System (see System::framesMixed).
class ChannelGroup {
public:
    ChannelGroup(System& system, std::uint32_t id) : system_(system), id_(id) {}
    ~ChannelGroup();
    ChannelGroup(const ChannelGroup&) = delete;
    ChannelGroup& operator=(const ChannelGroup&) = delete;

    /// Makes `child` a sub-group of this group (moving it from its old parent).
    void addGroup(ChannelGroup& child);
    /// Linear gain; 1 leaves the level unchanged. Takes effect from the next
    /// mixed block (spread over that block while the group sounds, so it does
    /// not click) and withdraws every scheduled change.
    void setVolume(float volume);
    /// From `startFrame` the gain moves in a straight line from what it is
    /// then to `volume`, which it reaches at `endFrame` and keeps (a step when
    /// the two are equal). Changes are kept in order of their start; each one
    /// takes over from the one before when it starts. At most a handful can be
    /// waiting at a time. A start already mixed means at once, from the gain
    /// of that moment, still ending at `endFrame`.
    void rampVolume(float volume, std::int64_t startFrame, std::int64_t endFrame);
    /// Withdraws the scheduled changes that would start at or after `fromFrame`.
    void cancelVolumeRamps(std::int64_t fromFrame);
    /// The gain at the next frame to be mixed: what setVolume and the ramps
    /// scheduled so far make it there.
    float volume() const;
    /// Every channel in this group and in its sub-groups falls silent from
    /// `atFrame` (at once by default); channels due to start at or after it
    /// never sound.
    void stop(std::int64_t atFrame = kAtOnce);
    /// Appends `dsp` to this group's chain (moving it from any other group).
    void addDsp(Dsp& dsp);

    std::uint32_t id() const { return id_; }

private:
    System& system_;
    std::uint32_t id_;
};

}  // namespace audio
