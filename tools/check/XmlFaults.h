// What is wrong with a file that is not well-formed XML, in words, at its place.
#pragma once

#include "Finding.h"

#include <string>
#include <string_view>
#include <vector>

namespace gloam::check {

/// The kinds of faults, for the wording and for tests.
enum class XmlFaultKind {
    NeverClosed,         ///< an element still open at its parent's closing tag or at the end of the file
    MismatchedClose,     ///< a closing tag whose name no open element has
    StrayClose,          ///< a closing tag with no element open
    MissingQuote,        ///< an attribute value without its closing quote
    UnquotedValue,       ///< an attribute value without quotes
    MissingValue,        ///< an attribute without "=" and a value
    NoSpaceBetween,      ///< two attributes without a space between them
    DuplicateAttribute,  ///< the same attribute twice on one element
    BareAmpersand,       ///< an '&' that starts no reference
    UnknownEntity,       ///< "&name;" for a name XML does not define
    BareLessThan,        ///< a '<' that starts no tag
    BadTag,              ///< a tag that cannot be read (a bad name, stray characters)
    UnclosedTag,         ///< the file ends inside a tag
    UnclosedComment,     ///< "<!--" without "-->"
    UnclosedCData,       ///< "<![CDATA[" without "]]>"
    TextBeforeRoot,      ///< text before the root element
    TextAfterRoot,       ///< text after the root element
    ControlCharacter,    ///< a control character XML does not allow
};

struct XmlFault {
    XmlFaultKind kind;
    Position at;          ///< the fault's place; columns count characters
    std::string message;  ///< in plain words, naming what and where
    /// Whether TinyXML-2 (the player's parser) refuses the file for it; the
    /// others it reads past, though the file is not well-formed XML.
    bool refused;
};

/// Reads `text` as XML, with a small scanner of its own (elements, attributes,
/// references, comments, CDATA, processing instructions, a DOCTYPE), and
/// returns its faults in the order they occur. The scan ends at the first
/// fault the player's parser refuses, since what follows it cannot be read
/// reliably; faults it reads past are gathered on the way, at most 20.
/// Text from the file appears in messages as written (the report makes it
/// visible). Never throws other than std::bad_alloc.
std::vector<XmlFault> findXmlFaults(std::string_view text);

}  // namespace gloam::check
