// Opening sounds once per mode and name.
#include "model/SoundCache.h"

#include "audio/Sound.h"
#include "audio/System.h"
#include "model/Settings.h"

#include <sys/stat.h>

#include <algorithm>

namespace gloam {

namespace {

audio::SoundMode engineMode(std::int32_t mode) {
    switch (mode) {
        case preloadMode: return audio::SoundMode::Sample;
        case compressedMode: return audio::SoundMode::CompressedSample;
        default: return audio::SoundMode::Stream;
    }
}

}  // namespace

SoundCache::SoundCache(audio::System& system)
    : opener_([&system](const std::string& path, std::int32_t mode) {
          return system.createSound(path, engineMode(mode));
      }),
      channelOpener_([&system](const std::string& path, std::int32_t mode) {
          return system.createSound(path, engineMode(mode), true);
      }) {}

SoundCache::SoundCache(Opener opener) : opener_(std::move(opener)) {}

SoundCache::~SoundCache() { releaseAll(); }

audio::Sound* SoundCache::getSound(std::int32_t mode, const std::string& fileName, NameForm form, bool keepChannels) {
    // Adventures written on Windows separate folders with backslashes; a name
    // a folder listed may hold one as an ordinary character.
    std::string path = "sounds/" + fileName;
    if (form == NameForm::Written) std::replace(path.begin(), path.end(), '\\', '/');
    auto& byName = sharedSounds_[{mode, keepChannels}];
    if (auto found = byName.find(path); found != byName.end()) return found->second.get();
    std::set<std::string>& failed = failed_[{mode, keepChannels}];
    if (failed.count(path) > 0) return nullptr;

    std::unique_ptr<audio::Sound> sound =
        keepChannels && channelOpener_ ? channelOpener_(path, mode) : opener_(path, mode);
    if (!sound) {
        failed.insert(path);
        return nullptr;
    }
    struct stat info {};
    if (::stat(path.c_str(), &info) == 0) openedFiles_.try_emplace(FileIdentity{info.st_dev, info.st_ino}, path);

    audio::Sound* handle = sound.get();
    if (mode == ownStreamMode) {
        ownStreams_.push_back(std::move(sound));
    } else {
        byName.emplace(path, std::move(sound));
    }
    return handle;
}

void SoundCache::retireAll() {
    for (auto& [mode, byName] : sharedSounds_) {
        for (auto& [name, sound] : byName) retired_.push_back(std::move(sound));
    }
    for (auto& sound : ownStreams_) retired_.push_back(std::move(sound));
    sharedSounds_.clear();
    ownStreams_.clear();
    failed_.clear();
}

void SoundCache::releaseRetired() { retired_.clear(); }

void SoundCache::releaseAll() {
    releaseRetired();
    for (auto& [mode, byName] : sharedSounds_) {
        for (auto& [name, sound] : byName) sound.reset();
    }
    for (auto& sound : ownStreams_) sound.reset();
    sharedSounds_.clear();
    ownStreams_.clear();
    failed_.clear();
}

std::size_t SoundCache::size() const {
    std::size_t count = ownStreams_.size();
    for (const auto& [mode, byName] : sharedSounds_) count += byName.size();
    return count;
}

}  // namespace gloam
