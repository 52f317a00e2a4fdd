// The "sound" element: one sound file per pass.
#pragma once

#include "audio/Channel.h"
#include "playback/Playable.h"

#include <string>

namespace audio {
class Sound;
}

namespace gloam {

/// Plays its sound from the start once per pass on a new channel in its group,
/// at its 3D position, and notices the end by asking the channel each tick.
/// A wildcard in the file's base name expands into one sibling per match.
class Source final : public Playable {
public:
    Source(Runtime& runtime, SettingContainer& parent, tinyxml2::XMLElement& element);
    ~Source() override;

    void childFinished(Playable* child, const Moment& at) override;
    void updateMode() override;
    tinyxml2::XMLElement* writeXml(tinyxml2::XMLNode& node) override;
    NodeKind kind() const override { return NodeKind::Sound; }
    /// The base tick, then the end of the pass, exactly on the frame the
    /// sound ends on.
    void tick(const Moment& at) override;
    /// A pass whose voice the engine took away (or never gave) ends at `at`.
    void lookAtEngine(const Moment& at) override;
    std::optional<std::int64_t> dueFrame() const override;
    void planContent(PlanBudget& budget) override;
    /// Plays the sound from its start, heard from exactly `at.frame`.
    void playContent(const Moment& at) override;

    /// The file named by "src" (after a wildcard expansion, the one matched).
    const std::string& fileName() const { return fileName_; }
    /// Owned by the sound cache; null when the file did not load.
    const audio::Sound* sound() const { return sound_; }
    /// The voice of the current pass; none between passes.
    const audio::Channel& channel() const { return channel_; }
    /// When the current pass began; it ends exactly the sound's length in
    /// frames later.
    const Moment& passStart() const { return passStart_; }

protected:
    bool findContent() const override { return sound_ != nullptr; }
    /// Every pass lasts the sound's length to the frame, which the plan
    /// counts in whole milliseconds.
    std::int64_t knownRunDrift() const override;

private:
    /// The sound of `fileName` in the current mode, from the cache.
    audio::Sound* cachedSound() const;
    /// Looks up "src": one file, or a wildcard to expand.
    void openSound(tinyxml2::XMLElement& element);
    /// One Source per file of the folder matching `pattern`: this one takes the first
    /// match, copies of its element are inserted after it for the rest.
    void expandWildcard(tinyxml2::XMLElement& element, const std::string& directoryPart, const std::string& pattern);
    std::string fileName_;
    audio::Sound* sound_ = nullptr;
    audio::Channel channel_;
    Moment passStart_;

    /// Set when `fileName` is a name a folder listed (a wildcard's match),
    /// which is opened byte for byte, backslashes included.
    bool literalFileName_ = false;
};

/// "*" matches any run of characters, "?" exactly one; all else byte for byte.
bool matchWildcard(const char* pattern, const char* text);

}  // namespace gloam
