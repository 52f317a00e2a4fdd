// "Did you mean": the known name an unknown one was probably meant to be.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace gloam::check {

/// The candidate closest to `word` when it is close enough to be a slip of the
/// keyboard: the same but for case, or at most a third of its characters
/// typed wrong, left out, added or swapped with a neighbour. The earliest of
/// equally close candidates wins; `word` itself is never suggested. For a
/// long list asked many times, keep a NameIndex instead.
std::optional<std::string> closestName(const std::string& word, const std::vector<std::string>& candidates);

}  // namespace gloam::check
