// One scene of an adventure: its element tree and its element hotkeys.
#pragma once

#include "model/SettingContainer.h"

#include <array>

namespace gloam {

/// A scene: never plays itself; while selected its group carries its volume
/// and filters, and its auto-start elements run. Main thread only.
class Scene final : public SettingContainer {
public:
    /// Builds the whole element tree and gives keys: explicit ones first come
    /// first served, then automatic ones to top-level elements without a key.
    Scene(Runtime& runtime, tinyxml2::XMLElement& element);
    /// Empties its sceneHotkeys entries, then destroys filters, group, elements.
    ~Scene() override;

    void updateMode() override;
    bool claimHotkey(unsigned char key) override;
    tinyxml2::XMLElement* writeXml(tinyxml2::XMLNode& node) override;
    NodeKind kind() const override { return NodeKind::Scene; }

    /// Attaches the filters, sets the volume and starts the auto-start
    /// elements, all at `at`.
    void select(const Moment& at);
    /// Detaches the filters and stops every element at `at`.
    void deselect(const Moment& at);

    /// The element that answers key code `code`, if any.
    Playable* elementForKey(unsigned char code) const { return elementHotkeys[code]; }

    /// Which element answers which key code.
    std::array<Playable*, 256> elementHotkeys{};

private:
    void assignAutomaticKeys();
};

}  // namespace gloam
