// The group tree: creating, nesting, volumes, stopping and releasing groups.
#include "audio/ChannelGroup.h"

#include "audio/Dsp.h"
#include "audio/SystemImpl.h"

#include <algorithm>
#include <vector>

namespace audio {

ChannelGroup::~ChannelGroup() {
    // The master group belongs to the System and goes down with it.
    if (id_ != kMasterGroup && id_ != kNoIndex) system_.impl().releaseGroup(id_);
}

void ChannelGroup::addGroup(ChannelGroup& child) { system_.impl().addGroup(id_, child.id()); }
void ChannelGroup::setVolume(float volume) { system_.impl().setGroupVolume(id_, volume); }

void ChannelGroup::rampVolume(float volume, std::int64_t startFrame, std::int64_t endFrame) {
    system_.impl().rampGroupVolume(id_, volume, startFrame, endFrame);
}

void ChannelGroup::cancelVolumeRamps(std::int64_t fromFrame) { system_.impl().cancelGroupVolumes(id_, fromFrame); }

float ChannelGroup::volume() const {
    System::Impl& impl = system_.impl();
    return impl.groupValid(id_) ? impl.groupVolumeNow(id_) : 1.0f;
}

void ChannelGroup::stop(std::int64_t atFrame) { system_.impl().stopGroup(id_, atFrame); }
void ChannelGroup::addDsp(Dsp& dsp) { system_.impl().attachDsp(id_, dsp.id()); }

// --- Impl: groups ---------------------------------------------------------

std::unique_ptr<ChannelGroup> System::Impl::createGroup() {
    std::uint32_t index = kNoIndex;
    if (open) {
        if (freeGroups != kNoIndex) {
            index = freeGroups;
            freeGroups = groups[index].nextFree;
        } else if (groups.size() < static_cast<std::size_t>(kMaxGroupChunks) * kGroupChunkSize) {
            index = static_cast<std::uint32_t>(groups.size());
            groups.emplace_back();
        }
    }
    // Only past sixteen million groups is one inert: every call on it does nothing.
    if (index != kNoIndex) {
        // The mixer's table grows a chunk at a time, made here.
        while (index / kGroupChunkSize >= groupChunksGiven) post(mixer->groupChunkCommand(groupChunksGiven++));
        groups[index] = GroupSlot{};
        groups[index].alive = true;
        groups[index].volumeFrame = framesMixed();
        linkChild(kMasterGroup, index);
        groups[index].depth = 1;
        ensureMixLevels(1);
        post(MixCommand::to(MixCommand::Kind::CreateGroup, index));
    }
    return std::make_unique<ChannelGroup>(owner, index);
}

bool System::Impl::groupValid(std::uint32_t group) const {
    return open && group < groups.size() && groups[group].alive;
}

bool System::Impl::isWithin(std::uint32_t group, std::uint32_t ancestor) const {
    // The tree has no cycles (addGroup refuses them), so the walk ends.
    while (group != kNoIndex && group < groups.size()) {
        if (group == ancestor) return true;
        group = groups[group].parent;
    }
    return false;
}

void System::Impl::ensureMixLevels(std::uint32_t depth) {
    while (mixLevelsGiven <= depth && mixLevelsGiven < kMaxMixLevels) post(mixer->mixLevelCommand(mixLevelsGiven++));
}

void System::Impl::linkChild(std::uint32_t parent, std::uint32_t child) {
    GroupSlot& slot = groups[child];
    slot.parent = parent;
    slot.previousSibling = kNoIndex;
    slot.nextSibling = groups[parent].firstChild;
    if (slot.nextSibling != kNoIndex) groups[slot.nextSibling].previousSibling = child;
    groups[parent].firstChild = child;
}

void System::Impl::unlinkChild(std::uint32_t child) {
    GroupSlot& slot = groups[child];
    if (slot.parent == kNoIndex) return;
    if (slot.previousSibling != kNoIndex) {
        groups[slot.previousSibling].nextSibling = slot.nextSibling;
    } else {
        groups[slot.parent].firstChild = slot.nextSibling;
    }
    if (slot.nextSibling != kNoIndex) groups[slot.nextSibling].previousSibling = slot.previousSibling;
    slot.parent = kNoIndex;
    slot.nextSibling = kNoIndex;
    slot.previousSibling = kNoIndex;
}

std::uint32_t System::Impl::updateDepths(std::uint32_t group) {
    // Iterative, so a deep tree cannot exhaust the stack.
    std::uint32_t deepest = groups[group].depth;
    std::vector<std::uint32_t> pending{group};
    while (!pending.empty()) {
        const std::uint32_t at = pending.back();
        pending.pop_back();
        for (std::uint32_t child = groups[at].firstChild; child != kNoIndex; child = groups[child].nextSibling) {
            groups[child].depth = groups[at].depth + 1;
            deepest = std::max(deepest, groups[child].depth);
            pending.push_back(child);
        }
    }
    return deepest;
}

void System::Impl::addGroup(std::uint32_t parent, std::uint32_t child) {
    // A group cannot move under itself or its own sub-tree, and the master stays the root.
    if (!groupValid(parent) || !groupValid(child) || child == kMasterGroup || isWithin(parent, child)) return;
    unlinkChild(child);
    linkChild(parent, child);
    groups[child].depth = groups[parent].depth + 1;
    // The mixer needs a buffer for every level before it meets the new depth.
    ensureMixLevels(updateDepths(child));
    auto command = MixCommand::to(MixCommand::Kind::SetGroupParent, child);
    command.group = parent;
    post(command);
}

float System::Impl::groupVolumeNow(std::uint32_t group) {
    GroupSlot& slot = groups[group];
    const std::int64_t mixed = framesMixed();
    if (slot.volumeFrame < mixed) {
        slot.volume.advance(slot.volumeFrame, mixed, nullptr);
        slot.volumeFrame = mixed;
    }
    if (slot.volume.steadyUntil(mixed + 1)) return slot.volume.gain();
    // The gain of the next frame to be mixed, which a change due on it sets.
    VolumeAutomation next = slot.volume;
    float gain = 0.0f;
    next.advance(mixed, mixed + 1, &gain);
    return gain;
}

void System::Impl::setGroupVolume(std::uint32_t group, float volume) {
    if (!groupValid(group)) return;
    groupVolumeNow(group);
    groups[group].volume.set(volume);
    auto command = MixCommand::to(MixCommand::Kind::SetGroupVolume, group);
    command.volume = volume;
    post(command);
}

void System::Impl::rampGroupVolume(std::uint32_t group, float volume, std::int64_t startFrame, std::int64_t endFrame) {
    if (!groupValid(group)) return;
    groupVolumeNow(group);
    groups[group].volume.schedule({startFrame, endFrame, volume});
    auto command = MixCommand::to(MixCommand::Kind::RampGroupVolume, group);
    command.volume = volume;
    command.atFrame = startFrame;
    command.endFrame = endFrame;
    post(command);
}

void System::Impl::cancelGroupVolumes(std::uint32_t group, std::int64_t fromFrame) {
    if (!groupValid(group)) return;
    groupVolumeNow(group);
    groups[group].volume.cancelFrom(fromFrame);
    auto command = MixCommand::to(MixCommand::Kind::CancelGroupVolumes, group);
    command.atFrame = fromFrame;
    post(command);
}

void System::Impl::stopGroup(std::uint32_t group, std::int64_t atFrame) {
    if (!groupValid(group)) return;
    for (std::uint32_t i = 0; i < voices.size(); ++i) {
        if (voices[i].busy && isWithin(voices[i].group, group)) stopVoice(i, atFrame);
    }
}

void System::Impl::releaseGroup(std::uint32_t group) {
    if (!groupValid(group) || group == kMasterGroup) return;
    for (std::uint32_t i = 0; i < voices.size(); ++i) {
        if (voices[i].busy && voices[i].group == group) stopVoice(i);
    }
    for (std::uint32_t dsp : groups[group].dsps) dsps[dsp].group = kNoIndex;
    while (groups[group].firstChild != kNoIndex) unlinkChild(groups[group].firstChild);
    unlinkChild(group);
    groups[group] = GroupSlot{};
    groups[group].nextFree = freeGroups;
    freeGroups = group;
    // The mixer detaches the DSPs and sub-groups the same way.
    post(MixCommand::to(MixCommand::Kind::ReleaseGroup, group));
}

}  // namespace audio
