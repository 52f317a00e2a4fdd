// The secret that every API request carries.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace remote {

/// 128 random bits from the system (getrandom) as 32 lower-case hex digits;
/// nothing when the system gives no randomness.
std::optional<std::string> makeToken();

/// True for 16 to 256 characters of letters, digits, '-', '_', '.' and '~':
/// what fits unchanged in a URL fragment and an Authorization header.
bool isWellFormedToken(std::string_view token);

/// The token kept in `path`: read when the file exists (a regular file that
/// only its owner may read, holding a well-formed token and perhaps a line
/// end), otherwise created with a fresh token, mode 0600. Nothing and a
/// message when the file is unusable or cannot be made.
std::optional<std::string> tokenFromFile(const std::string& path, std::string& error);

/// Compares in a time that does not depend on where the two differ.
bool sameToken(std::string_view given, std::string_view expected);

}  // namespace remote
