// The shared generator's fixed sequence.
#include "playback/Random.h"

#include <gtest/gtest.h>

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
