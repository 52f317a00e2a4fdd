// Escaping control characters for timelines and messages.
#include "TextEscape.h"

namespace gloam::render {

std::string escapeControls(std::string_view text) {
    static constexpr char hexDigits[] = "0123456789abcdef";
    std::string escaped;
    escaped.reserve(text.size());
    for (char character : text) {
        const auto byte = static_cast<unsigned char>(character);
        switch (character) {
        case '\\': escaped += "\\\\"; break;
        case '\t': escaped += "\\t"; break;
        case '\n': escaped += "\\n"; break;
        case '\r': escaped += "\\r"; break;
        default:
            if (byte < 0x20 || byte == 0x7f) {
                escaped += "\\x";
                escaped += hexDigits[byte >> 4];
                escaped += hexDigits[byte & 0xf];
            } else {
                escaped += character;
            }
        }
    }
    return escaped;
}

std::string quoteForMessage(std::string_view text, std::size_t maxChars) {
    if (text.size() <= maxChars) return escapeControls(text);
    return escapeControls(text.substr(0, maxChars)) + "...";
}

}  // namespace gloam::render
