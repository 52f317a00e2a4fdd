// Edit distance with swaps of neighbours, and case-blind comparison first.
#include "Suggest.h"

#include <algorithm>
#include <cctype>

namespace gloam::check {

namespace {

std::string lowered(const std::string& text) {
    std::string result = text;
    for (char& c : result) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return result;
}

/// Optimal string alignment distance: insertions, deletions, substitutions
/// and swaps of two neighbours each cost 1.
std::size_t distance(const std::string& a, const std::string& b) {
    const std::size_t width = b.size() + 1;
    std::vector<std::size_t> table((a.size() + 1) * width);
    const auto at = [&](std::size_t i, std::size_t j) -> std::size_t& { return table[i * width + j]; };
    for (std::size_t i = 0; i <= a.size(); ++i) at(i, 0) = i;
    for (std::size_t j = 0; j <= b.size(); ++j) at(0, j) = j;
    for (std::size_t i = 1; i <= a.size(); ++i) {
        for (std::size_t j = 1; j <= b.size(); ++j) {
            const std::size_t cost = a[i - 1] == b[j - 1] ? 0 : 1;
            std::size_t best = std::min({at(i - 1, j) + 1, at(i, j - 1) + 1, at(i - 1, j - 1) + cost});
            if (i > 1 && j > 1 && a[i - 1] == b[j - 2] && a[i - 2] == b[j - 1]) best = std::min(best, at(i - 2, j - 2) + 1);
            at(i, j) = best;
        }
    }
    return at(a.size(), b.size());
}

}  // namespace

std::optional<std::string> closestName(const std::string& word, const std::vector<std::string>& candidates) {
    const std::string wanted = lowered(word);
    for (const std::string& candidate : candidates) {
        if (candidate != word && lowered(candidate) == wanted) return candidate;
    }
    const std::size_t limit = std::max<std::size_t>(1, word.size() / 3);
    std::optional<std::string> best;
    std::size_t bestDistance = limit + 1;
    for (const std::string& candidate : candidates) {
        if (candidate == word) continue;
        // Lengths alone may already rule a candidate out.
        const std::size_t gap = candidate.size() > word.size() ? candidate.size() - word.size() : word.size() - candidate.size();
        if (gap >= bestDistance) continue;
        const std::size_t d = distance(wanted, lowered(candidate));
        if (d < bestDistance) {
            bestDistance = d;
            best = candidate;
        }
    }
    return best;
}

}  // namespace gloam::check
