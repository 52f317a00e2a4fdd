// The "par" element: all children at once.
#pragma once

#include "playback/Playable.h"

#include <cstddef>

namespace gloam {

/// Starts every child at the start of a pass; the pass ends when none is
/// playing or waiting any more.
class Event final : public Playable {
public:
    Event(Runtime& runtime, SettingContainer& parent, tinyxml2::XMLElement& element);

    void childDelayed(Playable& child, std::int32_t ms, const Moment& at) override;
    /// The group's end moves when a child now ends after it.
    void childDrifted(Playable& child, std::int64_t milliFrames, const Moment& at) override;
    void childFinished(Playable* child, const Moment& at) override;
    tinyxml2::XMLElement* writeXml(tinyxml2::XMLNode& node) override;
    NodeKind kind() const override { return NodeKind::Parallel; }
    void planContent(PlanBudget& budget) override;
    void playContent(const Moment& at) override;

private:
    bool anyChildRunning();

    /// Children before this one have ended in the current pass.
    std::size_t runningHint_ = 0;
};

}  // namespace gloam
