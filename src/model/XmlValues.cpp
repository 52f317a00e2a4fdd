// Integer, number and parameter parsing for attribute values.
#include "model/XmlValues.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <limits>

namespace gloam {

std::optional<std::int32_t> parseInt(const char* text) {
    if (text == nullptr) return std::nullopt;
    char* end = nullptr;
    errno = 0;
    long long value = std::strtoll(text, &end, 10);
    if (end == text) return std::nullopt;
    constexpr long long low = std::numeric_limits<std::int32_t>::min();
    constexpr long long high = std::numeric_limits<std::int32_t>::max();
    if (value < low) value = low;
    if (value > high) value = high;
    return static_cast<std::int32_t>(value);
}

std::optional<double> parseNumber(const char* text) {
    if (text == nullptr) return std::nullopt;
    char* end = nullptr;
    double value = std::strtod(text, &end);
    if (end == text || !std::isfinite(value)) return std::nullopt;
    return value;
}

float parseParameter(const char* text) {
    if (text == nullptr) return 0.0f;
    auto value = static_cast<float>(std::atof(text));
    return std::isnan(value) ? 0.0f : value;
}

}  // namespace gloam
