// Escaping control characters and broken UTF-8 for timelines and messages.
#include "TextEscape.h"

#include "platform/TerminalText.h"

namespace gloam::render {

std::string escapeControls(std::string_view text) {
    static constexpr char hexDigits[] = "0123456789abcdef";
    std::string escaped;
    escaped.reserve(text.size());
    std::size_t at = 0;
    while (at < text.size()) {
        const std::string_view rest = text.substr(at);
        // What the player would show as it is is kept whole; every other
        // byte is escaped on its own, so the original bytes come back.
        const std::size_t length = platform::utf8CharacterLength(rest);
        if (length > 0 && rest[0] != '\\' && !platform::isControlCharacter(rest.substr(0, length))) {
            escaped.append(rest.substr(0, length));
            at += length;
            continue;
        }
        const auto byte = static_cast<unsigned char>(rest[0]);
        switch (rest[0]) {
        case '\\': escaped += "\\\\"; break;
        case '\t': escaped += "\\t"; break;
        case '\n': escaped += "\\n"; break;
        case '\r': escaped += "\\r"; break;
        default:
            escaped += "\\x";
            escaped += hexDigits[byte >> 4];
            escaped += hexDigits[byte & 0xf];
        }
        ++at;
    }
    return escaped;
}

std::string quoteForMessage(std::string_view text, std::size_t maxChars) {
    if (text.size() <= maxChars) return escapeControls(text);
    return escapeControls(text.substr(0, platform::characterBoundary(text, maxChars))) + "...";
}

}  // namespace gloam::render
