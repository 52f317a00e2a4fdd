// The "alt" element: one child chosen at random per pass.
#pragma once

#include "playback/Playable.h"

#include <cstdint>
#include <deque>

namespace gloam {

/// Each pass plays one child chosen with equal weight; choices are drawn when
/// a run is planned and consumed pass by pass.
class Sample final : public Playable {
public:
    Sample(Runtime& runtime, SettingContainer& parent, tinyxml2::XMLElement& element);

    void childFinished(Playable* child) override;
    tinyxml2::XMLElement* writeXml(tinyxml2::XMLNode& node) override;
    void stop() override;
    void planContent(PlanBudget& budget) override;
    void playContent() override;

    std::int32_t currentIndex = 0;
    std::deque<std::int32_t> plannedChoices;

private:
    std::int32_t drawChoice();
};

}  // namespace gloam
