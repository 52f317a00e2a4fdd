// Where in its line an element or attribute the XML parser placed there begins.
#pragma once

#include "Finding.h"

#include <cstddef>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace tinyxml2 {
class XMLAttribute;
class XMLDocument;
class XMLElement;
}  // namespace tinyxml2

namespace gloam::check {

/// The text of one adventure file. The parser gives lines only; the columns
/// come from finding an element's "<name" or an attribute's "name=" on its
/// line, in document order. This locates and never reads a value.
class SourceText {
public:
    explicit SourceText(std::string text);

    const std::string& text() const { return text_; }

    /// Places every element and attribute of `document`, which was parsed
    /// from this text; later calls with the same document do nothing.
    void index(const tinyxml2::XMLDocument& document);

    /// Where the element's "<" stands; line 0 for an element made after
    /// parsing (a wildcard's copies).
    Position of(const tinyxml2::XMLElement& element) const;
    /// Where the attribute's name begins; line 0 for one made after parsing.
    Position of(const tinyxml2::XMLAttribute& attribute) const;

private:
    /// Byte offset on `line` (from 1) of the first `token` at or after the
    /// line's cursor that stands as a whole name; npos when there is none.
    std::size_t find(int line, const std::string& token, bool attribute) const;
    /// Moves the cursor of `line` past an attribute's quoted value that
    /// starts after the "=" at or after `from`.
    void skipValue(int line, std::size_t from);
    std::string_view lineText(int line) const;
    Position position(int line, std::size_t offset) const;
    /// UTF-8 characters in the text before byte `offset`: from the nearest
    /// checkpoint on, so the cost does not grow with the length of a line.
    std::size_t charactersBefore(std::size_t offset) const;
    void place(const tinyxml2::XMLElement& element);

    std::string text_;
    std::vector<std::size_t> lineStarts_;
    static constexpr std::size_t checkpointBytes = 512;
    /// Characters before each multiple of checkpointBytes.
    std::vector<std::size_t> checkpoints_;
    std::unordered_map<int, std::size_t> cursors_;
    std::unordered_map<const void*, Position> positions_;
    const tinyxml2::XMLDocument* indexed_ = nullptr;
};

}  // namespace gloam::check
