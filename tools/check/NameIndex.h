// Known names prepared once, so that each "did you mean" costs little.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

namespace gloam::check {

/// A list of known names (the files of a folder, plug-in labels, attribute
/// names), kept with what a search needs: each name lowered, its count of
/// characters, and a table from lowered name and from stem to the first name
/// that has it. Building it is linear in the names; a search compares only
/// names whose length and characters could be close enough, and stops
/// comparing as soon as a name cannot beat the best one found. Owns copies of
/// the names. Not for several threads at once.
class NameIndex {
public:
    explicit NameIndex(std::vector<std::string> names);

    /// The name closest to `word` when it is close enough to be a slip of the
    /// keyboard: the same but for case, or at most a third of its characters
    /// typed wrong, left out, added or swapped with a neighbour. The earliest
    /// of equally close names wins; `word` itself is never suggested.
    std::optional<std::string> closest(const std::string& word) const;

    /// The first name that is `word` with another extension (or none), for
    /// the slip of naming the right file in the wrong format.
    std::optional<std::string> sameStem(const std::string& word) const;

    const std::vector<std::string>& names() const { return names_; }

private:
    /// Characters folded into this many classes for a quick lower bound of
    /// the distance: two names that differ in more characters of a class
    /// than the limit allows cannot be close.
    static constexpr std::size_t numClasses = 64;
    using Counts = std::array<std::uint8_t, numClasses>;

    static Counts countsOf(const std::string& lowered);
    /// Characters one name has and the other lacks, counted per class; never
    /// more than the edit distance.
    static std::size_t countDifference(const Counts& a, const Counts& b);

    std::vector<std::string> names_;
    std::vector<std::string> lowered_;
    std::vector<Counts> counts_;
    std::unordered_map<std::string, std::vector<std::size_t>> byLowered_;
    std::unordered_map<std::string, std::size_t> byStem_;
    std::size_t longest_ = 0;
};

}  // namespace gloam::check
