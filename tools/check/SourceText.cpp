// Locating elements and attributes in the lines the parser gives.
#include "SourceText.h"

#include <tinyxml2.h>

#include <algorithm>
#include <cstring>
#include <string_view>

namespace gloam::check {

namespace {

bool isSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

/// Characters that cannot continue an XML name.
bool endsName(char c) { return isSpace(c) || c == '/' || c == '>' || c == '='; }

}  // namespace

SourceText::SourceText(std::string text) : text_(std::move(text)) {
    lineStarts_.push_back(0);
    for (std::size_t i = 0; i < text_.size(); ++i) {
        if (text_[i] == '\n') lineStarts_.push_back(i + 1);
    }
    // Characters counted once, so that a column on a long line costs no more
    // than one stretch between checkpoints.
    checkpoints_.reserve(text_.size() / checkpointBytes + 1);
    std::size_t characters = 0;
    for (std::size_t i = 0; i < text_.size(); ++i) {
        if (i % checkpointBytes == 0) checkpoints_.push_back(characters);
        if ((static_cast<unsigned char>(text_[i]) & 0xC0) != 0x80) ++characters;
    }
    if (text_.size() % checkpointBytes == 0) checkpoints_.push_back(characters);
}

std::string_view SourceText::lineText(int line) const {
    if (line < 1 || static_cast<std::size_t>(line) > lineStarts_.size()) return {};
    const std::size_t start = lineStarts_[static_cast<std::size_t>(line) - 1];
    const std::size_t end = static_cast<std::size_t>(line) < lineStarts_.size()
                                ? lineStarts_[static_cast<std::size_t>(line)] - 1
                                : text_.size();
    return std::string_view(text_).substr(start, end - start);
}

Position SourceText::position(int line, std::size_t offset) const {
    std::string_view text = lineText(line);
    if (offset == std::string::npos) {
        // Not found where the parser said: the line's first visible character.
        offset = 0;
        while (offset < text.size() && isSpace(text[offset])) ++offset;
        if (offset == text.size()) offset = 0;
    }
    if (line < 1 || static_cast<std::size_t>(line) > lineStarts_.size()) return {line, 1};
    std::size_t start = lineStarts_[static_cast<std::size_t>(line) - 1];
    std::size_t end = start + std::min(offset, text.size());
    // A byte-order mark is no character an editor shows.
    if (line == 1 && text.substr(0, 3) == "\xEF\xBB\xBF") {
        start += 3;
        end = std::max(end, start);
    }
    // Continuation bytes of UTF-8 belong to the character before.
    return {line, static_cast<int>(charactersBefore(end) - charactersBefore(start)) + 1};
}

std::size_t SourceText::charactersBefore(std::size_t offset) const {
    const std::size_t block = offset / checkpointBytes;
    std::size_t count = checkpoints_[block];
    for (std::size_t i = block * checkpointBytes; i < offset; ++i) {
        if ((static_cast<unsigned char>(text_[i]) & 0xC0) != 0x80) ++count;
    }
    return count;
}

std::size_t SourceText::find(int line, const std::string& token, bool attribute) const {
    const std::string_view text = lineText(line);
    const auto cursor = cursors_.find(line);
    std::size_t from = cursor == cursors_.end() ? 0 : cursor->second;
    while ((from = text.find(token, from)) != std::string_view::npos) {
        const std::size_t after = from + token.size();
        const bool wholeAfter = after == text.size() || endsName(text[after]);
        const bool wholeBefore = !attribute || from == 0 || isSpace(text[from - 1]);
        if (wholeAfter && wholeBefore) return from;
        ++from;
    }
    return std::string_view::npos;
}

void SourceText::skipValue(int line, std::size_t from) {
    const std::string_view text = lineText(line);
    std::size_t i = text.find('=', from);
    if (i == std::string_view::npos) return;
    ++i;
    while (i < text.size() && isSpace(text[i])) ++i;
    if (i >= text.size() || (text[i] != '"' && text[i] != '\'')) return;
    const std::size_t close = text.find(text[i], i + 1);
    // A value that goes on to the next line leaves nothing on this one.
    cursors_[line] = close == std::string_view::npos ? text.size() : close + 1;
}

void SourceText::place(const tinyxml2::XMLElement& element) {
    const int line = element.GetLineNum();
    if (line > 0) {
        const std::string token = std::string("<") + element.Name();
        const std::size_t at = find(line, token, false);
        if (at != std::string::npos) cursors_[line] = at + token.size();
        positions_[&element] = position(line, at);
    }
    for (const tinyxml2::XMLAttribute* attribute = element.FirstAttribute(); attribute != nullptr;
         attribute = attribute->Next()) {
        const int attributeLine = attribute->GetLineNum();
        if (attributeLine <= 0) continue;
        const std::size_t at = find(attributeLine, attribute->Name(), true);
        if (at != std::string::npos) {
            cursors_[attributeLine] = at + std::strlen(attribute->Name());
            skipValue(attributeLine, at);
        }
        positions_[attribute] = position(attributeLine, at);
    }
}

void SourceText::index(const tinyxml2::XMLDocument& document) {
    if (indexed_ == &document) return;
    indexed_ = &document;
    cursors_.clear();
    positions_.clear();
    // Document order is text order: walk depth first without recursion.
    const tinyxml2::XMLElement* element = document.FirstChildElement();
    while (element != nullptr) {
        place(*element);
        if (const tinyxml2::XMLElement* child = element->FirstChildElement()) {
            element = child;
            continue;
        }
        while (element != nullptr && element->NextSiblingElement() == nullptr) {
            const tinyxml2::XMLNode* parent = element->Parent();
            element = parent != nullptr ? parent->ToElement() : nullptr;
        }
        if (element != nullptr) element = element->NextSiblingElement();
    }
}

Position SourceText::of(const tinyxml2::XMLElement& element) const {
    const auto found = positions_.find(&element);
    return found != positions_.end() ? found->second : Position{};
}

Position SourceText::of(const tinyxml2::XMLAttribute& attribute) const {
    const auto found = positions_.find(&attribute);
    return found != positions_.end() ? found->second : Position{};
}

}  // namespace gloam::check
