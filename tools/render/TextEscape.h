// Untrusted text made safe for one line of the renderer's outputs and messages.
#pragma once

#include <string>
#include <string_view>

namespace gloam::render {

/// Copies `text` with the backslash and every control character escaped:
/// "\\" for a backslash, "\t", "\n" and "\r", and "\xHH" (two lower-case hex
/// digits) for the other bytes below 0x20 and for 0x7F. Bytes from 0x80 up
/// are kept, so UTF-8 names stay readable. The result holds no tab and no
/// line break, and unescaping gives back the original bytes.
std::string escapeControls(std::string_view text);

/// escapeControls, cut to about `maxChars` with "..." so that a message that
/// quotes user input stays one short line.
std::string quoteForMessage(std::string_view text, std::size_t maxChars = 60);

}  // namespace gloam::render
