// What loading an adventure reads and passes over, told to whoever asks (the checker).
#pragma once

#include <string>

namespace audio {
struct DspParameterInfo;
}

namespace tinyxml2 {
class XMLAttribute;
class XMLDocument;
class XMLElement;
}  // namespace tinyxml2

namespace gloam {

class Playable;
class SettingContainer;

/// How the loading code read an attribute's text.
enum class ValueKind {
    WholeNumber,  ///< the leading decimal integer ("%d")
    Number,       ///< the leading decimal number ("%lf")
    Word,         ///< one of the "mode" words, else 0
    Key,          ///< the first byte of the text
    Text,         ///< taken as written ("name")
    Path,         ///< a sound file or wildcard ("src")
};

/// What became of a "filter" element.
/// (Fails: the plug-in crashed or hung when it was tried with the filter's
/// values in a child process.)
enum class FilterOutcome { Made, NoName, UnknownPlugin, NoInstance, BeyondLimit, Fails };

/// Told what the loading code reads and what it passes over, while it does so,
/// so that a checker can say what the silent player does not. The player has
/// none (Runtime::diagnostics is null): nothing here changes what is built.
/// The XML nodes passed in live only until Adventure::load returns.
/// Main thread only. Every call does nothing unless overridden.
class Diagnostics {
public:
    virtual ~Diagnostics() = default;

    /// The file could not be read or is not well-formed XML; nothing was loaded.
    virtual void documentRejected(const tinyxml2::XMLDocument&) {}
    /// The root element's "mode" has been read (or not: it is optional).
    virtual void rootRead(const tinyxml2::XMLElement&) {}
    /// `attribute` was looked up on `element` as `kind`, present or not;
    /// `result` is the setting afterwards (its default when absent or unread).
    virtual void settingRead(const tinyxml2::XMLElement&, const char* /*attribute*/, ValueKind, double /*result*/) {}
    /// `element` builds nothing: its name is not an element kind.
    virtual void elementIgnored(const tinyxml2::XMLElement&) {}
    /// `node`, a scene or an element, has been built from `element` with its whole subtree.
    virtual void nodeBuilt(const tinyxml2::XMLElement&, const SettingContainer& /*node*/) {}
    /// The sound cache was asked for `fileName` for `element`; `opened` false when it gave none.
    virtual void soundOpened(const tinyxml2::XMLElement&, const std::string& /*fileName*/, bool /*opened*/) {}
    /// The wildcard of `element` was looked up in `folder` (which may not exist).
    virtual void wildcardExpanded(const tinyxml2::XMLElement&, const std::string& /*folder*/) {}
    /// `copy` was inserted after `element` for one further file its wildcard matched.
    virtual void wildcardCopied(const tinyxml2::XMLElement& /*element*/, const tinyxml2::XMLElement& /*copy*/) {}
    /// A "filter" element was made into an effect with `numParameters` controls, or skipped.
    virtual void filterRead(const tinyxml2::XMLElement&, FilterOutcome, int /*numParameters*/) {}
    /// `attribute` of a filter gives parameter `index` the value `value`
    /// before it is clamped to `range`.
    virtual void filterParameterRead(const tinyxml2::XMLElement& /*filter*/, const tinyxml2::XMLAttribute&,
                                     int /*index*/, float /*value*/, const audio::DspParameterInfo& /*range*/) {}
    /// Memory ran out while `element`'s run was being planned: it stays
    /// silent for that run. Told when it happens, also after loading (a
    /// scene selected, an element started).
    virtual void planFailed(const Playable& /*element*/) {}
};

}  // namespace gloam
