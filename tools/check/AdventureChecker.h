// What the player's loading code tells about one adventure, judged into findings.
#pragma once

#include "Finding.h"
#include "NameIndex.h"
#include "SourceText.h"
#include "model/Diagnostics.h"

#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <unordered_map>
#include <vector>

namespace gloam {
class Adventure;
class Playable;
class Scene;
struct Runtime;
}  // namespace gloam

namespace gloam::check {

/// Listens to one Adventure::load through Runtime::diagnostics, then looks at
/// the tree it built, and says what the silent player does not: what will not
/// sound (error), what is read otherwise than meant (warning), how things
/// resolve (note). One per adventure file. Main thread only; works inside the
/// adventure's root folder, where it looks at sounds/ to tell a missing file
/// from one that cannot be decoded.
class AdventureChecker final : public Diagnostics {
public:
    /// `file` is the name the findings carry; `text` the file's contents,
    /// used only to find columns.
    AdventureChecker(Runtime& runtime, std::string file, std::string text);

    void documentRejected(const tinyxml2::XMLDocument& document) override;
    void rootRead(const tinyxml2::XMLElement& root) override;
    void settingRead(const tinyxml2::XMLElement& element, const char* attribute, ValueKind kind,
                     double result) override;
    void elementIgnored(const tinyxml2::XMLElement& element) override;
    void nodeBuilt(const tinyxml2::XMLElement& element, const SettingContainer& node) override;
    void soundOpened(const tinyxml2::XMLElement& element, const std::string& fileName, bool opened) override;
    void wildcardExpanded(const tinyxml2::XMLElement& element, const std::string& folder) override;
    void wildcardCopied(const tinyxml2::XMLElement& element, const tinyxml2::XMLElement& copy) override;
    void filterRead(const tinyxml2::XMLElement& filter, FilterOutcome outcome, int numParameters) override;
    void filterParameterRead(const tinyxml2::XMLElement& filter, const tinyxml2::XMLAttribute& attribute, int index,
                             float value, const audio::DspParameterInfo& range) override;
    void planFailed(const Playable& element) override;

    /// After the load, before the adventure is cleared: what needs the whole
    /// tree (keys, the kinds of parents, planned runs).
    void judge(const Adventure& adventure);

    /// Everything found, ordered by line and column.
    std::vector<Finding> takeFindings();

private:
    struct Read {
        std::string attribute;
        ValueKind kind;
        double result;
    };
    /// What the judgments after loading need of a node, kept once its XML is gone.
    struct NodeInfo {
        std::string elementName;
        Position at;
        std::map<std::string, Position, std::less<>> attributes;  ///< the ones written
        std::string keyText;
        const SettingContainer* copyOf = nullptr;  ///< set for a wildcard's copy
        std::vector<std::string> wildcardFiles;    ///< in the order the folder listed them
    };
    struct UnknownAttribute {
        Position at;
        std::string name;
        std::string elementName;
        std::vector<std::string> read;  ///< what the element's kind reads
    };
    /// An element whose settings were read; one never built was cut short.
    struct Started {
        Position at;
        std::string src;
        bool built = false;
    };

    void add(Position at, Severity severity, const char* code, std::string message);
    const tinyxml2::XMLElement& originOf(const tinyxml2::XMLElement& element) const;
    Position where(const tinyxml2::XMLElement& element);
    Position where(const tinyxml2::XMLElement& element, const char* attribute);
    Position attributeAt(const NodeInfo& info, const char* attribute) const;
    std::string describe(const SettingContainer& node) const;

    void judgeRead(const tinyxml2::XMLAttribute& attribute, const Read& read);
    /// Warnings for what is not well-formed XML in a file the parser read all the same.
    void judgeXmlText();
    void reportMissingSound(Position at, const std::string& fileName, const std::string& matchedBy);
    /// The files (or sub-folders) of `folder`, sorted, listed once per check.
    const NameIndex& entries(const std::string& folder, bool folders);

    void judgeScene(const Scene& scene);
    void judgeElement(const Scene& scene, const Playable& element, bool topLevel,
                      std::vector<const Playable*>& keyless);
    void judgeKey(const Scene& scene, const Playable& element, const NodeInfo& info);
    void judgeTiming(const Playable& element, const NodeInfo& info, bool topLevel);
    std::optional<double> longestRunMs(const Playable& element);
    std::optional<double> longestPassMs(const Playable& element);

    Runtime& runtime_;
    std::string file_;
    /// The file as written, for the XML scanner that words the faults.
    std::string rawText_;
    bool rejected_ = false;
    SourceText text_;
    std::vector<Finding> findings_;

    // While loading; keyed by XML nodes that live only as long as the load.
    std::unordered_map<const tinyxml2::XMLElement*, std::vector<Read>> reads_;
    std::unordered_map<const tinyxml2::XMLElement*, const tinyxml2::XMLElement*> copyOrigins_;
    std::unordered_map<const tinyxml2::XMLElement*, const SettingContainer*> built_;
    std::unordered_map<const tinyxml2::XMLElement*, std::vector<std::string>> matches_;
    std::unordered_map<const tinyxml2::XMLElement*, std::size_t> startedIndex_;
    std::vector<Started> started_;

    // For the judgments after loading.
    std::unordered_map<const SettingContainer*, NodeInfo> nodes_;
    std::vector<UnknownAttribute> unknownAttributes_;
    std::set<std::string> vocabulary_;  ///< every attribute name the player read
    std::map<std::string, NameIndex> entries_;
    std::unordered_map<const Playable*, std::optional<double>> runs_;
    std::set<const Playable*> unplanned_;  ///< elements already reported as unplannable
};

}  // namespace gloam::check
