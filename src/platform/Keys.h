// The key codes the terminal layer delivers, in one place for every reader.
#pragma once

namespace platform::keys {

/// A special key arrives as two codes: a prefix (224, or 0 from input that
/// spells keys out byte by byte) followed by its second code.
inline constexpr int prefix = 224;
inline constexpr int prefixZero = 0;

/// Second codes of the cursor keys.
inline constexpr int up = 'H';
inline constexpr int down = 'P';
inline constexpr int left = 'K';
inline constexpr int right = 'M';
/// Second code of Delete: fades out the current scene.
inline constexpr int del = 'S';
/// Second code of a special key that stands for nothing.
inline constexpr int unmapped = 0xFF;

inline constexpr int enter = 13;
inline constexpr int escape = 27;
inline constexpr int space = ' ';

/// True for a code that starts a two-code special key.
constexpr bool isPrefix(int code) { return code == prefix || code == prefixZero; }

}  // namespace platform::keys
