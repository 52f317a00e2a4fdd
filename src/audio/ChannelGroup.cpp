// The group tree: creating, nesting, volumes, stopping and releasing groups.
#include "audio/ChannelGroup.h"

#include "audio/Dsp.h"
#include "audio/SystemImpl.h"

namespace audio {

ChannelGroup::~ChannelGroup() {
    // The master group belongs to the System and goes down with it.
    if (id_ != kMasterGroup && id_ != kNoIndex) system_.impl().releaseGroup(id_);
}

void ChannelGroup::addGroup(ChannelGroup& child) { system_.impl().addGroup(id_, child.id()); }
void ChannelGroup::setVolume(float volume) { system_.impl().setGroupVolume(id_, volume); }

float ChannelGroup::volume() const {
    const System::Impl& impl = system_.impl();
    return impl.groupValid(id_) ? impl.groups[id_].volume : 1.0f;
}

void ChannelGroup::stop() { system_.impl().stopGroup(id_); }
void ChannelGroup::addDsp(Dsp& dsp) { system_.impl().attachDsp(id_, dsp.id()); }

// --- Impl: groups ---------------------------------------------------------

std::unique_ptr<ChannelGroup> System::Impl::createGroup() {
    std::uint32_t index = kNoIndex;
    if (open) {
        for (std::uint32_t i = 1; i < groups.size(); ++i) {
            if (!groups[i].alive) {
                index = i;
                break;
            }
        }
    }
    // Without a free slot the group is inert: every call on it does nothing.
    if (index != kNoIndex) {
        groups[index] = GroupSlot{};
        groups[index].alive = true;
        groups[index].parent = kMasterGroup;
        auto command = MixCommand::to(MixCommand::Kind::CreateGroup, index);
        post(command);
    }
    return std::make_unique<ChannelGroup>(owner, index);
}

bool System::Impl::groupValid(std::uint32_t group) const {
    return open && group < groups.size() && groups[group].alive;
}

bool System::Impl::isWithin(std::uint32_t group, std::uint32_t ancestor) const {
    for (std::uint32_t steps = 0; group != kNoIndex && steps <= kMaxGroups; ++steps) {
        if (group == ancestor) return true;
        group = groups[group].parent;
    }
    return false;
}

void System::Impl::addGroup(std::uint32_t parent, std::uint32_t child) {
    // A group cannot move under itself or its own sub-tree, and the master stays the root.
    if (!groupValid(parent) || !groupValid(child) || child == kMasterGroup || isWithin(parent, child)) return;
    groups[child].parent = parent;
    auto command = MixCommand::to(MixCommand::Kind::SetGroupParent, child);
    command.group = parent;
    post(command);
}

void System::Impl::setGroupVolume(std::uint32_t group, float volume) {
    if (!groupValid(group)) return;
    groups[group].volume = volume;
    auto command = MixCommand::to(MixCommand::Kind::SetGroupVolume, group);
    command.volume = volume;
    post(command);
}

void System::Impl::stopGroup(std::uint32_t group) {
    if (!groupValid(group)) return;
    for (std::uint32_t i = 0; i < voices.size(); ++i) {
        if (voices[i].busy && isWithin(voices[i].group, group)) stopVoice(i);
    }
}

void System::Impl::releaseGroup(std::uint32_t group) {
    if (!groupValid(group) || group == kMasterGroup) return;
    for (std::uint32_t i = 0; i < voices.size(); ++i) {
        if (voices[i].busy && voices[i].group == group) stopVoice(i);
    }
    for (std::uint32_t dsp : groups[group].dsps) dsps[dsp].group = kNoIndex;
    for (GroupSlot& slot : groups) {
        if (slot.alive && slot.parent == group) slot.parent = kNoIndex;
    }
    groups[group] = GroupSlot{};
    // The mixer detaches the DSPs and sub-groups the same way.
    auto command = MixCommand::to(MixCommand::Kind::ReleaseGroup, group);
    post(command);
}

}  // namespace audio
