// The shared generator's fixed sequence.
#include "playback/Random.h"

#include <gtest/gtest.h>

#include <optional>
#include <vector>

TEST(Random, AFreshGeneratorGivesTheKnownSequence) {
    gloam::Random random;
    std::vector<int> drawn;
    for (int i = 0; i < 10; ++i) drawn.push_back(random.randomInt(99));
    EXPECT_EQ(drawn, (std::vector<int>{1, 32, 92, 2, 75, 66, 36, 52, 89, 71}));
}

TEST(Random, ZeroAndNegativeBoundsDrawNothing) {
    gloam::Random random;
    EXPECT_EQ(random.randomInt(0), 0);
    EXPECT_EQ(random.randomInt(-5), 0);
    EXPECT_EQ(random.randomInt(99), 1);
    EXPECT_EQ(random.randomInt(99), 32);
}

TEST(Random, ASeedStartsItsOwnRepeatableSequence) {
    auto draws = [](std::optional<std::uint32_t> seed) {
        gloam::Random random;
        if (seed) random.seed(*seed);
        std::vector<int> drawn;
        for (int i = 0; i < 10; ++i) drawn.push_back(random.randomInt(1000000));
        return drawn;
    };
    EXPECT_EQ(draws(7), draws(7));
    EXPECT_NE(draws(7), draws(8));
    EXPECT_NE(draws(7), draws(std::nullopt));
    EXPECT_EQ(gloam::parseSeed("0")->value, 0u);
    EXPECT_FALSE(gloam::parseSeed("random")->value);
    EXPECT_FALSE(gloam::parseSeed("0x10"));
}
