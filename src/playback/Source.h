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

    void childFinished(Playable* child) override;
    void updateMode() override;
    tinyxml2::XMLElement* writeXml(tinyxml2::XMLNode& node) override;
    void tick() override;
    std::optional<std::int64_t> dueFrame() const override;
    void planContent(PlanBudget& budget) override;
    void playContent() override;

    std::string fileName;
    audio::Sound* sound = nullptr;  ///< owned by the sound cache
    audio::Channel channel;
    std::int32_t playStart = 0;
    /// The output frame the current pass began on; it ends exactly the
    /// sound's length in frames later.
    std::int64_t playStartFrame = 0;

protected:
    bool findContent() const override { return sound != nullptr; }

private:
    /// The sound of `fileName` in the current mode, from the cache.
    audio::Sound* cachedSound() const;
    /// Looks up "src": one file, or a wildcard to expand.
    void openSound(tinyxml2::XMLElement& element);
    /// One Source per file of the folder matching `pattern`: this one takes the first
    /// match, copies of its element are inserted after it for the rest.
    void expandWildcard(tinyxml2::XMLElement& element, const std::string& directoryPart, const std::string& pattern);

    /// Set when `fileName` is a name a folder listed (a wildcard's match),
    /// which is opened byte for byte, backslashes included.
    bool literalFileName_ = false;
};

/// "*" matches any run of characters, "?" exactly one; all else byte for byte.
bool matchWildcard(const char* pattern, const char* text);

}  // namespace gloam
