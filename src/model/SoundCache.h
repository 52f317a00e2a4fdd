// Every opened sound, shared by mode and file name.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace audio {
class Sound;
class System;
}  // namespace audio

namespace gloam {

/// Opens each file under `sounds` once per mode and shares it; "ownStream"
/// requests get a stream each. Owns every sound it hands out. Main thread only.
class SoundCache {
public:
    /// How a sound is opened: path and mode value; null on failure.
    using Opener = std::function<std::unique_ptr<audio::Sound>(const std::string& path, std::int32_t mode)>;

    explicit SoundCache(audio::System& system);
    /// For tests: open through `opener` instead of the engine.
    explicit SoundCache(Opener opener);
    ~SoundCache();

    /// The sound for `fileName` (relative to `sounds`) in `mode`; null when it
    /// cannot be opened (nothing is remembered, so a later request tries again).
    /// With `keepChannels` it is a separate sound that keeps the file's
    /// channels, for elements that spread them.
    audio::Sound* getSound(std::int32_t mode, const std::string& fileName, bool keepChannels = false);
    /// Releases every sound; handles given out before are invalid afterwards.
    void releaseAll();
    /// Forgets every sound for new requests but keeps it until
    /// releaseRetired (or releaseAll), so that what still plays it (a scene
    /// fading out after its adventure was replaced) plays on.
    void retireAll();
    /// Releases the sounds retireAll kept.
    void releaseRetired();

    std::size_t size() const;

private:
    Opener opener_;
    /// Opens sounds that keep the file's channels; without one (a test's or
    /// the checker's opener) such requests go to opener_.
    Opener channelOpener_;
    /// By mode and whether channels are kept, then by name.
    std::map<std::pair<std::int32_t, bool>, std::map<std::string, std::unique_ptr<audio::Sound>>> sharedSounds_;
    std::vector<std::unique_ptr<audio::Sound>> ownStreams_;
    std::vector<std::unique_ptr<audio::Sound>> retired_;
};

}  // namespace gloam
