// "Did you mean": the prepared search gives what comparing every name would.
#include "NameIndex.h"
#include "Suggest.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <optional>
#include <random>
#include <string>
#include <vector>

namespace {

using gloam::check::NameIndex;

/// The rule, the slow way: full optimal string alignment distance against
/// every name, case-blind, the earliest of the nearest within a third.
std::optional<std::string> everyNameCompared(const std::string& word, const std::vector<std::string>& names) {
    auto lower = [](std::string text) {
        for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        return text;
    };
    for (const std::string& name : names) {
        if (name != word && lower(name) == lower(word)) return name;
    }
    auto distance = [](const std::string& a, const std::string& b) {
        std::vector<std::vector<std::size_t>> d(a.size() + 1, std::vector<std::size_t>(b.size() + 1));
        for (std::size_t i = 0; i <= a.size(); ++i) d[i][0] = i;
        for (std::size_t j = 0; j <= b.size(); ++j) d[0][j] = j;
        for (std::size_t i = 1; i <= a.size(); ++i) {
            for (std::size_t j = 1; j <= b.size(); ++j) {
                d[i][j] = std::min({d[i - 1][j] + 1, d[i][j - 1] + 1, d[i - 1][j - 1] + (a[i - 1] == b[j - 1] ? 0 : 1)});
                if (i > 1 && j > 1 && a[i - 1] == b[j - 2] && a[i - 2] == b[j - 1]) d[i][j] = std::min(d[i][j], d[i - 2][j - 2] + 1);
            }
        }
        return d[a.size()][b.size()];
    };
    const std::size_t limit = std::max<std::size_t>(1, word.size() / 3);
    std::optional<std::string> best;
    std::size_t bestDistance = limit + 1;
    for (const std::string& name : names) {
        if (name == word) continue;
        const std::size_t d = distance(lower(word), lower(name));
        if (d < bestDistance) {
            bestDistance = d;
            best = name;
        }
    }
    return best;
}

TEST(NameIndex, FindsWhatComparingEveryNameFinds) {
    // A small alphabet makes near names common, so every kind of slip (and
    // ties between equally near names) turns up.
    std::mt19937 random(7);
    auto randomName = [&](std::size_t length) {
        static constexpr char letters[] = "abAB_.1";
        std::string name;
        for (std::size_t i = 0; i < length; ++i) name += letters[random() % (sizeof letters - 1)];
        return name;
    };
    for (int round = 0; round < 25; ++round) {
        std::vector<std::string> names;
        for (int i = 0; i < 30; ++i) names.push_back(randomName(1 + random() % 14));
        const NameIndex index(names);
        for (int i = 0; i < 30; ++i) {
            // Unrelated words, and slips of a known name.
            std::string word = i % 2 == 0 ? randomName(1 + random() % 14) : names[random() % names.size()];
            if (i % 2 == 1 && !word.empty()) {
                const std::size_t at = random() % word.size();
                if (i % 4 == 1) word.erase(at, 1);
                if (i % 4 == 3 && at + 1 < word.size()) std::swap(word[at], word[at + 1]);
            }
            ASSERT_EQ(index.closest(word), everyNameCompared(word, names)) << "word " << word << " round " << round;
        }
    }
}

TEST(NameIndex, SlipsOfTheKeyboardAndWhatIsTooFarOff) {
    const NameIndex files({"bird1.ogg", "Rain.flac", "rain.wav", "thunder.mp3", "wind.flac"});
    EXPECT_EQ(files.closest("rain.flac"), "Rain.flac");      // case only
    EXPECT_EQ(files.closest("rian.wav"), "rain.wav");        // swapped neighbours
    EXPECT_EQ(files.closest("thundr.mp3"), "thunder.mp3");   // left out
    EXPECT_EQ(files.closest("rain.wav"), std::nullopt);      // itself is never suggested
    EXPECT_EQ(files.closest("storm.flac"), std::nullopt);    // too far from every name
    EXPECT_EQ(files.sameStem("thunder.wav"), "thunder.mp3");
    EXPECT_EQ(files.sameStem("gale.wav"), std::nullopt);
    EXPECT_EQ(gloam::check::closestName("fadein", {"fadeOut", "fadeIn"}), "fadeIn");
}

}  // namespace
