// Replacing control characters and broken UTF-8 in text for the terminal.
#include "platform/TerminalText.h"

namespace platform {

namespace {

bool isContinuation(unsigned char byte) { return (byte & 0xC0) == 0x80; }

}  // namespace

std::size_t utf8CharacterLength(std::string_view text) {
    if (text.empty()) return 0;
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(0);
    if (lead < 0x80) return 1;
    std::size_t length = 0;
    unsigned char low = 0x80;
    unsigned char high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0) low = 0xA0;
        if (lead == 0xED) high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0) low = 0x90;
        if (lead == 0xF4) high = 0x8F;
    } else {
        return 0;
    }
    if (text.size() < length) return 0;
    if (byte(1) < low || byte(1) > high) return 0;
    for (std::size_t i = 2; i < length; ++i) {
        if (!isContinuation(byte(i))) return 0;
    }
    return length;
}

bool isControlCharacter(std::string_view character) {
    if (character.empty()) return false;
    const auto lead = static_cast<unsigned char>(character[0]);
    if (character.size() == 1) return lead < 0x20 || lead == 0x7F;
    // U+0080..U+009F, the C1 controls, are C2 80..C2 9F.
    return character.size() == 2 && lead == 0xC2 && static_cast<unsigned char>(character[1]) <= 0x9F;
}

std::string visibleText(std::string_view text, std::size_t maxBytes) {
    std::string visible;
    std::size_t at = 0;
    while (at < text.size()) {
        std::size_t length = utf8CharacterLength(text.substr(at));
        std::string_view character = text.substr(at, length == 0 ? 1 : length);
        const bool replaced = length == 0 || isControlCharacter(character);
        const std::size_t outLength = replaced ? 1 : character.size();
        if (outLength > maxBytes - visible.size()) break;
        if (replaced) {
            visible += invisiblePlaceholder;
        } else {
            visible += character;
        }
        at += character.size();
    }
    return visible;
}

std::size_t characterBoundary(std::string_view text, std::size_t maxBytes) {
    if (text.size() <= maxBytes) return text.size();
    std::size_t cut = maxBytes;
    while (cut > 0 && isContinuation(static_cast<unsigned char>(text[cut]))) --cut;
    return cut;
}

}  // namespace platform
