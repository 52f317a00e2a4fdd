// printf-style formatting into a std::string.
#pragma once

#include <cstdarg>
#include <cstdio>
#include <string>

namespace platform {

/// Formats like snprintf, without a length limit.
[[gnu::format(printf, 1, 2)]] inline std::string format(const char* pattern, ...) {
    va_list args;
    va_start(args, pattern);
    va_list again;
    va_copy(again, args);
    int length = std::vsnprintf(nullptr, 0, pattern, args);
    va_end(args);
    std::string text;
    if (length > 0) {
        text.resize(static_cast<std::size_t>(length));
        std::vsnprintf(text.data(), text.size() + 1, pattern, again);
    }
    va_end(again);
    return text;
}

}  // namespace platform
