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

    void childDelayed(Playable& child, std::int32_t ms) override;
    void childFinished(Playable* child) override;
    tinyxml2::XMLElement* writeXml(tinyxml2::XMLNode& node) override;
    void tick() override;
    std::optional<std::int64_t> dueFrame() const override;
    void planContent(PlanBudget& budget) override;
    void playContent() override;

    /// The child whose turn it is.
    std::uint32_t currentIndex = 0;

private:
    /// The first child at or after `from` that has content; the child count
    /// when there is none.
    std::uint32_t nextWithContent(std::uint32_t from) const;
    /// When the next child is to start before the current one ends (a
    /// cross-fade or a negative start delay): the program time from which it
    /// starts. None when the next child waits for the current one's end.
    std::optional<std::int32_t> earlyStart() const;

    /// When the current walk through the children began. A walk that has
    /// taken no time when its last child starts does not wrap into the next
    /// walk early: the next would begin at the same moment, and so on
    /// without end.
    std::int32_t walkStart_ = 0;
};

}  // namespace gloam
