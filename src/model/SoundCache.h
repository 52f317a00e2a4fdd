// Every opened sound, shared by mode and file name.
#pragma once

#include <sys/types.h>

#include <compare>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <set>
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

    /// How a file name names its file.
    enum class NameForm {
        Written,  ///< as an adventure spells it: a backslash separates folders
        Literal,  ///< as the folder lists it: every byte is part of the name
    };

    /// The sound for `fileName` (relative to `sounds`) in `mode`; null when it
    /// cannot be opened. A failure is remembered per mode and path until
    /// releaseAll or retireAll: a file that cannot be opened is tried once per
    /// load, not once per element (opening some damaged files costs memory
    /// inside the decoding libraries every time). Two names that lead to the
    /// same path share one sound. With `keepChannels` it is a separate sound
    /// that keeps the file's channels, for elements that spread them.
    audio::Sound* getSound(std::int32_t mode, const std::string& fileName, NameForm form = NameForm::Written,
                           bool keepChannels = false);
    /// Releases every sound; handles given out before are invalid afterwards.
    void releaseAll();
    /// Forgets every sound for new requests but keeps it until
    /// releaseRetired (or releaseAll), so that what still plays it (a scene
    /// fading out after its adventure was replaced) plays on.
    void retireAll();
    /// Releases the sounds retireAll kept.
    void releaseRetired();

    std::size_t size() const;

    /// A file's identity: the same for every path that leads to it (links,
    /// hard links, other spellings).
    struct FileIdentity {
        dev_t device = 0;
        ino_t inode = 0;
        auto operator<=>(const FileIdentity&) const = default;
    };
    /// Every file this cache has opened since it was made, with the path it
    /// was first opened by (relative to the working folder). Kept after
    /// releaseAll(), so that a tool can tell which files a whole run read.
    const std::map<FileIdentity, std::string>& openedFiles() const { return openedFiles_; }

private:
    Opener opener_;
    /// Opens sounds that keep the file's channels; without one (a test's or
    /// the checker's opener) such requests go to opener_.
    Opener channelOpener_;
    /// By mode and whether channels are kept, then by name.
    std::map<std::pair<std::int32_t, bool>, std::map<std::string, std::unique_ptr<audio::Sound>>> sharedSounds_;
    std::vector<std::unique_ptr<audio::Sound>> ownStreams_;
    /// Paths that could not be opened, by mode and whether channels are kept.
    std::map<std::pair<std::int32_t, bool>, std::set<std::string>> failed_;
    std::map<FileIdentity, std::string> openedFiles_;
    std::vector<std::unique_ptr<audio::Sound>> retired_;
};

}  // namespace gloam
