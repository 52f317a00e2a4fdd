// Keys in, text out: the operator's console.
#pragma once

#include <string_view>

namespace platform {

/// Key codes are 0..255. Cursor keys arrive as 224 followed by 'K', 'M', 'H'
/// or 'P' (left, right, up, down); other special keys as 224 and a code that
/// is none of those; Escape is 27, Enter 13.
class Console {
public:
    virtual ~Console() = default;
    /// Non-blocking: is a key (or the rest of one) waiting?
    virtual bool keyWaiting() = 0;
    /// Blocking, unbuffered, unechoed read of one code 0..255.
    virtual int readKey() = 0;
    /// Clears the screen and puts the cursor at the top left.
    virtual void clearScreen() = 0;
    virtual void print(std::string_view text) = 0;
};

}  // namespace platform
