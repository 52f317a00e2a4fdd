// Judging the tree loading built: keys, the kinds of parents, planned runs.
#include "AdventureChecker.h"

#include "Suggest.h"
#include "Wording.h"
#include "app/Adventure.h"
#include "audio/Sound.h"
#include "model/Runtime.h"
#include "model/Scene.h"
#include "playback/Playable.h"
#include "playback/Source.h"
#include "playback/Track.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

namespace gloam::check {

namespace fs = std::filesystem;

namespace {

/// At most this many files are named when a list is shown.
constexpr std::size_t listedFiles = 8;

/// A key as the author wrote it, or as a code when it is no visible character.
std::string keyName(unsigned char code, const std::string& text) {
    if (code >= 0x80 && !text.empty() && static_cast<unsigned char>(text[0]) == code &&
        utf8Length(code) <= text.size()) {
        return inQuotes(text.substr(0, utf8Length(code)));
    }
    if (code == ' ') return "' ' (Space)";
    char buffer[16];
    if (code > ' ' && code < 0x7F) {
        std::snprintf(buffer, sizeof buffer, "'%c'", code);
    } else if (code < 0x80) {
        std::snprintf(buffer, sizeof buffer, "U+%04X", code);
    } else {
        std::snprintf(buffer, sizeof buffer, "byte 0x%02X", code);
    }
    return buffer;
}

/// Why a key code never reaches a scene or element: the main loop takes it
/// first, or the terminal never sends it.
const char* unreachableBecause(unsigned char code) {
    switch (code) {
        case 0:
        case 224: return "its code starts the code of a cursor key";
        case '\n': return "a line feed arrives as Enter";
        case 27: return "Escape quits the player";
        case ' ': return "Space fades out the current items of the scene's sequences";
        case '!': return "'!' opens the adventure menu";
        default: return nullptr;
    }
}

/// "a, b and 3 more".
std::string listed(const std::vector<std::string>& names) {
    std::string text;
    for (std::size_t i = 0; i < names.size() && i < listedFiles; ++i) text += (i > 0 ? ", " : "") + names[i];
    if (names.size() > listedFiles) text += " and " + std::to_string(names.size() - listedFiles) + " more";
    return text;
}

}  // namespace

void AdventureChecker::judge(const Adventure& adventure) {
    if (!rejected_) judgeXmlText();
    // An element whose construction began and never ended: the load stopped there.
    for (auto started = started_.rbegin(); started != started_.rend(); ++started) {
        if (started->built) continue;
        std::string reason = "something in it could not be read";
        if (started->src.find_first_of("*?") != std::string::npos) {
            std::string path = started->src;
            std::replace(path.begin(), path.end(), '\\', '/');
            const auto slash = path.rfind('/');
            const std::string folder = slash == std::string::npos ? "sounds" : "sounds/" + path.substr(0, slash);
            std::error_code error;
            fs::directory_iterator probe(folder, error);
            reason = "the folder " + folder + "/ cannot be listed" + (error ? " (" + error.message() + ")" : "");
        }
        add(started->at, Severity::Error, "load-stopped",
            reason + ": the player stops loading here, and this element and everything after it are missing");
        break;
    }

    for (const UnknownAttribute& unknown : unknownAttributes_) {
        if (vocabulary_.count(unknown.name) != 0) {
            add(unknown.at, Severity::Warning, "unknown-attribute",
                inQuotes(unknown.name) + " is not read on " + withArticle(unknown.elementName) + " and is ignored");
            continue;
        }
        std::optional<std::string> suggestion = closestName(unknown.name, unknown.read);
        if (!suggestion) suggestion = closestName(unknown.name, {vocabulary_.begin(), vocabulary_.end()});
        add(unknown.at, Severity::Warning, "unknown-attribute",
            "unknown attribute " + inQuotes(unknown.name) + " is ignored" + didYouMean(suggestion));
    }

    for (const auto& scene : adventure.scenes) judgeScene(*scene);
}

void AdventureChecker::judgeScene(const Scene& scene) {
    const auto found = nodes_.find(&scene);
    if (found == nodes_.end()) return;
    const NodeInfo& info = found->second;
    const auto code = static_cast<unsigned char>(scene.settings.key);
    if (code != 0) {
        const std::string key = keyName(code, info.keyText);
        const Scene* holder = runtime_.sceneHotkeys[code];
        if (holder != nullptr && holder != &scene) {
            add(attributeAt(info, "key"), Severity::Note, "scene-key-taken",
                "key " + key + " already belongs to the scene " + describe(*holder) +
                    ": this scene is reached only with the cursor keys");
        } else if (const char* why = unreachableBecause(code)) {
            add(attributeAt(info, "key"), Severity::Note, "key-unreachable",
                "key " + key + " never reaches this scene: " + why);
        }
    }

    std::vector<const Playable*> keyless;
    for (const auto& child : scene.children) judgeElement(scene, *child, true, keyless);
    if (!keyless.empty()) {
        const std::size_t more = keyless.size() - 1;
        add(nodes_.at(keyless.front()).at, Severity::Note, "no-automatic-key",
            std::string("no key is left for this ") + (more > 0 ? "and " + std::to_string(more) + " more " : "") +
                "top-level element" + (more > 0 ? "s" : "") +
                ": the 62 automatic keys are used up; they start only through 'autoStart'");
    }
}

void AdventureChecker::judgeKey(const Scene& scene, const Playable& element, const NodeInfo& info) {
    const auto code = static_cast<unsigned char>(element.settings.key);
    const bool written = info.attributes.count("key") != 0 && !info.keyText.empty();
    const Position at = written ? attributeAt(info, "key") : info.at;
    const std::string key = keyName(code, info.keyText);
    const Playable* holder = scene.elementHotkeys[code];
    if (holder != &element) {
        if (holder != nullptr) {
            add(at, Severity::Note, "key-taken",
                "key " + key + " is already taken by " + describe(*holder) + ": this element does not answer it");
        }
        return;
    }
    if (const Scene* other = runtime_.sceneHotkeys[code]) {
        add(at, Severity::Warning, "key-shadowed",
            std::string(written ? "key " : "the automatic key ") + key + " switches to the scene " + describe(*other) +
                " instead: scene keys come first, so this element can never be started or stopped with it");
    } else if (const char* why = unreachableBecause(code)) {
        add(at, Severity::Note, "key-unreachable", "key " + key + " never reaches this element: " + why);
    }
}

void AdventureChecker::judgeElement(const Scene& scene, const Playable& element, bool topLevel,
                                    std::vector<const Playable*>& keyless) {
    const NodeInfo& info = nodes_.at(&element);
    if (element.settings.key == 0) {
        if (topLevel) keyless.push_back(&element);
    } else if (info.copyOf == nullptr) {
        judgeKey(scene, element, info);
    }
    if (info.copyOf != nullptr) return;

    const bool inSequence = element.parent->kind() == NodeKind::Sequence;
    if (element.kind() == NodeKind::Sound) {
        for (const auto& child : element.children) {
            const NodeInfo& childInfo = nodes_.at(child.get());
            add(childInfo.at, Severity::Error, "element-in-sound",
                withArticle(childInfo.elementName) + " inside a 'sound' never plays: a 'sound' plays only its file");
        }
        // In a seq the order is the playing order; at the top of a scene it
        // is the order of the automatic keys.
        const bool keyedInOrder = topLevel && !info.attributes.count("key");
        if ((inSequence || keyedInOrder) && info.wildcardFiles.size() > 1) {
            // The element takes the first file listed; each further one is
            // inserted right after it, so the rest stand in reverse.
            std::vector<std::string> order{fileNameOf(info.wildcardFiles.front())};
            for (auto file = info.wildcardFiles.rbegin(); file + 1 != info.wildcardFiles.rend(); ++file) {
                order.push_back(fileNameOf(*file));
            }
            add(attributeAt(info, "src"), Severity::Note, "wildcard-order",
                std::string(inSequence ? "in this 'seq' the wildcard's files play" : "the wildcard's files get their keys") +
                    " in the order " + listed(order) + ": the first file the folder lists, then the others in reverse");
        }
    } else {
        const Playable* parent = element.parentElement();
        if (!element.hasContent() && (parent == nullptr || parent->hasContent())) {
            add(info.at, Severity::Note, "silent-container",
                element.children.empty()
                    ? "this " + inQuotes(info.elementName) + " holds nothing to play, so it never starts"
                    : "nothing in this " + inQuotes(info.elementName) + " has a sound, so it never starts");
        }
        if (element.kind() == NodeKind::Sequence && parent != nullptr && element.hasContent()) {
            add(info.at, Severity::Note, "seq-not-skippable",
                "Space skips only the items of a scene's top-level sequences, not of this 'seq' inside " +
                    withArticle(nodes_.at(parent).elementName));
        }
    }
    judgeTiming(element, info, topLevel);

    if (element.kind() == NodeKind::Sound) return;
    for (const auto& child : element.children) judgeElement(scene, *child, false, keyless);
}

void AdventureChecker::judgeTiming(const Playable& element, const NodeInfo& info, bool topLevel) {
    const Settings& settings = element.settings;
    const bool inSequence = element.parent->kind() == NodeKind::Sequence;
    const std::string where = topLevel ? "directly in a scene" : "in " + withArticle(nodes_.at(element.parentElement()).elementName);
    if (settings.crossFade != 0 && !inSequence) {
        add(attributeAt(info, "crossFade"), Severity::Warning, "cross-fade-outside-seq",
            "'crossFade' acts only on the children of a 'seq': " + where + " it does nothing");
    }
    if (settings.startDelay < 0 && !inSequence) {
        add(attributeAt(info, "startDelay"), Severity::Warning, "negative-start-outside-seq",
            "a negative 'startDelay' overlaps only children of a 'seq': " + where + " the element starts at once");
    }
    if (settings.autoStart && !topLevel) {
        add(attributeAt(info, "autoStart"), Severity::Warning, "no-effect",
            "'autoStart' acts only on a scene's top-level elements: this one starts with " +
                describe(*element.parentElement()));
    }
    if (!element.hasContent()) return;
    const std::optional<double> run = longestRunMs(element);
    if (!run) return;
    const auto tooLong = [&](const char* name, std::int32_t fade, const char* effect) {
        if (fade <= *run) return;
        add(attributeAt(info, name), Severity::Warning, "fade-longer-than-run",
            inQuotes(name) + " of " + std::to_string(fade) + " ms is longer than the element's whole run (at most " +
                formatWhole(*run) + " ms): " + effect);
    };
    tooLong("fadeIn", settings.fadeIn, "it never reaches full volume");
    tooLong("fadeOut", settings.fadeOut, "it never plays at full volume");
}

void AdventureChecker::planFailed(const Playable& element) {
    if (!unplanned_.insert(&element).second) return;
    const auto found = nodes_.find(&element);
    const Position at = found != nodes_.end() ? found->second.at : Position{};
    std::string what = "memory ran out while the player planned this element's run";
    if (element.settings.loopCount > 0) what += " of " + std::to_string(element.settings.loopCount) + " loops";
    add(at, Severity::Error, "plan-failed",
        what + ": it stays silent; a smaller 'loopCount', or fewer elements, need less");
}

std::optional<double> AdventureChecker::longestRunMs(const Playable& element) {
    if (auto found = runs_.find(&element); found != runs_.end()) return found->second;
    std::optional<double> run;
    const Settings& settings = element.settings;
    if (settings.loopCount >= 0) {
        if (const std::optional<double> pass = longestPassMs(element)) {
            const double loops = settings.loopCount;
            const double pause = std::max(0, settings.loopDelay) + static_cast<double>(std::max(0, settings.loopDelayVariance));
            // Capped so that absurd counts still print as whole numbers.
            run = std::min((loops + 1.0) * *pass + loops * pause, 1e15);
        }
    }
    runs_[&element] = run;
    return run;
}

std::optional<double> AdventureChecker::longestPassMs(const Playable& element) {
    if (element.kind() == NodeKind::Sound) {
        const audio::Sound* sound = static_cast<const Source&>(element).sound();
        return sound != nullptr ? static_cast<double>(sound->lengthMs()) : 0.0;
    }
    // A sequence plays its children one after another, the others one or all at once.
    const bool inTurn = element.kind() == NodeKind::Sequence;
    double longest = 0.0;
    for (const auto& child : element.children) {
        if (!child->hasContent()) continue;
        const std::optional<double> run = longestRunMs(*child);
        if (!run) return std::nullopt;
        const double span = std::max(0, child->settings.startDelay) +
                            static_cast<double>(std::max(0, child->settings.startDelayVariance)) + *run;
        longest = inTurn ? longest + span : std::max(longest, span);
    }
    return longest;
}

}  // namespace gloam::check
