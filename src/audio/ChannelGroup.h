// A bus in the mixing tree.
#pragma once

#include <cstdint>

namespace audio {

class Dsp;
class System;

/// A bus: mixes its channels and sub-groups, scales the mix by its volume
/// (applied to the input, before its DSPs) and runs its DSPs in the order they
/// were added. Heard level is the product of all volumes up the tree.
/// Main thread only. Destroying a group stops every channel in it, detaches
/// its DSPs and its sub-groups (which fall silent until re-parented or
/// destroyed).
class ChannelGroup {
public:
    ChannelGroup(System& system, std::uint32_t id) : system_(system), id_(id) {}
    ~ChannelGroup();
    ChannelGroup(const ChannelGroup&) = delete;
    ChannelGroup& operator=(const ChannelGroup&) = delete;

    /// Makes `child` a sub-group of this group (moving it from its old parent).
    void addGroup(ChannelGroup& child);
    /// Linear gain; 1 leaves the level unchanged.
    void setVolume(float volume);
    float volume() const;
    /// Stops at once every channel in this group and in its sub-groups.
    void stop();
    /// Appends `dsp` to this group's chain (moving it from any other group).
    void addDsp(Dsp& dsp);

    std::uint32_t id() const { return id_; }

private:
    System& system_;
    std::uint32_t id_;
};

}  // namespace audio
