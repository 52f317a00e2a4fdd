// One scene of an adventure: its element tree and its element hotkeys.
#pragma once

#include "model/SettingContainer.h"

#include <array>
#include <cstdint>
#include <optional>

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

    /// Attaches the filters, sets the volume (rising from silence over
    /// fadeIn when it has one) and starts the auto-start elements, all at
    /// `at`. A scene still fading out comes back without a cut instead: its
    /// group turns from where it is back up to its volume (over fadeIn, else
    /// 50 ms), its elements play on, and only auto-start elements that are
    /// not running are started.
    void select(const Moment& at);
    /// Detaches the filters and stops every element at `at`; with fadeOut,
    /// its group first fades to silence over that time while everything in
    /// it plays on, and finishLeaving does the rest when the fade is over.
    void deselect(const Moment& at);
    /// Its own key again: deselect and select; with fadeOut the scene fades
    /// out first and starts afresh when the fade is over. While it is fading
    /// out, it comes back as select does.
    void restart(const Moment& at);
    /// Ends a fade-out that is over by `now` (filters detached, every element
    /// stopped at the fade's end, then the start of a restart).
    void finishLeaving(const Moment& now);
    /// Whether its group is fading out on leaving.
    bool isLeaving() const { return leavingUntil_.hasValue(); }
    /// When the fade-out on leaving ends; unset when not leaving.
    const DueTime& leavingUntil() const { return leavingUntil_; }
    /// Empties this scene's entries in the scene key table, so that a scene
    /// that fades out after its adventure was replaced answers no key.
    void releaseSceneKeys();

    /// The element that answers key code `code`, if any.
    Playable* elementForKey(unsigned char code) const { return elementHotkeys[code]; }

    /// Which element answers which key code.
    std::array<Playable*, 256> elementHotkeys{};

private:
    void assignAutomaticKeys();
    /// Moves the group's volume in a straight line from where it is to
    /// `volume` over `ms`, from `at`.
    void rampGroup(float volume, std::int32_t ms, const Moment& at);
    void stopElements(const Moment& at);

    DueTime leavingUntil_;
    bool restartAfterLeaving_ = false;
};

}  // namespace gloam
