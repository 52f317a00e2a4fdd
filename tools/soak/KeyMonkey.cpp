// Random keys for the soak: what to press and when.
#include "KeyMonkey.h"

#include "app/Adventure.h"
#include "app/Chooser.h"
#include "model/Runtime.h"
#include "model/Scene.h"

#include <algorithm>
#include <filesystem>
#include <vector>

namespace gloam::soak {

namespace {

constexpr int keyPrefix = 224;
constexpr int keyLeft = 'K';
constexpr int keyRight = 'M';
constexpr int keyDown = 'P';
constexpr int keyEnter = 13;
constexpr int keyEscape = 27;

}  // namespace

KeyMonkey::KeyMonkey(const platform::Clock& clock, const Runtime& runtime, const Adventure& adventure,
                     std::string adventurePath, std::uint32_t seed, double meanGapMs)
    : clock_(clock), runtime_(runtime), adventure_(adventure), adventurePath_(std::move(adventurePath)),
      random_(seed), meanGapMs_(meanGapMs), nextMs_(clock.nowMs()) {
    planNextTime();
}

void KeyMonkey::planNextTime() {
    if (meanGapMs_ <= 0.0) return;
    std::exponential_distribution<double> gap(1.0 / meanGapMs_);
    // At least one pass apart, so every key meets the player in a new pass.
    nextMs_ += std::max<std::int64_t>(20, static_cast<std::int64_t>(gap(random_)));
}

bool KeyMonkey::keyWaiting() {
    if (!pending_.empty()) return true;
    if (meanGapMs_ <= 0.0 || clock_.nowMs() < nextMs_) return false;
    planNextTime();
    chooseAction();
    return !pending_.empty();
}

int KeyMonkey::readKey() {
    if (pending_.empty()) return keyEscape;
    const int code = pending_.front();
    pending_.pop_front();
    return code;
}

void KeyMonkey::chooseAction() {
    ++keysPressed_;
    std::vector<int> elementKeys;
    if (const Scene* scene = adventure_.current()) {
        for (std::size_t code = 0; code < scene->elementHotkeys.size(); ++code) {
            if (scene->elementForKey(static_cast<unsigned char>(code)) != nullptr) elementKeys.push_back(static_cast<int>(code));
        }
    }
    std::vector<int> sceneKeys;
    for (std::size_t code = 0; code < runtime_.sceneHotkeys.size(); ++code) {
        if (runtime_.sceneHotkeys[code] != nullptr) sceneKeys.push_back(static_cast<int>(code));
    }
    // Element keys most often, as at the table; reloads rarely.
    const int roll = std::uniform_int_distribution<int>(0, 99)(random_);
    auto pick = [this](const std::vector<int>& keys) {
        return keys[std::uniform_int_distribution<std::size_t>(0, keys.size() - 1)(random_)];
    };
    if (roll < 55 && !elementKeys.empty()) {
        pending_.push_back(pick(elementKeys));
    } else if (roll < 70 && !sceneKeys.empty()) {
        pending_.push_back(pick(sceneKeys));
    } else if (roll < 80) {
        pending_.push_back(keyPrefix);
        pending_.push_back(roll < 75 ? keyLeft : keyRight);
    } else if (roll < 97) {
        pending_.push_back(' ');
    } else {
        queueReload();
    }
}

void KeyMonkey::queueReload() {
    // The menu lists the folder in its own order; walk down to our file.
    const std::vector<std::string> files = listAdventureFiles("adventures");
    const auto found = std::find_if(files.begin(), files.end(), [this](const std::string& file) {
        return std::filesystem::path(file).lexically_normal() == std::filesystem::path(adventurePath_).lexically_normal();
    });
    if (found == files.end()) return;
    ++reloads_;
    pending_.push_back('!');
    for (auto step = files.begin(); step != found; ++step) {
        pending_.push_back(keyPrefix);
        pending_.push_back(keyDown);
    }
    pending_.push_back(keyEnter);
}

}  // namespace gloam::soak
