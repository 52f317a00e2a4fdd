// Reading attribute values the way the adventure format defines them.
#pragma once

#include <cstdint>
#include <optional>

namespace gloam {

/// The leading decimal integer of `text` (after optional white space and a
/// sign), as "%d" reads it; none when there is no digit. Out-of-range values
/// saturate instead of being undefined.
std::optional<std::int32_t> parseInt(const char* text);

/// The leading decimal number of `text`, as "%lf" reads it; none when there is
/// none. Infinities and NaN count as none, since no setting can use them.
std::optional<double> parseNumber(const char* text);

/// A filter parameter as C's atof reads it: 0 when there is no number; NaN is
/// taken as 0 too.
float parseParameter(const char* text);

}  // namespace gloam
