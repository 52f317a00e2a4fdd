// Untrusted text made safe to print on a terminal.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace platform {

/// What stands in for a byte that must not reach the terminal.
inline constexpr char invisiblePlaceholder = '?';

/// `text` with every control character (below 0x20, 0x7F, and the C1
/// controls U+0080..U+009F) and every byte that is not part of well-formed
/// UTF-8 (a stray 0x9B is a CSI on some terminals) replaced by one '?', so
/// names from files can neither move the cursor nor send the terminal
/// commands. Well-formed UTF-8 text passes unchanged, and printable ASCII
/// keeps its width. The result holds at most `maxBytes` bytes, cut before a
/// character that would not fit; only as much of `text` is read as the result
/// needs, so the cost does not grow with the length of `text`.
std::string visibleText(std::string_view text, std::size_t maxBytes = std::string::npos);

/// The length of the well-formed UTF-8 character at the start of `text`, or 0
/// when `text` is empty or does not start with one (a stray continuation
/// byte, a cut character, an overlong form, a surrogate, a value past
/// U+10FFFF). With isControlCharacter, the rule every program of gloam uses
/// to decide what may reach a terminal as it is.
std::size_t utf8CharacterLength(std::string_view text);

/// Whether `character`, one whole well-formed UTF-8 character, is a control:
/// below 0x20, 0x7F, or one of the C1 controls U+0080..U+009F.
bool isControlCharacter(std::string_view character);

/// The length of the longest start of `text` (at most `maxBytes`) that does
/// not cut a UTF-8 character in two.
std::size_t characterBoundary(std::string_view text, std::size_t maxBytes);

}  // namespace platform
