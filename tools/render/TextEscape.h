// Untrusted text made safe for one line of the renderer's outputs and messages.
#pragma once

#include <string>
#include <string_view>

namespace gloam::render {

/// Copies `text` with the backslash and everything the player would not show
/// as it is escaped: "\\" for a backslash, "\t", "\n" and "\r", and "\xHH"
/// (two lower-case hex digits) for each byte of any other control character
/// (below 0x20, 0x7F, the C1 controls U+0080..U+009F) and for each byte that
/// is not part of well-formed UTF-8. Other UTF-8 characters are kept, so
/// names stay readable. The result holds no tab and no line break, and
/// unescaping gives back the original bytes.
std::string escapeControls(std::string_view text);

/// escapeControls, cut to about `maxChars` with "..." so that a message that
/// quotes user input stays one short line.
std::string quoteForMessage(std::string_view text, std::size_t maxChars = 60);

}  // namespace gloam::render
