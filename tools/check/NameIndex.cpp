// Bounded edit distance over prepared names.
#include "NameIndex.h"

#include <algorithm>
#include <cctype>
#include <limits>

namespace gloam::check {

namespace {

std::string lowered(const std::string& text) {
    std::string result = text;
    for (char& c : result) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return result;
}

/// A file name without its last extension.
std::string stemOf(const std::string& fileName) { return fileName.substr(0, fileName.rfind('.')); }

/// Letters, digits and the usual separators each get a class of their own;
/// other bytes share the rest.
std::size_t classOf(unsigned char c) {
    if (c >= 'a' && c <= 'z') return static_cast<std::size_t>(c - 'a');
    if (c >= '0' && c <= '9') return 26 + static_cast<std::size_t>(c - '0');
    switch (c) {
        case '_': return 36;
        case '-': return 37;
        case '.': return 38;
        case ' ': return 39;
        default: return 40 + c % 24;
    }
}

/// Optimal string alignment distance (insertions, deletions, substitutions
/// and swaps of two neighbours each cost 1) when it is at most `bound`, else
/// anything above `bound`. Only cells within `bound` of the diagonal can stay
/// within it, so only those are filled, and a row that is over the bound
/// everywhere ends the search. `rows` is scratch space.
std::size_t boundedDistance(const std::string& a, const std::string& b, std::size_t bound,
                            std::array<std::vector<std::size_t>, 3>& rows) {
    const std::size_t n = a.size();
    const std::size_t m = b.size();
    const std::size_t over = bound + 1;
    if ((n > m ? n - m : m - n) > bound) return over;
    for (auto& row : rows) row.assign(m + 2, over);
    std::vector<std::size_t>* before = &rows[0];  // row i - 2
    std::vector<std::size_t>* previous = &rows[1];
    std::vector<std::size_t>* current = &rows[2];
    for (std::size_t j = 0; j <= std::min(m, bound); ++j) (*previous)[j] = j;
    for (std::size_t i = 1; i <= n; ++i) {
        const std::size_t low = i > bound ? i - bound : 1;
        const std::size_t high = std::min(m, i + bound);
        (*current)[0] = i <= bound ? i : over;
        if (low > 1) (*current)[low - 1] = over;
        std::size_t rowBest = (*current)[0];
        for (std::size_t j = low; j <= high; ++j) {
            const std::size_t cost = a[i - 1] == b[j - 1] ? 0 : 1;
            std::size_t best = std::min({(*previous)[j] + 1, (*current)[j - 1] + 1, (*previous)[j - 1] + cost});
            if (i > 1 && j > 1 && a[i - 1] == b[j - 2] && a[i - 2] == b[j - 1]) best = std::min(best, (*before)[j - 2] + 1);
            (*current)[j] = std::min(best, over);
            rowBest = std::min(rowBest, (*current)[j]);
        }
        if (high + 1 <= m) (*current)[high + 1] = over;
        if (rowBest > bound) return over;
        std::vector<std::size_t>* oldest = before;
        before = previous;
        previous = current;
        current = oldest;
    }
    return (*previous)[m];
}

}  // namespace

NameIndex::NameIndex(std::vector<std::string> names) : names_(std::move(names)) {
    lowered_.reserve(names_.size());
    counts_.reserve(names_.size());
    for (std::size_t i = 0; i < names_.size(); ++i) {
        lowered_.push_back(lowered(names_[i]));
        counts_.push_back(countsOf(lowered_.back()));
        byLowered_[lowered_.back()].push_back(i);
        byStem_.try_emplace(stemOf(names_[i]), i);
        longest_ = std::max(longest_, names_[i].size());
    }
}

NameIndex::Counts NameIndex::countsOf(const std::string& lowered) {
    Counts counts{};
    for (char c : lowered) {
        std::uint8_t& count = counts[classOf(static_cast<unsigned char>(c))];
        // Saturating keeps the difference a lower bound.
        if (count < std::numeric_limits<std::uint8_t>::max()) ++count;
    }
    return counts;
}

std::size_t NameIndex::countDifference(const Counts& a, const Counts& b) {
    std::size_t onlyA = 0;
    std::size_t onlyB = 0;
    for (std::size_t i = 0; i < numClasses; ++i) {
        if (a[i] > b[i]) {
            onlyA += static_cast<std::size_t>(a[i] - b[i]);
        } else {
            onlyB += static_cast<std::size_t>(b[i] - a[i]);
        }
    }
    // Each edit removes at most one surplus on each side.
    return std::max(onlyA, onlyB);
}

std::optional<std::string> NameIndex::closest(const std::string& word) const {
    const std::string wanted = lowered(word);
    if (const auto same = byLowered_.find(wanted); same != byLowered_.end()) {
        for (const std::size_t i : same->second) {
            if (names_[i] != word) return names_[i];
        }
    }
    const std::size_t limit = std::max<std::size_t>(1, word.size() / 3);
    const Counts wantedCounts = countsOf(wanted);
    std::array<std::vector<std::size_t>, 3> rows;
    for (auto& row : rows) row.reserve(longest_ + 2);
    std::optional<std::size_t> best;
    std::size_t bestDistance = limit + 1;
    for (std::size_t i = 0; i < names_.size(); ++i) {
        // Only a lowered name equal to `wanted` is nearer than 1, and there
        // is none other than `word` itself.
        if (bestDistance == 1) break;
        const std::string& candidate = lowered_[i];
        const std::size_t gap = candidate.size() > wanted.size() ? candidate.size() - wanted.size()
                                                                 : wanted.size() - candidate.size();
        if (gap >= bestDistance || names_[i] == word) continue;
        if (countDifference(wantedCounts, counts_[i]) >= bestDistance) continue;
        const std::size_t d = boundedDistance(wanted, candidate, bestDistance - 1, rows);
        if (d < bestDistance) {
            bestDistance = d;
            best = i;
        }
    }
    if (!best) return std::nullopt;
    return names_[*best];
}

std::optional<std::string> NameIndex::sameStem(const std::string& word) const {
    const auto found = byStem_.find(stemOf(word));
    if (found == byStem_.end()) return std::nullopt;
    return names_[found->second];
}

}  // namespace gloam::check
