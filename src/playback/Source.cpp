// The "sound" element: playing one file per pass, and wildcard expansion.
#include "playback/Source.h"

#include "audio/ChannelGroup.h"
#include "audio/Sound.h"
#include "audio/System.h"
#include "model/Diagnostics.h"
#include "model/Runtime.h"

#include <tinyxml2.h>

#include <algorithm>
#include <cstring>
#include <filesystem>

namespace gloam {

namespace fs = std::filesystem;

namespace {

/// Marks the XML elements that a wildcard expansion made.
char expansionCopy = 0;

/// A file name without its last extension ("a.b.ogg" gives "a.b").
std::string baseName(const std::string& fileName) {
    const auto dot = fileName.rfind('.');
    return dot == std::string::npos ? fileName : fileName.substr(0, dot);
}

}  // namespace

bool matchWildcard(const char* pattern, const char* text) {
    // Walk both strings, remembering the last '*' so a mismatch can retry
    // with the star swallowing one more character.
    while (*text != '\0' && *pattern != '*') {
        if (*pattern != *text && *pattern != '?') return false;
        ++pattern;
        ++text;
    }
    const char* starPattern = nullptr;
    const char* starText = nullptr;
    while (*text != '\0') {
        if (*pattern == '*') {
            ++pattern;
            if (*pattern == '\0') return true;
            starPattern = pattern;
            starText = text + 1;
        } else if (*pattern == *text || *pattern == '?') {
            ++pattern;
            ++text;
        } else {
            if (starPattern == nullptr) return false;
            pattern = starPattern;
            text = starText++;
        }
    }
    while (*pattern == '*') ++pattern;
    return *pattern == '\0';
}

Source::Source(Runtime& runtimeValues, SettingContainer& parentNode, tinyxml2::XMLElement& element)
    : Playable(runtimeValues, parentNode, element) {
    openSound(element);
}

void Source::openSound(tinyxml2::XMLElement& element) {
    const char* src = element.Attribute("src");
    if (runtime.diagnostics != nullptr) runtime.diagnostics->settingRead(element, "src", ValueKind::Path, 0);
    if (src == nullptr) return;
    fileName_ = src;

    std::string path = src;
    std::replace(path.begin(), path.end(), '\\', '/');
    const auto slash = path.rfind('/');
    const std::string last = slash == std::string::npos ? path : path.substr(slash + 1);
    const std::string pattern = baseName(last);
    // A copy made by an expansion names one file, whatever characters its
    // name holds; expanding it again would never end.
    if (pattern.find_first_of("*?") == std::string::npos || element.GetUserData() == &expansionCopy) {
        literalFileName_ = element.GetUserData() == &expansionCopy;
        sound_ = cachedSound();
        if (runtime.diagnostics != nullptr) runtime.diagnostics->soundOpened(element, fileName_, sound_ != nullptr);
        return;
    }
    expandWildcard(element, slash == std::string::npos ? std::string() : path.substr(0, slash), pattern);
}

Source::~Source() = default;

audio::Sound* Source::cachedSound() const {
    return runtime.soundCache.getSound(effectiveMode, fileName_,
                                       literalFileName_ ? SoundCache::NameForm::Literal : SoundCache::NameForm::Written,
                                       wantsSpread());
}

void Source::expandWildcard(tinyxml2::XMLElement& element, const std::string& directoryPart,
                            const std::string& pattern) {
    const fs::path directory = directoryPart.empty() ? fs::path("sounds") : fs::path("sounds/" + directoryPart);
    // A folder that is missing or cannot be listed (no permission, a link
    // loop, a file in its place) matches nothing; the listing stops at the
    // first error.
    std::error_code error;
    bool first = true;
    const std::string patternName = name;
    for (fs::directory_iterator entry(directory, error), end; !error && entry != end; entry.increment(error)) {
        std::error_code typeError;
        if (entry->is_directory(typeError)) continue;
        const std::string entryName = entry->path().filename().string();
        if (!matchWildcard(pattern.c_str(), entryName.c_str())) continue;
        const std::string relative = directoryPart.empty() ? entryName : directoryPart + "/" + entryName;
        const std::string matchedBase = baseName(entryName);

        if (first) {
            first = false;
            name = patternName + matchedBase;
            fileName_ = relative;
            literalFileName_ = true;
            sound_ = cachedSound();
            if (runtime.diagnostics != nullptr) runtime.diagnostics->soundOpened(element, relative, sound_ != nullptr);
            continue;
        }
        // Every further match becomes a sibling right after this element, so
        // the copies stand in reverse order of discovery.
        tinyxml2::XMLElement* copy = element.GetDocument()->NewElement("sound");
        copy->SetUserData(&expansionCopy);
        copy->SetAttribute("name", matchedBase.c_str());
        copy->SetAttribute("src", relative.c_str());
        for (const tinyxml2::XMLAttribute* attribute = element.FirstAttribute(); attribute != nullptr;
             attribute = attribute->Next()) {
            if (std::strcmp(attribute->Name(), "src") == 0) continue;
            if (std::strcmp(attribute->Name(), "name") == 0) {
                copy->SetAttribute("name", (std::string(attribute->Value()) + matchedBase).c_str());
            } else {
                copy->SetAttribute(attribute->Name(), attribute->Value());
            }
        }
        element.Parent()->InsertAfterChild(&element, copy);
        if (runtime.diagnostics != nullptr) runtime.diagnostics->wildcardCopied(element, *copy);
    }
    if (runtime.diagnostics != nullptr) runtime.diagnostics->wildcardExpanded(element, directory.string());
}

void Source::updateMode() {
    const std::int32_t previous = effectiveMode;
    Playable::updateMode();
    if (effectiveMode != previous && !fileName_.empty() && sound_ != nullptr) {
        sound_ = cachedSound();
        forgetContent();
    }
}

tinyxml2::XMLElement* Source::writeXml(tinyxml2::XMLNode& node) {
    tinyxml2::XMLElement* element = node.GetDocument()->NewElement("sound");
    node.InsertEndChild(element);
    if (!fileName_.empty()) {
        std::replace(fileName_.begin(), fileName_.end(), '\\', '/');
        element->SetAttribute("src", fileName_.c_str());
    }
    return element;
}

void Source::planContent(PlanBudget&) {
    if (plannedDurations_.back() == -1) return;
    const auto length = static_cast<std::int32_t>(sound_->lengthMs());
    plannedDurations_.back() = wrapAdd(plannedDurations_.back(), wrapMul(wrapAdd(settings.loopCount, 1), length));
}

std::int64_t Source::knownRunDrift() const {
    if (settings.loopCount < 0) return 0;
    const std::int64_t perPass = driftOf(sound_->lengthFrames(), static_cast<std::int32_t>(sound_->lengthMs()));
    return perPass * (std::int64_t{settings.loopCount} + 1);
}

void Source::playContent(const Moment& at) {
    if (sound_ == nullptr) return;
    passStart_ = at;
    // Heard from exactly this frame: a pass that follows another begins on
    // the frame the other ends, so loops and sequences join without a gap.
    audio::System::PlayRequest request;
    request.group = channelGroup.get();
    request.position = {effectivePositionX(), 0.0f, effectivePositionY()};
    request.startFrame = at.frame;
    request.spreadDeg = effectiveSpread();
    channel_ = runtime.audio.playSoundAt(*sound_, request);
}

std::optional<std::int64_t> Source::dueFrame() const {
    std::optional<std::int64_t> due = Playable::dueFrame();
    if (state() == State::Playing && channel_) {
        const std::int64_t passEnd = passStart_.frame + sound_->lengthFrames();
        if (!due || passEnd < *due) due = passEnd;
    }
    return due;
}

void Source::tick(const Moment& at) {
    Playable::tick(at);
    if (state() != State::Playing || !channel_) return;
    const std::int64_t passEnd = passStart_.frame + sound_->lengthFrames();
    if (passEnd > at.frame) return;
    // The pass is over on its frame; only one handled after it is late.
    if (at.frame > passEnd) {
        const std::int32_t length = static_cast<std::int32_t>(sound_->lengthMs());
        extendPlan(wrapSub(wrapSub(at.ms, passStart_.ms), length), at);
    }
    childFinished(nullptr, at);
}

void Source::lookAtEngine(const Moment& at) {
    if (state() != State::Playing) return;
    const auto length = static_cast<std::int32_t>(sound_->lengthMs());
    if (!channel_) {
        // A play that got no channel (engine closed, file gone) ends like a
        // sound that was over at once, but not before the clock has moved
        // on, so an endless one takes a pass per pass of the loop rather than
        // spinning.
        if (at.ms == passStart_.ms) return;
    } else if (passStart_.frame + sound_->lengthFrames() <= at.frame || channel_.isPlaying()) {
        return;  // its end is a planned moment, or it still sounds
    }
    // The engine gave the voice to another sound: the pass ends now.
    extendPlan(wrapSub(wrapSub(at.ms, passStart_.ms), length), at);
    childFinished(nullptr, at);
}

void Source::childFinished(Playable* child, const Moment& at) {
    // Only the end of our own pass counts; elements nested in a sound are
    // never part of its passes.
    if (child != nullptr) return;
    channel_ = audio::Channel();
    loopEnded(at);
}

}  // namespace gloam
