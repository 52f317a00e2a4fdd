// The "alt" element: one child chosen at random per pass.
#pragma once

#include "playback/Playable.h"

#include <cstdint>

namespace gloam {

/// Each pass plays one child chosen with equal weight; choices are drawn when
/// a run is planned and consumed pass by pass.
class Sample final : public Playable {
public:
    Sample(Runtime& runtime, SettingContainer& parent, tinyxml2::XMLElement& element);

    void childFinished(Playable* child, const Moment& at) override;
    tinyxml2::XMLElement* writeXml(tinyxml2::XMLNode& node) override;
    NodeKind kind() const override { return NodeKind::Alternative; }
    /// The base stop, then the choices drawn ahead are dropped.
    void stop(const Moment& at) override;
    void dropPlans() override;
    void planContent(PlanBudget& budget) override;
    void playContent(const Moment& at) override;

    /// The child chosen for the current pass.
    std::int32_t currentIndex() const { return currentIndex_; }
    const PlanQueue& plannedChoices() const { return plannedChoices_; }

private:
    std::int32_t drawChoice();

    std::int32_t currentIndex_ = 0;
    PlanQueue plannedChoices_;
};

}  // namespace gloam
