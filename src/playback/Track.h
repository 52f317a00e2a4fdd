// The "seq" element: children one after another, with overlaps.
#pragma once

#include "playback/Playable.h"

#include <cstdint>

namespace gloam {

/// Plays its children in document order; a child with a positive crossFade or
/// a negative start delay starts that long before the one before it ends.
class Track final : public Playable {
public:
    Track(Runtime& runtime, SettingContainer& parent, tinyxml2::XMLElement& element);

    /// Only the current child's lateness and drift move the sequence's end.
    void childDelayed(Playable& child, std::int32_t ms, const Moment& at) override;
    void childDrifted(Playable& child, std::int64_t milliFrames, const Moment& at) override;
    void childFinished(Playable* child, const Moment& at) override;
    tinyxml2::XMLElement* writeXml(tinyxml2::XMLNode& node) override;
    NodeKind kind() const override { return NodeKind::Sequence; }
    /// The base tick, then the early start of the next child when it is due.
    void tick(const Moment& at) override;
    std::optional<std::int64_t> dueFrame() const override;
    void planContent(PlanBudget& budget) override;
    void playContent(const Moment& at) override;

    /// The child whose turn it is.
    std::uint32_t currentIndex() const { return currentIndex_; }
    /// The child whose turn it is, when there is one.
    Playable* currentChild() const {
        return currentIndex_ < children.size() ? children[currentIndex_].get() : nullptr;
    }

private:
    /// The first child at or after `from` that has content; the child count
    /// when there is none.
    std::uint32_t nextWithContent(std::uint32_t from) const;
    /// When the next child is to start before the current one ends (a
    /// cross-fade or a negative start delay): the output frame from which it
    /// starts, counted back from the frame the current child is planned to
    /// end on. None when the next child waits for the current one's end.
    std::optional<std::int64_t> earlyStart() const;

    std::uint32_t currentIndex_ = 0;
    /// When the current walk through the children began. A walk that has
    /// taken no time when its last child starts does not wrap into the next
    /// walk early: the next would begin at the same moment, and so on
    /// without end.
    std::int64_t walkStartFrame_ = 0;
};

}  // namespace gloam
