// Judging what loading reads and passes over, while it happens.
#include "AdventureChecker.h"
#include "XmlFaults.h"

#include "app/AdventureFile.h"

#include "Suggest.h"
#include "Wording.h"
#include "audio/MixTypes.h"
#include "audio/System.h"
#include "audio/Types.h"
#include "model/Runtime.h"
#include "model/Scene.h"
#include "playback/ElementFactory.h"
#include "playback/Source.h"

#include <tinyxml2.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <limits>
#include <system_error>

namespace gloam::check {

namespace fs = std::filesystem;

namespace {

/// The attributes a scene acts on; it reads all the others too, to no effect.
constexpr const char* sceneSettings[] = {"name", "key", "mode", "volume", "fadeIn", "fadeOut"};
constexpr const char* modeWords[] = {"preload", "compressed", "stream", "ownStream"};
constexpr const char* rootModeWords[] = {"preload", "compressed", "stream"};

/// True when `text` holds nothing but white space.
bool blank(const char* text) {
    for (; *text != '\0'; ++text) {
        if (std::strchr(" \t\r\n", *text) == nullptr) return false;
    }
    return true;
}

/// "startDelayVariance", "positionXvariance" and the like.
bool isVariance(const std::string& attribute) {
    return attribute.size() > 8 && attribute.compare(attribute.size() - 7, 7, "ariance") == 0;
}

/// Attributes the adventure format leaves to XML itself (xmlns, xsi:...).
bool isNamespaced(const char* attribute) { return std::strcmp(attribute, "xmlns") == 0 || std::strchr(attribute, ':') != nullptr; }

/// A list of words as candidates for a suggestion.
std::vector<std::string> words(const auto& list) { return std::vector<std::string>(std::begin(list), std::end(list)); }

/// Characters, not bytes, of UTF-8 text.
std::size_t characterCount(const std::string& text) {
    std::size_t count = 0;
    for (char c : text) {
        if ((static_cast<unsigned char>(c) & 0xC0) != 0x80) ++count;
    }
    return count;
}

/// The leading number of `text` as the player reads it, and what follows.
struct Scanned {
    bool number = false;
    bool outOfRange = false;
    const char* rest = "";
};

Scanned scanWhole(const char* text) {
    char* end = nullptr;
    errno = 0;
    const long long value = std::strtoll(text, &end, 10);
    Scanned scanned;
    scanned.number = end != text;
    scanned.rest = end;
    scanned.outOfRange = errno == ERANGE || value < std::numeric_limits<std::int32_t>::min() ||
                         value > std::numeric_limits<std::int32_t>::max();
    return scanned;
}

Scanned scanNumber(const char* text) {
    char* end = nullptr;
    const double value = std::strtod(text, &end);
    Scanned scanned;
    scanned.number = end != text && std::isfinite(value);
    scanned.rest = end;
    return scanned;
}

/// A filter parameter, read as atof reads it: infinities are numbers there
/// (the plug-in's range then takes its end); only NaN counts as none.
Scanned scanParameter(const char* text) {
    char* end = nullptr;
    const double value = std::strtod(text, &end);
    Scanned scanned;
    scanned.number = end != text && !std::isnan(value);
    scanned.rest = end;
    return scanned;
}

/// A file name without its last extension.
std::string stemOf(const std::string& fileName) { return fileName.substr(0, fileName.rfind('.')); }

}  // namespace

AdventureChecker::AdventureChecker(Runtime& runtime, std::string file, std::string text)
    : runtime_(runtime), file_(std::move(file)), rawText_(text), text_(std::move(text)) {}

void AdventureChecker::add(Position at, Severity severity, const char* code, std::string message) {
    findings_.push_back(Finding{file_, at, severity, code, std::move(message)});
}

std::vector<Finding> AdventureChecker::takeFindings() {
    std::stable_sort(findings_.begin(), findings_.end(), [](const Finding& a, const Finding& b) {
        return a.at.line != b.at.line ? a.at.line < b.at.line : a.at.column < b.at.column;
    });
    return std::move(findings_);
}

const tinyxml2::XMLElement& AdventureChecker::originOf(const tinyxml2::XMLElement& element) const {
    const tinyxml2::XMLElement* origin = &element;
    for (auto found = copyOrigins_.find(origin); found != copyOrigins_.end(); found = copyOrigins_.find(origin)) {
        origin = found->second;
    }
    return *origin;
}

Position AdventureChecker::where(const tinyxml2::XMLElement& element) {
    text_.index(*element.GetDocument());
    return text_.of(originOf(element));
}

Position AdventureChecker::where(const tinyxml2::XMLElement& element, const char* attribute) {
    const tinyxml2::XMLElement& origin = originOf(element);
    text_.index(*origin.GetDocument());
    if (const tinyxml2::XMLAttribute* found = origin.FindAttribute(attribute)) {
        const Position at = text_.of(*found);
        if (at.line > 0) return at;
    }
    return text_.of(origin);
}

Position AdventureChecker::attributeAt(const NodeInfo& info, const char* attribute) const {
    const auto found = info.attributes.find(attribute);
    return found != info.attributes.end() ? found->second : info.at;
}

std::string AdventureChecker::describe(const SettingContainer& node) const {
    const auto found = nodes_.find(&node);
    const std::string line = found != nodes_.end() ? std::to_string(found->second.at.line) : "?";
    if (!node.name.empty()) return inQuotes(node.name) + " (line " + line + ")";
    const std::string kind = found != nodes_.end() ? found->second.elementName : "element";
    return "the " + inQuotes(kind) + " at line " + line;
}

void AdventureChecker::documentRejected(const tinyxml2::XMLDocument& document) {
    rejected_ = true;
    switch (document.ErrorID()) {
        case tinyxml2::XML_SUCCESS:
            // Refused before parsing; the checker has read the file already,
            // so it is a regular file unless it changed meanwhile.
            if (mostAttributesOnOneElement(text_.text()) > maxAttributesPerElement) {
                add({}, Severity::Error, "refused",
                    "the player refuses the file: an element has more than " +
                        std::to_string(maxAttributesPerElement) + " attributes");
            } else {
                add({}, Severity::Error, "unreadable", "the player cannot read the file (it changed while it was checked)");
            }
            return;
        case tinyxml2::XML_ERROR_FILE_NOT_FOUND:
        case tinyxml2::XML_ERROR_FILE_COULD_NOT_BE_OPENED:
        case tinyxml2::XML_ERROR_FILE_READ_ERROR:
            add({}, Severity::Error, "unreadable", "cannot read the file");
            return;
        case tinyxml2::XML_ERROR_EMPTY_DOCUMENT:
            add({}, Severity::Error, "xml-error", "the file holds no XML element: the player refuses it");
            return;
        default: break;
    }
    // The parser says only that it failed, and where it gave up; the scanner
    // finds the fault itself and says it in words, at its place.
    for (const XmlFault& fault : findXmlFaults(rawText_)) {
        if (fault.refused) {
            add(fault.at, Severity::Error, "xml-error", fault.message + "; the player refuses this file");
            return;
        }
    }
    const int line = document.ErrorLineNum();
    const std::string reason = document.ErrorID() == tinyxml2::XML_ELEMENT_DEPTH_EXCEEDED
                                   ? "elements are nested more than 99 deep here, deeper than the player reads"
                                   : "the file is not well-formed XML here";
    add({line, line > 0 ? 1 : 0}, Severity::Error, "xml-error", reason + "; the player refuses this file");
}

void AdventureChecker::judgeXmlText() {
    // The player's parser reads past some faults; other XML tools do not.
    for (const XmlFault& fault : findXmlFaults(rawText_)) {
        add(fault.at, Severity::Warning, "xml-not-well-formed",
            fault.message + "; the player reads the file, but editors and other XML tools refuse it");
    }
}

void AdventureChecker::rootRead(const tinyxml2::XMLElement& root) {
    const Position rootAt = where(root);
    for (const tinyxml2::XMLAttribute* attribute = root.FirstAttribute(); attribute != nullptr;
         attribute = attribute->Next()) {
        const std::string name = attribute->Name();
        const Position at = text_.of(*attribute);
        if (name == "mode") {
            const std::string value = attribute->Value();
            const auto known = words(rootModeWords);
            if (std::find(known.begin(), known.end(), value) != known.end()) continue;
            if (value == "ownStream") {
                add(at, Severity::Warning, "root-own-stream",
                    "'ownStream' is not allowed on the root and is ignored: sounds open in the default mode "
                    "(stream, or what the adventure loaded before set); put it on a scene or element");
            } else {
                add(at, Severity::Warning, "unknown-mode",
                    "unknown mode " + inQuotes(value) + " on the root is ignored" + didYouMean(closestName(value, known)));
            }
        } else if (!isNamespaced(name.c_str())) {
            add(at, Severity::Warning, "unknown-attribute",
                "the root reads only 'mode': " + inQuotes(name) + " is ignored" + didYouMean(closestName(name, {"mode"})));
        }
    }

    int scenes = 0;
    std::vector<std::string> known;
    for (const char* name : elementNames()) known.emplace_back(name);
    known.emplace_back("filter");
    for (const tinyxml2::XMLElement* child = root.FirstChildElement(); child != nullptr;
         child = child->NextSiblingElement()) {
        const std::string name = child->Name();
        if (name == "scene") {
            ++scenes;
        } else if (std::find(known.begin(), known.end(), name) != known.end()) {
            add(where(*child), Severity::Error, "misplaced-element",
                inQuotes(name) + " outside a scene is ignored, with everything in it: put it inside a 'scene'");
        } else {
            add(where(*child), Severity::Error, "unknown-element",
                "unknown element " + inQuotes(name) + " is ignored, with everything in it" +
                    didYouMean(closestName(name, {"scene"})));
        }
    }
    if (scenes == 0) {
        add(rootAt, Severity::Error, "no-scenes", "no 'scene' under the root element: the adventure is empty");
    }
    for (const tinyxml2::XMLElement* other = root.NextSiblingElement(); other != nullptr;
         other = other->NextSiblingElement()) {
        add(where(*other), Severity::Error, "unknown-element",
            "only the first root element is read: " + inQuotes(other->Name()) + " is ignored, with everything in it");
    }
}

void AdventureChecker::settingRead(const tinyxml2::XMLElement& element, const char* attribute, ValueKind kind,
                                   double result) {
    vocabulary_.insert(attribute);
    if (startedIndex_.emplace(&element, started_.size()).second) {
        const char* src = element.Attribute("src");
        started_.push_back(Started{where(element), src != nullptr ? src : "", false});
    }
    reads_[&element].push_back(Read{attribute, kind, result});
}

void AdventureChecker::elementIgnored(const tinyxml2::XMLElement& element) {
    const std::string name = element.Name();
    // Filters are read by the node they stand in, not built.
    if (name == "filter") return;
    if (name == "scene") {
        add(where(element), Severity::Error, "misplaced-element",
            "a 'scene' inside an element is ignored, with everything in it: scenes stand directly under the root");
        return;
    }
    std::vector<std::string> known;
    for (const char* kind : elementNames()) known.emplace_back(kind);
    known.emplace_back("filter");
    add(where(element), Severity::Error, "unknown-element",
        "unknown element " + inQuotes(name) + " is ignored, with everything in it" + didYouMean(closestName(name, known)));
}

void AdventureChecker::nodeBuilt(const tinyxml2::XMLElement& element, const SettingContainer& node) {
    built_[&element] = &node;
    if (auto started = startedIndex_.find(&element); started != startedIndex_.end()) started_[started->second].built = true;

    NodeInfo info;
    info.elementName = element.Name();
    const tinyxml2::XMLElement& origin = originOf(element);
    if (&origin != &element) {
        // A wildcard's copy repeats its element's attributes: judged there.
        const NodeInfo& originInfo = nodes_.at(built_.at(&origin));
        info.at = originInfo.at;
        info.attributes = originInfo.attributes;
        info.keyText = originInfo.keyText;
        info.copyOf = built_.at(&origin);
        nodes_[&node] = std::move(info);
        return;
    }

    info.at = where(element);
    for (const tinyxml2::XMLAttribute* attribute = element.FirstAttribute(); attribute != nullptr;
         attribute = attribute->Next()) {
        info.attributes[attribute->Name()] = text_.of(*attribute);
    }
    if (const char* key = element.Attribute("key")) info.keyText = key;
    if (auto found = matches_.find(&element); found != matches_.end()) info.wildcardFiles = found->second;

    const bool isScene = node.kind() == NodeKind::Scene;
    std::vector<std::string> read;
    for (const Read& each : reads_[&element]) {
        read.push_back(each.attribute);
        const tinyxml2::XMLAttribute* attribute = element.FindAttribute(each.attribute.c_str());
        if (attribute == nullptr) {
            if (each.kind == ValueKind::Path) {
                add(info.at, Severity::Error, "sound-no-src", "this 'sound' has no 'src', so it never sounds");
            }
            continue;
        }
        if (isScene && std::find(std::begin(sceneSettings), std::end(sceneSettings), each.attribute) ==
                           std::end(sceneSettings)) {
            add(text_.of(*attribute), Severity::Warning, "no-effect",
                inQuotes(each.attribute) + " has no effect on a scene (a scene uses only name, key, mode, volume, "
                                         "fadeIn, fadeOut and its filters)");
            continue;
        }
        judgeRead(*attribute, each);
    }
    for (const tinyxml2::XMLAttribute* attribute = element.FirstAttribute(); attribute != nullptr;
         attribute = attribute->Next()) {
        if (isNamespaced(attribute->Name()) ||
            std::find(read.begin(), read.end(), attribute->Name()) != read.end()) {
            continue;
        }
        unknownAttributes_.push_back(UnknownAttribute{text_.of(*attribute), attribute->Name(), info.elementName, read});
    }
    reads_.erase(&element);
    nodes_[&node] = std::move(info);
}

void AdventureChecker::judgeRead(const tinyxml2::XMLAttribute& attribute, const Read& read) {
    const Position at = text_.of(attribute);
    const std::string name = read.attribute;
    const char* text = attribute.Value();
    const std::string value = inQuotes(text);

    switch (read.kind) {
        case ValueKind::WholeNumber: {
            const Scanned scanned = scanWhole(text);
            if (!scanned.number) {
                if (name == "autoStart") {
                    add(at, Severity::Warning, "not-a-number",
                        "autoStart=\"" + std::string(text) +
                            "\" is not a number and reads as 0: the element does not start by itself (write autoStart=\"1\")");
                } else {
                    add(at, Severity::Warning, "not-a-number",
                        inQuotes(name) + " needs a whole number: " + value + " is none, so it keeps its default " +
                            formatWhole(read.result));
                }
                return;
            }
            if (!blank(scanned.rest)) {
                const char first = scanned.rest[0];
                std::string why = "the text after the number is ignored";
                if (first == '.') why = inQuotes(name) + " takes whole numbers";
                if ((first == 'x' || first == 'X') && read.result == 0) why = "hexadecimal is not read";
                add(at, Severity::Warning, "trailing-text", value + " reads as " + formatWhole(read.result) + ": " + why);
                return;
            }
            if (scanned.outOfRange) {
                add(at, Severity::Warning, "out-of-range",
                    value + " is out of range and reads as " + formatWhole(read.result));
                return;
            }
            break;
        }
        case ValueKind::Number: {
            const Scanned scanned = scanNumber(text);
            if (!scanned.number) {
                add(at, Severity::Warning, "not-a-number",
                    inQuotes(name) + " needs a number: " + value + " is none, so it keeps its default " +
                        formatNumber(read.result));
                return;
            }
            if (!blank(scanned.rest)) {
                const bool comma = scanned.rest[0] == ',' && std::isdigit(static_cast<unsigned char>(scanned.rest[1]));
                add(at, Severity::Warning, "trailing-text",
                    value + " reads as " + formatNumber(read.result) + ": " +
                        (comma ? "write a decimal point, not a comma" : "the text after the number is ignored"));
                return;
            }
            break;
        }
        case ValueKind::Word:
            if (read.result == 0) {
                add(at, Severity::Warning, "unknown-mode",
                    "unknown mode " + value + " is ignored and the mode is inherited" +
                        didYouMean(closestName(text, words(modeWords))));
            }
            return;
        case ValueKind::Key:
            if (characterCount(text) > 1) {
                const std::string first(text, utf8Length(static_cast<unsigned char>(text[0])));
                add(at, Severity::Warning, "key-too-long",
                    "a key is one character: " + value + " gives the key " + inQuotes(first));
            }
            return;
        case ValueKind::Text:
        case ValueKind::Path: return;
    }

    if (isVariance(name) && read.result < 0) {
        add(at, Severity::Warning, "negative-variance",
            "a negative " + inQuotes(name) + " adds nothing: a variance only ever adds a random amount");
    } else if ((name == "fadeIn" || name == "fadeOut") && read.result < 0) {
        add(at, Severity::Warning, "negative-fade",
            "a negative " + inQuotes(name) + " keeps the element silent: fades are lengths");
    } else if (name == "spread" && (read.result < 0 || read.result > 360)) {
        add(at, Severity::Warning, "out-of-range",
            "'spread' is an angle from 0 to 360 degrees: " + value + " reads as " +
                formatNumber(read.result < 0 ? 0.0 : 360.0));
    }
}

const NameIndex& AdventureChecker::entries(const std::string& folder, bool folders) {
    const std::string key = (folders ? "d:" : "f:") + folder;
    if (const auto found = entries_.find(key); found != entries_.end()) return found->second;
    std::vector<std::string> names;
    std::error_code error;
    for (fs::directory_iterator entry(folder, error), end; !error && entry != end; entry.increment(error)) {
        std::error_code typeError;
        if (entry->is_directory(typeError) == folders) names.push_back(entry->path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return entries_.emplace(key, NameIndex(std::move(names))).first->second;
}

void AdventureChecker::reportMissingSound(Position at, const std::string& fileName, const std::string& matchedBy) {
    if (fileName.empty()) {
        add(at, Severity::Error, "sound-not-found", "'src' is empty, so the element never sounds");
        return;
    }
    // A name a wildcard matched is the folder's own, backslashes and all.
    std::string path = fileName;
    if (matchedBy.empty()) std::replace(path.begin(), path.end(), '\\', '/');
    const std::string shown = inQuotes(fileName) + matchedBy;
    std::error_code error;
    if (fs::is_regular_file("sounds/" + path, error)) {
        add(at, Severity::Error, "sound-undecodable",
            "sound file " + shown + " cannot be decoded: it is no WAV, AIFF, FLAC, Ogg Vorbis, Opus or MP3 "
                                    "file gloam can read, or it is damaged");
        return;
    }
    if (fs::exists("sounds/" + path, error)) {
        add(at, Severity::Error, "sound-not-found", shown + " in sounds/ is no regular file, so it is not played");
        return;
    }

    if (!fs::is_directory("sounds", error)) {
        add(at, Severity::Error, "sound-not-found", "sound file " + shown + " not found: there is no folder sounds/");
        return;
    }
    // Down the folders as far as they exist, then say which part is missing.
    std::string folder = "sounds";
    std::string prefix;
    std::size_t start = 0;
    while (true) {
        const std::size_t slash = path.find('/', start);
        const std::string part = path.substr(start, slash == std::string::npos ? std::string::npos : slash - start);
        const bool last = slash == std::string::npos;
        if (!last && fs::is_directory(folder + "/" + part, error)) {
            folder += "/" + part;
            prefix += part + "/";
            start = slash + 1;
            continue;
        }
        std::string hint;
        if (fileName.find_first_of("*?") != std::string::npos) {
            hint = "; a wildcard counts only in the file name, before its extension";
        }
        if (!last) {
            add(at, Severity::Error, "sound-not-found",
                "sound file " + shown + " not found: no folder " + inQuotes(part) + " in " + folder + "/" +
                    didYouMean(entries(folder, true).closest(part)) + hint);
            return;
        }
        const NameIndex& files = entries(folder, false);
        std::optional<std::string> suggestion = files.closest(part);
        // The right name with another extension is a common slip.
        if (!suggestion) suggestion = files.sameStem(part);
        if (suggestion) suggestion = prefix + *suggestion;
        add(at, Severity::Error, "sound-not-found",
            "sound file " + shown + " not found in " + folder + "/" + didYouMean(suggestion) + hint);
        return;
    }
}

void AdventureChecker::soundOpened(const tinyxml2::XMLElement& element, const std::string& fileName, bool opened) {
    matches_[&element].push_back(fileName);
    if (opened) return;
    const tinyxml2::XMLElement& origin = originOf(element);
    const char* src = origin.Attribute("src");
    const std::string matchedBy =
        src != nullptr && fileName != src ? ", matched by " + inQuotes(src) + "," : std::string();
    reportMissingSound(where(element, "src"), fileName, matchedBy);
}

void AdventureChecker::wildcardCopied(const tinyxml2::XMLElement& element, const tinyxml2::XMLElement& copy) {
    copyOrigins_[&copy] = &originOf(element);
    const char* src = copy.Attribute("src");
    matches_[&element].push_back(src != nullptr ? src : "");
}

void AdventureChecker::wildcardExpanded(const tinyxml2::XMLElement& element, const std::string& folder) {
    if (!matches_[&element].empty()) return;
    const char* src = element.Attribute("src");
    const std::string pattern = src != nullptr ? src : "";
    const Position at = where(element, "src");
    std::error_code error;
    if (!fs::is_directory(folder, error)) {
        add(at, Severity::Error, "wildcard-no-match",
            "wildcard " + inQuotes(pattern) + " matches nothing: there is no folder " + folder + "/");
        return;
    }
    // The pattern leaves out its extension; with it, would a file have matched?
    std::string hint;
    std::string last = fileNameOf(pattern);
    std::replace(last.begin(), last.end(), '\\', '/');
    // A '?' is one character of the name with its extension: "bird?" never
    // matches "bird1.ogg", where "bird*" would.
    if (last.find('?') != std::string::npos) {
        std::string starred = pattern;
        std::replace(starred.begin(), starred.end(), '?', '*');
        const std::string starredStem = stemOf(fileNameOf(starred));
        for (const std::string& name : entries(folder, false).names()) {
            if (matchWildcard(starredStem.c_str(), name.c_str())) {
                hint = " ('?' stands for exactly one character of the whole file name, extension included; " +
                       inQuotes(starred) + " would match " + inQuotes(name) + ")";
                break;
            }
        }
    }
    for (const std::string& name : entries(folder, false).names()) {
        if (!hint.empty()) break;
        if (matchWildcard(last.c_str(), name.c_str())) {
            hint = " (the pattern is compared without its extension, " + inQuotes(stemOf(last)) +
                   " with whole file names such as " + inQuotes(name) + ")";
            break;
        }
    }
    add(at, Severity::Error, "wildcard-no-match",
        "wildcard " + inQuotes(pattern) + " matches no file in " + folder + "/" + hint);
}

void AdventureChecker::filterRead(const tinyxml2::XMLElement& filter, FilterOutcome outcome, int numParameters) {
    const char* label = filter.Attribute("name");
    switch (outcome) {
        case FilterOutcome::NoName:
            add(where(filter), Severity::Error, "filter-no-name", "a 'filter' without 'name' is ignored");
            return;
        case FilterOutcome::UnknownPlugin: {
            std::vector<std::string> labels;
            for (int index = 0; index < runtime_.audio.numDspPlugins(); ++index) {
                labels.push_back(runtime_.audio.dspPluginName(index));
            }
            std::string message = "no plug-in labelled " + inQuotes(label) + " in plugins/";
            std::error_code error;
            if (!fs::is_directory("plugins", error)) {
                message += " (there is no such folder)";
            } else if (labels.empty()) {
                message += " (it holds no LADSPA plug-in gloam can use)";
            } else {
                message += didYouMean(closestName(label, labels));
            }
            add(where(filter, "name"), Severity::Error, "unknown-plugin", message + ": the filter is skipped");
            return;
        }
        case FilterOutcome::NoInstance:
            add(where(filter, "name"), Severity::Error, "filter-no-instance",
                "plug-in " + inQuotes(label) + " cannot be started: the filter is skipped");
            return;
        case FilterOutcome::Fails:
            add(where(filter, "name"), Severity::Error, "filter-crashes",
                "plug-in " + inQuotes(label) +
                    " crashed or hung when it was tried with these values (in a separate process): the filter is "
                    "skipped");
            return;
        case FilterOutcome::BeyondLimit:
            add(where(filter), Severity::Warning, "too-many-filters",
                "only the first " + std::to_string(audio::kMaxDspsPerGroup) +
                    " usable filters of an element run: this one is ignored");
            return;
        case FilterOutcome::Made: break;
    }
    const tinyxml2::XMLAttribute* first = filter.FirstAttribute();
    if (first != nullptr && std::strcmp(first->Name(), "name") != 0) {
        add(text_.of(*first), Severity::Warning, "filter-name-not-first",
            "'name' must be a filter's first attribute: the first one, " + inQuotes(first->Name()) +
                ", sets no parameter, and 'name' is read as a parameter value");
    }
    int index = 0;
    for (const tinyxml2::XMLAttribute* attribute = first != nullptr ? first->Next() : nullptr; attribute != nullptr;
         attribute = attribute->Next(), ++index) {
        if (index < numParameters) continue;
        add(text_.of(*attribute), Severity::Warning, "filter-parameter-unused",
            "plug-in " + inQuotes(label) + " has " + std::to_string(numParameters) +
                (numParameters == 1 ? " control" : " controls") + ": " + inQuotes(attribute->Name()) + " (parameter " +
                std::to_string(index + 1) + ") is ignored");
    }
}

void AdventureChecker::filterParameterRead(const tinyxml2::XMLElement& filter, const tinyxml2::XMLAttribute& attribute,
                                           int index, float value, const audio::DspParameterInfo& range) {
    // A "name" out of place is reported once, by filterRead.
    if (std::strcmp(attribute.Name(), "name") == 0) return;
    const Position at = text_.of(attribute);
    const std::string what = inQuotes(attribute.Name()) + " (parameter " + std::to_string(index + 1) + " of " +
                             inQuotes(filter.Attribute("name")) + ")";
    const Scanned scanned = scanParameter(attribute.Value());
    const bool clamped = value < range.min || value > range.max;
    const float used = std::clamp(value, range.min, range.max);
    const std::string clamping = clamped ? ", which its range " + formatNumber(range.min) + " to " +
                                               formatNumber(range.max) + " makes " + formatNumber(used)
                                         : std::string();
    if (!scanned.number) {
        add(at, Severity::Warning, "not-a-number",
            what + " needs a number: " + inQuotes(attribute.Value()) + " reads as 0" + clamping);
    } else if (!blank(scanned.rest)) {
        add(at, Severity::Warning, "trailing-text",
            what + ": " + inQuotes(attribute.Value()) + " reads as " + formatNumber(value) + clamping);
    } else if (clamped) {
        add(at, Severity::Warning, "filter-parameter-clamped",
            what + " = " + formatNumber(value) + " is outside the plug-in's range " + formatNumber(range.min) + " to " +
                formatNumber(range.max) + ": it is used as " + formatNumber(used));
    }
}

}  // namespace gloam::check
