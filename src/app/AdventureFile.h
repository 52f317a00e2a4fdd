// Reading an adventure file safely: regular files only, bounded parsing cost.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace tinyxml2 {
class XMLDocument;
}

namespace gloam {

/// More attributes than this on one element make a file unusable. The parser
/// compares each attribute with all earlier ones of its element, so the cost
/// grows with the square of their number: 200 000 would take minutes. No
/// adventure needs more than a few dozen.
inline constexpr std::size_t maxAttributesPerElement = 256;

/// The largest number of attributes that any one element of `xml` has,
/// counted by one pass over the text (comments, CDATA, declarations and
/// quoted values are passed over). It may count too many in text that is not
/// well-formed, never too few.
std::size_t mostAttributesOnOneElement(std::string_view xml);

/// Reads the adventure file at `path` into `document`. Only a regular file
/// (or a link to one) is read, and opening never waits: a FIFO or a device
/// is refused. A file with an element of more than maxAttributesPerElement
/// attributes is refused before it is parsed. False when the file is refused,
/// cannot be read or is not well-formed XML; `document` is then not to be used.
bool readAdventureFile(const std::string& path, tinyxml2::XMLDocument& document);

}  // namespace gloam
