// How the checker's messages name things: quotes, articles, numbers, suggestions.
#pragma once

#include <cstddef>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>

namespace gloam::check {

/// 'text', as names and values appear in messages.
inline std::string inQuotes(const std::string& text) { return "'" + text + "'"; }

/// "a 'seq'", "an 'alt'".
inline std::string withArticle(const std::string& elementName) {
    const bool vowel = !elementName.empty() && std::strchr("aeiouAEIOU", elementName[0]) != nullptr;
    return (vowel ? "an " : "a ") + inQuotes(elementName);
}

/// A number as short as it reads: 0.5, 6000, 1e+15.
inline std::string formatNumber(double value) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%g", value);
    return buffer;
}

/// A whole-number setting or length, without decimals.
inline std::string formatWhole(double value) { return std::to_string(static_cast<long long>(value)); }

/// " (did you mean 'x'?)", or nothing without a suggestion.
inline std::string didYouMean(const std::optional<std::string>& suggestion) {
    return suggestion ? " (did you mean " + inQuotes(*suggestion) + "?)" : "";
}

/// How many bytes the UTF-8 character that starts with `lead` takes.
inline std::size_t utf8Length(unsigned char lead) { return lead < 0xC0 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4; }

/// The last part of a path with "/" between folders.
inline std::string fileNameOf(const std::string& path) {
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace gloam::check
